#include "kernel/stream_archive.h"

#include <cstring>

#include "kernel/serializable_object.h"

bool ArchiveFileStream::Open(const std::string& name)
{
    file_.open(name, std::ios::out | std::ios::binary | std::ios::trunc);
    return file_.is_open();
}

void ArchiveFileStream::Close()
{
    if (file_.is_open())
        file_.close();
}

void ArchiveFileStream::FileWriteU8(uint8_t value)
{
    u8_ = value;
    file_.put(static_cast<char>(u8_));
}

void ArchiveFileStream::FileWriteU16(uint16_t value)
{
    u16_ = value;
    bytes_.U16(u16_);
    WritePending();
}

void ArchiveFileStream::FileWriteU32(uint32_t value)
{
    u32_ = value;
    bytes_.U32(u32_);
    WritePending();
}

void ArchiveFileStream::FileWriteFloat(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof(bits));
    FileWriteU32(bits);
}

void ArchiveFileStream::WritePending()
{
    const std::span<const uint8_t> bytes = bytes_.Written();
    file_.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    bytes_.Clear();
}

void ArchiveFileStream::FileWriteString(const std::string& text)
{
    // Stops at an embedded zero: the reader would stop there too.
    file_.write(text.c_str(), static_cast<std::streamsize>(std::strlen(text.c_str())));
    file_.put('\0');
}

void ArchiveFileStream::FileWriteBytes(const void* address, uint32_t count)
{
    if (count)
        file_.write(static_cast<const char*>(address), count);
}

StreamArchive::StreamArchive() : stream_(std::make_unique<ArchiveFileStream>())
{
    mode = kWriting;
}

StreamArchive::~StreamArchive()
{
    CloseArchiveFile();
}

bool StreamArchive::OpenArchiveFile(const std::string& name)
{
    if (!stream_)
        stream_ = std::make_unique<ArchiveFileStream>();
    return stream_->Open(name);
}

void StreamArchive::CloseArchiveFile()
{
    if (!stream_)
        return;
    stream_->Close();
    stream_.reset();
}

void StreamArchive::Name(HashedName128& value)
{
    if (!stream_)
        return;
    const uint8_t length = static_cast<uint8_t>(value.length & 0xFF);
    stream_->FileWriteU8(length);
    stream_->FileWriteBytes(value.chars, length);
}

void StreamArchive::String(std::string& value)
{
    if (stream_)
        stream_->FileWriteString(value);
}

void StreamArchive::Bool(bool& value)
{
    if (stream_)
        stream_->FileWriteU8(value ? 1 : 0);
}

void StreamArchive::U8(uint8_t& value)
{
    if (stream_)
        stream_->FileWriteU8(value);
}

void StreamArchive::U16(uint16_t& value)
{
    if (stream_)
        stream_->FileWriteU16(value);
}

void StreamArchive::Float(float& value)
{
    if (stream_)
        stream_->FileWriteFloat(value);
}

void StreamArchive::U32(uint32_t& value)
{
    if (stream_)
        stream_->FileWriteU32(value);
}

void StreamArchive::Object(SerializableObject& object)
{
    object.Serialize(*this);
}

void StreamArchive::Bytes(void* address, uint32_t count)
{
    if (stream_)
        stream_->FileWriteBytes(address, count);
}
