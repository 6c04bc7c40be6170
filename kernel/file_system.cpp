#include "kernel/file_system.h"

#include <atomic>
#include <climits>
#include <filesystem>
#include <iostream>

#include "kernel/engine_threads.h"
#include "kernel/memory_pools.h"
#include "kernel/settings.h"

namespace {
FileSystem* fileSystem = nullptr;

// Existence checks of one load before it gives up (the first and three more).
constexpr int kExistenceChecks = 4;

void PrintPhysFSError()
{
    std::cout << "PhysFS error: " << PhysFSErrorText() << "\n";
}
} // namespace

const char* PhysFSErrorText()
{
    const char* text = PHYSFS_getErrorByCode(PHYSFS_getLastErrorCode());
    return text ? text : "";
}

FileSystem::FileSystem()
{
    BuildKernelPools();
    allocator_.Init = PhysFSInit;
    allocator_.Deinit = PhysFSDeinit;
    allocator_.Malloc = PhysFSMalloc;
    allocator_.Realloc = PhysFSRealloc;
    allocator_.Free = PhysFSFree;
    if (!PHYSFS_setAllocator(&allocator_))
        PrintPhysFSError();
    if (!PHYSFS_init(nullptr))
        PrintPhysFSError();
    GetIOThread()->AddModule(this);
}

void FileSystem::RegisterHandlers()
{
    RegisterHandler("LoadFromHDD", &FileSystem::LoadFromHDD);
}

TaskMessage LoadFromHDDTask(FileBuffer* buffer, std::string_view name, uint32_t offset, uint32_t size,
                            uint8_t* destination, std::atomic<uint32_t>* failState)
{
    TaskMessage task;
    task.taskId = kLoadFromHDDId;
    HashedName128 fileName;
    fileName.Assign(name);
    task.Set<LoadFromHDDArgs::Buffer>(buffer);
    task.Set<LoadFromHDDArgs::Name>(fileName);
    task.Set<LoadFromHDDArgs::Offset>(offset);
    task.Set<LoadFromHDDArgs::Size>(size);
    task.Set<LoadFromHDDArgs::Destination>(destination);
    task.Set<LoadFromHDDArgs::FailState>(failState);
    return task;
}

void FileSystem::LoadFromHDD(FileSystem* fileSystem, TaskMessage* task)
{
    FileBuffer* buffer = task->Get<LoadFromHDDArgs::Buffer>();
    if (!buffer)
        return;
    const HashedName128 name = task->Get<LoadFromHDDArgs::Name>();
    const uint32_t offset = task->Get<LoadFromHDDArgs::Offset>();
    const uint32_t size = task->Get<LoadFromHDDArgs::Size>();
    if (uint8_t* destination = task->Get<LoadFromHDDArgs::Destination>()) {
        buffer->data = destination;
        buffer->external = 1;
    }
    for (int attempt = 1;; ++attempt) {
        std::cout << "load " << name.c_str() << "\n";
        const LoadResult result = fileSystem->Load(*buffer, name.c_str(), offset, size);
        if (result == LoadResult::Loaded)
            return;
        const bool stopping = task->target && task->target->stop.load(std::memory_order_acquire);
        if (result == LoadResult::Refused || attempt >= kLoadFromHDDAttempts || stopping)
            break;
    }
    if (std::atomic<uint32_t>* state = task->Get<LoadFromHDDArgs::FailState>())
        state->store(0, std::memory_order_release);
    for (TaskMessage* next = task->next; next; next = next->next)
        next->cancelled.store(1, std::memory_order_release);
}

FileSystem::~FileSystem()
{
    if (!PHYSFS_deinit())
        PrintPhysFSError();
}

bool FileSystem::Mount(const std::string& name, const std::string& mountPoint)
{
    // Mounting opens an archive to read it: a pipe would never answer and a
    // device never end, so only folders and regular files are mounted.
    std::error_code error;
    const auto type = std::filesystem::status(name, error).type();
    const bool readable = type == std::filesystem::file_type::not_found || type == std::filesystem::file_type::none ||
                          type == std::filesystem::file_type::regular ||
                          type == std::filesystem::file_type::directory;
    const bool mounted = readable && PHYSFS_mount(name.c_str(), mountPoint.c_str(), 1) != 0;
    if (!readable)
        std::cout << "PhysFS error: " << name << " is neither a folder nor a regular file, not read\n";
    else if (!mounted)
        PrintPhysFSError();
    std::cout << name << " mounted.\n";
    return mounted;
}

