#pragma once
// The demonstration's data as the build leaves it in the run folder, for a
// test or benchmark that starts the demonstration in a folder of its own.
// Needs ZANDREL_RUN_DIR.
#include <filesystem>

namespace zandrel_test {

namespace fs = std::filesystem;

// What the demonstration loads, as the build leaves it in the run folder,
// copied into `dir`: its scene and textures, its effects, the effect compiler
// and the compiled-effect cache the build filled. Copies, since the program's
// file system does not follow symbolic links.
inline void CopyDemoDataInto(const fs::path& dir)
{
    const fs::path run(ZANDREL_RUN_DIR);
    for (const char* folder : {"data", "textures", "compiledshaders"})
        if (fs::exists(run / folder))
            fs::copy(run / folder, dir / folder, fs::copy_options::recursive | fs::copy_options::skip_existing);
    for (const auto& entry : fs::directory_iterator(run))
        if (entry.path().extension() == ".fx")
            fs::copy_file(entry.path(), dir / entry.path().filename(), fs::copy_options::skip_existing);
    fs::create_directories(dir / "tools");
    if (fs::exists(run / "tools/fxc.exe"))
        fs::copy_file(run / "tools/fxc.exe", dir / "tools/fxc.exe", fs::copy_options::skip_existing);
    fs::create_directories(dir / "compiledshaders");
}

} // namespace zandrel_test
