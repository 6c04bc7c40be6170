#pragma once
// Archive: the one serialization interface of every storable object. A type's
// Serialize calls the operations below in a fixed order; a writing archive
// (mode 1) copies each value out of the object, a reading archive (mode 2)
// fills it. Values lie one after another, little-endian, with no header, tags
// or gaps:
//   Name    1 byte n, then n characters (no zero)
//   String  the characters, then one zero byte
//   Matrix 64, Float4 16, Float3 12, Bool 1, U8 1, U16 2, Float 4, U32 4
//   Object  nothing of its own: the object's own Serialize
//   Bytes   count raw bytes (the count itself is not stored)
// The base archive does nothing in any operation: Matrix, Float4 and Float3 are
// their floats through Float, which does nothing there.
#include <cstdint>
#include <string>
#include <string_view>

#include "kernel/hashed_name.h"

struct float3;
struct float4;
struct float4x4;
class SerializableObject;

class Archive {
public:
    static constexpr uint32_t kWriting = 1;
    static constexpr uint32_t kReading = 2;

    Archive() = default;
    virtual ~Archive();
    Archive(const Archive&) = delete;
    Archive& operator=(const Archive&) = delete;

    virtual void Name(HashedName128& value);
    virtual void String(std::string& value);
    virtual void Matrix(float4x4& value);
    virtual void Float4(float4& value);
    virtual void Float3(float3& value);
    virtual void Bool(bool& value);
    virtual void U8(uint8_t& value);
    virtual void U16(uint16_t& value);
    virtual void Float(float& value);
    virtual void U32(uint32_t& value);
    virtual void Object(SerializableObject& object);
    virtual void Bytes(void* address, uint32_t count);

    bool IsWriting() const { return mode == kWriting; }
    bool IsReading() const { return mode == kReading; }

    uint32_t mode = 0;
    // Carries the id text of a resource file (SerializeResource).
    std::string scratch;
};

// The decimal text of a signed 32-bit value, as "%d" prints it.
std::string IntToString(int32_t value);

// The id a resource's id text spells when it is a signed 32-bit decimal number
// (as IntToString writes one); false for any other text.
bool ParseIdText(std::string_view text, uint32_t& id);
