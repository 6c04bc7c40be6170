#include "platform/gfx/raster/gl_programs.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include <epoxy/gl.h>

#include "platform/gfx/device/drawn_stage_text.h"
#include "platform/gfx/device/effect_binding.h"
#include "platform/gfx/fx/hlsl/shader_entry.h"
#include "platform/os/memory_shortage.h"

namespace gfx::raster {

namespace {

constexpr size_t kRoomToCompile = 32u << 20;

GLuint CompileShader(GLenum type, const std::string& text, std::string& log)
{
    GLuint shader = glCreateShader(type);
    const char* source = text.c_str();
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char buffer[1024] = {};
        glGetShaderInfoLog(shader, sizeof buffer, nullptr, buffer);
        log = buffer;
    }
    return shader;
}

GLenum Filter(uint32_t filter)
{
    return filter >= 2 ? GL_LINEAR : GL_NEAREST;
}

GLenum MinFilter(uint32_t min, uint32_t mip)
{
    const bool linear = min >= 2;
    if (mip == 0)
        return linear ? GL_LINEAR : GL_NEAREST;
    if (mip == 1)
        return linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    return linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
}

GLenum Address(uint32_t mode)
{
    switch (mode) {
    case 2: return GL_MIRRORED_REPEAT;
    case 3: return GL_CLAMP_TO_EDGE;
    case 4: return GL_CLAMP_TO_BORDER;
    case 5: return GL_MIRROR_CLAMP_TO_EDGE;
    default: return GL_REPEAT;
    }
}

void Put32(std::vector<uint8_t>& block, uint64_t at, const void* value)
{
    if (at + 4 <= block.size())
        std::memcpy(block.data() + at, value, 4);
}

} // namespace

SamplerSettings SamplerSettingsOf(const std::array<uint32_t, kSamplerStateLimit>& states)
{
    SamplerSettings s;
    s.minFilter = states[kSampMinFilter];
    s.magFilter = states[kSampMagFilter];
    s.mipFilter = states[kSampMipFilter];
    s.addressU = states[kSampAddressU];
    s.addressV = states[kSampAddressV];
    s.addressW = states[kSampAddressW];
    s.borderColour = states[kSampBorderColor];
    s.maxAnisotropy = states[kSampMaxAnisotropy];
    s.maxMipLevel = states[kSampMaxMipLevel];
    s.mipLodBias = std::bit_cast<float>(states[kSampMipMapLodBias]);
    if (!std::isfinite(s.mipLodBias))
        s.mipLodBias = 0.0f;
    return s;
}

void PackUniform(const UniformField& field, const std::vector<float>& values, std::vector<uint8_t>& block)
{
    const uint32_t rows = field.rows, columns = field.columns;
    const size_t per = size_t(rows) * columns;
    if (per == 0 || field.first > values.size())
        return;
    const float* from = values.data() + field.first;
    const size_t elements = std::min<size_t>(field.elements == 0 ? 1 : field.elements, (values.size() - field.first) / per);
    for (size_t e = 0; e < elements; ++e) {
        const uint64_t base = field.offset + e * uint64_t{field.arrayStride};
        for (uint32_t r = 0; r < rows; ++r) {
            for (uint32_t c = 0; c < columns; ++c) {
                const float v = from[e * per + r * columns + c];
                uint64_t at = base;
                if (rows > 1 || field.matrixStride != 0)
                    at += field.columnMajor ? c * uint64_t{field.matrixStride} + r * 4u
                                            : r * uint64_t{field.matrixStride} + c * 4u;
                else
                    at += c * 4u;
                switch (field.kind) {
                case UniformKind::Float: Put32(block, at, &v); break;
                case UniformKind::Bool: {
                    const uint32_t b = v != 0.0f ? 1u : 0u;
                    Put32(block, at, &b);
                    break;
                }
                case UniformKind::Int: case UniformKind::UInt: {
                    const int32_t i = std::isfinite(v) ? static_cast<int32_t>(std::clamp(v, -2147483648.0f, 2147483520.0f)) : 0;
                    Put32(block, at, &i);
                    break;
                }
                }
            }
        }
    }
}

GlPrograms::~GlPrograms()
{
    for (auto& [key, linked] : programs_) {
        glDeleteProgram(linked.program);
        glDeleteBuffers(1, &linked.block);
    }
    for (auto& [settings, sampler] : samplers_)
        glDeleteSamplers(1, &sampler);
}

