#pragma once
// Every state an effect's passes and sampler_state blocks may set, as the
// platform's effect system names them: render, texture-stage, sampler,
// light, material, transform, texture, sampler, shader-constant and shader
// states, each with the device number it sets, the indices it takes, the type
// of value it wants and the named values it knows (`CullMode = None;`,
// `ColorWriteEnable = Red | Blue;`). Names and named values are matched
// without regard to letter case.
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace gfx {

// Where a state's value goes on the device.
enum class StateGroup : uint8_t {
    Render,               // SetRenderState(number, value)
    TextureStage,         // SetTextureStageState(index, number, value)
    Sampler,              // SetSamplerState(index, number, value)
    Light,                // member `number` of light `index` (LightMember)
    LightEnable,          // LightEnable(index, value)
    Material,             // member `number` of the material (MaterialMember)
    Transform,            // SetTransform(number + index, matrix)
    Texture,              // SetTexture(index, a texture parameter)
    SamplerObject,        // every state of a sampler parameter onto sampler `index`, and its texture
    VertexShader,
    PixelShader,
    VertexShaderConstant, // registers from `index` on; `number` is a ConstantKind
    PixelShaderConstant,
    PatchSegments,        // SetNPatchMode(value)
    Fvf,                  // SetFVF(value)
};

// The value a state wants.
enum class StateType : uint8_t {
    Bool,     // 0 or 1
    Dword,    // an unsigned number or named values
    Int,      // a signed number
    Float,    // stored as its bits
    Colour,   // A8R8G8B8: a number, or a float4 of 0..1 channels
    Float3,
    Float4,
    Matrix,   // 4x4 floats, row by row
    Texture,  // a texture parameter or NULL
    Sampler,  // a sampler parameter or NULL
    Shader,   // a compiled shader, a shader variable or NULL
    Floats,   // float4 registers
    Ints,     // int4 registers
    Bools,    // one bool a register
};

// The named values a state knows.
enum class StateValues : uint8_t {
    None,
    Bool,
    ZBuffer,
    Fill,
    Shade,
    Blend,
    BlendOp,
    Cull,
    Compare,
    StencilOp,
    Fog,
    MaterialSource,
    VertexBlend,
    PatchEdge,
    Degree,
    ColourWrite,   // combined with '|'
    Wrap,          // combined with '|'
    TextureOp,
    TextureArg,    // an argument and its modifiers combined with '|'
    TexCoordIndex, // an index and a generation flag combined with '|'
    TextureTransform,
    Filter,
    Address,
    LightType,
    Fvf,           // a position kind and what follows it combined with '|'
};

// Members of a light and of the material, as LightMember / MaterialMember.
enum LightMember : uint32_t {
    kLightType, kLightDiffuse, kLightSpecular, kLightAmbient, kLightPosition, kLightDirection, kLightRange,
    kLightFalloff, kLightAttenuation0, kLightAttenuation1, kLightAttenuation2, kLightTheta, kLightPhi,
};
enum MaterialMember : uint32_t { kMaterialDiffuse, kMaterialAmbient, kMaterialSpecular, kMaterialEmissive, kMaterialPower };
enum ConstantKind : uint32_t { kConstantFloat, kConstantInt, kConstantBool };

struct StateInfo {
    std::string_view name; // as the platform spells it
    StateGroup group;
    uint32_t number;
    uint32_t indices;      // 0: no index; else indices 0 .. indices - 1 (none written is 0)
    StateType type;
    StateValues values;
    // For shader constants: the registers one assignment fills at most (0: as many as given).
    uint32_t registers = 0;
};

// Every state, in the order of the platform's documentation.
std::span<const StateInfo> EffectStates();
// The state called `name` in any letter case, or null.
const StateInfo* FindEffectState(std::string_view name);
// The state of `group` and `number` (the first of them for shader constants), or null.
const StateInfo* FindEffectState(StateGroup group, uint32_t number);

// The value `word` names among `values`, in any letter case.
std::optional<uint32_t> NamedStateValue(StateValues values, std::string_view word);
// True when values of the set combine with '|'.
bool StateValuesCombine(StateValues values);
// Every name and value of a set, for messages and tests.
struct NamedValue {
    std::string_view name;
    uint32_t value;
};
std::span<const NamedValue> StateValueNames(StateValues values);

} // namespace gfx
