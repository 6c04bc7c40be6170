#pragma once
// A working folder set up as the run folder is for effects: the fixture
// sources, the cache folder "compiledshaders", the compiler under tools/, the
// running platform in it and the file system mounted on it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "kernel/engine_threads.h"
#include "kernel/file_system.h"
#include "kernel/platform.h"
#include "kernel/settings.h"
#include "kernel/win_platform.h"
#include "render/device/render_device.h"
#include "testing/message_box_script.h"
#include "testing/test_files.h"
#include "tests/platform/gfx/device/gfx_test_device.h"

namespace effect_test {

namespace fs = std::filesystem;

enum class Compiler { Real, Missing, WritesNothing, Crashes };

class EffectFolder {
public:
    explicit EffectFolder(Compiler compiler = Compiler::Real, bool cacheFolder = true,
                          const std::string& folderName = "zandrel_effects")
    {
        savedDir_ = fs::current_path();
        dir = zandrel_test::MakeTempDir(folderName);
        const fs::path fixtures = fs::path(ZANDREL_SOURCE_DIR) / "tests/render/fixtures";
        for (const auto& entry : fs::directory_iterator(fixtures))
            fs::copy_file(entry.path(), dir / entry.path().filename());
        // The default settings, not the run folder's, which a person may have edited.
        fs::copy_file(fs::path(ZANDREL_SOURCE_DIR) / "data/settings.ini", dir / "settings.ini");
        if (cacheFolder)
            fs::create_directory(dir / "compiledshaders");
        if (compiler == Compiler::Real) {
            fs::create_directory(dir / "tools");
            fs::create_symlink(fs::path(ZANDREL_RUN_DIR) / "tools/fxc.exe", dir / "tools/fxc.exe");
        } else if (compiler != Compiler::Missing) {
            fs::create_directory(dir / "tools");
            std::ofstream(dir / "tools/fxc.exe")
                << (compiler == Compiler::WritesNothing ? "#!/bin/sh\nexit 0\n" : "#!/bin/sh\nkill -SEGV $$\n");
            fs::permissions(dir / "tools/fxc.exe", fs::perms::owner_all);
        }
        fs::current_path(dir);
        platform_ = std::make_unique<WinPlatform>();
        SetPlatform(platform_.get());
        ReleaseSettings();
        testing::internal::CaptureStdout();
        GetFileSystem()->Mount(dir.string(), "");
        testing::internal::GetCapturedStdout();
        // The render device with its graphics device and video-memory reading.
        RenderDevice* renderer = GetRenderer();
        renderer->SetDevice(device.device);
        renderer->Memory().OpenVideoMemoryReading();
    }

    ~EffectFolder()
    {
        RenderDevice* renderer = GetRenderer();
        renderer->SetDevice(nullptr); // the test's own, released with it
        renderer->Memory().CloseVideoMemoryReading();
        // The shutdown's order: the thread objects first, as they hold the
        // render device's upload module and the file system among their modules.
        DestroyRenderThread();
        DestroyIOThread();
        testing::internal::CaptureStdout();
        ReleaseDevice();
        testing::internal::GetCapturedStdout();
        DestroyFileSystem();
        ReleaseSettings();
        SetPlatform(nullptr);
        platform_.reset();
        fs::current_path(savedDir_);
        fs::remove_all(dir);
    }

    bool Cached(const std::string& name) const { return fs::exists(dir / "compiledshaders" / name); }
    size_t CachedCount() const
    {
        size_t count = 0;
        if (fs::exists(dir / "compiledshaders"))
            for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir / "compiledshaders"))
                ++count;
        return count;
    }
    void Write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(dir / name, std::ios::binary) << bytes;
    }

    fs::path dir;
    gfx_test::TestDevice device;

private:
    fs::path savedDir_;
    std::unique_ptr<WinPlatform> platform_;
};

// Standard output of a block of work, the compiler's included.
class Output {
public:
    Output() { testing::internal::CaptureStdout(); }
    std::string Text()
    {
        if (!taken_) {
            text_ = testing::internal::GetCapturedStdout();
            taken_ = true;
        }
        return text_;
    }
    ~Output() { Text(); }

private:
    bool taken_ = false;
    std::string text_;
};

inline bool Contains(const std::string& text, const std::string& piece) { return text.find(piece) != std::string::npos; }

} // namespace effect_test
