#include "platform/gfx/fx/compiled/stage_translation.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

#include "platform/gfx/fx/hlsl/shader_entry.h"
#include "platform/window/close_check.h"

namespace gfx {

namespace {

// The effect's functions named `main` renamed: the translation gives its
// entry point that name, which no other function of the text may take.
void RenameMains(spirv_cross::CompilerGLSL& cross, const std::vector<uint32_t>& spirv)
{
    constexpr size_t kHeaderWords = 5;
    for (size_t at = kHeaderWords; at < spirv.size();) {
        const uint32_t words = spirv[at] >> 16;
        if (words == 0)
            break;
        if ((spirv[at] & 0xFFFF) == spv::OpFunction && at + 2 < spirv.size()) {
            const uint32_t id = spirv[at + 2];
            const std::string name = cross.get_name(id);
            if (name == "main" || name.rfind("main(", 0) == 0)
                cross.set_name(id, "zl_main");
        }
        at += words;
    }
}

constexpr const char* kPixelParameterBlockName = "zl_PixelParameters";

uint32_t RoundUp(uint32_t value, uint32_t to)
{
    return (value + to - 1) / to * to;
}

// The shader compiler packs the members of a struct in the parameters'
// block as the platform packs registers (a float2 right after a float), which
// the driver's language cannot state; it leaves each struct the room the
// driver's std140 rules give it, though. So each struct is laid out again by
// those rules, its members named where they then lie (each struct type once,
// in `done` with its size).
uint32_t LayOutStruct(spirv_cross::CompilerGLSL& cross, uint32_t id, std::unordered_map<uint32_t, uint32_t>& done)
{
    if (const auto found = done.find(id); found != done.end())
        return found->second;
    const spirv_cross::SPIRType type = cross.get_type(id);
    uint32_t offset = 0;
    for (uint32_t i = 0; i < type.member_types.size(); ++i) {
        const spirv_cross::SPIRType& member = cross.get_type(type.member_types[i]);
        uint32_t align = 16;
        uint32_t size = 0;
        uint32_t element = 0; // an element's size, of a struct
        if (member.basetype == spirv_cross::SPIRType::Struct)
            element = RoundUp(LayOutStruct(cross, member.self, done), 16);
        if (!member.array.empty()) {
            if (member.array.size() != 1 || !member.array_size_literal[0])
                throw std::runtime_error("a struct of the parameters holds an array the compiler did not size");
            const uint32_t stride = cross.type_struct_member_array_stride(type, i);
            if (stride % 16 != 0 || stride < element)
                throw std::runtime_error("a struct of the parameters holds an array of an unexpected stride");
            size = stride * member.array[0];
        } else if (member.basetype == spirv_cross::SPIRType::Struct) {
            size = element;
        } else if (member.columns > 1) {
            const bool rows = cross.has_member_decoration(id, i, spv::DecorationRowMajor);
            size = cross.type_struct_member_matrix_stride(type, i) * (rows ? member.vecsize : member.columns);
        } else {
            size = 4 * member.vecsize;
            align = member.vecsize == 1 ? 4 : member.vecsize == 2 ? 8 : 16;
        }
        offset = RoundUp(offset, align);
        cross.set_member_decoration(id, i, spv::DecorationOffset, offset);
        offset += size;
    }
    done.emplace(id, offset);
    return offset;
}

// Every struct in the parameters' block `block` laid out by std140's rules,
// each in the room the compiler gave it.
void LayOutStructs(spirv_cross::CompilerGLSL& cross, uint32_t block)
{
    const spirv_cross::SPIRType& type = cross.get_type(block);
    std::unordered_map<uint32_t, uint32_t> done;
    for (uint32_t i = 0; i < type.member_types.size(); ++i) {
        const spirv_cross::SPIRType& member = cross.get_type(type.member_types[i]);
        if (member.basetype != spirv_cross::SPIRType::Struct)
            continue;
        const uint32_t size = RoundUp(LayOutStruct(cross, member.self, done), 16);
        // The last member has the rest of the block.
        uint32_t room = ~uint32_t{0};
        if (!member.array.empty())
            room = member.array.size() == 1 ? cross.type_struct_member_array_stride(type, i) : 0;
        else if (i + 1 < type.member_types.size())
            room = RoundUp(cross.type_struct_member_offset(type, i + 1) - cross.type_struct_member_offset(type, i), 16);
        if (size > room)
            throw std::runtime_error("the struct parameter '" + cross.get_member_name(block, i) +
                                     "' does not fit the room the compiler gave it");
    }
}

} // namespace

StageTranslator::StageTranslator(const EffectDescription& effect) : effect_(effect)
{
    layouts_.Build(effect_.structTypes); // the parser laid them out soundly
}

bool StageTranslator::NameParameters()
{
    for (size_t i = 0; i < effect_.parameters.size(); ++i) {
        if (platform::ClosingAfter())
            return false;
        parameters_.Add(effect_.parameters[i].name, static_cast<uint32_t>(i));
    }
    return true;
}

const EffectParameter* StageTranslator::FindParameter(std::string_view name) const
{
    const uint32_t found = parameters_.Find(name);
    return found == NameTable::kNone ? nullptr : &effect_.parameters[found];
}

std::string StageTranslator::Translate(const std::vector<uint32_t>& spirv, const Units& units, bool ownBlock,
                                       PassProgram& part) const
{
    spirv_cross::CompilerGLSL cross(spirv);
    RenameMains(cross, spirv);
    Reflect(cross, part, units, ownBlock);
    return cross.compile();
}

// The place of member `i` of `type` (the block, or a struct in it) that
// lies `base` bytes into the block: a numeric value of the effect's
// `kind`, rows and columns, whose values begin at `first` among those of
// the parameter `name`.
UniformField StageTranslator::Field(spirv_cross::CompilerGLSL& cross, const spirv_cross::SPIRType& type, uint32_t i,
                          uint32_t base, EffectParameterType kind, uint8_t rows, uint8_t columns,
                          uint32_t arraySize, const std::string& name, uint32_t first)
{
    const spirv_cross::SPIRType& member = cross.get_type(type.member_types[i]);
    UniformField field;
    field.name = name;
    field.first = first;
    field.kind = kind == EffectParameterType::Bool  ? UniformKind::Bool
                 : kind == EffectParameterType::Int ? UniformKind::Int
                                                    : UniformKind::Float;
    if (field.kind == UniformKind::Int && member.basetype == spirv_cross::SPIRType::UInt)
        field.kind = UniformKind::UInt;
    if (field.kind == UniformKind::Float && member.basetype == spirv_cross::SPIRType::Int)
        field.kind = UniformKind::Int;
    field.rows = rows;
    field.columns = columns;
    field.offset = base + cross.type_struct_member_offset(type, i);
    if (!member.array.empty()) {
        field.elements = arraySize == 0 ? 1 : arraySize;
        field.arrayStride = cross.type_struct_member_array_stride(type, i);
        // An array of arrays: its elements one after another, row after
        // row, as the parameter keeps them; each its own register, as
        // the inmost array steps.
        if (member.array.size() > 1) {
            uint32_t inmost = type.member_types[i];
            while (!cross.get_type(cross.get_type(inmost).parent_type).array.empty())
                inmost = cross.get_type(inmost).parent_type;
            const uint32_t stride = cross.get_decoration(inmost, spv::DecorationArrayStride);
            uint64_t elements = 1;
            for (size_t k = 0; k + 1 < member.array.size(); ++k)
                elements *= member.array[k];
            if (stride == 0 || uint64_t{field.arrayStride} != elements * stride)
                throw std::runtime_error("the parameter '" + name + "' is an array of arrays of unexpected strides");
            field.arrayStride = stride;
        }
    }
    if (member.columns > 1) {
        field.matrixStride = cross.type_struct_member_matrix_stride(type, i);
        // The compiler's row-major storage holds each of the effect's columns in a row.
        field.columnMajor = cross.has_member_decoration(type.self, i, spv::DecorationRowMajor);
    }
    return field;
}

// The numeric members of member `i` of `type`, a struct (or an array of
// `arraySize` of them) laid out as `layout`, each element's values
// beginning where the one before it ends from `first`: a place each, of
// every element.
void StageTranslator::PlaceStruct(spirv_cross::CompilerGLSL& cross, const spirv_cross::SPIRType& type, uint32_t i, uint32_t base,
                 uint32_t layout, uint32_t arraySize, const std::string& name, uint32_t first,
                 std::vector<UniformField>& out) const
{
    const spirv_cross::SPIRType& member = cross.get_type(type.member_types[i]);
    const spirv_cross::SPIRType& inner = cross.get_type(member.self);
    if (inner.basetype != spirv_cross::SPIRType::Struct)
        return;
    const uint32_t offset = base + cross.type_struct_member_offset(type, i);
    const uint32_t stride = member.array.empty() ? 0 : cross.type_struct_member_array_stride(type, i);
    const uint32_t elements = member.array.empty() ? 1 : std::max<uint32_t>(arraySize, 1);
    for (uint32_t e = 0; e < elements; ++e) {
        const uint32_t at = offset + e * stride;
        const uint32_t values = first + e * layouts_.Floats(layout);
        for (uint32_t k = 0; k < inner.member_types.size(); ++k) {
            const uint32_t m = layouts_.Member(layout, cross.get_member_name(inner.self, k));
            if (m == StructLayouts::kNone)
                continue;
            const EffectMember& effectMember = layouts_.Type(layout).members[m];
            const uint32_t memberFirst = values + layouts_.MemberFirst(layout, m);
            if (effectMember.type == EffectParameterType::Struct)
                PlaceStruct(cross, inner, k, at, layouts_.MemberType(layout, m), effectMember.arraySize, name,
                            memberFirst, out);
            else
                out.push_back(Field(cross, inner, k, at, effectMember.type, effectMember.rows, effectMember.columns,
                                    effectMember.arraySize, name, memberFirst));
        }
    }
}

// `ownBlock`: the stage declares only the parameters it reads, and its
// block takes a name of its own; a block that two stages of a program
// name alike must be alike in both.
void StageTranslator::Reflect(spirv_cross::CompilerGLSL& cross, PassProgram& program, const Units& units,
                              bool ownBlock) const
{
    spirv_cross::CompilerGLSL::Options options;
    options.version = 450;
    options.es = false;
    options.vulkan_semantics = false;
    cross.set_common_options(options);
    // Only what the stage uses is declared, so stages agree on what they share.
    auto active = cross.get_active_interface_variables();
    const spirv_cross::ShaderResources resources = cross.get_shader_resources(active);
    cross.set_enabled_interface_variables(std::move(active));
    for (const spirv_cross::Resource& block : resources.uniform_buffers) {
        const bool draw = block.name == kDrawBlockName;
        const bool fog = block.name == kFogBlockName;
        cross.set_decoration(block.id, spv::DecorationBinding,
                             draw ? kDrawBlockBinding : fog ? kFogBlockBinding : kParameterBlockBinding);
        if (draw || fog)
            continue;
        if (ownBlock)
            cross.set_name(block.base_type_id, kPixelParameterBlockName);
        const spirv_cross::SPIRType& type = cross.get_type(block.base_type_id);
        LayOutStructs(cross, block.base_type_id);
        program.uniformBytes = std::max<uint32_t>(program.uniformBytes,
                                                  static_cast<uint32_t>(cross.get_declared_struct_size(type)));
        std::unordered_set<std::string> placed;
        for (const UniformField& f : program.uniforms)
            placed.insert(f.name);
        for (uint32_t i = 0; i < type.member_types.size(); ++i) {
            const std::string& name = cross.get_member_name(block.base_type_id, i);
            const EffectParameter* parameter = FindParameter(name);
            if (!parameter || !placed.insert(name).second)
                continue;
            if (parameter->type == EffectParameterType::Struct) {
                const uint32_t layout = layouts_.Find(parameter->structName);
                if (layout != StructLayouts::kNone)
                    PlaceStruct(cross, type, i, 0, layout, parameter->arraySize, name, 0, program.uniforms);
                continue;
            }
            if (IsNumericType(parameter->type))
                program.uniforms.push_back(Field(cross, type, i, 0, parameter->type, parameter->rows,
                                                 parameter->columns, parameter->arraySize, name, 0));
        }
    }
    std::unordered_map<std::string_view, uint32_t> unitOf;
    for (const auto& [name, unit] : units)
        unitOf.emplace(name, unit);
    std::unordered_map<std::string, uint32_t> unitOfSlot;
    for (const SamplerSlot& slot : program.samplers)
        unitOfSlot.emplace(slot.name, slot.unit);
    for (const spirv_cross::Resource& image : resources.sampled_images) {
        auto [slot, added] = unitOfSlot.emplace(image.name, 0);
        if (added) {
            const auto unit = unitOf.find(image.name);
            if (unit == unitOf.end())
                throw std::runtime_error("sampler '" + image.name + "' has no texture unit");
            SamplerSlot made;
            made.name = image.name;
            made.unit = unit->second;
            const spirv_cross::SPIRType& type = cross.get_type(image.type_id);
            made.dimension = type.image.dim == spv::Dim3D     ? SamplerDimension::Tex3D
                             : type.image.dim == spv::DimCube ? SamplerDimension::Cube
                                                              : SamplerDimension::Tex2D;
            if (const EffectParameter* parameter = FindParameter(image.name))
                made.texture = parameter->samplerTexture;
            slot->second = made.unit;
            program.samplers.push_back(std::move(made));
        }
        cross.set_decoration(image.id, spv::DecorationBinding, slot->second);
    }
}

} // namespace gfx
