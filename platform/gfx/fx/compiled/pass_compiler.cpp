#include "platform/gfx/fx/compiled/pass_compiler.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <set>
#include <span>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include <spirv_cross/spirv_glsl.hpp>

#include "platform/bytes/byte_reader.h"
#include "platform/bytes/byte_writer.h"
#include "platform/gfx/device/drawn_stage_text.h"
#include "platform/gfx/fx/compiled/compiled_effect.h"
#include "platform/gfx/fx/compiled/stage_translation.h"
#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/hlsl/source.h"
#include "platform/gfx/fx/hlsl/shader_compile.h"
#include "platform/gfx/fx/hlsl/shader_entry.h"
#include "platform/gfx/fx/hlsl/shader_messages.h"
#include "platform/gfx/fx/hlsl/shader_text_bounds.h"
#include "platform/window/close_check.h"

namespace gfx {

namespace {

// Declarations of global variables that the stages of an effect may make in
// all when each declares every variable any stage reaches (their blocks then
// alike without stated places): every real effect's few stages and
// parameters. Past it each stage declares only what it reaches.
constexpr size_t kMostSharedDeclarations = size_t{1} << 16;

class PassBuilder {
public:
    PassBuilder(const HlslSource& source, EffectDescription& effect, std::string& messages)
        : source_(source), effect_(effect), messages_(messages), entries_(effect), translator_(effect),
          reached_(source.IdCount()), shared_(source.IdCount())
    {
    }

    // Every pass's entry points first, then each distinct stage compiled once
    // and each distinct translation made once, right after its stage, in the
    // compiling child (a pixel stage's sampler units follow its pass's vertex
    // stage, and are known before either is compiled). Stages are numbered in
    // the order passes first name them and compiled in that order, none after
    // the first that fails: the stages before it all compile, so the first
    // failing pass in file order gives the messages, whichever failed first.
    bool BuildAll()
    {
        // Every program to make: one a pass, or one for each pair of shaders
        // a pass may choose from arrays.
        std::vector<ProgramJob> passes;
        for (EffectTechnique& t : effect_.techniques)
            for (EffectPass& p : t.passes)
                if (!AddProgramJobs(t, p, passes))
                    return Fail(ChoiceEntry(p), "the effect's passes come to more than " +
                                                    std::to_string(kMaxEffectPrograms) +
                                                    " programs with the shaders they choose from");
        if (!translator_.NameParameters())
            return Closing();
        std::vector<Plan> plans(passes.size());
        for (size_t i = 0; i < passes.size(); ++i) {
            if (platform::ClosingAfter())
                return Closing();
            if (!PlanPass(passes[i], plans[i]))
                return false;
        }
        AddCheckStage();
        // Texture units by sampler, the same in both stages of a pass.
        std::vector<Translation> translations;
        std::map<std::pair<size_t, Units>, size_t> index;
        for (Plan& plan : plans) {
            if (platform::ClosingAfter())
                return Closing();
            if (plan.vertexStage == kNone)
                continue;
            Units units;
            if (!AssignUnits(plan, units))
                return false;
            plan.vertexTranslation = Add(translations, index, plan.vertexStage, units);
            plan.pixelTranslation = Add(translations, index, plan.pixelStage, units);
        }
        if (!stages_.empty() && !WithinNesting())
            return false;
        size_t overBound = kNone;
        if (!CompileStages(plans, translations, overBound))
            return Closing();
        for (const Plan& plan : plans) {
            // The first of its stages that failed, and did not only go uncompiled.
            for (size_t stage : {plan.vertexStage, plan.pixelStage}) {
                if (stage != kNone && !stages_[stage].ok && !stages_[stage].messages.empty()) {
                    messages_ += stages_[stage].messages;
                    return false;
                }
            }
        }
        if (checkStage_ != kNone && !stages_[checkStage_].ok && !stages_[checkStage_].messages.empty()) {
            messages_ += stages_[checkStage_].messages;
            return false;
        }
        if (overBound != kNone)
            return Fail(plans[overBound].blame, "the passes' compiled shaders come to more than " +
                                                    std::to_string(kMaxEffectProgramBytes >> 20) + " MB");
        for (size_t i = 0; i < plans.size(); ++i) {
            Plan& plan = plans[i];
            if (platform::ClosingAfter())
                return Closing();
            if (plan.vertexStage != kNone) {
                const Translation& vs = translations[plan.vertexTranslation];
                const Translation& ps = translations[plan.pixelTranslation];
                if (!stages_[plan.vertexStage].ok || !stages_[plan.pixelStage].ok || !vs.done || !ps.done)
                    return Fail(plan.blame, "the compiled shader did not come back");
                if (!vs.error.empty() || !ps.error.empty())
                    return Fail(plan.blame, vs.error.empty() ? ps.error : vs.error);
            }
        }
        if (!CheckPrograms(plans, translations))
            return false;
        // One program for each pair of translations, shared by every pass
        // that compiles it.
        std::map<std::pair<size_t, size_t>, SharedProgram> made;
        for (size_t i = 0; i < plans.size(); ++i) {
            Plan& plan = plans[i];
            if (platform::ClosingAfter())
                return Closing();
            if (plan.vertexStage == kNone) {
                *passes[i].program = SharedProgram();
                continue;
            }
            const auto [found, first] = made.try_emplace({plan.vertexTranslation, plan.pixelTranslation});
            if (first) {
                const Translation& vs = translations[plan.vertexTranslation];
                const Translation& ps = translations[plan.pixelTranslation];
                Merge(plan.program, vs.part);
                Merge(plan.program, ps.part);
                plan.program.vertex = {stages_[plan.vertexStage].spirv, vs.glsl};
                plan.program.pixel = {stages_[plan.pixelStage].spirv, ps.glsl};
                found->second = SharedProgram(std::move(plan.program));
            }
            *passes[i].program = found->second;
        }
        // The stages' warnings, each line once however many stages share it.
        std::unordered_set<std::string_view> said;
        for (const StageJob& stage : stages_) {
            for (size_t from = 0; from < stage.messages.size();) {
                const size_t end = std::min(stage.messages.find('\n', from), stage.messages.size());
                const std::string_view line = std::string_view(stage.messages).substr(from, end - from + 1);
                if (stage.ok && said.insert(line).second)
                    messages_ += line;
                from = end + 1;
            }
        }
        messages_ += LoopVariableWarnings(source_);
        return true;
    }

private:
    static constexpr size_t kNone = ~size_t{0};

