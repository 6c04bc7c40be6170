#pragma once
// MemoryArchive: the reading archive over one whole file in memory. It lives
// for one LoadFromFile: built, filled by LoadFile, read from the first byte
// forward, its bytes given back when it is destroyed.
//
// No read ever passes the end of the buffer. A read that would gives zeros (an
// empty text or name) instead, leaves the position at the end and marks the
// archive damaged, so the caller can refuse what was read.
#include <cstdint>
#include <string>

#include "kernel/archive.h"
#include "kernel/file_buffer.h"
#include "platform/bytes/byte_reader.h"

class MemoryArchive : public Archive {
public:
    MemoryArchive();
    // Gives a pool-held buffer back to the file system.
    ~MemoryArchive() override;

    // Reads the caller's bytes instead of a loaded file; they are not freed here.
    void ReadFrom(const void* data, uint32_t size);

    void Name(HashedName128& value) override;
    void String(std::string& value) override;
    void Bool(bool& value) override;
    void U8(uint8_t& value) override;
    void U16(uint16_t& value) override;
    void Float(float& value) override;
    void U32(uint32_t& value) override;
    // Gives a handle without a data block one first: by its id when it has one,
    // else a unique one. Then the object's Serialize.
    void Object(SerializableObject& object) override;
    void Bytes(void* address, uint32_t count) override;

    // True once a read ran past the end of the buffer.
    bool Damaged() const { return damaged_; }
    uint32_t Remaining() const { return buffer.size - position; }

    FileBuffer buffer;
    uint32_t position = 0; // offset of the next unread byte

private:
    // A reader of the bytes from the position on, and taking back where it
    // stopped (the end, and the archive damaged, when it ran out).
    platform::ByteReader Unread() const;
    void Consumed(const platform::ByteReader& in);

    bool damaged_ = false;
};
