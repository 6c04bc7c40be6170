#include "platform/gfx/fx/runtime/runtime_effect.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iostream>

#include "platform/gfx/device/device.h"
#include "platform/gfx/fx/compiled/compiled_effect.h"
#include "platform/gfx/fx/compiled/effect_compiler.h"
#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/gfx/fx/hlsl/shader_compile.h"

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
    out->name_ = sourceName;
    return kEffectOk;
}

RuntimeEffect::RuntimeEffect(EffectDescription description) : description_(std::move(description))
{
    // A description is checked when it is made or read: its structs are sound.
    layouts_.Build(description_.structTypes);
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
    // A program passes share does or does not link for all of them: the
    // device, saying so once, tells how many it speaks for.
    for (const EffectTechnique& t : description_.techniques)
        for (const EffectPass& pass : t.passes) {
            std::vector<const PassProgram*> drawn{pass.program.Held()};
            for (const SharedProgram& chosen : pass.choicePrograms)
                drawn.push_back(chosen.Held());
            std::sort(drawn.begin(), drawn.end());
            drawn.erase(std::unique(drawn.begin(), drawn.end()), drawn.end());
            for (const PassProgram* program : drawn)
                if (program)
                    ++passesOf_[program];
        }
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

EffectResult RuntimeEffect::Typed(std::string_view name, bool (*isType)(EffectParameterType), size_t& index,
                                  uint32_t* element) const
{
    uint32_t found = NameTable::kNone, at = 0;
    if (element)
        FindElement(name, description_.parameters, byName_, found, at);
    else
        found = byName_.Find(name);
    if (found == NameTable::kNone)
        return kEffectNotFound;
    if (!isType(description_.parameters[found].type))
        return kEffectInvalidCall;
    index = found;
    if (element)
        *element = at;
    return kEffectOk;
}

EffectResult RuntimeEffect::NumericPart(std::string_view name, const void* values, uint32_t count,
                                        ParameterPart& part, bool structs) const
{
    if (!FindParameterPart(name, description_.parameters, byName_, layouts_, part))
        return kEffectNotFound;
    if (!IsNumericType(part.type) && !(structs && part.type == EffectParameterType::Struct))
        return kEffectInvalidCall;
    if (values == nullptr && count > 0)
        return kEffectInvalidCall;
    return kEffectOk;
}

float RuntimeEffect::Converted(EffectParameterType type, float value)
{
    switch (type) {
    case EffectParameterType::Bool:
        return value != 0.0f ? 1.0f : 0.0f;
    case EffectParameterType::Int:
        return std::isfinite(value) ? std::trunc(value) : 0.0f;
    default:
        return value;
    }
}

template <class Visit>
void RuntimeEffect::ForEachValue(const ParameterPart& part, uint64_t count, Visit&& visit) const
{
    count = std::min(count, PartFloats(part));
    if (part.type != EffectParameterType::Struct) {
        for (uint64_t k = 0; k < count; ++k)
            visit(k, part.type);
        return;
    }
    layouts_.ForEachLeaf(part.structType, 0, part.Elements(), [&](uint64_t first, const EffectMember& m) {
        const uint64_t values = uint64_t(m.rows) * m.columns * (m.arraySize == 0 ? 1 : m.arraySize);
        for (uint64_t k = first; k < first + values && k < count; ++k)
            visit(k, m.type);
    });
}

EffectResult RuntimeEffect::SetFloat(std::string_view name, float value)
{
    ParameterPart part;
    EffectResult result = NumericPart(name, nullptr, 0, part);
    if (result == kEffectOk)
        PartValues(part)[0] = Converted(part.type, value);
    return result;
}

EffectResult RuntimeEffect::GetFloat(std::string_view name, float& value) const
{
    ParameterPart part;
    EffectResult result = NumericPart(name, nullptr, 0, part);
    if (result == kEffectOk)
        value = PartValues(part)[0];
    return result;
}

EffectResult RuntimeEffect::SetFloatArray(std::string_view name, const float* values, uint32_t count)
{
    ParameterPart part;
    EffectResult result = NumericPart(name, values, count, part, true);
    if (result != kEffectOk)
        return result;
    float* stored = PartValues(part);
    ForEachValue(part, count, [&](uint64_t k, EffectParameterType type) { stored[k] = Converted(type, values[k]); });
    return kEffectOk;
}

EffectResult RuntimeEffect::GetFloatArray(std::string_view name, float* values, uint32_t count) const
{
    ParameterPart part;
    EffectResult result = NumericPart(name, values, count, part, true);
    if (result != kEffectOk)
        return result;
    const float* stored = PartValues(part);
    const uint64_t held = PartFloats(part);
    for (size_t k = 0; k < count; ++k)
        values[k] = k < held ? stored[k] : 0.0f;
    return kEffectOk;
}

EffectResult RuntimeEffect::ValueBytes(std::string_view name, uint32_t& bytes) const
{
    ParameterPart part;
    EffectResult result = NumericPart(name, nullptr, 0, part, true);
    if (result == kEffectOk)
        bytes = static_cast<uint32_t>(PartFloats(part) * 4);
    return result;
}

EffectResult RuntimeEffect::WholePart(std::string_view name, const void* data, uint32_t bytes, ParameterPart& part,
                                      uint64_t& count) const
{
    EffectResult result = NumericPart(name, data, 1, part, true);
    if (result != kEffectOk)
        return result;
    count = PartFloats(part);
    return bytes < count * 4 ? kEffectInvalidCall : kEffectOk;
}

EffectResult RuntimeEffect::SetValue(std::string_view name, const void* data, uint32_t bytes)
{
    ParameterPart part;
    uint64_t count = 0;
    if (EffectResult result = WholePart(name, data, bytes, part, count); result != kEffectOk)
        return result;
    const auto* in = static_cast<const uint8_t*>(data);
    float* stored = PartValues(part);
    ForEachValue(part, count, [&](uint64_t k, EffectParameterType type) {
        if (type == EffectParameterType::Float) {
            float v = 0;
            std::memcpy(&v, in + k * 4, 4);
            stored[k] = v;
        } else {
            int32_t v = 0;
            std::memcpy(&v, in + k * 4, 4);
            stored[k] = Converted(type, static_cast<float>(v));
        }
    });
    return kEffectOk;
}

EffectResult RuntimeEffect::GetValue(std::string_view name, void* data, uint32_t bytes) const
{
    ParameterPart part;
    uint64_t count = 0;
    if (EffectResult result = WholePart(name, data, bytes, part, count); result != kEffectOk)
        return result;
    auto* out = static_cast<uint8_t*>(data);
    const float* stored = PartValues(part);
    ForEachValue(part, count, [&](uint64_t k, EffectParameterType type) {
        if (type == EffectParameterType::Float) {
            std::memcpy(out + k * 4, &stored[k], 4);
        } else {
            const float f = stored[k];
            const int32_t v = std::isfinite(f) ? static_cast<int32_t>(std::clamp(f, -2147483648.0f, 2147483520.0f)) : 0;
            std::memcpy(out + k * 4, &v, 4);
        }
    });
    return kEffectOk;
}

// Vectors and matrices come as rows of four floats, rowsEach of them an
// element; the parameter keeps only its own rows and columns of each.
EffectResult RuntimeEffect::SetRows(std::string_view name, const float* rows, uint32_t count, size_t rowsEach)
{
    ParameterPart p;
    EffectResult result = NumericPart(name, rows, count, p);
    if (result != kEffectOk)
        return result;
    if (rowsEach == 1 && p.rows != 1)
        return kEffectInvalidCall;
    float* stored = PartValues(p);
    size_t n = std::min<size_t>(count, p.Elements());
    size_t per = size_t(p.rows) * p.columns;
    for (size_t e = 0; e < n; ++e)
        for (size_t r = 0; r < p.rows; ++r)
            for (size_t c = 0; c < p.columns; ++c)
                stored[e * per + r * p.columns + c] = Converted(p.type, rows[(e * rowsEach + r) * 4 + c]);
    return kEffectOk;
}

EffectResult RuntimeEffect::GetRows(std::string_view name, float* rows, uint32_t count, size_t rowsEach) const
{
    ParameterPart p;
    EffectResult result = NumericPart(name, rows, count, p);
    if (result != kEffectOk)
        return result;
    if (rowsEach == 1 && p.rows != 1)
        return kEffectInvalidCall;
    const float* stored = PartValues(p);
    size_t per = size_t(p.rows) * p.columns;
    for (size_t e = 0; e < count; ++e)
        for (size_t r = 0; r < rowsEach; ++r)
            for (size_t c = 0; c < 4; ++c)
                rows[(e * rowsEach + r) * 4 + c] = (e < p.Elements() && r < p.rows && c < p.columns)
                                                       ? stored[e * per + r * p.columns + c]
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
    uint32_t element = 0;
    EffectResult result = Typed(name, IsTextureType, index, &element);
    if (result == kEffectOk)
        textures_[textureAt_[index] + element] = texture;
    return result;
}

EffectResult RuntimeEffect::GetTexture(std::string_view name, const BaseTexture*& texture) const
{
    size_t index = 0;
    uint32_t element = 0;
    EffectResult result = Typed(name, IsTextureType, index, &element);
    if (result == kEffectOk)
        texture = textures_[textureAt_[index] + element];
    return result;
}

EffectResult RuntimeEffect::GetString(std::string_view name, std::string_view& value) const
{
    size_t index = 0;
    uint32_t element = 0;
    EffectResult result = Typed(name, [](EffectParameterType t) { return t == EffectParameterType::String; }, index,
                                &element);
    if (result == kEffectOk) {
        const std::vector<std::string>& strings = description_.parameters[index].strings;
        value = element < strings.size() ? std::string_view(strings[element]) : std::string_view();
    }
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

BaseTexture* RuntimeEffect::CurrentValues::Texture(uint32_t index, uint32_t element) const
{
    if (index >= effect_.description_.parameters.size() ||
        effect_.textureAt_[index] + element >= effect_.textureAt_[index + 1])
        return nullptr;
    // The device holds a reference to what it is given, as the platform's does.
    return const_cast<BaseTexture*>(effect_.textures_[effect_.textureAt_[index] + element]);
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
    binding_.effect = name_;
    binding_.technique = t->name;
    binding_.pass = static_cast<uint32_t>(activePass_);
    binding_.passName = t->passes[static_cast<size_t>(activePass_)].name;
    binding_.program = &program;
    const auto shared = passesOf_.find(&program);
    binding_.sharers = shared == passesOf_.end() ? 0 : shared->second - 1;
    // The vectors keep their capacity, so a commit per draw allocates nothing
    // after the first.
    size_t numeric = 0;
    size_t textures = 0;
    for (size_t i = 0; i < description_.parameters.size(); ++i) {
        const EffectParameter& p = description_.parameters[i];
        if (IsNumericType(p.type) || p.type == EffectParameterType::Struct) {
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