GlPrograms::Linked* GlPrograms::Find(const PassProgram& pass, bool alphaTest, std::string* unlinked)
{
    const Key key{&pass, alphaTest};
    auto found = programs_.find(key);
    if (found != programs_.end() && found->second.vertex == pass.vertex.glsl && found->second.pixel == pass.pixel.glsl)
        return &found->second;
    if (found != programs_.end()) {
        glDeleteProgram(found->second.program);
        glDeleteBuffers(1, &found->second.block);
        programs_.erase(found);
    }
    Linked linked;
    linked.vertex = pass.vertex.glsl;
    linked.pixel = pass.pixel.glsl;
    std::string log;
    // Mesa crashes rather than fails when memory runs short while it compiles;
    // one program here takes up to about 14 MB that it keeps.
    if (!platform::os::RoomFor(kRoomToCompile))
        platform::os::EndForMemoryShortage("compiling a shader");
    GLuint vs = CompileShader(GL_VERTEX_SHADER, VertexTextAsDrawn(pass.vertex.glsl), log);
    GLuint fs = CompileShader(GL_FRAGMENT_SHADER, alphaTest ? pass.pixel.glsl : PixelTextWithoutAlphaTest(pass.pixel.glsl), log);
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &ok);
    if (!ok) {
        if (log.empty()) {
            char buffer[1024] = {};
            glGetProgramInfoLog(program, sizeof buffer, nullptr, buffer);
            log = buffer;
        }
        // Said once: not again for the pass's other variant when it failed too.
        const auto other = programs_.find(Key{&pass, !alphaTest});
        const bool said = other != programs_.end() && other->second.program == 0 &&
                          other->second.vertex == pass.vertex.glsl && other->second.pixel == pass.pixel.glsl;
        if (unlinked && !said) {
            const size_t end = log.find_first_of("\r\n");
            *unlinked = log.substr(0, end);
            if (unlinked->empty())
                *unlinked = "no reason given";
        }
        glDeleteProgram(program);
        program = 0;
    }
    linked.program = program;
    linked.fog = program && glGetUniformBlockIndex(program, kFogBlockName) != GL_INVALID_INDEX;
    if (program && pass.uniformBytes > 0) {
        glCreateBuffers(1, &linked.block);
        glNamedBufferData(linked.block, pass.uniformBytes, nullptr, GL_DYNAMIC_DRAW);
        linked.bytes.assign(pass.uniformBytes, 0);
    }
    return &programs_.emplace(key, std::move(linked)).first->second;
}

uint32_t GlPrograms::Program(const PassProgram& pass, bool alphaTest, bool& readsFog, std::string* unlinked)
{
    const Linked& linked = *Find(pass, alphaTest, unlinked);
    readsFog = linked.fog;
    return linked.program;
}

void GlPrograms::BindParameters(const PassProgram& pass, bool alphaTest, const EffectBinding& binding)
{
    Linked& linked = *Find(pass, alphaTest);
    if (linked.block == 0)
        return;
    // Where each field's values sit in the binding, found once by name and checked after.
    if (linked.sources.size() != pass.uniforms.size())
        linked.sources.assign(pass.uniforms.size(), -1);
    for (size_t i = 0; i < pass.uniforms.size(); ++i) {
        int& source = linked.sources[i];
        const std::string& name = pass.uniforms[i].name;
        if (source < 0 || size_t(source) >= binding.parameters.size() || binding.parameters[size_t(source)].name != name) {
            source = -1;
            for (size_t k = 0; k < binding.parameters.size(); ++k)
                if (binding.parameters[k].name == name) {
                    source = static_cast<int>(k);
                    break;
                }
        }
        if (source >= 0)
            PackUniform(pass.uniforms[i], binding.parameters[size_t(source)].values, linked.bytes);
    }
    glNamedBufferSubData(linked.block, 0, static_cast<GLsizeiptr>(linked.bytes.size()), linked.bytes.data());
    glBindBufferBase(GL_UNIFORM_BUFFER, kParameterBlockBinding, linked.block);
}

uint32_t GlPrograms::Sampler(const SamplerSettings& s)
{
    for (const auto& [settings, sampler] : samplers_)
        if (settings == s)
            return sampler;
    GLuint sampler = 0;
    glCreateSamplers(1, &sampler);
    const bool anisotropic = s.minFilter == 3 || s.magFilter == 3;
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(MinFilter(s.minFilter, s.mipFilter)));
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, static_cast<GLint>(Filter(s.magFilter)));
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, static_cast<GLint>(Address(s.addressU)));
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, static_cast<GLint>(Address(s.addressV)));
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, static_cast<GLint>(Address(s.addressW)));
    const float border[4] = {((s.borderColour >> 16) & 0xFF) / 255.0f, ((s.borderColour >> 8) & 0xFF) / 255.0f,
                             (s.borderColour & 0xFF) / 255.0f, ((s.borderColour >> 24) & 0xFF) / 255.0f};
    glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
    glSamplerParameterf(sampler, GL_TEXTURE_MIN_LOD, static_cast<float>(s.maxMipLevel));
    glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS, s.mipLodBias);
    if (anisotropic && epoxy_has_gl_extension("GL_EXT_texture_filter_anisotropic"))
        glSamplerParameterf(sampler, GL_TEXTURE_MAX_ANISOTROPY_EXT, static_cast<float>(std::max(1u, s.maxAnisotropy)));
    samplers_.emplace_back(s, sampler);
    return sampler;
}

} // namespace gfx::raster
