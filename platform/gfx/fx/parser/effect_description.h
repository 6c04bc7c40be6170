#pragma once
// What an effect file declares, as the compiler keeps it: the parameter table,
// the techniques with their passes (each with its compiled program, shared by
// the passes that compile the same shaders), the shader functions and structs
// as text, and the defines it was compiled with. The parser and the pass
// compiler produce it, the compiled-effect file stores it, and
// gfx::RuntimeEffect is built from it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/device/pass_program.h"
#include "platform/gfx/fx/parser/state_assignments.h"

namespace gfx {

enum class EffectParameterType : uint8_t {
    Bool,
    Int,
    Float,
    String,
    Texture,
    Texture1D,
    Texture2D,
    Texture3D,
    TextureCube,
    Sampler,
    Sampler1D,
    Sampler2D,
    Sampler3D,
    SamplerCube,
    Struct,
};
inline constexpr uint8_t kEffectParameterTypeCount = 15;

inline bool IsNumericType(EffectParameterType t)
{
    return t == EffectParameterType::Bool || t == EffectParameterType::Int ||
           t == EffectParameterType::Float;
}
inline bool IsTextureType(EffectParameterType t)
{
    return t >= EffectParameterType::Texture && t <= EffectParameterType::TextureCube;
}
inline bool IsSamplerType(EffectParameterType t)
{
    return t >= EffectParameterType::Sampler && t <= EffectParameterType::SamplerCube;
}

// Limits on what one effect may declare; larger declarations are errors.
inline constexpr uint32_t kMaxEffectArraySize = 65536;
inline constexpr uint32_t kMaxEffectParameterFloats = 1u << 20;
// The highest sampler register a declaration may name (s0 to s15 of a pixel shader).
inline constexpr uint32_t kMaxSamplerRegister = 15;

// `< type name = value; >` on a parameter, technique or pass.
struct EffectAnnotation {
    std::string type;  // as written: "string", "float", "float4", ...
    std::string name;
    std::vector<float> values;  // numeric annotations
    std::string text;           // string annotations
    bool operator==(const EffectAnnotation&) const = default;
};

// One `Name[index] = value;` of a sampler_state block or a pass.
struct EffectState {
    std::string name;
    int32_t index = -1;  // -1 when the state has no index
    std::string value;   // the value as written, tokens joined by single blanks
    bool operator==(const EffectState&) const = default;
};

struct EffectParameter {
    std::string name;
    EffectParameterType type = EffectParameterType::Float;
    uint8_t rows = 1;     // 1 for scalars and vectors; 0 for objects
    uint8_t columns = 1;  // vector size or matrix columns; 0 for objects
    uint32_t arraySize = 0;  // 0 when the parameter is not an array
    std::string semantic;
    std::string structName;  // for Struct parameters
    // rows x columns floats per element, row by row, for every element (a
    // struct's as its type lays them out); zeros when the file gives no
    // initial value. Bools and ints are stored as floats too.
    std::vector<float> defaults;
    // A string's value, or an array of strings' elements, up to the last
    // that is not empty: those after it (all, when none is given) are "".
    std::vector<std::string> strings;
    std::vector<EffectAnnotation> annotations;
    std::string samplerTexture;  // the texture a sampler_state names ("t", "maps[1]"), or ""
    int32_t samplerRegister = -1; // the N of `register(sN)` (up to kMaxSamplerRegister), or -1
    std::vector<EffectState> samplerStates;
    std::vector<StateAssignment> samplerAssignments; // the same states as the device takes them

