#include "platform/gfx/fx/runtime_effect.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "platform/gfx/device/device.h"
#include "platform/gfx/fx/compiled_effect.h"
#include "platform/gfx/fx/effect_compiler.h"
#include "platform/gfx/fx/effect_message.h"
#include "platform/gfx/fx/shader_compile.h"

namespace gfx {

EffectResult RuntimeEffect::Create(const void* data, size_t size, const std::vector<EffectMacro>& defines,
                            std::unique_ptr<RuntimeEffect>& out, std::string& errors,
                            const std::string& sourceName, const EffectFileReader& reader)
{
    out.reset();
    errors.clear();
    if (data == nullptr || size == 0)
        return kEffectInvalidData;
    EffectDescription description;
    if (LooksLikeCompiledEffect(data, size)) {
        std::string why;
        if (!ReadCompiledEffect(data, size, description, why)) {
            errors = FormatEffectError(sourceName, 1, 1, 3500, "invalid compiled effect: " + why);
            return kEffectInvalidData;
        }
    } else {
        std::string_view source(static_cast<const char*>(data), size);
        if (!CompileEffectSource(source, sourceName, defines, reader, description, errors))
            return ShaderCompilesStopped() ? kEffectAborted : kEffectInvalidData;
        // Closing meanwhile, the effect would not be drawn: its table is not made.
        if (ShaderCompilesStopped()) {
            errors = EffectClosingError(sourceName);
            return kEffectAborted;
        }
    }
    out = std::make_unique<RuntimeEffect>(std::move(description));
    return kEffectOk;
}

RuntimeEffect::RuntimeEffect(EffectDescription description) : description_(std::move(description))
{
    const std::vector<EffectParameter>& parameters = description_.parameters;
    byName_.Reserve(parameters.size());
    valueAt_.reserve(parameters.size() + 1);
    textureAt_.reserve(parameters.size() + 1);
    size_t values = 0;
    size_t textures = 0;
    for (size_t i = 0; i < parameters.size(); ++i) {
        byName_.Add(parameters[i].name, static_cast<uint32_t>(i));
        valueAt_.push_back(values);
        textureAt_.push_back(textures);
        values += parameters[i].defaults.size();
        textures += IsTextureType(parameters[i].type) ? parameters[i].Elements() : 0;
    }
    valueAt_.push_back(values);
    textureAt_.push_back(textures);
    values_.reserve(values);
    for (const EffectParameter& p : parameters)
        values_.insert(values_.end(), p.defaults.begin(), p.defaults.end());
    textures_.assign(textures, nullptr);
    for (size_t i = 0; i < description_.techniques.size(); ++i)
        techniqueByName_.Add(description_.techniques[i].name, static_cast<uint32_t>(i));
    if (!description_.techniques.empty())
        technique_ = 0;
}

RuntimeEffect::~RuntimeEffect()
{
    // The device must not keep drawing with values that are gone.
    if (activePass_ >= 0)
        Bind(nullptr);
    SafeRelease(device_);
}

void RuntimeEffect::SetDevice(Device* device)
{
    if (device == device_)
        return;
    if (device)
        device->AddRef();
    if (activePass_ >= 0 && device_)
        device_->BindEffect(nullptr);
    SafeRelease(device_);
    device_ = device;
    if (activePass_ >= 0 && device_)
        device_->BindEffect(&binding_);
}

void RuntimeEffect::Bind(const EffectBinding* binding)
{
    if (device_)
        device_->BindEffect(binding);
    if (bindHook_)
        bindHook_(binding);
}

size_t RuntimeEffect::MemoryBytes() const
{
    size_t bytes = sizeof(RuntimeEffect);
    bytes += values_.size() * sizeof(float) + textures_.size() * sizeof(void*);
    for (const EffectCode& f : description_.functions)
        bytes += f.text.size();
    return bytes;
}

const EffectParameter* RuntimeEffect::FindParameter(std::string_view name) const
{
    const uint32_t found = byName_.Find(name);
    return found == NameTable::kNone ? nullptr : &description_.parameters[found];
}

EffectResult RuntimeEffect::Typed(std::string_view name, bool (*isType)(EffectParameterType), size_t& index) const
{
    const uint32_t found = byName_.Find(name);
    if (found == NameTable::kNone)
        return kEffectNotFound;
    if (!isType(description_.parameters[found].type))
        return kEffectInvalidCall;
    index = found;
    return kEffectOk;
}

EffectResult RuntimeEffect::Numeric(std::string_view name, size_t& index) const
{
    return Typed(name, IsNumericType, index);
}

EffectResult RuntimeEffect::NumericArray(std::string_view name, const void* values, uint32_t count, size_t& index) const
{
    EffectResult result = Numeric(name, index);
    if (result == kEffectOk && values == nullptr && count > 0)
        return kEffectInvalidCall;
    return result;
}

void RuntimeEffect::Store(size_t index, size_t at, float value)
{
    switch (description_.parameters[index].type) {
    case EffectParameterType::Bool:
        value = value != 0.0f ? 1.0f : 0.0f;
        break;
    case EffectParameterType::Int:
        value = std::isfinite(value) ? std::trunc(value) : 0.0f;
        break;
    default:
        break;
    }
    Values(index)[at] = value;
}

EffectResult RuntimeEffect::SetFloat(std::string_view name, float value)
{
    size_t index = 0;
    EffectResult result = Numeric(name, index);
    if (result == kEffectOk)
        Store(index, 0, value);
    return result;
}

EffectResult RuntimeEffect::GetFloat(std::string_view name, float& value) const
{
    size_t index = 0;
    EffectResult result = Numeric(name, index);
    if (result == kEffectOk)
        value = Values(index)[0];
    return result;
}

EffectResult RuntimeEffect::SetFloatArray(std::string_view name, const float* values, uint32_t count)
{
    size_t index = 0;
    EffectResult result = NumericArray(name, values, count, index);
    if (result != kEffectOk)
        return result;
    size_t n = std::min<size_t>(count, ValueCount(index));
    for (size_t k = 0; k < n; ++k)
        Store(index, k, values[k]);
    return kEffectOk;
}

EffectResult RuntimeEffect::GetFloatArray(std::string_view name, float* values, uint32_t count) const
{
    size_t index = 0;
    EffectResult result = NumericArray(name, values, count, index);
    if (result != kEffectOk)
        return result;
    const float* stored = Values(index);
    for (size_t k = 0; k < count; ++k)
        values[k] = k < ValueCount(index) ? stored[k] : 0.0f;
    return kEffectOk;
}

// Vectors and matrices come as rows of four floats, rowsEach of them an
// element; the parameter keeps only its own rows and columns of each.
EffectResult RuntimeEffect::SetRows(std::string_view name, const float* rows, uint32_t count, size_t rowsEach)
{
    size_t index = 0;
    EffectResult result = NumericArray(name, rows, count, index);
    if (result != kEffectOk)
        return result;
    const EffectParameter& p = description_.parameters[index];
    if (rowsEach == 1 && p.rows != 1)
        return kEffectInvalidCall;
    size_t n = std::min<size_t>(count, p.Elements());
    size_t per = p.FloatsPerElement();
    for (size_t e = 0; e < n; ++e)
        for (size_t r = 0; r < p.rows; ++r)
            for (size_t c = 0; c < p.columns; ++c)
                Store(index, e * per + r * p.columns + c, rows[(e * rowsEach + r) * 4 + c]);
    return kEffectOk;
}

EffectResult RuntimeEffect::GetRows(std::string_view name, float* rows, uint32_t count, size_t rowsEach) const
{
    size_t index = 0;
    EffectResult result = NumericArray(name, rows, count, index);
    if (result != kEffectOk)
        return result;
    const EffectParameter& p = description_.parameters[index];
    if (rowsEach == 1 && p.rows != 1)
        return kEffectInvalidCall;
    size_t per = p.FloatsPerElement();
    for (size_t e = 0; e < count; ++e)
        for (size_t r = 0; r < rowsEach; ++r)
            for (size_t c = 0; c < 4; ++c)
                rows[(e * rowsEach + r) * 4 + c] = (e < p.Elements() && r < p.rows && c < p.columns)
                                                       ? Values(index)[e * per + r * p.columns + c]
                                                       : 0.0f;
    return kEffectOk;
}

EffectResult RuntimeEffect::SetVectorArray(std::string_view name, const float* vectors, uint32_t count)
{
    return SetRows(name, vectors, count, 1);
}

EffectResult RuntimeEffect::GetVectorArray(std::string_view name, float* vectors, uint32_t count) const
{
    return GetRows(name, vectors, count, 1);
}

EffectResult RuntimeEffect::SetVector(std::string_view name, const float* xyzw)
{
    return SetVectorArray(name, xyzw, 1);
}

EffectResult RuntimeEffect::GetVector(std::string_view name, float* xyzw) const
{
    return GetVectorArray(name, xyzw, 1);
}

EffectResult RuntimeEffect::SetMatrixArray(std::string_view name, const float* matrices, uint32_t count)
{
    return SetRows(name, matrices, count, 4);
}

EffectResult RuntimeEffect::GetMatrixArray(std::string_view name, float* matrices, uint32_t count) const
{
    return GetRows(name, matrices, count, 4);
}

EffectResult RuntimeEffect::SetMatrix(std::string_view name, const float* matrix)
{
    return SetMatrixArray(name, matrix, 1);
}

EffectResult RuntimeEffect::GetMatrix(std::string_view name, float* matrix) const
{
    return GetMatrixArray(name, matrix, 1);
}

EffectResult RuntimeEffect::SetTexture(std::string_view name, const BaseTexture* texture)
{
    size_t index = 0;
    EffectResult result = Typed(name, IsTextureType, index);
    if (result == kEffectOk)
        textures_[textureAt_[index]] = texture;
    return result;
}

EffectResult RuntimeEffect::GetTexture(std::string_view name, const BaseTexture*& texture) const
{
    size_t index = 0;
    EffectResult result = Typed(name, IsTextureType, index);
    if (result == kEffectOk)
        texture = textures_[textureAt_[index]];
    return result;
}

const EffectTechnique* RuntimeEffect::FindTechnique(std::string_view name) const
{
    const uint32_t found = techniqueByName_.Find(name);
    return found == NameTable::kNone ? nullptr : &description_.techniques[found];
}

EffectResult RuntimeEffect::SetTechnique(std::string_view name)
{
    const EffectTechnique* t = FindTechnique(name);
    if (t == nullptr)
        return kEffectNotFound;
    technique_ = static_cast<int>(t - description_.techniques.data());
    return kEffectOk;
}

const EffectTechnique* RuntimeEffect::CurrentTechnique() const
{
    return technique_ < 0 ? nullptr : &description_.techniques[static_cast<size_t>(technique_)];
}

EffectResult RuntimeEffect::ValidateTechnique(std::string_view name) const
{
    const EffectTechnique* t = FindTechnique(name);
    if (t == nullptr)
        return kEffectNotFound;
    return t->passes.empty() ? kEffectInvalidCall : kEffectOk;
}

EffectResult RuntimeEffect::Begin(uint32_t& passCount)
{
    const EffectTechnique* t = CurrentTechnique();
    if (t == nullptr || activePass_ >= 0)
        return kEffectInvalidCall;
    begun_ = true;
    passCount = static_cast<uint32_t>(t->passes.size());
    return kEffectOk;
}

const float* RuntimeEffect::CurrentValues::Values(uint32_t index, size_t& count) const
{
    count = index < effect_.description_.parameters.size() ? effect_.ValueCount(index) : 0;
    return count ? effect_.Values(index) : nullptr;
}

BaseTexture* RuntimeEffect::CurrentValues::Texture(uint32_t index) const
{
    if (index >= effect_.description_.parameters.size() || effect_.textureAt_[index] == effect_.textureAt_[index + 1])
        return nullptr;
    // The device holds a reference to what it is given, as the platform's does.
    return const_cast<BaseTexture*>(effect_.textures_[effect_.textureAt_[index]]);
}

const PassProgram* RuntimeEffect::ChooseProgram()
{
    const auto pass = static_cast<size_t>(activePass_);
    std::string why;
    const PassProgram* program = passStates_.Program(static_cast<size_t>(technique_), pass, current_, why);
    if (program)
        return program;
    const std::pair<size_t, size_t> key(static_cast<size_t>(technique_), pass);
    if (std::find(toldUnchosen_.begin(), toldUnchosen_.end(), key) == toldUnchosen_.end()) {
        toldUnchosen_.push_back(key);
        const EffectTechnique& t = *CurrentTechnique();
        const std::string& name = t.passes[pass].name;
        std::cout << "Effect: " << (name.empty() ? "pass " + std::to_string(pass) : "pass '" + name + "'")
                  << " of technique '" << t.name << "' is not drawn: " << why << "\n";
    }
    return nullptr;
}

EffectResult RuntimeEffect::BeginPass(uint32_t pass)
{
    const EffectTechnique* t = CurrentTechnique();
    if (!begun_ || activePass_ >= 0 || t == nullptr || pass >= t->passes.size())
        return kEffectInvalidCall;
    activePass_ = static_cast<int>(pass);
    const PassProgram* program = ChooseProgram();
    if (!program) {
        activePass_ = -1;
        return kEffectInvalidCall;
    }
    FillBinding(*program);
    if (device_)
        passStates_.Apply(*device_, static_cast<size_t>(technique_), pass, *program, current_, false);
    Bind(&binding_);
    return kEffectOk;
}

EffectResult RuntimeEffect::CommitChanges()
{
    if (activePass_ < 0)
        return kEffectInvalidCall;
    const PassProgram* program = ChooseProgram();
    if (!program)
        return kEffectInvalidCall;
    FillBinding(*program);
    if (device_)
        passStates_.Apply(*device_, static_cast<size_t>(technique_), static_cast<size_t>(activePass_), *program,
                          current_, true);
    Bind(&binding_);
    return kEffectOk;
}

EffectResult RuntimeEffect::EndPass()
{
    if (activePass_ < 0)
        return kEffectInvalidCall;
    activePass_ = -1;
    Bind(nullptr);
    return kEffectOk;
}

EffectResult RuntimeEffect::End()
{
    if (!begun_)
        return kEffectInvalidCall;
    if (activePass_ >= 0)
        EndPass();
    begun_ = false;
    return kEffectOk;
}

void RuntimeEffect::FillBinding(const PassProgram& program)
{
    const EffectTechnique* t = CurrentTechnique();
    binding_.technique = t->name;
    binding_.pass = static_cast<uint32_t>(activePass_);
    binding_.program = &program;
    // The vectors keep their capacity, so a commit per draw allocates nothing
    // after the first.
    size_t numeric = 0;
    size_t textures = 0;
    for (size_t i = 0; i < description_.parameters.size(); ++i) {
        const EffectParameter& p = description_.parameters[i];
        if (IsNumericType(p.type)) {
            if (binding_.parameters.size() <= numeric)
                binding_.parameters.emplace_back();
            UploadedParameter& up = binding_.parameters[numeric++];
            up.name = p.name;
            up.values.assign(Values(i), Values(i) + ValueCount(i));
        } else if (IsTextureType(p.type)) {
            for (size_t e = 0; e < textureAt_[i + 1] - textureAt_[i]; ++e) {
                if (binding_.textures.size() <= textures)
                    binding_.textures.emplace_back();
                UploadedTexture& ut = binding_.textures[textures++];
                ut.name = p.arraySize == 0 ? p.name : p.name + "[" + std::to_string(e) + "]";
                ut.texture = textures_[textureAt_[i] + e];
            }
        }
    }
    binding_.parameters.resize(numeric);
    binding_.textures.resize(textures);
}

} // namespace gfx