    struct StageJob {
        ShaderEntry entry;
        ShaderStage stage = ShaderStage::Vertex;
        std::string function; // "" for a stand-in stage
        std::vector<HlslSource::Id> roots; // what it reaches from
        std::vector<uint32_t> spirv;
        std::vector<std::string> samplers; // the effect's samplers its functions name, in effect order
        std::string messages;
        bool ok = false;
    };
    struct Plan {
        PassProgram program;
        size_t vertexStage = kNone;
        size_t pixelStage = kNone;
        size_t vertexTranslation = kNone;
        size_t pixelTranslation = kNone;
        std::string blame;
        std::string where;
    };
    using Units = StageTranslator::Units;
    // The shaders of one program and where it goes.
    struct ProgramJob {
        const EffectShader* vertex = nullptr;
        const EffectShader* pixel = nullptr;
        SharedProgram* program = nullptr;
        std::string where; // the pass, as messages name it
    };

    // False, adding nothing, when the programs would come to more than the bound.
    static bool AddProgramJobs(const EffectTechnique& technique, EffectPass& pass, std::vector<ProgramJob>& jobs)
    {
        const std::string where = "pass " + (pass.name.empty() ? std::to_string(&pass - technique.passes.data())
                                                               : "'" + pass.name + "'") +
                                  " of technique '" + technique.name + "'";
        const EffectShaderChoice& vs = pass.vertexChoice;
        const EffectShaderChoice& ps = pass.pixelChoice;
        if (vs.array.empty() && ps.array.empty()) {
            pass.choicePrograms.clear();
            if (jobs.size() >= kMaxEffectPrograms)
                return false;
            jobs.push_back({&pass.vertexShader, &pass.pixelShader, &pass.program, where});
            return true;
        }
        const uint64_t vertexCount = vs.array.empty() ? 1 : vs.elements.size();
        const uint64_t pixelCount = ps.array.empty() ? 1 : ps.elements.size();
        if (jobs.size() + vertexCount * pixelCount > kMaxEffectPrograms)
            return false;
        pass.choicePrograms.assign(vertexCount * pixelCount, SharedProgram());
        for (size_t v = 0; v < vertexCount; ++v)
            for (size_t p = 0; p < pixelCount; ++p)
                jobs.push_back({vs.array.empty() ? &pass.vertexShader : &vs.elements[v],
                                ps.array.empty() ? &pass.pixelShader : &ps.elements[p],
                                &pass.choicePrograms[v * pixelCount + p], where});
        return true;
    }
    // The function a pass's message names: its first chosen shader's.
    static std::string ChoiceEntry(const EffectPass& pass)
    {
        for (const EffectShaderChoice* c : {&pass.vertexChoice, &pass.pixelChoice})
            if (!c->elements.empty())
                return c->elements.front().entry;
        return pass.vertexShader.entry;
    }

