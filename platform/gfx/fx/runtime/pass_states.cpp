#include "platform/gfx/fx/runtime/pass_states.h"

#include <algorithm>
#include <cmath>
#include <bit>
#include <cstring>
#include <map>

#include "platform/gfx/device/device.h"
#include "platform/gfx/fx/parser/struct_layouts.h"

namespace gfx {

namespace {

using Source = StateAssignment::Source;

float Float(uint32_t word)
{
    return std::bit_cast<float>(word);
}

// A member of a light, from the words of its state.
void SetMember(Light& light, uint32_t member, const std::vector<uint32_t>& w)
{
    auto vector = [&](auto& to) {
        for (size_t i = 0; i < to.size() && i < w.size(); ++i)
            to[i] = Float(w[i]);
    };
    switch (member) {
    case kLightType: light.type = w[0]; break;
    case kLightDiffuse: vector(light.diffuse); break;
    case kLightSpecular: vector(light.specular); break;
    case kLightAmbient: vector(light.ambient); break;
    case kLightPosition: vector(light.position); break;
    case kLightDirection: vector(light.direction); break;
    case kLightRange: light.range = Float(w[0]); break;
    case kLightFalloff: light.falloff = Float(w[0]); break;
    case kLightAttenuation0: light.attenuation0 = Float(w[0]); break;
    case kLightAttenuation1: light.attenuation1 = Float(w[0]); break;
    case kLightAttenuation2: light.attenuation2 = Float(w[0]); break;
    case kLightTheta: light.theta = Float(w[0]); break;
    case kLightPhi: light.phi = Float(w[0]); break;
    default: break;
    }
}

void SetMember(Material& material, uint32_t member, const std::vector<uint32_t>& w)
{
    auto vector = [&](Vector4& to) {
        for (size_t i = 0; i < to.size() && i < w.size(); ++i)
            to[i] = Float(w[i]);
    };
    switch (member) {
    case kMaterialDiffuse: vector(material.diffuse); break;
    case kMaterialAmbient: vector(material.ambient); break;
    case kMaterialSpecular: vector(material.specular); break;
    case kMaterialEmissive: vector(material.emissive); break;
    case kMaterialPower: material.power = Float(w[0]); break;
    default: break;
    }
}

// Whether the device holds `words` for the state already.
bool Holds(Device& device, const StateAssignment& a, const std::vector<uint32_t>& words)
{
    const DeviceStates& s = device.States();
    uint32_t value = 0;
    switch (a.group) {
    case StateGroup::Render: return device.GetRenderState(a.number, &value) == kOk && value == words[0];
    case StateGroup::TextureStage:
        return device.GetTextureStageState(a.index, a.number, &value) == kOk && value == words[0];
    case StateGroup::Sampler: return device.GetSamplerState(a.index, a.number, &value) == kOk && value == words[0];
    case StateGroup::LightEnable: {
        bool on = false;
        return device.GetLightEnable(a.index, &on) == kOk && on == (words[0] != 0);
    }
    case StateGroup::Transform: {
        Matrix4 m{};
        return device.GetTransform(a.number + a.index, &m) == kOk && std::memcmp(m.data(), words.data(), 64) == 0;
    }
    case StateGroup::PatchSegments: return std::bit_cast<uint32_t>(s.nPatchSegments) == words[0];
    case StateGroup::Fvf: return s.fvf == words[0];
    case StateGroup::VertexShaderConstant:
    case StateGroup::PixelShaderConstant: {
        const bool vertex = a.group == StateGroup::VertexShaderConstant;
        const void* held = a.number == kConstantFloat ? (vertex ? s.vertexFloats.data()->data() : s.pixelFloats.data()->data())
                           : a.number == kConstantInt ? (vertex ? s.vertexInts.data()->data() : s.pixelInts.data()->data())
                                                      : static_cast<const void*>(vertex ? s.vertexBools.data()
                                                                                        : s.pixelBools.data());
        const size_t per = a.number == kConstantBool ? 1 : 4;
        return std::memcmp(static_cast<const uint32_t*>(held) + size_t(a.index) * per, words.data(),
                           words.size() * 4) == 0;
    }
    default: return false;
    }
}

// The words as values of the register type `T`, in `values`: the words are
// only copied, never reinterpreted.
template <class T> const T* ConstantValues(const std::vector<uint32_t>& w, std::vector<T>& values)
{
    values.resize(w.size());
    std::memcpy(values.data(), w.data(), w.size() * 4);
    return values.data();
}

// An expression as the compiled effect keeps it; one that does not read back
// (the file was checked) stays empty and evaluates to nothing.
void Read(const std::vector<uint8_t>& bytes, Expression& out)
{
    if (bytes.empty())
        return;
    size_t offset = 0;
    std::string why;
    if (!Expression::Read(bytes.data(), bytes.size(), offset, out, why))
        out = Expression();
}

} // namespace

PassStates::PassStates(const EffectDescription& description) : description_(description)
{
    parameters_.Reserve(description.parameters.size());
    for (size_t i = 0; i < description.parameters.size(); ++i)
        parameters_.Add(description.parameters[i].name, static_cast<uint32_t>(i));
    passes_.resize(description.techniques.size());
    for (size_t t = 0; t < description.techniques.size(); ++t) {
        const std::vector<EffectPass>& passes = description.techniques[t].passes;
        passes_[t].resize(passes.size());
        for (size_t p = 0; p < passes.size(); ++p) {
            PassReady& ready = passes_[t][p];
            ready.assignments.resize(passes[p].assignments.size());
            for (size_t i = 0; i < passes[p].assignments.size(); ++i) {
                const StateAssignment& a = passes[p].assignments[i];
                if (a.source == Source::Parameter)
                    ready.assignments[i].parameter = ParameterIndex(a.parameter, &ready.assignments[i].element);
                if (a.source == Source::Shader)
                    ready.lastShader = i;
                Read(a.expression, ready.assignments[i].expression);
            }
            Read(passes[p].vertexChoice.index, ready.vertexIndex);
            Read(passes[p].pixelChoice.index, ready.pixelIndex);
        }
    }
    samplers_.resize(description.parameters.size());
    for (size_t i = 0; i < description.parameters.size(); ++i) {
        const EffectParameter& p = description.parameters[i];
        if (!IsSamplerType(p.type))
            continue;
        SamplerReady& sampler = samplers_[i];
        sampler.texture = p.samplerTexture.empty() ? kNone : ParameterIndex(p.samplerTexture, &sampler.element);
        sampler.assignments.resize(p.samplerAssignments.size());
        for (size_t k = 0; k < p.samplerAssignments.size(); ++k)
            Read(p.samplerAssignments[k].expression, sampler.assignments[k].expression);
    }
}

uint32_t PassStates::ParameterIndex(const std::string& name, uint32_t* element) const
{
    uint32_t found = kNone, at = 0;
    FindElement(name, description_.parameters, parameters_, found, at);
    if (element)
        *element = at;
    return found;
}

bool PassStates::Element(const EffectShaderChoice& choice, const Expression& index, const EffectValues& values,
                         size_t& element, std::string& why)
{
    element = 0;
    if (choice.array.empty())
        return true;
    if (index.Instructions().empty() || !index.Evaluate(&values, value_, why, &scratch_) ||
        value_.components.size() != 1) {
        why = "the index of '" + choice.array + "' cannot be evaluated" + (why.empty() ? "" : ": " + why);
        return false;
    }
    const double i = value_.components[0];
    uint64_t chosen = 0;
    if (std::isnan(i)) {
        why = "the index of shader array '" + choice.array + "' is not a number";
        return false;
    }
    if (!ElementIndex(i, choice.elements.size(), chosen)) {
        why = "index " + NumberText(i) + " of shader array '" + choice.array + "' is out of range (0 to " +
              std::to_string(choice.elements.size() - 1) + ")";
        return false;
    }
    element = static_cast<size_t>(chosen);
    return true;
}

const PassProgram* PassStates::Program(size_t technique, size_t pass, const EffectValues& values, std::string& why)
{
    const EffectPass& p = description_.techniques[technique].passes[pass];
    if (p.choicePrograms.empty())
        return &*p.program;
    const PassReady& ready = passes_[technique][pass];
    size_t v = 0, px = 0;
    if (!Element(p.vertexChoice, ready.vertexIndex, values, v, why) ||
        !Element(p.pixelChoice, ready.pixelIndex, values, px, why))
        return nullptr;
    const size_t pixels = p.pixelChoice.array.empty() ? 1 : p.pixelChoice.elements.size();
    const size_t at = v * pixels + px;
    if (at >= p.choicePrograms.size()) {
        why = "its programs are missing";
        return nullptr;
    }
    return &*p.choicePrograms[at];
}

bool PassStates::WordsOf(const StateAssignment& a, Ready& ready, const EffectValues& values)
{
    if (a.source == Source::Constant) {
        ready.words = a.words;
        return !ready.words.empty();
    }
    if (a.source != Source::Expression)
        return false;
    // A value that cannot be had now (a parameter shorter than it reads) sets nothing.
    std::string why;
    const StateInfo* state = StateOf(a);
    return state && !ready.expression.Instructions().empty() &&
           ready.expression.Evaluate(&values, value_, why, &scratch_) &&
           StateWords(*state, a.index, value_.shape, value_.components.data(), ready.words, why) &&
           !ready.words.empty();
}

void PassStates::Set(Device& device, const StateAssignment& a, Ready& ready, const EffectValues& values, bool commit,
                     std::vector<std::pair<uint32_t, Light>>& lights, Material* material, bool& materialSet)
{
    // A commit sets again only what follows the parameters: values of
    // expressions and textures.
    const bool varies = a.source == Source::Expression || a.source == Source::Parameter;
    if (a.group == StateGroup::Texture || a.group == StateGroup::SamplerObject) {
        if (commit && !varies)
            return;
        if (a.group == StateGroup::SamplerObject && a.source == Source::Parameter) {
            SetSampler(device, ready.parameter, a.index, values, commit);
            return;
        }
        BaseTexture* texture = a.source == Source::Parameter ? values.Texture(ready.parameter, ready.element) : nullptr;
        if (!commit || device.States().textures[a.index] != texture)
            device.SetTexture(a.index, texture);
        return;
    }
    if (!WordsOf(a, ready, values))
        return;
    const std::vector<uint32_t>& words = ready.words;
    if (a.group == StateGroup::Light) {
        auto found = std::find_if(lights.begin(), lights.end(), [&](const auto& l) { return l.first == a.index; });
        if (found == lights.end())
            found = lights.insert(lights.end(), {a.index, Light()});
        SetMember(found->second, a.number, words);
        return;
    }
    if (a.group == StateGroup::Material) {
        SetMember(*material, a.number, words);
        materialSet = true;
        return;
    }
    if (commit && (!varies || Holds(device, a, words)))
        return;
    switch (a.group) {
    case StateGroup::Render: device.SetRenderState(a.number, words[0]); break;
    case StateGroup::TextureStage: device.SetTextureStageState(a.index, a.number, words[0]); break;
    case StateGroup::Sampler: device.SetSamplerState(a.index, a.number, words[0]); break;
    case StateGroup::LightEnable: device.LightEnable(a.index, words[0] != 0); break;
    case StateGroup::Transform: {
        Matrix4 m{};
        std::memcpy(m.data(), words.data(), std::min<size_t>(words.size(), 16) * 4);
        device.SetTransform(a.number + a.index, &m);
        break;
    }
    case StateGroup::PatchSegments: device.SetNPatchMode(Float(words[0])); break;
    case StateGroup::Fvf: device.SetFVF(words[0]); break;
    case StateGroup::VertexShaderConstant:
    case StateGroup::PixelShaderConstant: SetConstants(device, a, words); break;
    default: break;
    }
}

void PassStates::SetConstants(Device& device, const StateAssignment& a, const std::vector<uint32_t>& w)
{
    const bool vertex = a.group == StateGroup::VertexShaderConstant;
    const auto vectors = static_cast<uint32_t>(w.size() / 4);
    switch (a.number) {
    case kConstantFloat:
        vertex ? device.SetVertexShaderConstantF(a.index, ConstantValues(w, floats_), vectors)
               : device.SetPixelShaderConstantF(a.index, ConstantValues(w, floats_), vectors);
        break;
    case kConstantInt:
        vertex ? device.SetVertexShaderConstantI(a.index, ConstantValues(w, ints_), vectors)
               : device.SetPixelShaderConstantI(a.index, ConstantValues(w, ints_), vectors);
        break;
    default:
        vertex ? device.SetVertexShaderConstantB(a.index, w.data(), static_cast<uint32_t>(w.size()))
               : device.SetPixelShaderConstantB(a.index, w.data(), static_cast<uint32_t>(w.size()));
        break;
    }
}

void PassStates::SetSampler(Device& device, uint32_t sampler, uint32_t unit, const EffectValues& values, bool commit)
{
    if (sampler >= samplers_.size() || unit >= kMaxSamplers)
        return;
    const EffectParameter& p = description_.parameters[sampler];
    SamplerReady& ready = samplers_[sampler];
    // A sampler that names no texture draws the one the program set on the
    // device (sprites and post-processing are used so).
    if (ready.texture != kNone) {
        BaseTexture* texture = values.Texture(ready.texture, ready.element);
        if (!commit || device.States().textures[unit] != texture)
            device.SetTexture(unit, texture);
    }
    if (ready.applied != applied_) {
        ready.applied = applied_;
        for (size_t i = 0; i < p.samplerAssignments.size(); ++i)
            ready.assignments[i].held = WordsOf(p.samplerAssignments[i], ready.assignments[i], values);
    }
    for (size_t i = 0; i < p.samplerAssignments.size(); ++i) {
        const StateAssignment& a = p.samplerAssignments[i];
        if ((commit && a.source != Source::Expression) || !ready.assignments[i].held)
            continue;
        const std::vector<uint32_t>& words = ready.assignments[i].words;
        uint32_t held = 0;
        if (!commit || device.GetSamplerState(unit, a.number, &held) != kOk || held != words[0])
            device.SetSamplerState(unit, a.number, words[0]);
    }
}

void PassStates::Apply(Device& device, size_t technique, size_t pass, const PassProgram& program,
                       const EffectValues& values, bool commit)
{
    const EffectPass& p = description_.techniques[technique].passes[pass];
    PassReady& ready = passes_[technique][pass];
    std::vector<std::pair<uint32_t, Light>> lights;
    Material material;
    bool materialSet = false;
    // A commit that chose another program (its index changed) sets its samplers whole.
    const bool sameProgram = commit && &program == lastProgram_;
    lastProgram_ = &program;
    ++applied_;
    for (size_t i = 0; i < p.assignments.size(); ++i) {
        Set(device, p.assignments[i], ready.assignments[i], values, commit, lights, &material, materialSet);
        if (i != ready.lastShader)
            continue;
        for (const SamplerSlot& slot : program.samplers)
            SetSampler(device, ParameterIndex(slot.name), slot.unit, values, sameProgram);
    }
    for (const auto& [index, light] : lights) {
        Light held;
        if (!commit || device.GetLight(index, &held) != kOk || !(held == light))
            device.SetLight(index, &light);
    }
    Material held;
    if (materialSet && (!commit || device.GetMaterial(&held) != kOk || !(held == material)))
        device.SetMaterial(&material);
}

} // namespace gfx
