#pragma once
// Objects written to real files through a StreamArchive and read back from
// their bytes, for byte-exact round trips. Header only: the scene and render
// test programs each include it.
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "kernel/serializable_object.h"
#include "testing/test_files.h"

using Bytes = std::vector<uint8_t>;

inline std::filesystem::path SceneTempFolder()
{
    static const std::filesystem::path folder = zandrel_test::FreshProgramFolder("zandrel_scene_");
    return folder;
}

// SaveToFile into a temp file; the file's bytes.
inline Bytes SavedBytes(SerializableObject& object)
{
    static int serial = 0;
    const auto path = SceneTempFolder() / ("saved" + std::to_string(serial++) + ".bin");
    try {
        object.SaveToFile(path.string());
    } catch (int) {
        ADD_FAILURE() << "not written: " << path;
    }
    return zandrel_test::ReadBytes(path);
}

inline FileReadResult LoadBytes(SerializableObject& object, const Bytes& bytes)
{
    return ReadObjectBytes(object, bytes.data(), static_cast<uint32_t>(bytes.size()), "test bytes");
}

// Little-endian building blocks of expected files.
struct ByteBuilder {
    Bytes bytes;
    ByteBuilder& U8(uint8_t v) { return Raw(&v, 1); }
    ByteBuilder& U16(uint16_t v) { return Raw(&v, 2); }
    ByteBuilder& U32(uint32_t v) { return Raw(&v, 4); }
    ByteBuilder& F32(float v) { return Raw(&v, 4); }
    ByteBuilder& F4(float a, float b, float c, float d) { return F32(a).F32(b).F32(c).F32(d); }
    ByteBuilder& Text(const std::string& s)
    {
        bytes.insert(bytes.end(), s.begin(), s.end());
        bytes.push_back(0);
        return *this;
    }
    ByteBuilder& Raw(const void* p, size_t n)
    {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
        return *this;
    }
};