    // One stage's GLSL with the places it uses, its samplers at their units.
    struct Translation {
        size_t stage = kNone;
        Units units;
        std::string glsl;
        PassProgram part; // uniforms and samplers only
        std::string error;
        bool done = false; // made (or refused)
    };

    // The units of the samplers a pass's stages read, shared by both: an
    // array takes consecutive ones, one an element. Samplers bound by
    // register take theirs first, refused where they overlap; the others then
    // the lowest free runs long enough for them, the vertex stage's first.
    bool AssignUnits(const Plan& plan, Units& units)
    {
        std::unordered_set<std::string_view> held;
        std::vector<std::pair<std::string_view, uint32_t>> unbound; // with its elements
        std::string_view holder[kMaxSamplerUnits];
        auto take = [&](std::string_view name, uint32_t first, uint32_t elements) {
            for (uint32_t unit = first; unit < first + elements; ++unit)
                holder[unit] = name;
            units.emplace_back(std::string(name), first);
        };
        for (size_t stage : {plan.vertexStage, plan.pixelStage})
            for (const std::string& name : stages_[stage].samplers) {
                if (!held.insert(name).second)
                    continue;
                const EffectParameter* p = FindParameter(name);
                const uint32_t elements = p ? std::max<uint32_t>(p->arraySize, 1) : 1;
                if (!p || p->samplerRegister < 0) {
                    unbound.emplace_back(name, elements);
                    continue;
                }
                // The parser refused a register whose elements go past s15.
                const auto first = static_cast<uint32_t>(p->samplerRegister);
                for (uint32_t unit = first; unit < first + elements; ++unit)
                    if (!holder[unit].empty())
                        return Fail(plan.blame,
                                    "overlapping register semantics not yet implemented 's" + std::to_string(unit) +
                                        "': samplers '" + std::string(holder[unit]) + "' and '" + std::string(name) +
                                        "' both take it",
                                    4500);
                take(name, first, elements);
            }
        for (const auto& [name, elements] : unbound) {
            uint32_t first = 0;
            for (uint32_t unit = 0; unit < kMaxSamplerUnits && unit - first < elements; ++unit)
                if (!holder[unit].empty())
                    first = unit + 1;
            if (elements > kMaxSamplerUnits - std::min(first, kMaxSamplerUnits))
                return Fail(plan.blame, "the pass's samplers need more than its " + std::to_string(kMaxSamplerUnits) +
                                            " units: " +
                                            (elements == 1 ? "none is free"
                                                           : "no " + std::to_string(elements) + " in a row are free") +
                                            " for '" + std::string(name) + "'");
            take(name, first, elements);
        }
        return true;
    }

    // The translation of `stage` with the units of the samplers it reads.
    size_t Add(std::vector<Translation>& list, std::map<std::pair<size_t, Units>, size_t>& index, size_t stage,
               const Units& passUnits)
    {
        const std::unordered_set<std::string_view> read(stages_[stage].samplers.begin(),
                                                         stages_[stage].samplers.end());
        Units units;
        for (const auto& unit : passUnits)
            if (read.count(unit.first))
                units.push_back(unit);
        auto [found, added] = index.emplace(std::make_pair(stage, units), list.size());
        if (added) {
            Translation t;
            t.stage = stage;
            t.units = std::move(units);
            list.push_back(std::move(t));
        }
        return found->second;
    }

