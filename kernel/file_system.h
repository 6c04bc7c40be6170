#pragma once
// The engine's files: the executable's folder and the ZIP archives of section
// [FileSystem] in one search path (PhysicsFS over our block pools). A file, or a
// part of one, is read into a FileBuffer at once on the calling thread
// (LoadFile), or on IOTHREAD as the task "LoadFromHDD". Every message goes to
// standard output; callers decide what a failed load means.
#include <physfs.h>

#include <cstdint>
#include <mutex>
#include <string>

#include "kernel/file_buffer.h"

class FileSystem {
public:
    // Builds the pools, hands PhysicsFS our allocator, starts it.
    FileSystem();
    ~FileSystem();
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // Appends a folder or archive to the search path. Prints "<name> mounted."
    // in every case, after the "PhysFS error: " line when the mount failed.
    bool Mount(const std::string& name, const std::string& mountPoint);
    // Appends archive0 ... archive<n-1> of section [FileSystem], n = archives.
    void MountArchives();
    bool FileExists(const std::string& name);

    // Reads size bytes from offset (size 0: to the end of the file) into the
    // buffer: a pool block, or the caller's memory when the buffer is external,
    // which is then given size bytes of room and never written past them. An
    // offset or size beyond the end of the file is refused, and every failure
    // leaves the buffer's size 0. One load runs at a time across all threads.
    bool LoadFile(FileBuffer& buffer, const std::string& name, uint32_t offset = 0, uint32_t size = 0);
    // Gives a pool block back; the name and flags stay.
    void ReleaseFile(FileBuffer& buffer);

private:
    bool FailLoad(FileBuffer& buffer, const std::string& name);

    std::mutex loadLock_;                // guards file_ and length_
    PHYSFS_File* file_ = nullptr;        // the load in progress
    uint64_t length_ = 0;
    PHYSFS_Allocator allocator_{};
};

FileSystem* GetFileSystem();
void DestroyFileSystem();

// The text of PhysicsFS's last error on this thread.
const char* PhysFSErrorText();
