#include "kernel/archive.h"

#include <cstdio>

Archive::~Archive() = default;

void Archive::Name(HashedName128&) {}
void Archive::String(std::string&) {}
void Archive::Matrix(float4x4&) {}
void Archive::Float4(float4&) {}
void Archive::Float3(float3&) {}
void Archive::Bool(bool&) {}
void Archive::U8(uint8_t&) {}
void Archive::U16(uint16_t&) {}
void Archive::Float(float&) {}
void Archive::U32(uint32_t&) {}
void Archive::Object(SerializableObject&) {}
void Archive::Bytes(void*, uint32_t) {}

std::string IntToString(int32_t value)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%d", static_cast<int>(value));
    return text;
}
