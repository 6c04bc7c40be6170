#include "platform/gfx/fx/compiled/compiled_effect_check.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "platform/gfx/fx/expression/effect_expression.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/expression/value.h"
#include "platform/gfx/fx/syntax/name_table.h"
#include "platform/gfx/fx/parser/struct_layouts.h"
#include "platform/gfx/fx/hlsl/shader_text_bounds.h"

namespace gfx {

namespace {

using Source = StateAssignment::Source;

// The first word of every SPIR-V module.
constexpr uint32_t kSpirvMagic = 0x07230203;
// The greatest index a state may be written with.
constexpr int32_t kMaxWrittenStateIndex = 255;

bool OneLine(const std::string& text)
{
    return text.find_first_of("\r\n") == std::string::npos;
}

// A name the compiler keeps: an identifier, or nothing where `empty` allows.
bool Name(const std::string& name, bool empty = false)
{
    return (empty && name.empty()) || IsIdentifier(name);
}

// A texture or sampler the compiler names: a name, one element of an array
// ("maps[1]"), or nothing.
bool ObjectName(const std::string& name)
{
    const size_t open = name.find('[');
    if (open == std::string::npos)
        return Name(name, true);
    return Name(name.substr(0, open)) && name.size() > open + 2 &&
           name.find_first_not_of("0123456789", open + 1) == name.size() - 1 && name.back() == ']';
}

std::string Quote(const std::string& name)
{
    return "'" + name + "'";
}

// The names and line-free text of the whole description; "" when all are.
std::string CheckNames(const EffectDescription& d)
{
    for (const std::string& define : d.defines) {
        const size_t first = define.find_first_not_of(" \t");
        const size_t last = define.find_last_not_of(" \t");
        if (first == std::string::npos || !IsIdentifier(std::string_view(define).substr(first, last - first + 1)))
            return "a define has no name";
    }
    auto annotations = [](const std::vector<EffectAnnotation>& list) {
        for (const EffectAnnotation& a : list)
            if (!Name(a.name) || a.type.empty() ||
                std::any_of(a.values.begin(), a.values.end(), [](float v) { return std::isnan(v); }))
                return false;
        return true;
    };
    auto states = [](const std::vector<EffectState>& list) {
        for (const EffectState& s : list)
            if (!Name(s.name) || s.index < -1 || s.index > kMaxWrittenStateIndex)
                return false;
        return true;
    };
    auto assignments = [](const std::vector<StateAssignment>& list) {
        for (const StateAssignment& a : list)
            if (!ObjectName(a.parameter))
                return false;
        return true;
    };
    auto shader = [](const EffectShader& s) {
        return Name(s.profile, true) && Name(s.entry, s.profile.empty()) && s.entry.empty() == s.profile.empty();
    };
    std::unordered_set<const PassProgram*> named; // programs passes share, each looked at once
    auto program = [&named](const SharedProgram& shared) {
        if (shared.Held() && !named.insert(shared.Held()).second)
            return true;
        const PassProgram& p = *shared;
        for (const UniformField& f : p.uniforms)
            if (!Name(f.name))
                return false;
        for (const SamplerSlot& s : p.samplers)
            if (!Name(s.name) || !ObjectName(s.texture))
                return false;
        return true;
    };
    for (const EffectParameter& p : d.parameters) {
        if (!Name(p.name))
            return "a parameter's name is not an identifier";
        if (!Name(p.semantic, true) || !OneLine(p.structName) || !ObjectName(p.samplerTexture) ||
            !annotations(p.annotations) || !states(p.samplerStates) || !assignments(p.samplerAssignments))
            return "parameter " + Quote(p.name) + " has a name or value the compiler does not write";
        if (std::any_of(p.defaults.begin(), p.defaults.end(), [](float v) { return std::isnan(v); }))
            return "parameter " + Quote(p.name) + " has an initial value that is not a number";
    }
    for (const EffectTechnique& t : d.techniques) {
        if (!Name(t.name, true))
            return "a technique's name is not an identifier";
        if (!annotations(t.annotations))
            return "technique " + Quote(t.name) + " has an annotation the compiler does not write";
        for (const EffectPass& pass : t.passes) {
            if (!Name(pass.name, true))
                return "a pass's name is not an identifier";
            const EffectShaderChoice* choices[] = {&pass.vertexChoice, &pass.pixelChoice};
            bool sound = annotations(pass.annotations) && states(pass.states) && assignments(pass.assignments) &&
                         shader(pass.vertexShader) && shader(pass.pixelShader) && program(pass.program);
            for (const EffectShaderChoice* c : choices) {
                sound = sound && Name(c->array, true);
                for (const EffectShader& e : c->elements)
                    sound = sound && shader(e);
            }
            for (const SharedProgram& p : pass.choicePrograms)
                sound = sound && program(p);
            if (!sound)
                return "pass " + Quote(pass.name) + " has a name or value the compiler does not write";
        }
    }
    for (const EffectStructType& type : d.structTypes) {
        bool named = OneLine(type.name);
        for (const EffectMember& m : type.members)
            named = named && Name(m.name) && OneLine(m.structName);
        if (!named)
            return "a struct type or member's name is not one the compiler writes";
    }
    for (const std::vector<EffectCode>* list : {&d.structs, &d.functions})
        for (const EffectCode& c : *list)
            if (!Name(c.name))
                return "a struct or function's name is not an identifier";
    return {};
}

// Whether a parameter read as `shape` is read as the compiler reads it: its
// base, rows, columns and elements.
bool ReadAsDeclared(const EffectParameter& p, const ValueShape& shape)
{
    const bool base = p.type == EffectParameterType::Bool  ? shape.base == ValueBase::Bool
                      : p.type == EffectParameterType::Int ? shape.base == ValueBase::Int || shape.base == ValueBase::Uint
                                                           : shape.base == ValueBase::Float;
    return base && shape.rows == p.rows && shape.columns == p.columns && shape.arraySize == p.arraySize &&
           (shape.matrix || p.rows == 1);
}

// The work of beginning every pass once: the expressions of its states and
// of the indices of its chosen shaders, and those of each sampler it names,
// by a state or through a program, once however many of its states name it
// (a begin works a sampler's states out once); beside the bytes of every
// expression the effect keeps, each once.
class BeginWork {
public:
    BeginWork(const EffectDescription& d, const NameTable& byName) : byName_(byName), samplers_(d.parameters.size())
    {
    }

