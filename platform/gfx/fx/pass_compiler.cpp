#include "platform/gfx/fx/pass_compiler.h"

#include <algorithm>
#include <map>

#include <spirv_cross/spirv_glsl.hpp>

#include "platform/gfx/effect_message.h"
#include "platform/gfx/fx/hlsl_source.h"
#include "platform/gfx/fx/shader_compile.h"
#include "platform/gfx/fx/shader_entry.h"
#include "platform/gfx/fx/state_assignments.h"

namespace gfx {

namespace {

HlslSource::Origin OriginOf(const HlslSource& source, const EffectDescription& effect, const std::string& entry)
{
    for (const EffectCode& f : effect.functions) {
        if (f.name != entry)
            continue;
        const size_t at = source.text.find(f.text);
        if (at == std::string::npos)
            break;
        const int line = 1 + static_cast<int>(std::count(source.text.begin(), source.text.begin() + static_cast<long>(at), '\n'));
        return source.Locate(line);
    }
    return source.Locate(1);
}

const EffectParameter* FindParameter(const EffectDescription& effect, const std::string& name)
{
    for (const EffectParameter& p : effect.parameters)
        if (p.name == name)
            return &p;
    return nullptr;
}

class PassBuilder {
public:
    PassBuilder(const HlslSource& source, EffectDescription& effect, std::string& messages)
        : source_(source), effect_(effect), messages_(messages)
    {
    }

    bool Build(EffectPass& pass)
    {
        PassProgram program;
        program.renderStates = PassRenderStates(pass);
        const bool vertex = !pass.vertexShader.profile.empty();
        const bool pixel = !pass.pixelShader.profile.empty();
        if (!vertex && !pixel) {
            pass.program = std::move(program);
            return true;
        }
        ShaderEntry vs, ps;
        std::string error;
        if (vertex && !MakeVertexEntry(effect_, pass.vertexShader, vs, error))
            return Fail(pass.vertexShader.entry, error);
        if (pixel) {
            // Without a vertex stage the pass-through one writes what the pixel stage reads.
            std::vector<int> everything;
            for (int location = 0; location < 18; ++location)
                everything.push_back(location);
            if (!MakePixelEntry(effect_, pass.pixelShader, vertex ? vs.varyings : everything, ps, error))
                return Fail(pass.pixelShader.entry, error);
        }
        if (!vertex)
            vs = MakePassThroughVertexEntry(ps);
        if (!pixel)
            ps = MakePlainPixelEntry(vs.varyings);
        std::vector<uint32_t> vsSpirv, psSpirv;
        if (!Stage(vs, ShaderStage::Vertex, pass.vertexShader.entry, vsSpirv) ||
            !Stage(ps, ShaderStage::Pixel, pass.pixelShader.entry, psSpirv))
            return false;
        program.vertexInputs.assign(vs.attributes.begin(), vs.attributes.end());
        std::sort(program.vertexInputs.begin(), program.vertexInputs.end());
        try {
            spirv_cross::CompilerGLSL vsCross(vsSpirv);
            spirv_cross::CompilerGLSL psCross(psSpirv);
            Reflect(vsCross, program);
            Reflect(psCross, program);
            program.vertex = {std::move(vsSpirv), vsCross.compile()};
            program.pixel = {std::move(psSpirv), psCross.compile()};
        } catch (const std::exception& e) {
            return Fail(pass.pixelShader.entry.empty() ? pass.vertexShader.entry : pass.pixelShader.entry,
                        std::string("cannot translate the compiled shader: ") + e.what());
        }
        pass.program = std::move(program);
        return true;
    }

private:
    bool Fail(const std::string& entry, const std::string& error)
    {
        const HlslSource::Origin origin = OriginOf(source_, effect_, entry);
        messages_ += FormatEffectError(source_.FileOf(origin), origin.line, 1, 3000, error);
        return false;
    }

    bool Stage(const ShaderEntry& entry, ShaderStage stage, const std::string& function, std::vector<uint32_t>& spirv)
    {
        const std::string key = std::string(stage == ShaderStage::Vertex ? "v" : "p") + entry.code;
        if (auto found = compiled_.find(key); found != compiled_.end()) {
            spirv = found->second;
            return true;
        }
        if (!CompileHlslStage(source_, entry, stage, OriginOf(source_, effect_, function), spirv, messages_))
            return false;
        compiled_.emplace(key, spirv);
        return true;
    }

