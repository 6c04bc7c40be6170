#pragma once
// A render device as the start-up makes it, texture files in a folder mounted
// in the file system, and the real engine threads on demand: IOTHREAD beside,
// RENDERTHREAD inline on the test's thread, one frame callback per main-loop
// cycle, bounded by wall time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "kernel/engine_threads.h"
#include "kernel/file_system.h"
#include "kernel/memory_pools.h"
#include "kernel/queue_registry.h"
#include "kernel/resource_tasks.h"
#include "kernel/thread_map.h"
#include "render/textures/texture_resource.h"
#include "testing/engine_thread_run.h"
#include "testing/gfx_device_hooks.h"
#include "testing/test_files.h"
#include "tests/render/device_fixture.h"

namespace texture_test {

namespace fs = std::filesystem;

inline fs::path FilesFolder()
{
    static const fs::path folder = zandrel_test::FreshProgramFolder("zandrel_textures_");
    return folder;
}

inline void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes)
{
    std::ofstream(FilesFolder() / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> Bytes(gfx::BaseTexture* texture)
{
    if (!texture)
        return {};
    const std::span<uint8_t> bytes = platform::testing::TextureBytes(*texture);
    return {bytes.begin(), bytes.end()};
}

class TextureRun : public ::testing::Test {
protected:
    static void TearDownTestSuite()
    {
        DestroyIOThread();
        DestroyFileSystem();
        DestroyPools();
    }

    void SetUp() override
    {
        ASSERT_TRUE(run.Start());
        GetFileSystem()->Mount(FilesFolder().string(), "");
        run.ClearOut();
        run.ClearBoxes();
    }

    // Adds IOTHREAD and RENDERTHREAD and runs main-loop cycles until `frame`
    // returns true (or the time is up). Afterwards the threads are gone, as
    // at shutdown; handles keep their blocks.
    bool RunThreads(const std::function<bool(int)>& frame)
    {
        const bool finished = zandrel_test::RunEngineThreads(
            [](RenderThread* render) {
                if (!zandrel_test::ModuleAttached(render, &GetRenderer()->Uploads()))
                    render->AddModule(&GetRenderer()->Uploads());
            },
            frame, std::chrono::seconds(20));
        EXPECT_TRUE(finished) << "the frames did not finish in time";
        return finished;
    }

    // Rounds with no batch in flight.
    static bool Idle() { return GetQueueRegistry()->ring.write == GetQueueRegistry()->ring.read; }

    render_test::DeviceRun run;
};

} // namespace texture_test
