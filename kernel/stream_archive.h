#pragma once
// StreamArchive: the writing archive. It lives for one SaveToFile: built,
// opened on a file (created or truncated, byte-exact), written, and closed when
// it is destroyed. A write that fails after the open goes unreported.
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "kernel/archive.h"
#include "platform/bytes/byte_writer.h"

// The output file with the scratch fields its writers copy a value into first.
class ArchiveFileStream {
public:
    bool Open(const std::string& name);
    void Close();
    bool IsOpen() const { return file_.is_open(); }

    void FileWriteU8(uint8_t value);
    void FileWriteU16(uint16_t value);
    void FileWriteU32(uint32_t value);
    void FileWriteFloat(float value);
    // The characters, then one zero byte.
    void FileWriteString(const std::string& text);
    void FileWriteBytes(const void* address, uint32_t count);

private:
    // Writes out what the number writers put into bytes_.
    void WritePending();

    std::ofstream file_;
    platform::ByteWriter bytes_;
    uint8_t u8_ = 0;
    uint16_t u16_ = 0;
    uint32_t u32_ = 0;
};

class StreamArchive : public Archive {
public:
    StreamArchive();
    ~StreamArchive() override;

    // Creates the file or empties it; false when it cannot be opened.
    bool OpenArchiveFile(const std::string& name);
    void CloseArchiveFile();

    void Name(HashedName128& value) override;
    void String(std::string& value) override;
    void Bool(bool& value) override;
    void U8(uint8_t& value) override;
    void U16(uint16_t& value) override;
    void Float(float& value) override;
    void U32(uint32_t& value) override;
    void Object(SerializableObject& object) override;
    void Bytes(void* address, uint32_t count) override;

private:
    std::unique_ptr<ArchiveFileStream> stream_;
};
