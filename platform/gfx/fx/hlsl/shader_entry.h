#pragma once
// The generated entry points that wrap an effect's shader functions for the
// compiler. Each wrapper takes and returns what the stage sees at the places
// of its semantics (vertex inputs at the attribute location of their usage and
// index, values between the stages at the varying location of their semantic,
// always as four floats; a pair without a fixed place at a free one, which the
// pixel stage learns from the vertex stage), as far as the target's registers
// allow, calls the effect's function with the pass's literal arguments
// for its uniform parameters, and adds what Direct3D 9 does that OpenGL does not:
// the vertex position moved by half a pixel (pixel centres on integers), VPOS
// and VFACE, the alpha test as a discard, and pixel inputs the vertex stage never
// writes read as zero. Below shader model 3 colours pass between the stages
// clamped to 0..1 (the fog factor too), and the fixed-function fog blends the
// pixel stage's colour after it. Passes that set only one stage get a plain
// stand-in for the other.
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/device/pass_program.h"
#include "platform/gfx/fx/parser/effect_description.h"
#include "platform/gfx/fx/hlsl/shader_semantics.h"

namespace gfx {

// A value between the stages: its semantic and the varying location it lies at.
struct Varying {
    Semantic semantic;
    int location = 0;
    bool operator==(const Varying&) const = default;
};

struct ShaderEntry {
    std::string code;                   // HLSL appended after the effect's own text
    std::string name;                   // the generated entry point
    // Where in `code` its first statement goes: the statics the effect gives
    // their values at the entry point come before it. npos for a stage that
    // reads no static.
    size_t body = std::string::npos;
    std::vector<Varying> varyings;      // vertex: written; pixel: read
    std::vector<VertexInput> attributes; // vertex: the inputs read
};

// The draw's own constants, declared by every wrapper.
inline constexpr const char* kDrawBlockName = "zl_Draw";
// The fixed-function fog's constants, declared by the pixel stages below
// shader model 3 (and the stand-in for none), which fog follows.
inline constexpr const char* kFogBlockName = "zl_Fog";

// The wrappers of one effect's passes. Functions and structs are found by
// name through tables made once, and each signature and struct is read once,
// however many passes use it. `effect` must outlive the maker.
class ShaderEntryMaker {
public:
    explicit ShaderEntryMaker(const EffectDescription& effect);
    ~ShaderEntryMaker();
    ShaderEntryMaker(const ShaderEntryMaker&) = delete;
    ShaderEntryMaker& operator=(const ShaderEntryMaker&) = delete;

    // False with a message in `error` when the function's signature cannot be
    // wrapped (unknown function, semantics without a place, arguments that do
    // not fit the uniform parameters).
    bool Vertex(const EffectShader& shader, ShaderEntry& out, std::string& error);
    // `written`: what the pass's vertex stage writes.
    bool Pixel(const EffectShader& shader, const std::vector<Varying>& written, ShaderEntry& out,
               std::string& error);

    struct Tables;

private:
    std::unique_ptr<Tables> tables_;
};

// One wrapper alone, through a maker of its own.
bool MakeVertexEntry(const EffectDescription& effect, const EffectShader& shader, ShaderEntry& out,
                     std::string& error);
bool MakePixelEntry(const EffectDescription& effect, const EffectShader& shader, const std::vector<Varying>& written,
                    ShaderEntry& out, std::string& error);
// What the stand-in vertex stage of a pass without one can write: the texture
// coordinates and colours, at their fixed places.
std::vector<Varying> PassThroughVaryings();
// A vertex stage that hands on the position and every varying `pixel` reads
// from the vertex input of the same semantic.
ShaderEntry MakePassThroughVertexEntry(const ShaderEntry& pixel);
// A pixel stage that writes the vertex stage's COLOR0, or white.
ShaderEntry MakePlainPixelEntry(const std::vector<Varying>& written);

} // namespace gfx