namespace {
// The index of the last "archive<i>" key of [FileSystem] (i written as
// "archive" followed by i in decimal reads it), -1 when there is none.
int LastArchiveNamed(const Settings& settings)
{
    constexpr std::string_view kPrefix = "archive";
    int last = -1;
    for (const std::string& key : settings.KeysOf("FileSystem")) {
        if (key.size() <= kPrefix.size() || key.compare(0, kPrefix.size(), kPrefix) != 0)
            continue;
        const std::string digits = key.substr(kPrefix.size());
        if (digits.size() > 10 || (digits.size() > 1 && digits[0] == '0') ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const long long index = std::stoll(digits);
        if (index <= INT_MAX && index > last)
            last = static_cast<int>(index);
    }
    return last;
}
} // namespace

int ArchiveMountCount(const Settings& settings)
{
    const int archives = settings.GetInt("FileSystem", "archives");
    if (archives <= 0)
        return 0;
    const long long reach = static_cast<long long>(LastArchiveNamed(settings)) + 1 + kArchivesPastTheLastName;
    return archives <= reach ? archives : static_cast<int>(reach);
}

void FileSystem::MountArchives()
{
    const Settings& settings = GetSettings();
    const int archives = settings.GetInt("FileSystem", "archives");
    const int count = ArchiveMountCount(settings);
    for (int i = 0; i < count; ++i)
        Mount(settings.GetString("FileSystem", "archive" + std::to_string(i)), "");
    if (count < archives) {
        const int last = LastArchiveNamed(settings);
        std::cout << "[FileSystem] archives=" << archives << " counts far past ";
        if (last < 0)
            std::cout << "the archive names (there are none)";
        else
            std::cout << "the last archive name, archive" << last;
        std::cout << ": archive" << count << " and later are left out.\n";
    }
}

bool FileSystem::FileExists(const std::string& name)
{
    return PHYSFS_exists(name.c_str()) != 0;
}

FileSystem::LoadResult FileSystem::FailLoad(FileBuffer& buffer, const std::string& name)
{
    std::cout << name << "\n";
    PrintPhysFSError();
    RefuseLoad(buffer);
    return LoadResult::Failed;
}

// The caller has said why, in one line.
FileSystem::LoadResult FileSystem::RefuseLoad(FileBuffer& buffer)
{
    if (file_) {
        PHYSFS_close(file_);
        file_ = nullptr;
    }
    buffer.size = 0;
    buffer.ReleaseBusy();
    return LoadResult::Refused;
}

bool FileSystem::LoadFile(FileBuffer& buffer, const std::string& name, uint32_t offset, uint32_t size)
{
    return Load(buffer, name, offset, size) == LoadResult::Loaded;
}

FileSystem::LoadResult FileSystem::Load(FileBuffer& buffer, const std::string& name, uint32_t offset,
                                        uint32_t size)
{
    buffer.TakeBusy();
    for (int check = 1; !FileExists(name); ++check) {
        std::cout << "File " << name << " not found in PhysFS\n";
        PrintPhysFSError();
        if (check == kExistenceChecks) {
            buffer.ReleaseBusy();
            return LoadResult::Failed;
        }
    }

    std::lock_guard guard(loadLock_);
    if (!buffer.external && buffer.data) {
        PoolFree(buffer.data);
        buffer.data = nullptr;
        buffer.size = 0;
    }
    buffer.name.Assign(name.c_str());

    // Only a regular file is read: a folder has no bytes, and a pipe or a device
    // would keep the reader waiting or never end.
    PHYSFS_Stat stat{};
    if (PHYSFS_stat(name.c_str(), &stat) && stat.filetype != PHYSFS_FILETYPE_REGULAR) {
        std::cout << "File " << name << " is not a regular file (a folder, pipe or device), not read\n";
        return RefuseLoad(buffer);
    }
    file_ = PHYSFS_openRead(name.c_str());
    if (!file_)
        return FailLoad(buffer, name);
    const PHYSFS_sint64 fileLength = PHYSFS_fileLength(file_);
    if (fileLength < 0)
        return FailLoad(buffer, name);
    // Nothing is taken or written for a part that is not in the file.
    const uint64_t available = static_cast<uint64_t>(fileLength);
    if (offset > available || (size != 0 && uint64_t(offset) + size > available)) {
        PHYSFS_setErrorCode(PHYSFS_ERR_PAST_EOF);
        return FailLoad(buffer, name);
    }
    length_ = size != 0 ? size : available - offset;
    if (length_ > kLargestFileBytes) {
        std::cout << "File " << name << ": " << length_ << " bytes to read, over the bound of " << kLargestFileBytes
                  << " bytes (" << (kLargestFileBytes >> 20) << " MiB), not read\n";
        return RefuseLoad(buffer);
    }
    // A read of nothing delivers nothing: an empty file, or an offset at its end.
    if (length_ == 0) {
        PHYSFS_setErrorCode(PHYSFS_ERR_PAST_EOF);
        return FailLoad(buffer, name);
    }
    // The caller's memory has exactly the room the load names.
    if (buffer.external && (size == 0 || !buffer.data)) {
        PHYSFS_setErrorCode(PHYSFS_ERR_INVALID_ARGUMENT);
        return FailLoad(buffer, name);
    }
    if (!buffer.data)
        buffer.data = static_cast<uint8_t*>(PoolAlloc(static_cast<uint32_t>(length_)));
    if (!buffer.data) {
        PHYSFS_setErrorCode(PHYSFS_ERR_OUT_OF_MEMORY);
        return FailLoad(buffer, name);
    }
    if (offset != 0 && !PHYSFS_seek(file_, offset))
        return FailLoad(buffer, name);
    if (PHYSFS_readBytes(file_, buffer.data, length_) != static_cast<PHYSFS_sint64>(length_))
        return FailLoad(buffer, name);

    PHYSFS_close(file_);
    file_ = nullptr;
    buffer.size = static_cast<uint32_t>(length_);
    buffer.ReleaseBusy();
    return LoadResult::Loaded;
}

void FileSystem::ReleaseFile(FileBuffer& buffer)
{
    if (buffer.external || !buffer.data)
        return;
    PoolFree(buffer.data);
    buffer.data = nullptr;
    buffer.size = 0;
}

FileSystem* GetFileSystem()
{
    if (!fileSystem)
        fileSystem = new FileSystem;
    return fileSystem;
}

void DestroyFileSystem()
{
    delete fileSystem;
    fileSystem = nullptr;
}
