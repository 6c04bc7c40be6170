// Mounts the input as a ZIP archive and loads every entry through the file
// system, over the kernel pools. PhysicsFS 3.0.2 takes a symbolic-link entry's
// declared size at its word and asks for up to 4 GB of address space (never
// touched), so run the fuzzer with -malloc_limit_mb=8192.
#include <cstdint>
#include <iostream>
#include <string>

#include <physfs.h>

#include "kernel/file_system.h"
#include "kernel/memory_pools.h"
#include "platform/testing/message_box_script.h"

namespace {

// An entry that claims more than this is skipped: its bytes would have to be
// held whole, which says nothing about the archive reader.
constexpr PHYSFS_sint64 kLargestEntry = 64 << 20;

struct Walk {
    FileBuffer buffer;
    int depth = 0;
};

void LoadAll(const std::string& folder, Walk& walk);

PHYSFS_EnumerateCallbackResult Visit(void* data, const char* folder, const char* name)
{
    auto& walk = *static_cast<Walk*>(data);
    const std::string path = std::string(folder) + "/" + name;
    PHYSFS_Stat stat;
    if (!PHYSFS_stat(path.c_str(), &stat))
        return PHYSFS_ENUM_OK;
    if (stat.filetype == PHYSFS_FILETYPE_DIRECTORY) {
        if (walk.depth < 64)
            LoadAll(path, walk);
    } else if (stat.filesize <= kLargestEntry) {
        GetFileSystem()->LoadFile(walk.buffer, path);
        GetFileSystem()->ReleaseFile(walk.buffer);
    }
    return PHYSFS_ENUM_OK;
}

void LoadAll(const std::string& folder, Walk& walk)
{
    ++walk.depth;
    PHYSFS_enumerate(folder.c_str(), Visit, &walk);
    --walk.depth;
}

bool Start()
{
    static platform::testing::ScriptedMessageBoxes boxes;
    std::cout.rdbuf(nullptr); // the file system's lines would only slow the run down
    // Small pools of every size, so the archive reader's memory crosses all of them.
    const uint32_t sizes[] = {16, 32, 64, 128, 256, 512, 1024, 2048, 4096, 8192, 16384, 17424, 0x40080};
    InitPools(kKernelPoolCount);
    for (uint32_t size : sizes)
        circPools.Add().Build(size, size <= 17424 ? 256 : 4);
    GetFileSystem();
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool started = Start();
    (void)started;
    if (!PHYSFS_mountMemory(data, size, nullptr, "input.zip", "input", 1))
        return 0;
    Walk walk;
    LoadAll("input", walk);
    GetFileSystem()->ReleaseFile(walk.buffer);
    PHYSFS_unmount("input.zip");
    return 0;
}
