#pragma once
// A compiled stage's SPIR-V made into the text the drawing device compiles
// (GLSL 4.50), read on the way for where each parameter it reads lies in the
// parameters' uniform block and which texture unit each sampler it reads
// takes. The shader compiler's packing of structs is laid out again by the
// driver's std140 rules, and the effect's functions named `main` are renamed,
// as the translation's entry point takes that name.
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <spirv_cross/spirv_glsl.hpp>

#include "platform/gfx/fx/parser/effect_description.h"
#include "platform/gfx/fx/parser/struct_layouts.h"
#include "platform/gfx/fx/syntax/name_table.h"

namespace gfx {

class StageTranslator {
public:
    using Units = std::vector<std::pair<std::string, uint32_t>>; // sampler, texture unit

    explicit StageTranslator(const EffectDescription& effect);
    // The effect's parameters named for FindParameter; false when the program
    // began closing first.
    bool NameParameters();
    const EffectParameter* FindParameter(std::string_view name) const;

    // The stage's text for drawing; the places of the parameters it reads
    // and its samplers, at `units`, added to `part`. `ownBlock`: the stage
    // declares only the parameters it reads, and its block takes a name of
    // its own (a block that two stages of a program name alike must be alike
    // in both). Throws what cannot be translated.
    std::string Translate(const std::vector<uint32_t>& spirv, const Units& units, bool ownBlock,
                          PassProgram& part) const;

private:
    // The place of member `i` of `type` (the block, or a struct in it) that
    // lies `base` bytes into the block: a numeric value of the effect's
    // `kind`, rows and columns, whose values begin at `first` among those of
    // the parameter `name`.
    static UniformField Field(spirv_cross::CompilerGLSL& cross, const spirv_cross::SPIRType& type, uint32_t i,
                              uint32_t base, EffectParameterType kind, uint8_t rows, uint8_t columns,
                              uint32_t arraySize, const std::string& name, uint32_t first);
    // The numeric members of member `i` of `type`, a struct (or an array of
    // `arraySize` of them) laid out as `layout`, each element's values
    // beginning where the one before it ends from `first`: a place each, of
    // every element.
    void PlaceStruct(spirv_cross::CompilerGLSL& cross, const spirv_cross::SPIRType& type, uint32_t i, uint32_t base,
                     uint32_t layout, uint32_t arraySize, const std::string& name, uint32_t first,
                     std::vector<UniformField>& out) const;
    void Reflect(spirv_cross::CompilerGLSL& cross, PassProgram& program, const Units& units, bool ownBlock) const;

    const EffectDescription& effect_;
    NameTable parameters_;  // index in effect_.parameters
    StructLayouts layouts_; // of effect_.structTypes
};

} // namespace gfx