    uint32_t Elements() const { return arraySize == 0 ? 1u : arraySize; }
    uint32_t FloatsPerElement() const { return uint32_t(rows) * uint32_t(columns); }
    bool operator==(const EffectParameter&) const = default;
};

// A member of a struct that parameters are declared with.
struct EffectMember {
    std::string name;
    EffectParameterType type = EffectParameterType::Float; // Bool, Int, Float or Struct
    uint8_t rows = 1;        // as a parameter's: 0 for a struct
    uint8_t columns = 1;
    uint32_t arraySize = 0;  // 0 when the member is not an array
    std::string structName;  // for a struct member
    bool operator==(const EffectMember&) const = default;
};

// A struct that parameters are declared with. The parameter table keeps its
// values as its members' in turn, each member's element after element, a
// struct member's own members within it, nothing between.
struct EffectStructType {
    std::string name;
    std::vector<EffectMember> members;
    bool operator==(const EffectStructType&) const = default;
};
// How deep structs may hold structs.
inline constexpr uint32_t kMaxStructNesting = 32;

// A `compile profile entry(args)` assignment of a pass.
struct EffectShader {
    std::string profile;  // "vs_2_0", "ps_3_0", ...; empty when the pass sets none
    std::string entry;
    std::string arguments;  // as written, without the parentheses
    bool operator==(const EffectShader&) const = default;
};

// `VertexShader = (vs[i]);`: a pass's shader taken from an array of shader
// variables by the value of its index when the pass begins.
struct EffectShaderChoice {
    std::string array;                  // "" when the pass's shader does not vary
    std::vector<EffectShader> elements; // the array's (a profile of "" for NULL)
    std::vector<uint8_t> index;         // the index, as the expression evaluator writes it
    bool operator==(const EffectShaderChoice&) const = default;
};

// A pass's program, one that every pass compiling the same shaders shares:
// kept once however many passes draw with it. Compared by what it holds; a
// change through Own() is its pass's alone.
class SharedProgram {
public:
    SharedProgram() = default;
    SharedProgram(PassProgram program) : held_(std::make_shared<PassProgram>(std::move(program))) {}

    const PassProgram& operator*() const { return held_ ? *held_ : Empty(); }
    const PassProgram* operator->() const { return &**this; }
    // The program shared, or null for the empty one no pass shares.
    const PassProgram* Held() const { return held_.get(); }
    // The program for its pass alone to change: copied first where another shares it.
    PassProgram& Own()
    {
        if (!held_ || held_.use_count() > 1)
            held_ = std::make_shared<PassProgram>(**this);
        return *held_;
    }
    bool operator==(const SharedProgram& other) const { return **this == *other; }

private:
    static const PassProgram& Empty()
    {
        static const PassProgram empty;
        return empty;
    }
    std::shared_ptr<PassProgram> held_;
};

struct EffectPass {
    std::string name;
    std::vector<EffectAnnotation> annotations;
    std::vector<EffectState> states;  // every state but the shaders, as written
    // Every state, the shaders' places included, in order, as the device takes them.
    std::vector<StateAssignment> assignments;
    EffectShader vertexShader;
    EffectShader pixelShader;
    SharedProgram program;  // the compiled shaders of the pass
    EffectShaderChoice vertexChoice;
    EffectShaderChoice pixelChoice;
    // With a choice, the program of every pair of elements (vertex element x
    // the pixel count + pixel element, a shader that does not vary counting as
    // one element), `program` left empty.
    std::vector<SharedProgram> choicePrograms;
    bool operator==(const EffectPass&) const = default;
};

struct EffectTechnique {
    std::string name;
    std::vector<EffectAnnotation> annotations;
    std::vector<EffectPass> passes;
    bool operator==(const EffectTechnique&) const = default;
};

// A function or struct kept as its source text.
struct EffectCode {
    std::string name;
    std::string text;
    bool operator==(const EffectCode&) const = default;
};

struct EffectDescription {
    std::vector<std::string> defines;  // the defines given from outside, in order
    std::vector<EffectParameter> parameters;
    // The structs that parameters are declared with, each after those it holds.
    std::vector<EffectStructType> structTypes;
    std::vector<EffectTechnique> techniques;
    std::vector<EffectCode> structs;
    std::vector<EffectCode> functions;
    bool operator==(const EffectDescription&) const = default;
};

// Checks the rules every description must keep (sizes, unique names, references
// between samplers and textures and between passes and functions). Returns "" when
// the description is sound, else what is wrong. With `stopped`, a close signal
// (the program is closing) ends the check early with "" and `stopped` set.
std::string CheckEffectDescription(const EffectDescription& description, bool* stopped = nullptr);

} // namespace gfx