    // An expression of `bytes` that takes `work` steps, of sampler parameter
    // `sampler` or, without it, of the pass being counted.
    void Expression(size_t bytes, uint64_t work, size_t sampler = ~size_t{0})
    {
        bytes_ += bytes;
        uint64_t& into = sampler < samplers_.size() ? samplers_[sampler].work : work_;
        into = Sum(into, work);
    }
    // Adds the samplers `pass` names, each once.
    void SamplersOf(const EffectPass& pass)
    {
        ++passes_;
        const auto named = [&](const std::string& name) {
            const uint32_t found = byName_.Find(name);
            if (found >= samplers_.size() || samplers_[found].pass == passes_)
                return;
            samplers_[found].pass = passes_;
            work_ = Sum(work_, samplers_[found].work);
        };
        for (const StateAssignment& a : pass.assignments)
            if (a.group == StateGroup::SamplerObject && a.source == StateAssignment::Source::Parameter)
                named(a.parameter);
        for (const SamplerSlot& slot : pass.program->samplers)
            named(slot.name);
        for (const SharedProgram& program : pass.choicePrograms)
            for (const SamplerSlot& slot : program->samplers)
                named(slot.name);
    }
    // "" when the work is no more than the compiler's budget gives a text of
    // the expressions' bytes, else that bound in words.
    std::string Refusal() const
    {
        const uint64_t bound = ExpressionBudget::ForText(bytes_).limit;
        if (work_ <= bound)
            return {};
        return "the effect's expressions would take " + std::to_string(work_) +
               " steps of work as its passes begin, over the bound of " + std::to_string(bound) + " that their " +
               std::to_string(bytes_) + " bytes allow";
    }

private:
    struct Sampler {
        uint64_t work = 0; // of its states together
        size_t pass = 0;   // the last pass that counted it
    };
    static uint64_t Sum(uint64_t a, uint64_t b) { return b > ~uint64_t{0} - a ? ~uint64_t{0} : a + b; }

