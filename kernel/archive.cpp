#include "kernel/archive.h"

#include <charconv>
#include <cstdio>

#include "kernel/math/float3.h"
#include "kernel/math/float4.h"
#include "kernel/math/float4x4.h"

Archive::~Archive() = default;

void Archive::Name(HashedName128&) {}
void Archive::String(std::string&) {}

// The compound values are their floats in order, whichever way the archive goes.
void Archive::Matrix(float4x4& value)
{
    for (float& element : value.m)
        Float(element);
}

void Archive::Float4(float4& value)
{
    Float(value.x);
    Float(value.y);
    Float(value.z);
    Float(value.w);
}

void Archive::Float3(float3& value)
{
    Float(value.x);
    Float(value.y);
    Float(value.z);
}

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

bool ParseIdText(std::string_view text, uint32_t& id)
{
    int32_t number = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, number);
    if (text.empty() || error != std::errc() || stop != end)
        return false;
    id = static_cast<uint32_t>(number);
    return true;
}
