#include "kernel/serializable_object.h"

#include <iostream>

#include "kernel/error_stream.h"
#include "kernel/file_system.h"
#include "kernel/memory_archive.h"
#include "kernel/reading_file.h"
#include "kernel/stream_archive.h"

SerializableObject::~SerializableObject() = default;

bool SerializableObject::ReleasePoolMemory()
{
    return false;
}

bool SerializableObject::IsValid()
{
    return true;
}

uint32_t SerializableObject::GetState()
{
    return 0;
}

uint32_t SerializableObject::GetId()
{
    return 0;
}

void SerializableObject::SetState(uint32_t) {}
void SerializableObject::CancelTasks() {}
void SerializableObject::CreateUnique() {}
void SerializableObject::CreateById(uint32_t) {}

bool SerializableObject::LoadByName(const std::string&)
{
    return false;
}

bool SerializableObject::AttachById(uint32_t)
{
    return false;
}

void SerializableObject::ReleaseResource() {}

void SerializableObject::SaveToFile(const std::string& name)
{
    WriteObjectFile(*this, name);
}

bool SerializableObject::LoadFromFile(const std::string& name)
{
    return ReadObjectFile(*this, name) == FileReadResult::Read;
}

void SerializableObject::SetName(const std::string&) {}

void SerializableObject::SetIdText(const std::string& text)
{
    SetName(text);
}

void SerializableObject::ForgetClearedEntries() {}

void SerializeResource(Archive& archive, SerializableObject& object)
{
    archive.U16(object.formatVersion);
    if (object.formatVersion != 0) {
        archive.scratch = IntToString(static_cast<int32_t>(object.GetId()));
        archive.String(archive.scratch);
        if (archive.mode == Archive::kReading)
            object.SetIdText(archive.scratch);
    }
    archive.Object(object);
}

void WriteObjectFile(SerializableObject& object, const std::string& name)
{
    StreamArchive archive;
    if (!archive.OpenArchiveFile(name)) {
        std::cout << "Can't open file " << name << " to read.";
        throw kSaveOpenFailed;
    }
    SerializeResource(archive, object);
}

namespace {
FileReadResult ReadFromArchive(SerializableObject& object, MemoryArchive& archive, const std::string& name)
{
    {
        ReadingFile reading(name);
        SerializeResource(archive, object);
    }
    if (archive.Damaged()) {
        errorTwoLines = false;
        GetErrorStream() << "Resource file " << name << " is truncated or damaged.\n";
        return FileReadResult::Damaged;
    }
    return FileReadResult::Read;
}
} // namespace

FileReadResult ReadObjectFile(SerializableObject& object, const std::string& name)
{
    MemoryArchive archive;
    if (!GetFileSystem()->LoadFile(archive.buffer, name, 0, 0)) {
        errorTwoLines = false;
        GetErrorStream() << "Can't load file: " << name << "\n";
        return FileReadResult::Missing;
    }
    return ReadFromArchive(object, archive, name);
}

FileReadResult ReadObjectBytes(SerializableObject& object, const void* data, uint32_t size,
                               const std::string& name)
{
    MemoryArchive archive;
    archive.ReadFrom(data, size);
    return ReadFromArchive(object, archive, name);
}