    // Adds the uniforms and samplers of a stage's `part`, each sampler
    // taking a unit for each element of its parameter.
    void Merge(PassProgram& program, const PassProgram& part) const
    {
        program.uniformBytes = std::max(program.uniformBytes, part.uniformBytes);
        // The sets below view the names where the lists hold them: the lists
        // get their room first, so appending moves none of them.
        program.uniforms.reserve(program.uniforms.size() + part.uniforms.size());
        program.samplers.reserve(program.samplers.size() + part.samplers.size());
        // A struct parameter has a place for each member: one a first value.
        std::set<std::pair<std::string_view, uint32_t>> placed;
        for (const UniformField& f : program.uniforms)
            placed.emplace(f.name, f.first);
        for (const UniformField& f : part.uniforms)
            if (placed.emplace(f.name, f.first).second)
                program.uniforms.push_back(f);
        std::unordered_set<std::string_view> held;
        for (const SamplerSlot& slot : program.samplers)
            held.insert(slot.name);
        for (const SamplerSlot& slot : part.samplers) {
            if (!held.insert(slot.name).second)
                continue;
            program.samplers.push_back(slot);
            const EffectParameter* parameter = FindParameter(slot.name);
            program.samplers.back().units = parameter ? std::max<uint32_t>(parameter->arraySize, 1) : 1;
        }
    }

    bool PlanPass(const ProgramJob& pass, Plan& plan)
    {
        const EffectShader& vertexShader = *pass.vertex;
        const EffectShader& pixelShader = *pass.pixel;
        const bool vertex = !vertexShader.profile.empty();
        const bool pixel = !pixelShader.profile.empty();
        if (!vertex && !pixel)
            return true;
        ShaderEntry vs, ps;
        std::string error;
        if (vertex && !entries_.Vertex(vertexShader, vs, error))
            return Fail(vertexShader.entry, error);
        // Without a vertex stage the pass-through one writes what the pixel stage reads.
        if (pixel && !entries_.Pixel(pixelShader, vertex ? vs.varyings : PassThroughVaryings(), ps, error))
            return Fail(pixelShader.entry, error);
        if (!vertex)
            vs = MakePassThroughVertexEntry(ps);
        if (!pixel)
            ps = MakePlainPixelEntry(vs.varyings);
        plan.program.vertexInputs = vs.attributes;
        std::ranges::sort(plan.program.vertexInputs, {}, &VertexInput::location);
        plan.blame = pixel ? pixelShader.entry : vertexShader.entry;
        plan.where = pass.where;
        plan.vertexStage = AddStage(std::move(vs), ShaderStage::Vertex, vertexShader.entry);
        plan.pixelStage = AddStage(std::move(ps), ShaderStage::Pixel, pixelShader.entry);
        return true;
    }

    // The functions no pass reaches are compiled too, after every pass's
    // stages, in one stage of their own that nothing draws with: an effect
    // the platform's compiler refuses, which reads every function, is
    // refused here as well. Where the passes reach every function there is
    // none.
    void AddCheckStage()
    {
        std::vector<HlslSource::Id> roots;
        std::vector<bool> taken(source_.IdCount(), false);
        for (const HlslSource::Definition& f : source_.functions) {
            if (platform::ClosingAfter())
                return;
            if (f.body && f.name < taken.size() && !reached_[f.name] && !taken[f.name]) {
                taken[f.name] = true;
                roots.push_back(f.name);
            }
        }
        if (roots.empty())
            return;
        StageJob job;
        job.entry.name = "zl_check";
        job.entry.code = "\nfloat4 zl_check() : SV_Target { return 0; }\n";
        job.stage = ShaderStage::Pixel;
        job.function = source_.NameOf(roots.front());
        job.roots = std::move(roots);
        checkStage_ = stages_.size();
        stages_.push_back(std::move(job));
    }