    const NameTable& byName_;
    std::vector<Sampler> samplers_; // by parameter
    uint64_t work_ = 0;
    uint64_t bytes_ = 0;
    size_t passes_ = 0;
};

// "" when the expression in `bytes` names parameters, each a number's read as
// it is declared, or a struct's read within its values (as far as a member,
// or the member itself where it is the first). Its steps of work, read as it
// is read here, go to `work`.
std::string CheckExpression(const std::vector<uint8_t>& bytes, const EffectDescription& d, uint64_t& work)
{
    Expression program;
    size_t offset = 0;
    std::string why;
    if (!Expression::Read(bytes.data(), bytes.size(), offset, program, why))
        return why;
    work = program.Work();
    if (!program.NamesParameters())
        return "it names no parameter";
    for (const Expression::Instruction& in : program.Instructions()) {
        if (in.op != Expression::Op::Parameter)
            continue;
        const bool structure = in.a < d.parameters.size() && d.parameters[in.a].type == EffectParameterType::Struct;
        if (in.a >= d.parameters.size() || !(IsNumericType(d.parameters[in.a].type) || structure))
            return "it reads parameter number " + std::to_string(in.a) + ", which holds no numbers";
        ValueShape shape;
        const EffectParameter& p = d.parameters[in.a];
        if (!expr::UnpackShape(in.b, shape) ||
            (structure ? shape.Components() > p.defaults.size() : !ReadAsDeclared(p, shape)))
            return "it reads parameter " + Quote(p.name) + " as another shape than its own";
    }
    return {};
}

// Whether a uniform of `kind` holds values of `type` as the shader compiler
// may declare them (a float parameter read as ints where the shader says so).
bool KindFits(EffectParameterType type, UniformKind kind)
{
    switch (type) {
    case EffectParameterType::Bool: return kind == UniformKind::Bool;
    case EffectParameterType::Int: return kind == UniformKind::Int || kind == UniformKind::UInt;
    case EffectParameterType::Float: return kind == UniformKind::Float || kind == UniformKind::Int;
    default: return false;
    }
}

// Whether a stage of the pass, or of the chosen element `element`, has a shader.
bool StageSet(const EffectShader& shader, const EffectShaderChoice& choice, size_t element)
{
    return choice.array.empty() ? !shader.profile.empty() : !choice.elements[element].profile.empty();
}

class Checker {
public:
    explicit Checker(const EffectDescription& d) : d_(d), work_(d, byName_)
    {
        byName_.Reserve(d.parameters.size());
        for (size_t i = 0; i < d.parameters.size(); ++i)
            byName_.Add(d.parameters[i].name, static_cast<uint32_t>(i));
        layouts_.Build(d.structTypes); // sound: the description's rules hold
    }

    std::string Check()
    {
        for (size_t i = 0; i < d_.parameters.size(); ++i) {
            const EffectParameter& p = d_.parameters[i];
            if (std::string why = Defaults(p); !why.empty())
                return "parameter " + Quote(p.name) + " " + why;
            for (const StateAssignment& a : p.samplerAssignments)
                if (std::string why = Assignment(a, i); !why.empty())
                    return "sampler " + Quote(p.name) + ": " + why;
        }
        for (const EffectTechnique& t : d_.techniques)
            for (const EffectPass& pass : t.passes) {
                if (std::string why = Pass(pass); !why.empty())
                    return "pass " + Quote(pass.name) + " of technique " + Quote(t.name) + ": " + why;
                work_.SamplersOf(pass);
            }
        return work_.Refusal();
    }

private:
    // Bools are 0 or 1 and ints whole numbers, as the compiler converts them.
    static std::string Defaults(const EffectParameter& p)
    {
        for (float v : p.defaults) {
            if (p.type == EffectParameterType::Bool && v != 0.0f && v != 1.0f)
                return "has a bool's initial value that is neither 0 nor 1";
            if (p.type == EffectParameterType::Int && (!std::isfinite(v) || v != std::trunc(v)))
                return "has an int's initial value that is not a whole number";
        }
        return {};
    }

    // Of sampler parameter `sampler`, or without it of a pass.
    std::string Assignment(const StateAssignment& a, size_t sampler = ~size_t{0})
    {
        if (a.source != Source::Expression)
            return {};
        const StateInfo* state = StateOf(a);
        uint64_t work = 0;
        const std::string why = CheckExpression(a.expression, d_, work);
        work_.Expression(a.expression.size(), work, sampler);
        return why.empty() ? why : "the value of '" + std::string(state ? state->name : "?") + "': " + why;
    }