    void Reflect(spirv_cross::CompilerGLSL& cross, PassProgram& program)
    {
        spirv_cross::CompilerGLSL::Options options;
        options.version = 450;
        options.es = false;
        options.vulkan_semantics = false;
        cross.set_common_options(options);
        const spirv_cross::ShaderResources resources = cross.get_shader_resources();
        for (const spirv_cross::Resource& block : resources.uniform_buffers) {
            const bool draw = block.name == kDrawBlockName;
            cross.set_decoration(block.id, spv::DecorationBinding, draw ? kDrawBlockBinding : kParameterBlockBinding);
            if (draw)
                continue;
            const spirv_cross::SPIRType& type = cross.get_type(block.base_type_id);
            program.uniformBytes = std::max<uint32_t>(program.uniformBytes,
                                                      static_cast<uint32_t>(cross.get_declared_struct_size(type)));
            for (uint32_t i = 0; i < type.member_types.size(); ++i) {
                const std::string& name = cross.get_member_name(block.base_type_id, i);
                const EffectParameter* parameter = FindParameter(effect_, name);
                if (!parameter || !IsNumericType(parameter->type))
                    continue;
                if (std::any_of(program.uniforms.begin(), program.uniforms.end(),
                                [&](const UniformField& f) { return f.name == name; }))
                    continue;
                const spirv_cross::SPIRType& member = cross.get_type(type.member_types[i]);
                UniformField field;
                field.name = name;
                field.kind = parameter->type == EffectParameterType::Bool  ? UniformKind::Bool
                             : parameter->type == EffectParameterType::Int ? UniformKind::Int
                                                                           : UniformKind::Float;
                if (field.kind == UniformKind::Int && member.basetype == spirv_cross::SPIRType::UInt)
                    field.kind = UniformKind::UInt;
                if (field.kind == UniformKind::Float && member.basetype == spirv_cross::SPIRType::Int)
                    field.kind = UniformKind::Int;
                field.rows = parameter->rows;
                field.columns = parameter->columns;
                field.offset = cross.type_struct_member_offset(type, i);
                if (!member.array.empty()) {
                    field.elements = parameter->Elements();
                    field.arrayStride = cross.type_struct_member_array_stride(type, i);
                }
                if (member.columns > 1) {
                    field.matrixStride = cross.type_struct_member_matrix_stride(type, i);
                    // The compiler's row-major storage holds each of the effect's columns in a row.
                    field.columnMajor = cross.has_member_decoration(block.base_type_id, i, spv::DecorationRowMajor);
                }
                program.uniforms.push_back(std::move(field));
            }
        }
        for (const spirv_cross::Resource& image : resources.sampled_images) {
            auto slot = std::find_if(program.samplers.begin(), program.samplers.end(),
                                     [&](const SamplerSlot& s) { return s.name == image.name; });
            if (slot == program.samplers.end()) {
                SamplerSlot made;
                made.name = image.name;
                made.unit = static_cast<uint32_t>(program.samplers.size());
                const spirv_cross::SPIRType& type = cross.get_type(image.type_id);
                made.dimension = type.image.dim == spv::Dim3D     ? SamplerDimension::Tex3D
                                 : type.image.dim == spv::DimCube ? SamplerDimension::Cube
                                                                  : SamplerDimension::Tex2D;
                if (const EffectParameter* parameter = FindParameter(effect_, image.name)) {
                    made.texture = parameter->samplerTexture;
                    made.settings = SamplerStateSettings(parameter->samplerStates);
                }
                program.samplers.push_back(std::move(made));
                slot = program.samplers.end() - 1;
            }
            cross.set_decoration(image.id, spv::DecorationBinding, slot->unit);
        }
    }

    const HlslSource& source_;
    EffectDescription& effect_;
    std::string& messages_;
    std::map<std::string, std::vector<uint32_t>> compiled_;
};

} // namespace

bool CompileEffectShaders(std::string_view preprocessed, const std::string& fileName, EffectDescription& effect,
                          std::string& messages)
{
    const HlslSource source = ExtractHlsl(preprocessed, fileName);
    PassBuilder builder(source, effect, messages);
    for (EffectTechnique& t : effect.techniques)
        for (EffectPass& p : t.passes)
            if (!builder.Build(p))
                return false;
    return true;
}

} // namespace gfx
