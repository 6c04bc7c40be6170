#include "kernel/memory_archive.h"

#include <cstring>

#include "kernel/file_system.h"
#include "kernel/serializable_object.h"

MemoryArchive::MemoryArchive()
{
    mode = kReading;
}

MemoryArchive::~MemoryArchive()
{
    if (buffer.data && !buffer.external)
        GetFileSystem()->ReleaseFile(buffer);
}

void MemoryArchive::ReadFrom(const void* data, uint32_t size)
{
    if (buffer.data && !buffer.external)
        GetFileSystem()->ReleaseFile(buffer);
    buffer.data = static_cast<uint8_t*>(const_cast<void*>(data));
    buffer.size = data ? size : 0;
    buffer.external = 1;
    position = 0;
    damaged_ = false;
}

bool MemoryArchive::Take(void* out, uint32_t count)
{
    if (count == 0)
        return true;
    if (!buffer.data || count > buffer.size - position) {
        std::memset(out, 0, count);
        position = buffer.size;
        damaged_ = true;
        return false;
    }
    std::memcpy(out, buffer.data + position, count);
    position += count;
    return true;
}

void MemoryArchive::Name(HashedName128& value)
{
    uint8_t length = 0;
    char chars[256];
    if (!Take(&length, 1) || !Take(chars, length)) {
        value.Assign("");
        return;
    }
    // A name longer than a HashedName128 holds is cut to its first 127 characters.
    value.Assign(std::string_view(chars, length));
}

void MemoryArchive::String(std::string& value)
{
    const uint32_t left = buffer.data ? buffer.size - position : 0;
    const void* zero = left ? std::memchr(buffer.data + position, 0, left) : nullptr;
    if (!zero) {
        // No terminator before the end: the text is not taken at all.
        value.clear();
        position = buffer.size;
        damaged_ = true;
        return;
    }
    const char* start = reinterpret_cast<const char*>(buffer.data + position);
    const uint32_t length = static_cast<uint32_t>(static_cast<const char*>(zero) - start);
    value.assign(start, length);
    position += length + 1;
}

void MemoryArchive::Bool(bool& value)
{
    uint8_t byte = 0;
    Take(&byte, 1);
    value = byte != 0;
}

void MemoryArchive::U8(uint8_t& value)
{
    Take(&value, 1);
}

void MemoryArchive::U16(uint16_t& value)
{
    uint8_t bytes[2];
    Take(bytes, 2);
    value = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

void MemoryArchive::Float(float& value)
{
    uint32_t bits = 0;
    U32(bits);
    std::memcpy(&value, &bits, sizeof(value));
}

void MemoryArchive::U32(uint32_t& value)
{
    uint8_t bytes[4];
    Take(bytes, 4);
    value = static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
            (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

void MemoryArchive::Object(SerializableObject& object)
{
    if (!object.IsValid()) {
        if (object.GetId() != 0)
            object.CreateById(object.GetId());
        else
            object.CreateUnique();
    }
    object.Serialize(*this);
}

void MemoryArchive::Bytes(void* address, uint32_t count)
{
    if (address)
        Take(address, count);
}
