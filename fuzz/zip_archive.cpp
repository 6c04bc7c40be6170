// Mounts the input as a ZIP archive and loads every entry through the file
// system, over the kernel pools. PhysicsFS 3.0.2 takes a symbolic-link entry's
// declared size at its word when it asks for memory; the kernel's allocator
// refuses anything past the largest file, so no input takes more than that.
//
// The input reaches the archive reader through an i/o of our own over its
// bytes: the reader sees the same calls as over a file mounted by path, with
// no file written per run. (PHYSFS_mountMemory of 3.0.2 loses two small blocks
// at every mount, which would end a fuzzing run as a leak after a few hundred
// inputs.)
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>

#include <physfs.h>

#include "kernel/file_system.h"
#include "kernel/memory_pools.h"
#include "testing/message_box_script.h"

namespace {

// An entry that claims more than this is skipped: its bytes would have to be
// held whole, which says nothing about the archive reader. One past the
// largest file is loaded: the file system refuses it before taking anything.
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
    } else if (stat.filesize <= kLargestEntry || stat.filesize > static_cast<PHYSFS_sint64>(kLargestFileBytes)) {
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

// Reading over the input's bytes; each duplicate keeps its own position.
struct MemoryFile {
    const uint8_t* data = nullptr;
    PHYSFS_uint64 size = 0;
    PHYSFS_uint64 position = 0;
};

PHYSFS_Io* NewMemoryIo(const uint8_t* data, PHYSFS_uint64 size);

MemoryFile& FileOf(PHYSFS_Io* io)
{
    return *static_cast<MemoryFile*>(io->opaque);
}

PHYSFS_sint64 MemoryRead(PHYSFS_Io* io, void* buffer, PHYSFS_uint64 length)
{
    MemoryFile& file = FileOf(io);
    const PHYSFS_uint64 left = file.size - file.position;
    const PHYSFS_uint64 count = length < left ? length : left;
    if (count > 0)
        std::memcpy(buffer, file.data + file.position, count);
    file.position += count;
    return static_cast<PHYSFS_sint64>(count);
}

PHYSFS_sint64 MemoryWrite(PHYSFS_Io*, const void*, PHYSFS_uint64)
{
    PHYSFS_setErrorCode(PHYSFS_ERR_READ_ONLY);
    return -1;
}

int MemorySeek(PHYSFS_Io* io, PHYSFS_uint64 offset)
{
    MemoryFile& file = FileOf(io);
    if (offset > file.size) {
        PHYSFS_setErrorCode(PHYSFS_ERR_PAST_EOF);
        return 0;
    }
    file.position = offset;
    return 1;
}

PHYSFS_sint64 MemoryTell(PHYSFS_Io* io)
{
    return static_cast<PHYSFS_sint64>(FileOf(io).position);
}

PHYSFS_sint64 MemoryLength(PHYSFS_Io* io)
{
    return static_cast<PHYSFS_sint64>(FileOf(io).size);
}

PHYSFS_Io* MemoryDuplicate(PHYSFS_Io* io)
{
    return NewMemoryIo(FileOf(io).data, FileOf(io).size);
}

int MemoryFlush(PHYSFS_Io*)
{
    return 1;
}

void MemoryDestroy(PHYSFS_Io* io)
{
    delete static_cast<MemoryFile*>(io->opaque);
    delete io;
}

PHYSFS_Io* NewMemoryIo(const uint8_t* data, PHYSFS_uint64 size)
{
    auto* io = new PHYSFS_Io{};
    io->version = 0;
    io->opaque = new MemoryFile{data, size, 0};
    io->read = MemoryRead;
    io->write = MemoryWrite;
    io->seek = MemorySeek;
    io->tell = MemoryTell;
    io->length = MemoryLength;
    io->duplicate = MemoryDuplicate;
    io->flush = MemoryFlush;
    io->destroy = MemoryDestroy;
    return io;
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
    PHYSFS_Io* io = NewMemoryIo(data, size);
    if (!PHYSFS_mountIo(io, "input.zip", "input", 1)) {
        io->destroy(io); // a refused i/o stays the caller's
        return 0;
    }
    Walk walk;
    LoadAll("input", walk);
    GetFileSystem()->ReleaseFile(walk.buffer);
    PHYSFS_unmount("input.zip");
    return 0;
}
