#include "platform/gfx/fx/effect_description.h"

#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace gfx {

std::string CheckEffectDescription(const EffectDescription& description)
{
    // Every name is looked up by hashing: no check costs more for the many
    // names before it.
    std::unordered_map<std::string_view, const EffectParameter*> names;
    names.reserve(description.parameters.size());
    uint64_t totalFloats = 0;
    for (const EffectParameter& p : description.parameters) {
        if (p.name.empty())
            return "a parameter has no name";
        if (!names.emplace(p.name, &p).second)
            return "parameter '" + p.name + "' is declared twice";
        if (static_cast<uint8_t>(p.type) >= kEffectParameterTypeCount)
            return "parameter '" + p.name + "' has an unknown type";
        if (IsNumericType(p.type)) {
            if (p.rows < 1 || p.rows > 4 || p.columns < 1 || p.columns > 4)
                return "parameter '" + p.name + "' has an invalid size";
        } else if (p.rows != 0 || p.columns != 0) {
            return "parameter '" + p.name + "' has an invalid size";
        }
        if (p.arraySize > kMaxEffectArraySize)
            return "parameter '" + p.name + "' has too many elements";
        uint64_t floats = uint64_t(p.FloatsPerElement()) * p.Elements();
        totalFloats += floats;
        if (totalFloats > kMaxEffectParameterFloats)
            return "the parameters hold too many values";
        if (p.defaults.size() != floats)
            return "parameter '" + p.name + "' has the wrong number of initial values";
        if (!p.stringDefault.empty() && p.type != EffectParameterType::String)
            return "parameter '" + p.name + "' has a text value but is not a string";
        if ((!p.samplerTexture.empty() || !p.samplerStates.empty()) && !IsSamplerType(p.type))
            return "parameter '" + p.name + "' has sampler states but is not a sampler";
        if ((p.type == EffectParameterType::Struct) != !p.structName.empty())
            return "parameter '" + p.name + "' has an invalid struct type";
    }
    for (const EffectParameter& p : description.parameters) {
        if (p.samplerTexture.empty())
            continue;
        const auto found = names.find(p.samplerTexture);
        if (found == names.end() || !IsTextureType(found->second->type))
            return "sampler '" + p.name + "' names the unknown texture '" + p.samplerTexture + "'";
    }
    std::unordered_set<std::string_view> functions;
    for (const EffectCode& f : description.functions)
        functions.insert(f.name);
    std::unordered_set<std::string_view> techniques;
    for (const EffectTechnique& t : description.techniques) {
        if (!t.name.empty() && !techniques.insert(t.name).second)
            return "technique '" + t.name + "' is declared twice";
        for (const EffectPass& pass : t.passes)
            for (const EffectShader* s : {&pass.vertexShader, &pass.pixelShader})
                if (!s->profile.empty() && !functions.count(s->entry))
                    return "pass '" + pass.name + "' compiles the unknown function '" + s->entry + "'";
    }
    return {};
}

} // namespace gfx
