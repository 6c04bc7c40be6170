#include "scene/heightfield.h"

#include "platform/bytes/byte_reader.h"
#include "script/script_binding.h"

using namespace AngelScript;

namespace {
Heightfield* currentField = nullptr;

constexpr float kByteToUnit = 0.003921569f;

// One sample as 0..1, or false when it lies past the sample data.
bool ReadSample(const Heightfield& field, uint32_t bytesPerSample, uint64_t index, float& out)
{
    const uint64_t offset = index * bytesPerSample;
    platform::ByteReader samples(field.data, field.dataSize);
    const float sample = bytesPerSample == 1 ? static_cast<float>(samples.U8At(offset)) * kByteToUnit
                                             : samples.F32At(offset);
    if (!samples.Ok())
        return false;
    out = sample;
    return true;
}

class HeightfieldScriptBinding : public ScriptBinding {
public:
    HeightfieldScriptBinding()
        : ScriptBinding(ScriptBindingOrder::Heightfield, 0, 0)
    {
        RegisterFunction("float GetHeightfieldHeight(float,float)", asFUNCTION(GetHeightfieldHeight));
    }
};

HeightfieldScriptBinding heightfieldScriptBinding;
} // namespace

float HeightfieldHeight(const Heightfield& field, float x, float z)
{
    const float minimum = field.minCorner.y;
    if (!field.description || field.description->sampleCount == 0 || !field.data || field.width < 2 ||
        field.depth < 2)
        return minimum;
    const float gx = (x - field.minCorner.x) / field.extent.x * static_cast<float>(field.width - 1);
    const float gz = (z - field.minCorner.z) / field.extent.z * static_cast<float>(field.depth - 1);
    // The first column and row of cells, everything before the field and a
    // NaN all fall here; beyond the last cell as well.
    if (!(gx >= 1.0f) || !(gz >= 1.0f) || static_cast<double>(gx) >= static_cast<double>(field.width - 1) ||
        static_cast<double>(gz) >= static_cast<double>(field.depth - 1))
        return minimum;
    const uint32_t ix = static_cast<uint32_t>(gx);
    const uint32_t iz = static_cast<uint32_t>(gz);
    const uint32_t bytesPerSample = field.dataSize / field.description->sampleCount;
    if (bytesPerSample == 0)
        return minimum;
    const uint64_t row0 = static_cast<uint64_t>(iz) * field.width + ix;
    const uint64_t row1 = row0 + field.width;
    float s00, s10, s01, s11;
    if (!ReadSample(field, bytesPerSample, row0, s00) || !ReadSample(field, bytesPerSample, row0 + 1, s10) ||
        !ReadSample(field, bytesPerSample, row1, s01) || !ReadSample(field, bytesPerSample, row1 + 1, s11))
        return minimum;
    const float u = gx - static_cast<float>(ix);
    const float v = gz - static_cast<float>(iz);
    float h;
    if (u < v)
        h = (1.0f - v) * s00 + (v - u) * s01 + u * s11;
    else
        h = (1.0f - u) * s00 + (u - v) * s10 + v * s11;
    return minimum + h * (field.maxCorner.y - minimum);
}

Heightfield* GetHeightfield()
{
    return currentField;
}

void SetHeightfield(Heightfield* field)
{
    currentField = field;
}

float GetHeightfieldHeight(float x, float z)
{
    return currentField ? HeightfieldHeight(*currentField, x, z) : 0.0f;
}