    std::string Pass(const EffectPass& pass)
    {
        for (const StateAssignment& a : pass.assignments)
            if (std::string why = Assignment(a); !why.empty())
                return why;
        const EffectShader* shaders[] = {&pass.vertexShader, &pass.pixelShader};
        const EffectShaderChoice* choices[] = {&pass.vertexChoice, &pass.pixelChoice};
        const StateGroup groups[] = {StateGroup::VertexShader, StateGroup::PixelShader};
        for (int stage = 0; stage < 2; ++stage) {
            const char* which = stage == 0 ? "vertex" : "pixel";
            const EffectShaderChoice& choice = *choices[stage];
            if (!choice.array.empty()) {
                if (!shaders[stage]->profile.empty())
                    return std::string("its ") + which + " shader is both compiled and chosen";
                uint64_t work = 0;
                const std::string why = CheckExpression(choice.index, d_, work);
                work_.Expression(choice.index.size(), work);
                if (!why.empty())
                    return "the index of '" + choice.array + "': " + why;
            }
            const bool set = !shaders[stage]->profile.empty() || !choice.array.empty();
            const bool assigned = std::any_of(pass.assignments.begin(), pass.assignments.end(), [&](const auto& a) {
                return a.group == groups[stage] && a.source == Source::Shader;
            });
            if (set && !assigned)
                return std::string("its ") + which + " shader has no place among its states";
        }
        const bool chooses = !pass.vertexChoice.array.empty() || !pass.pixelChoice.array.empty();
        if (!chooses) {
            const bool shader = !pass.vertexShader.profile.empty() || !pass.pixelShader.profile.empty();
            return Program(pass.program, shader);
        }
        const size_t pixels = pass.pixelChoice.array.empty() ? 1 : pass.pixelChoice.elements.size();
        if (pass.choicePrograms.empty())
            return "its programs are missing";
        for (size_t at = 0; at < pass.choicePrograms.size(); ++at) {
            const bool shader = StageSet(pass.vertexShader, pass.vertexChoice, at / pixels) ||
                                StageSet(pass.pixelShader, pass.pixelChoice, at % pixels);
            if (std::string why = Program(pass.choicePrograms[at], shader); !why.empty())
                return "program " + std::to_string(at) + ": " + why;
        }
        return {};
    }

    // A program has both stages where a shader is set and nothing where none
    // is; one that passes share is checked once for each.
    std::string Program(const SharedProgram& shared, bool shader)
    {
        if (shared.Held() && !checked_.emplace(shared.Held(), shader).second)
            return {};
        const PassProgram& p = *shared;
        if (!shader) {
            if (!p.vertex.spirv.empty() || !p.pixel.spirv.empty() || !p.Empty() || p.uniformBytes != 0 ||
                !p.uniforms.empty() || !p.samplers.empty() || !p.vertexInputs.empty())
                return "a program where no shader is set";
            return {};
        }
        for (const ShaderStageCode* stage : {&p.vertex, &p.pixel})
            if (stage->glsl.empty() || stage->spirv.empty() || stage->spirv.front() != kSpirvMagic)
                return "a program without both stages";
        // Its texts reach the driver as they are: no further than the compiler writes them.
        for (const ShaderStageCode* stage : {&p.vertex, &p.pixel})
            if (std::string why = DrawnStageTextProblem(stage->glsl); !why.empty())
                return std::string("its ") + (stage == &p.vertex ? "vertex" : "pixel") + " text " + why;
        std::set<std::pair<uint32_t, uint32_t>> placed; // parameter, first value
        for (const UniformField& f : p.uniforms) {
            const uint32_t found = byName_.Find(f.name);
            if (found == NameTable::kNone)
                return "uniform " + Quote(f.name) + " is no parameter";
            const EffectParameter& parameter = d_.parameters[found];
            // A numeric parameter has one place; a struct one a place for each
            // numeric member of each element, where its values begin.
            bool shape = false;
            if (IsNumericType(parameter.type)) {
                shape = f.first == 0 && KindFits(parameter.type, f.kind) && f.rows == parameter.rows &&
                        f.columns == parameter.columns && f.elements == parameter.arraySize;
            } else if (parameter.type == EffectParameterType::Struct) {
                const EffectMember* member = LeafAt(found, f.first);
                shape = member && KindFits(member->type, f.kind) && f.rows == member->rows &&
                        f.columns == member->columns && f.elements == member->arraySize;
            }
            if (!shape)
                return "uniform " + Quote(f.name) + " has another shape than its parameter";
            if (!placed.emplace(found, f.first).second)
                return "uniform " + Quote(f.name) + " is placed twice";
        }
        NameTable sampled;
        uint32_t units = 0;
        for (const SamplerSlot& s : p.samplers) {
            const uint32_t found = byName_.Find(s.name);
            if (found == NameTable::kNone || !IsSamplerType(d_.parameters[found].type))
                return "sampler " + Quote(s.name) + " is no sampler parameter";
            if (s.texture != d_.parameters[found].samplerTexture)
                return "sampler " + Quote(s.name) + " reads another texture than its parameter names";
            // An array takes a unit an element.
            const uint32_t elements = std::max<uint32_t>(d_.parameters[found].arraySize, 1);
            const bool fits = s.unit < kMaxSamplerUnits && elements <= kMaxSamplerUnits - s.unit;
            const uint32_t taken = fits ? ((uint32_t{1} << elements) - 1) << s.unit : 0;
            if (!fits || !sampled.Add(s.name) || (units & taken) != 0)
                return "sampler " + Quote(s.name) + " shares its name or unit";
            units |= taken;
        }
        if (p.vertexInputs.size() > kMaxVertexAttributes)
            return "it has more vertex inputs than places";
        uint32_t usages[kMaxVertexAttributes] = {};
        for (size_t i = 0; i < p.vertexInputs.size(); ++i) {
            const VertexInput& input = p.vertexInputs[i];
            if (i > 0 && input.location <= p.vertexInputs[i - 1].location)
                return "its vertex inputs are not in order of their places";
            usages[i] = input.usage << 8 | input.usageIndex;
            if (std::find(usages, usages + i, usages[i]) != usages + i)
                return "two vertex inputs read one declaration element";
        }
        return {};
    }

