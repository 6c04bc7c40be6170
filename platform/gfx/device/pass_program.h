#pragma once
// What the device draws one effect pass with (EffectBinding::program), as the
// effect compiler (fx/compiled/pass_compiler.h) makes it from the pass's
// shaders: each stage's SPIR-V and the GLSL made from it, where every
// parameter lies in the pass's uniform block, which texture unit each sampler
// uses, and where the vertex stage reads each vertex input. An empty program
// (no stage) belongs to a pass that sets no shader.
#include <cstdint>
#include <string>
#include <vector>

namespace gfx {

enum class UniformKind : uint8_t { Float, Int, UInt, Bool };

// One parameter's place in the uniform block, as the shader compiler laid it
// out; of a struct parameter, one for each numeric member of each element.
struct UniformField {
    std::string name;            // the parameter's
    UniformKind kind = UniformKind::Float;
    uint8_t rows = 1;            // as the effect declares: float4x3 has 4 rows of 3 columns
    uint8_t columns = 1;
    bool columnMajor = true;     // a matrix stores each of its columns contiguously
    uint32_t offset = 0;         // bytes from the start of the block
    uint32_t elements = 0;       // 0 when not an array
    uint32_t arrayStride = 0;
    uint32_t matrixStride = 0;   // bytes between the stored columns (or rows) of a matrix
    uint32_t first = 0;          // where its values begin among the parameter's
    bool operator==(const UniformField&) const = default;
};

enum class SamplerDimension : uint8_t { Tex2D, Tex3D, Cube };

struct SamplerSlot {
    std::string name;            // the sampler parameter
    std::string texture;         // the texture parameter it reads, "" when none
    uint32_t unit = 0;           // texture unit (the device's sampler), unique within the pass
    SamplerDimension dimension = SamplerDimension::Tex2D;
    // The units it takes from `unit` on: an array's elements take one each.
    // Not kept in a compiled file, whose parameters give it (SetSamplerUnits).
    uint32_t units = 1;
    bool operator==(const SamplerSlot&) const = default;
};

struct ShaderStageCode {
    std::vector<uint32_t> spirv;
    std::string glsl;
    bool operator==(const ShaderStageCode&) const = default;
};

// A vertex input the vertex stage reads: the declaration element of its usage
// and usage index binds at its attribute location.
struct VertexInput {
    uint32_t location = 0;
    uint32_t usage = 0;
    uint32_t usageIndex = 0;
    bool operator==(const VertexInput&) const = default;
};

struct PassProgram {
    ShaderStageCode vertex;
    ShaderStageCode pixel;
    uint32_t uniformBytes = 0;
    std::vector<UniformField> uniforms;
    std::vector<SamplerSlot> samplers;
    std::vector<VertexInput> vertexInputs; // by location

    bool Empty() const { return vertex.glsl.empty() && pixel.glsl.empty(); }
    bool operator==(const PassProgram&) const = default;
};

inline constexpr uint32_t kMaxUniformBlockBytes = 65536;
inline constexpr uint32_t kMaxSamplerUnits = 16;
inline constexpr uint32_t kMaxVertexAttributes = 16;

// The attribute location where `program` reads the declaration element of
// `usage` and `usageIndex`, or -1 when it reads none.
inline int AttributeLocation(const PassProgram& program, uint32_t usage, uint32_t usageIndex)
{
    for (const VertexInput& input : program.vertexInputs)
        if (input.usage == usage && input.usageIndex == usageIndex)
            return static_cast<int>(input.location);
    return -1;
}

// Bytes one element of a field takes from its offset.
inline uint64_t UniformElementBytes(const UniformField& f)
{
    if (f.rows > 1 || f.matrixStride != 0) {
        const uint64_t vectors = f.columnMajor ? f.columns : f.rows;
        const uint64_t each = f.columnMajor ? f.rows : f.columns;
        return (vectors == 0 ? 0 : (vectors - 1) * uint64_t{f.matrixStride}) + each * 4;
    }
    return uint64_t{f.columns} * 4;
}

// True when every element of the field lies inside a block of `blockBytes`.
inline bool UniformFieldFits(const UniformField& f, uint32_t blockBytes)
{
    if (f.rows == 0 || f.columns == 0 || f.rows > 4 || f.columns > 4)
        return false;
    const uint64_t elements = f.elements == 0 ? 1 : f.elements;
    return uint64_t{f.offset} + (elements - 1) * uint64_t{f.arrayStride} + UniformElementBytes(f) <= blockBytes;
}

// The uniform block binding of the parameters and of the draw's own constants
// (pixel shift and alpha test; the fog), shared by the shader wrapper and the
// drawing path.
inline constexpr uint32_t kParameterBlockBinding = 0;
inline constexpr uint32_t kDrawBlockBinding = 1;
inline constexpr uint32_t kFogBlockBinding = 2; // below shader model 3

} // namespace gfx