    size_t AddStage(ShaderEntry entry, ShaderStage stage, const std::string& function)
    {
        const std::string key = std::string(stage == ShaderStage::Vertex ? "v" : "p") + function + "\n" + entry.code;
        auto [found, added] = stageIndex_.emplace(key, stages_.size());
        if (added) {
            StageJob job;
            job.entry = std::move(entry);
            job.stage = stage;
            job.function = function;
            if (!function.empty()) {
                job.roots = Roots(job);
                std::vector<size_t> samplers;
                for (const HlslSource::Id id : source_.Reached(job.roots, scratch_)) {
                    reached_[id] = true;
                    if (!source_.VariableNamed(id))
                        continue;
                    if (!shared_[id]) {
                        shared_[id] = true;
                        sharedIds_.push_back(id);
                    }
                    const EffectParameter* p = FindParameter(source_.NameOf(id));
                    if (p && IsSamplerType(p->type))
                        samplers.push_back(static_cast<size_t>(p - effect_.parameters.data()));
                }
                std::sort(samplers.begin(), samplers.end());
                for (size_t i : samplers)
                    job.samplers.push_back(effect_.parameters[i].name);
            }
            stages_.push_back(std::move(job));
        }
        return found->second;
    }

    // Every stage through the shader compiler, each one's translations made
    // in the same child and handed back with it: per translation u32 index,
    // u8 failed, then the error or the program (glsl in its stage's place,
    // uniforms and samplers). As each pass's stages come back its program
    // counts against their bound, once however many passes share it, and the
    // compile stops at the pass that passes it (`overBound`). False when the
    // program began closing first.
    bool CompileStages(const std::vector<Plan>& plans, std::vector<Translation>& translations, size_t& overBound)
    {
        if (platform::CloseSignalReceived())
            return false;
        std::vector<std::vector<size_t>> translationsOf(stages_.size());
        for (size_t i = 0; i < translations.size(); ++i)
            translationsOf[translations[i].stage].push_back(i);
        std::vector<std::vector<size_t>> passesOf(stages_.size());
        std::vector<uint8_t> stagesToCome(plans.size(), 0);
        for (size_t i = 0; i < plans.size(); ++i) {
            if (plans[i].vertexStage == kNone)
                continue;
            passesOf[plans[i].vertexStage].push_back(i);
            passesOf[plans[i].pixelStage].push_back(i);
            stagesToCome[i] = 2;
        }
        std::vector<StageSource> sources(stages_.size());
        for (size_t i = 0; i < stages_.size(); ++i) {
            StageJob& job = stages_[i];
            StageSource& s = sources[i];
            if (platform::ClosingAfter())
                return false;
            // A stand-in stage reads nothing of the effect; a function reads
            // what it reaches.
            s.roots = std::move(job.roots);
            s.entry = std::move(job.entry);
            s.stage = job.stage;
            s.blame = source_.FunctionOrigin(job.function);
            s.function = job.function;
        }
        // The stages of a pass agree on where each variable lies in the block:
        // each declares every variable some stage reaches, while that costs
        // little, else what it reaches at the places all of them give.
        SharedBlock block;
        block.declaredEverywhere = sharedIds_.size() * stages_.size() <= kMostSharedDeclarations;
        declaredEverywhere_ = block.declaredEverywhere;
        block.variables = std::move(sharedIds_);
        auto translate = [&](size_t stage, const std::vector<uint32_t>& spirv) {
            platform::ByteWriter out;
            for (size_t i : translationsOf[stage]) {
                Translation& t = translations[i];
                Translate(t, spirv);
                out.U32(static_cast<uint32_t>(i));
                out.U8(t.error.empty() ? 0 : 1);
                if (!t.error.empty()) {
                    out.U32(static_cast<uint32_t>(t.error.size()));
                    out.Chars(t.error);
                    continue;
                }
                (stages_[stage].stage == ShaderStage::Vertex ? t.part.vertex : t.part.pixel).glsl = std::move(t.glsl);
                const std::vector<uint8_t> program = WritePassProgram(t.part);
                out.U32(static_cast<uint32_t>(program.size()));
                out.Bytes(program);
            }
            const std::span<const uint8_t> bytes = out.Written();
            return std::string(bytes.begin(), bytes.end());
        };
        uint64_t programBytes = 0;
        std::set<std::pair<size_t, size_t>> counted; // pairs of translations
        std::vector<size_t> spirvBytes(stages_.size(), 0);
        auto arrived = [&](size_t stage, StageResult& result) {
            if (!result.ok)
                return true;
            spirvBytes[stage] = result.spirv.size() * sizeof(uint32_t);
            ReadTranslations(result.extra, translations);
            result.extra.clear();
            // The programs' sum is bounded before more is compiled.
            for (size_t i : passesOf[stage]) {
                if (--stagesToCome[i] != 0)
                    continue;
                const Plan& plan = plans[i];
                if (!counted.emplace(plan.vertexTranslation, plan.pixelTranslation).second)
                    continue;
                programBytes += spirvBytes[plan.vertexStage] + spirvBytes[plan.pixelStage] +
                                translations[plan.vertexTranslation].glsl.size() +
                                translations[plan.pixelTranslation].glsl.size();
                if (programBytes > kMaxEffectProgramBytes) {
                    overBound = i;
                    return false;
                }
            }
            return true;
        };
        std::vector<StageResult> results = CompileHlslStages(source_, sources, block, time_, translate, arrived);
        for (size_t stage = 0; stage < stages_.size(); ++stage) {
            StageJob& job = stages_[stage];
            job.ok = results[stage].ok;
            job.spirv = std::move(results[stage].spirv);
            job.messages = std::move(results[stage].messages);
        }
        return true;
    }