    // The numeric member whose values begin at `first` among those of struct
    // parameter `parameter`, or null; each parameter's members found once.
    const EffectMember* LeafAt(uint32_t parameter, uint32_t first)
    {
        const auto made = leaves_.try_emplace(parameter);
        std::unordered_map<uint64_t, const EffectMember*>& leaves = made.first->second;
        if (made.second) {
            const EffectParameter& p = d_.parameters[parameter];
            const uint32_t type = layouts_.Find(p.structName);
            if (type != StructLayouts::kNone)
                layouts_.ForEachLeaf(type, 0, p.Elements(), [&leaves](uint64_t at, const EffectMember& member) {
                    leaves.emplace(at, &member);
                });
        }
        const auto found = leaves.find(first);
        return found == leaves.end() ? nullptr : found->second;
    }

    const EffectDescription& d_;
    NameTable byName_;
    BeginWork work_; // of every expression the effect keeps, as they are checked
    StructLayouts layouts_;
    std::unordered_map<uint32_t, std::unordered_map<uint64_t, const EffectMember*>> leaves_; // by struct parameter
    std::set<std::pair<const PassProgram*, bool>> checked_; // programs checked, with a shader set or not
};

} // namespace

std::string CheckCompiledEffect(const EffectDescription& description)
{
    if (std::string why = CheckNames(description); !why.empty())
        return why;
    if (std::string why = CheckEffectDescription(description); !why.empty())
        return why;
    return Checker(description).Check();
}

std::string CheckExpressionWork(const EffectDescription& description)
{
    NameTable byName;
    byName.Reserve(description.parameters.size());
    for (size_t i = 0; i < description.parameters.size(); ++i)
        byName.Add(description.parameters[i].name, static_cast<uint32_t>(i));
    BeginWork tally(description, byName);
    auto add = [&](const std::vector<uint8_t>& expression, size_t sampler = ~size_t{0}) {
        Expression program;
        size_t offset = 0;
        std::string why;
        const bool read = !expression.empty() &&
                          Expression::Read(expression.data(), expression.size(), offset, program, why);
        tally.Expression(expression.size(), read ? program.Work() : 0, sampler);
    };
    for (size_t i = 0; i < description.parameters.size(); ++i)
        for (const StateAssignment& a : description.parameters[i].samplerAssignments)
            add(a.expression, i);
    for (const EffectTechnique& t : description.techniques)
        for (const EffectPass& pass : t.passes) {
            for (const StateAssignment& a : pass.assignments)
                add(a.expression);
            add(pass.vertexChoice.index);
            add(pass.pixelChoice.index);
            tally.SamplersOf(pass);
        }
    return tally.Refusal();
}

} // namespace gfx
