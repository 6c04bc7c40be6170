#include "platform/gfx/fx/parser/effect_description.h"

#include <unordered_set>

#include "platform/gfx/fx/expression/effect_expression.h"
#include "platform/gfx/fx/syntax/name_table.h"
#include "platform/gfx/fx/parser/struct_layouts.h"
#include "platform/window/close_check.h"

namespace gfx {

namespace {

// Each uniform of a program takes its values from a numeric or struct
// parameter, within them.
std::string CheckUniforms(const PassProgram& program, const std::vector<EffectParameter>& parameters,
                          const NameTable& names, const std::vector<uint64_t>& floatsOf)
{
    for (const UniformField& f : program.uniforms) {
        const uint32_t found = names.Find(f.name);
        if (found == NameTable::kNone ||
            !(IsNumericType(parameters[found].type) || parameters[found].type == EffectParameterType::Struct))
            return "a uniform names the unknown parameter '" + f.name + "'";
        const uint64_t span = uint64_t(f.elements == 0 ? 1 : f.elements) * f.rows * f.columns;
        if (uint64_t{f.first} + span > floatsOf[found])
            return "a uniform reaches past the values of '" + f.name + "'";
    }
    return {};
}

} // namespace

std::string CheckEffectDescription(const EffectDescription& description, bool* stopped)
{
    auto stopping = [stopped] { return platform::ClosingAfter() && stopped && (*stopped = true); };
    // Every name is looked up by hashing: no check costs more for the many
    // names before it.
    StructLayouts layouts;
    if (std::string problem = layouts.Build(description.structTypes); !problem.empty())
        return problem;
    NameTable names; // index in parameters
    const std::vector<EffectParameter>& parameters = description.parameters;
    names.Reserve(parameters.size());
    uint64_t totalFloats = 0;
    std::vector<uint64_t> floatsOf; // by parameter
    floatsOf.reserve(parameters.size());
    for (const EffectParameter& p : description.parameters) {
        if (stopping())
            return {};
        if (p.name.empty())
            return "a parameter has no name";
        if (!names.Add(p.name, static_cast<uint32_t>(&p - parameters.data())))
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
        uint32_t perElement = p.FloatsPerElement();
        if (p.type == EffectParameterType::Struct) {
            const uint32_t type = layouts.Find(p.structName);
            if (type == StructLayouts::kNone)
                return "parameter '" + p.name + "' is of the struct '" + p.structName + "', which is not laid out";
            perElement = layouts.Floats(type);
        }
        uint64_t floats = uint64_t(perElement) * p.Elements();
        floatsOf.push_back(floats);
        totalFloats += floats;
        if (totalFloats > kMaxEffectParameterFloats)
            return "the parameters hold too many values";
        if (p.defaults.size() != floats)
            return "parameter '" + p.name + "' has the wrong number of initial values";
        if (!p.strings.empty() && p.type != EffectParameterType::String)
            return "parameter '" + p.name + "' has a text value but is not a string";
        if (p.strings.size() > p.Elements() || (!p.strings.empty() && p.strings.back().empty()))
            return "parameter '" + p.name + "' has text values that do not fit it";
        if ((!p.samplerTexture.empty() || !p.samplerStates.empty()) && !IsSamplerType(p.type))
            return "parameter '" + p.name + "' has sampler states but is not a sampler";
        if ((p.type == EffectParameterType::Struct) != !p.structName.empty())
            return "parameter '" + p.name + "' has an invalid struct type";
        if (!p.samplerAssignments.empty() && !IsSamplerType(p.type))
            return "parameter '" + p.name + "' has sampler states but is not a sampler";
        for (const StateAssignment& a : p.samplerAssignments) {
            const std::string problem = CheckStateAssignment(a);
            if (!problem.empty())
                return "sampler '" + p.name + "': " + problem;
            if (a.group != StateGroup::Sampler || a.index != 0 || a.source == StateAssignment::Source::Parameter)
                return "sampler '" + p.name + "' has a state that is not a sampler's own";
        }
    }
    for (const EffectParameter& p : description.parameters) {
        if (stopping())
            return {};
        if (p.samplerTexture.empty())
            continue;
        uint32_t found = 0, element = 0;
        if (!FindElement(p.samplerTexture, parameters, names, found, element) ||
            !IsTextureType(parameters[found].type))
            return "sampler '" + p.name + "' names the unknown texture '" + p.samplerTexture + "'";
    }
    NameTable functions;
    for (const EffectCode& f : description.functions)
        functions.Add(f.name);
    NameTable techniques;
    std::unordered_set<const PassProgram*> checked; // programs the passes share, each checked once
    const auto uniforms = [&](const SharedProgram& program) -> std::string {
        if (program.Held() && !checked.insert(program.Held()).second)
            return {};
        return CheckUniforms(*program, parameters, names, floatsOf);
    };
    for (const EffectTechnique& t : description.techniques) {
        if (stopping())
            return {};
        if (!t.name.empty() && !techniques.Add(t.name))
            return "technique '" + t.name + "' is declared twice";
        for (const EffectPass& pass : t.passes) {
            std::vector<const EffectShader*> shaders = {&pass.vertexShader, &pass.pixelShader};
            uint64_t programs = 1;
            bool chooses = false;
            for (const EffectShaderChoice* c : {&pass.vertexChoice, &pass.pixelChoice}) {
                if (c->array.empty() != c->elements.empty() || c->array.empty() != c->index.empty())
                    return "pass '" + pass.name + "' has an unsound shader choice";
                for (const EffectShader& e : c->elements)
                    shaders.push_back(&e);
                if (!c->array.empty()) {
                    chooses = true;
                    programs *= c->elements.size();
                    Expression index;
                    size_t offset = 0;
                    std::string why;
                    if (!Expression::Read(c->index.data(), c->index.size(), offset, index, why) ||
                        offset != c->index.size() || !index.Shape().IsScalar())
                        return "pass '" + pass.name + "' chooses its shader by an unsound index";
                }
            }
            // Programs are made after the effect is read: none yet, or one a pair.
            if ((!pass.choicePrograms.empty() && pass.choicePrograms.size() != (chooses ? programs : 0)) ||
                (chooses && !pass.program->Empty()))
                return "pass '" + pass.name + "' has the wrong number of programs";
            const std::string problem = uniforms(pass.program);
            if (!problem.empty())
                return "pass '" + pass.name + "': " + problem;
            for (const SharedProgram& program : pass.choicePrograms)
                if (std::string choiceProblem = uniforms(program); !choiceProblem.empty())
                    return "pass '" + pass.name + "': " + choiceProblem;
            for (const EffectShader* s : shaders)
                if (!s->profile.empty() && !functions.Contains(s->entry))
                    return "pass '" + pass.name + "' compiles the unknown function '" + s->entry + "'";
            for (const StateAssignment& a : pass.assignments) {
                const std::string problem = CheckStateAssignment(a);
                if (!problem.empty())
                    return "pass '" + pass.name + "': " + problem;
                if (a.source != StateAssignment::Source::Parameter)
                    continue;
                const bool texture = a.group == StateGroup::Texture;
                uint32_t found = names.Find(a.parameter), element = 0;
                // A texture may be an element of an array of them ("maps[1]").
                if (texture && found == NameTable::kNone)
                    FindElement(a.parameter, parameters, names, found, element);
                if (found == NameTable::kNone || (texture ? !IsTextureType(parameters[found].type)
                                                          : !IsSamplerType(parameters[found].type)))
                    return "pass '" + pass.name + "' names the unknown " + (texture ? "texture" : "sampler") + " '" +
                           a.parameter + "'";
            }
        }
    }
    return {};
}

} // namespace gfx