    void ReadTranslations(const std::string& bytes, std::vector<Translation>& translations) const
    {
        platform::ByteReader in(bytes.data(), bytes.size());
        while (in.Ok() && !in.AtEnd()) {
            const uint32_t i = in.U32();
            const bool failed = in.U8() != 0;
            const std::span<const uint8_t> body = in.Bytes(in.U32());
            if (!in.Ok() || i >= translations.size())
                break;
            Translation& t = translations[i];
            t.done = true;
            if (failed) {
                t.error.assign(body.begin(), body.end());
            } else if (!ReadPassProgram(body.data(), body.size(), t.part, t.error)) {
                t.error = "the compiled shader cannot be used: " + t.error;
            } else {
                ShaderStageCode& code = stages_[t.stage].stage == ShaderStage::Vertex ? t.part.vertex : t.part.pixel;
                t.glsl = std::move(code.glsl);
                code.glsl.clear();
            }
        }
    }

    // Each pair of translations checked as the drawing device takes it, once
    // however many passes share it: a pass that compiles draws. The first
    // pass whose pair fails fails the effect.
    bool CheckPrograms(const std::vector<Plan>& plans, const std::vector<Translation>& translations)
    {
        std::map<std::pair<size_t, size_t>, size_t> checked;
        std::vector<GlslProgramText> texts;
        for (const Plan& plan : plans) {
            if (plan.vertexStage == kNone ||
                !checked.try_emplace({plan.vertexTranslation, plan.pixelTranslation}, texts.size()).second)
                continue;
            // Held to what a compiled file is held to when it is read.
            for (const size_t t : {plan.vertexTranslation, plan.pixelTranslation})
                if (const std::string why = DrawnStageTextProblem(translations[t].glsl); !why.empty())
                    return Fail(plan.blame, plan.where + ": its " +
                                                (t == plan.vertexTranslation ? "vertex" : "pixel") +
                                                " stage made for drawing " + why);
            texts.push_back({VertexTextAsDrawn(translations[plan.vertexTranslation].glsl),
                             translations[plan.pixelTranslation].glsl});
        }
        const std::vector<std::string> answers = CheckGlslPrograms(texts, time_);
        for (const Plan& plan : plans) {
            if (plan.vertexStage == kNone)
                continue;
            const std::string& why = answers[checked.at({plan.vertexTranslation, plan.pixelTranslation})];
            if (!why.empty())
                return Fail(plan.blame, plan.where + ": " + why);
        }
        return true;
    }

    void Translate(Translation& t, const std::vector<uint32_t>& spirv)
    {
        // The translator builds its own tables at its first use, which no other
        // thread may share: the first translation runs alone.
        bool first = false;
        std::call_once(firstTranslation_, [&] {
            first = true;
            TranslateNow(t, spirv);
        });
        if (!first)
            TranslateNow(t, spirv);
    }

