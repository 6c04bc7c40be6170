#pragma once
// The engine's files: the executable's folder and the ZIP archives of section
// [FileSystem] in one search path (PhysicsFS over our block pools). A file, or a
// part of one, is read into a FileBuffer at once on the calling thread
// (LoadFile), or on IOTHREAD as the task "LoadFromHDD". Every message goes to
// standard output; callers decide what a failed load means.
#include <physfs.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "kernel/file_buffer.h"
#include "kernel/handler_module.h"
#include "kernel/rs_hash.h"
#include "kernel/task_message.h"

inline constexpr uint32_t kLoadFromHDDId = RSHashConst("LoadFromHDD");

// The arguments of "LoadFromHDD".
struct LoadFromHDDArgs {
    using Buffer = PayloadField<FileBuffer*, 0>;        // the target buffer
    using Name = PayloadField<HashedName128, 8>;        // the file name
    using Offset = PayloadField<uint32_t, 144>;         // first byte to read
    using Size = PayloadField<uint32_t, 148>;           // bytes to read, 0: to the end
    using Destination = PayloadField<uint8_t*, 152>;    // the caller's memory, null: a pool block
    // The state word of the resource that waits for the bytes (null when none):
    // set to 0, none, when the load fails for good.
    using FailState = PayloadField<std::atomic<uint32_t>*, 160>;
};

// How often "LoadFromHDD" tries a file that will not load before it gives up.
inline constexpr int kLoadFromHDDAttempts = 3;

// A task record for "LoadFromHDD"; the poster sets the target thread and tag.
TaskMessage LoadFromHDDTask(FileBuffer* buffer, std::string_view name, uint32_t offset, uint32_t size,
                            uint8_t* destination, std::atomic<uint32_t>* failState = nullptr);

// The one module of IOTHREAD; not owned by the thread (a singleton released at
// shutdown, after the thread objects).
class FileSystem : public HandlerModule<FileSystem> {
public:
    // Builds the pools, hands PhysicsFS our allocator, starts it and joins IOTHREAD.
    FileSystem();
    ~FileSystem() override;

    void RegisterHandlers() override;

    // On IOTHREAD: the load of the task's payload. A file that will not load
    // after kLoadFromHDDAttempts (or once the thread is told to stop, or at
    // once when LoadFile refuses it) fails:
    // the waiting resource's state goes back to none and the rest of the task's
    // chain is cancelled, so nothing waits on bytes that will not come.
    static void LoadFromHDD(FileSystem* fileSystem, TaskMessage* task);
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // Appends a folder or archive to the search path. Prints "<name> mounted."
    // in every case, after the "PhysFS error: " line when the mount failed. A
    // name that is neither a folder nor a regular file is never opened.
    bool Mount(const std::string& name, const std::string& mountPoint);
    // Appends archive0 ... archive<n-1> of section [FileSystem], n = archives,
    // as far as ArchiveMountCount reaches; a count past that is reported.
    void MountArchives();
    bool FileExists(const std::string& name);

    // Reads size bytes from offset (size 0: to the end of the file) into the
    // buffer: a pool block, or the caller's memory when the buffer is external,
    // which is then given size bytes of room and never written past them. An
    // offset or size beyond the end of the file is refused, and every failure
    // leaves the buffer's size 0. A name that is not a regular file (a folder,
    // pipe or device), and a load of more than kLargestFileBytes, are refused
    // in one line, before anything is read or taken for them. One load runs at
    // a time across all threads.
    bool LoadFile(FileBuffer& buffer, const std::string& name, uint32_t offset = 0, uint32_t size = 0);
    // Gives a pool block back; the name and flags stay.
    void ReleaseFile(FileBuffer& buffer);

private:
    // Refused: no later try of the same load can do better.
    enum class LoadResult { Loaded, Failed, Refused };
    LoadResult Load(FileBuffer& buffer, const std::string& name, uint32_t offset, uint32_t size);
    LoadResult FailLoad(FileBuffer& buffer, const std::string& name);
    LoadResult RefuseLoad(FileBuffer& buffer);

    std::mutex loadLock_;                // guards file_ and length_
    PHYSFS_File* file_ = nullptr;        // the load in progress
    uint64_t length_ = 0;
    PHYSFS_Allocator allocator_{};
};

// Names past the last "archive<i>" key that a count of archives still tries
// (each an empty name whose mount fails with its lines).
inline constexpr int kArchivesPastTheLastName = 16;
class Settings;
// How many of archive0, archive1, ... MountArchives tries: the count of
// [FileSystem] archives, but no more than kArchivesPastTheLastName past the
// last archive<i> the section names, so a count far past the names cannot
// hold up the start.
int ArchiveMountCount(const Settings& settings);

FileSystem* GetFileSystem();
void DestroyFileSystem();

// The text of PhysicsFS's last error on this thread.
const char* PhysFSErrorText();
