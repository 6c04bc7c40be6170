#include "kernel/memory_archive.h"

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

platform::ByteReader MemoryArchive::Unread() const
{
    platform::ByteReader in(buffer.data, buffer.size);
    in.Seek(position);
    return in;
}

void MemoryArchive::Consumed(const platform::ByteReader& in)
{
    position = static_cast<uint32_t>(in.Position());
    if (!in.Ok())
        damaged_ = true;
}

void MemoryArchive::Name(HashedName128& value)
{
    platform::ByteReader in = Unread();
    const uint8_t length = in.U8();
    const std::string_view chars = in.Chars(length);
    Consumed(in);
    // A name longer than a HashedName128 holds is cut to its first 127 characters.
    value.Assign(chars);
}

void MemoryArchive::String(std::string& value)
{
    // No terminator before the end: the text is not taken at all.
    platform::ByteReader in = Unread();
    value = in.ZeroEndedText();
    Consumed(in);
}

void MemoryArchive::Bool(bool& value)
{
    platform::ByteReader in = Unread();
    value = in.U8() != 0;
    Consumed(in);
}

void MemoryArchive::U8(uint8_t& value)
{
    platform::ByteReader in = Unread();
    value = in.U8();
    Consumed(in);
}

void MemoryArchive::U16(uint16_t& value)
{
    platform::ByteReader in = Unread();
    value = in.U16();
    Consumed(in);
}

void MemoryArchive::Float(float& value)
{
    platform::ByteReader in = Unread();
    value = in.F32();
    Consumed(in);
}

void MemoryArchive::U32(uint32_t& value)
{
    platform::ByteReader in = Unread();
    value = in.U32();
    Consumed(in);
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
    if (!address)
        return;
    platform::ByteReader in = Unread();
    in.CopyTo(address, count);
    Consumed(in);
}