    void TranslateNow(Translation& t, const std::vector<uint32_t>& spirv)
    {
        try {
            t.glsl = translator_.Translate(spirv, t.units,
                                           stages_[t.stage].stage == ShaderStage::Pixel && !declaredEverywhere_, t.part);
            if (const detail::TranslationHook hook = detail::TranslationOverride().load())
                hook(t.glsl, stages_[t.stage].stage == ShaderStage::Vertex);
        } catch (const std::exception& e) {
            t.error = std::string("cannot translate the compiled shader: ") + e.what();
        }
    }

    // The shader text no deeper than its compiler can read: refused at the
    // place it first goes deeper, before any stage is compiled.
    bool WithinNesting()
    {
        const std::string_view text = source_.text;
        const size_t past = PastShaderNesting(text);
        if (past == std::string_view::npos)
            return true;
        const size_t lineStart = text.rfind('\n', past) + 1; // 0 on the first line
        const auto lines = std::count(text.begin(), text.begin() + static_cast<ptrdiff_t>(past), '\n');
        const HlslSource::Origin origin = source_.Locate(static_cast<int>(lines) + 1);
        messages_ += FormatEffectError(source_.FileOf(origin), origin.line, static_cast<int>(past - lineStart) + 1,
                                       3000, "the shader code nests too deeply: more than " +
                                                 std::to_string(kMostShaderNesting) +
                                                 ", counting brackets, blocks and each operator of a chain");
        return false;
    }

    // Closing, a failure may come of reading cut short: the close is what is said.
    bool Fail(const std::string& entry, const std::string& error, int code = 3000)
    {
        if (platform::CloseSignalReceived())
            return Closing();
        const HlslSource::Origin origin = source_.FunctionOrigin(entry);
        messages_ += FormatEffectError(source_.FileOf(origin), origin.line, 1, code, error);
        return false;
    }
    bool Closing()
    {
        messages_ += EffectClosingError(source_.FileOf(source_.Locate(1)));
        return false;
    }
    // What a stage starts from: its function and what the generated entry point names.
    std::vector<HlslSource::Id> Roots(const StageJob& job) const
    {
        std::vector<HlslSource::Id> roots{source_.IdOf(job.function)};
        const std::vector<Token> tokens = Tokenize(job.entry.code);
        for (size_t i = 0; i < tokens.size(); ++i)
            if (MayNameDeclaration(tokens, i))
                roots.push_back(source_.IdOf(tokens[i].text));
        return roots;
    }
    const EffectParameter* FindParameter(std::string_view name) const { return translator_.FindParameter(name); }


    const HlslSource& source_;
    EffectDescription& effect_;
    std::string& messages_;
    ShaderEntryMaker entries_;
    StageTranslator translator_;
    std::vector<StageJob> stages_;
    std::map<std::string, size_t> stageIndex_;
    HlslSource::Scratch scratch_;
    std::vector<bool> reached_;              // by id: a name some stage reaches
    size_t checkStage_ = kNone;              // the stage of the functions no pass reaches
    std::vector<bool> shared_;               // by id: a global variable some stage reaches
    std::vector<HlslSource::Id> sharedIds_;  // those, each once
    std::once_flag firstTranslation_;
    bool declaredEverywhere_ = true; // the stages' blocks alike
    EffectShaderTime time_;          // the stages' and the check's children together
};

} // namespace

bool CompileEffectShaders(std::string_view preprocessed, const std::string& fileName, EffectDescription& effect,
                          std::string& messages, const std::vector<std::string>& assigned)
{
    const HlslSource source = ExtractHlsl(preprocessed, fileName, assigned);
    if (source.stopped) {
        messages += EffectClosingError(fileName);
        return false;
    }
    if (!source.errors.empty()) {
        messages += source.errors;
        return false;
    }
    return PassBuilder(source, effect, messages).BuildAll();
}

namespace detail {
std::atomic<TranslationHook>& TranslationOverride()
{
    static std::atomic<TranslationHook> hook{nullptr};
    return hook;
}
} // namespace detail

} // namespace gfx
