#include "platform/gfx/fx/hlsl/shader_compile.h"

#include <signal.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <memory>
#include <optional>
#include <new>
#include <span>
#include <sstream>
#include <system_error>
#include <thread>

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/MachineIndependent/localintermediate.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv_cross/spirv_glsl.hpp>

#include "platform/bytes/byte_reader.h"
#include "platform/bytes/byte_writer.h"
#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/gfx/fx/hlsl/matrix_swizzle_mends.h"
#include "platform/gfx/fx/hlsl/shader_messages.h"
#include "platform/gfx/fx/hlsl/spirv_mends.h"
#include "platform/gfx/fx/hlsl/stage_records.h"
#include "platform/gfx/fx/hlsl/tree_mends.h"
#include "platform/os/process.h"
#include "platform/window/close_signals.h"

namespace gfx {

namespace {

void InitialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { glslang::InitializeProcess(); });
}

// Held while glslang runs in this process (building the tables) and while a
// compiling child is made and waited for: no glslang lock is held when the
// process is copied, and compiles take turns.
std::mutex compilerLock;
std::atomic<bool> prepared{false};
std::mutex preparerLock;
std::thread preparer;

constexpr EShMessages kFlags = static_cast<EShMessages>(EShMsgReadHlsl | EShMsgHlslDX9Compatible | EShMsgSpvRules |
                                                        EShMsgEnhanced | EShMsgSuppressWarnings);

// Every stage is read the same way: the built-in tables are shared by all that
// agree on language, version and target.
void Configure(glslang::TShader& shader, EShLanguage language)
{
    shader.setEnvInput(glslang::EShSourceHlsl, language, glslang::EShClientOpenGL, 100);
    shader.setEnvClient(glslang::EShClientOpenGL, glslang::EShTargetOpenGL_450);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    shader.setAutoMapBindings(true);
}

// In the compiling child: one stage's text as the front end takes it, made
// from the effect's text now; its first `sourceLines` lines are the effect's,
// and its entry point follows them. With `vectorOverloads`, its functions
// take vectors for scalar parameters (rewrites/vector_arguments.h).
std::string StageText(const HlslSource& source, const StageSource& job, const SharedBlock& block,
                      const HlslSource::Places& places, HlslSource::Scratch& scratch, int& sourceLines,
                      bool vectorOverloads = false)
{
    if (job.roots.empty()) {
        sourceLines = 1;
        return "\n" + job.entry.code;
    }
    std::vector<HlslSource::Id> roots = job.roots;
    if (block.declaredEverywhere)
        roots.insert(roots.end(), block.variables.begin(), block.variables.end());
    sourceLines = static_cast<int>(source.lines.size());
    const std::string text =
        source.TextFor(source.Reached(roots, scratch), places.empty() ? nullptr : &places, vectorOverloads);
    std::string entry = job.entry.code;
    // The statics the stage reads whose values are given at the entry point,
    // what the rest of the block declares left without: the stage never reads those.
    if (source.HasStaticAssignments() && job.entry.body <= entry.size()) {
        const std::string assignments = source.StaticAssignments(source.Reached(job.roots, scratch));
        if (!assignments.empty()) {
            // Then the entry point's own lines, numbered on as before.
            const auto before = std::count(entry.begin(), entry.begin() + static_cast<std::ptrdiff_t>(job.entry.body),
                                           '\n');
            entry.insert(job.entry.body,
                         assignments + "#line " + std::to_string(sourceLines + 1 + static_cast<int>(before)) + "\n");
        }
    }
    return source.prelude + text + "\n#line " + std::to_string(sourceLines + 1) + "\n" + entry;
}

// In the compiling child: the stage's text parsed into `shader`, as
// ParseWithProductsAsDivisions (tree_mends.h) reads it.
bool Parse(std::unique_ptr<glslang::TShader>& shader, const StageSource& job, std::string& text,
           std::vector<std::pair<int, int>>& divisions, std::string& log)
{
    const EShLanguage language = job.stage == ShaderStage::Vertex ? EShLangVertex : EShLangFragment;
    return ParseWithProductsAsDivisions(
        text,
        [&](const std::string& attempt, std::string& attemptLog) {
            shader = std::make_unique<glslang::TShader>(language);
            const char* strings[] = {attempt.c_str()};
            const int lengths[] = {static_cast<int>(attempt.size())};
            const char* names[] = {"0"};
            shader->setStringsWithLengthsAndNames(strings, lengths, names, 1);
            shader->setEntryPoint(job.entry.name.c_str());
            Configure(*shader, language);
            const bool parsed = shader->parse(GetDefaultResources(), 100, false, kFlags);
            attemptLog = shader->getInfoLog();
            return parsed;
        },
        divisions, log);
}

// In the compiling child: one stage, as the front end takes it.
bool CompileStage(const HlslSource& source, const StageSource& job, const std::string& stageText, int sourceLines,
                  std::vector<uint32_t>& spirv, std::string& messages)
{
    const EShLanguage language = job.stage == ShaderStage::Vertex ? EShLangVertex : EShLangFragment;
    std::unique_ptr<glslang::TShader> shader;
    std::string text = stageText;
    std::vector<std::pair<int, int>> divisions;
    std::string log;
    if (!Parse(shader, job, text, divisions, log)) {
        messages += Translate(log, source, sourceLines, job.blame);
        return false;
    }
    glslang::TProgram program;
    program.addShader(shader.get());
    if (!program.link(kFlags)) {
        messages += Translate(program.getInfoLog(), source, sourceLines, job.blame);
        return false;
    }
    const StageTextPlace place{source, sourceLines, job.roots.empty() ? 0 : source.prelude.size(), &divisions};
    if (const std::string mended = MendMatrixSwizzles(*program.getIntermediate(language), place); !mended.empty()) {
        messages += mended;
        return false;
    }
    const std::string refused = WriteErrors(*program.getIntermediate(language), source, sourceLines, text);
    if (!refused.empty()) {
        messages += refused;
        return false;
    }
    messages += TruncationWarnings(*program.getIntermediate(language), source, sourceLines);
    const std::string unmended = MendTree(*program.getIntermediate(language), place);
    if (!unmended.empty()) {
        messages += unmended;
        return false;
    }
    spirv.clear();
    glslang::SpvOptions options;
    options.disableOptimizer = true;
    glslang::GlslangToSpv(*program.getIntermediate(language), spirv, &options);
    MendSpirv(spirv);
    return !spirv.empty();
}

void WriteAll(int out, std::span<const uint8_t> bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(out, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ::_exit(74); // nobody reads any more
        done += static_cast<size_t>(n);
    }
}

// What the child leaves for the caller beside its answer, in memory both
// share: the stage whose thread ended the child (a crash, a shortage of
// memory), then the stage each of its threads is on, each as 1 + the stage's
// index, 0 for none. A child that dies says so no other way.
using Note = std::atomic<uint32_t>;
static_assert(Note::is_always_lock_free, "the crash handler needs lock-free notes");

class SharedNotes {
public:
    explicit SharedNotes(size_t threads) : threads_(threads), size_(sizeof(Note) * (threads + 1))
    {
        void* memory = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (memory == MAP_FAILED)
            throw std::bad_alloc();
        notes_ = static_cast<Note*>(memory);
        for (size_t i = 0; i <= threads; ++i)
            new (&notes_[i]) Note(0);
    }
    ~SharedNotes() { ::munmap(notes_, size_); }
    SharedNotes(const SharedNotes&) = delete;
    SharedNotes& operator=(const SharedNotes&) = delete;

    Note* Notes() { return notes_; }
    // The stages the child's threads were on, in order.
    std::vector<size_t> InHand() const
    {
        std::vector<size_t> stages;
        for (size_t t = 1; t <= threads_; ++t)
            if (const uint32_t on = notes_[t].load())
                stages.push_back(on - 1);
        std::sort(stages.begin(), stages.end());
        return stages;
    }
    // The stage the child died on, when its thread could say so.
    std::optional<size_t> DiedOn() const
    {
        const uint32_t on = notes_[0].load();
        return on ? std::optional<size_t>(on - 1) : std::nullopt;
    }
    void Clear()
    {
        for (size_t i = 0; i <= threads_; ++i)
            notes_[i].store(0);
    }

private:
    size_t threads_;
    size_t size_;
    Note* notes_ = nullptr;
};

// In the child: the notes, which of them is this thread's, how many threads
// there are, and where in its list of stages the first that failed is.
Note* childNotes = nullptr;
thread_local size_t childSlot = 1;
thread_local size_t childPosition = 0;
std::atomic<size_t> childFailedAt{0};
// By place in the child's list: the stage's answer is written.
std::unique_ptr<std::atomic<bool>[]> childDone;

// Keeps stages after `position` from starting.
void FailAt(size_t position)
{
    size_t first = childFailedAt.load();
    while (position < first && !childFailedAt.compare_exchange_weak(first, position)) {
    }
}

// A thread about to end the child on the stage it is on notes that stage,
// keeps later ones from starting, and waits until the stages before it that
// other threads have in hand are done: the caller then has every stage before
// the one that ended the child, as one thread would have left them; not
// longer than a stage may take, in case what ended it keeps them waiting too.
// Only what a signal handler may do.
void EndOnThisStage()
{
    if (!childNotes)
        return;
    const uint32_t mine = childNotes[childSlot].load();
    if (mine == 0)
        return;
    FailAt(childPosition);
    uint32_t noted = childNotes[0].load();
    while ((noted == 0 || mine < noted) && !childNotes[0].compare_exchange_weak(noted, mine)) {
    }
    // Every stage before this one was taken before it, by some thread.
    size_t waitingFor = 0;
    for (int waited = 0; waited < static_cast<int>(kShaderStageSeconds * 1000); ++waited) {
        while (waitingFor < childPosition && childDone[waitingFor].load())
            ++waitingFor;
        if (waitingFor == childPosition)
            return;
        const timespec pause{0, 1000000};
        ::nanosleep(&pause, nullptr);
    }
}

// A fault on a thread of the child ends it by the same signal as if nothing
// had been caught, once its stage is noted. Faults on other threads meanwhile
// wait in here too, the earlier stage's ending the child.
extern "C" void NoteFault(int signal)
{
    EndOnThisStage();
    struct sigaction plain {};
    plain.sa_handler = SIG_DFL;
    sigemptyset(&plain.sa_mask);
    ::sigaction(signal, &plain, nullptr);
    ::raise(signal); // delivered once this returns
}

constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};

void CatchFaults()
{
    struct sigaction caught {};
    caught.sa_handler = NoteFault;
    caught.sa_flags = SA_ONSTACK;
    sigemptyset(&caught.sa_mask);
    for (int signal : kFaultSignals)
        ::sigaction(signal, &caught, nullptr);
}

// A stack of its own for the handler, so that a thread that overflows its
// stack still notes its stage; a thread that has one (a sanitizer's) keeps
// it. Left to the child's end.
void GiveSignalStack()
{
    constexpr size_t kBytes = 64 << 10;
    stack_t stack{};
    if (::sigaltstack(nullptr, &stack) == 0 && !(stack.ss_flags & SS_DISABLE))
        return;
    stack = {};
    stack.ss_sp = std::malloc(kBytes);
    stack.ss_size = kBytes;
    if (stack.ss_sp)
        ::sigaltstack(&stack, nullptr);
}

// In the child: where each variable of the shared block lies when all are
// declared together, from a compile of their declarations alone (with one
// more at their end, read, so that the block is made at all). Empty when that
// fails: the stages then fail on what made it fail.
HlslSource::Places PlaceSharedVariables(const HlslSource& source, const SharedBlock& block,
                                        HlslSource::Scratch& scratch)
{
    if (block.declaredEverywhere || block.variables.empty())
        return {};
    StageSource probe;
    probe.roots = block.variables;
    probe.stage = ShaderStage::Pixel;
    probe.entry.name = "zl_layout";
    probe.entry.code = "float4 zl_layoutEnd;\nfloat4 zl_layout() : SV_Target { return zl_layoutEnd; }\n";
    SharedBlock alone;
    alone.declaredEverywhere = false;
    int sourceLines = 0;
    const std::string text = StageText(source, probe, alone, {}, scratch, sourceLines);
    std::vector<uint32_t> spirv;
    std::string messages;
    if (!CompileStage(source, probe, text, sourceLines, spirv, messages))
        return {};
    HlslSource::Places places(source.IdCount(), HlslSource::kNoPlace);
    try {
        spirv_cross::CompilerGLSL cross(std::move(spirv));
        for (const spirv_cross::Resource& resource : cross.get_shader_resources().uniform_buffers) {
            const spirv_cross::SPIRType& type = cross.get_type(resource.base_type_id);
            for (uint32_t i = 0; i < type.member_types.size(); ++i) {
                const HlslSource::Id id = source.IdOf(cross.get_member_name(resource.base_type_id, i));
                if (id != HlslSource::kNoId)
                    places[id] = cross.type_struct_member_offset(type, i);
            }
        }
    } catch (const spirv_cross::CompilerError&) {
        return {};
    }
    return places;
}

// The child's work: the stages of `todo` in order, on `threads` threads, each
// result written as a StageRecord as soon as it is known. Once a stage fails
// no stage after it starts; those before it have started, and end.
void CompileInChild(const HlslSource& source, const std::vector<StageSource>& stages, const SharedBlock& block,
                    const std::vector<size_t>& todo, const StageFollowUp& followUp, size_t threads, Note* notes,
                    int out)
{
    const detail::StageCompileHook hook = detail::StageCompileOverride().load();
    childNotes = notes;
    childFailedAt.store(todo.size());
    childDone.reset(new std::atomic<bool>[todo.size()]());
    CatchFaults();
    HlslSource::Scratch scratch;
    const HlslSource::Places places = PlaceSharedVariables(source, block, scratch);
    std::atomic<size_t> next{0};
    std::mutex writing;
    auto compile = [&](HlslSource::Scratch& mine) {
        for (size_t k = next++; k < todo.size() && k < childFailedAt.load(); k = next++) {
            const size_t index = todo[k];
            childPosition = k;
            notes[childSlot].store(static_cast<uint32_t>(index + 1));
            if (hook)
                hook(stages[index].function);
            int sourceLines = 0;
            std::string text = StageText(source, stages[index], block, places, mine, sourceLines);
            std::vector<uint32_t> spirv;
            std::string messages;
            bool ok = CompileStage(source, stages[index], text, sourceLines, spirv, messages);
            // A call that no function takes may give a vector for a scalar:
            // once more with the functions' overloads for vectors. Only then,
            // so that what compiles without them compiles as it always has.
            if (!ok && source.HasVectorOverloads() && messages.find(kNoMatchingFunction) != std::string::npos) {
                text = StageText(source, stages[index], block, places, mine, sourceLines, true);
                messages.clear();
                ok = CompileStage(source, stages[index], text, sourceLines, spirv, messages);
            }
            if (!ok)
                FailAt(k);
            const std::string extra = ok && followUp ? followUp(index, spirv) : std::string();
            platform::ByteWriter record;
            WriteStageRecord(record, index, ok, spirv, messages, extra);
            std::lock_guard guard(writing);
            WriteAll(out, record.Written());
            notes[childSlot].store(0);
            childDone[k].store(true);
        }
    };
    // An exception must not leave a thread of the child: it would terminate
    // the child with a line on the error output instead of the exit code the
    // caller reads as the cause.
    auto work = [&](size_t slot) {
        childSlot = slot;
        GiveSignalStack();
        try {
            if (slot == 1) {
                compile(scratch);
            } else {
                HlslSource::Scratch mine;
                compile(mine);
            }
        } catch (const std::bad_alloc&) {
            EndOnThisStage();
            ::_exit(platform::os::kChildExitOutOfMemory);
        } catch (...) {
            EndOnThisStage();
            ::_exit(platform::os::kChildExitException);
        }
    };
    std::vector<std::thread> pool;
    try {
        for (size_t t = 2; t <= std::min(threads, todo.size()); ++t)
            pool.emplace_back(work, t);
    } catch (const std::system_error&) {
        // No more threads to be had: those that started share the stages.
    }
    work(1);
    for (std::thread& thread : pool)
        thread.join();
}

// Threads of this process now, from /proc; 0 when it cannot be read.
size_t ThreadCount()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("Threads:", 0) == 0)
            return static_cast<size_t>(std::strtoul(line.c_str() + 8, nullptr, 10));
    return 0;
}

std::string SecondsText(double seconds)
{
    std::ostringstream text;
    text << seconds;
    return text.str();
}

// The processor time a child spent, as the effect's budget counts it.
double Spent(const platform::os::ProcessResult& run)
{
    const double override = detail::ChildSecondsOverride().load();
    return override > 0.0 ? override : run.cpuSeconds;
}

// Why the child ended without compiling the stage it was on.
std::string Cause(const platform::os::ProcessResult& run, double stageSeconds, double idleSeconds,
                  double effectSeconds)
{
    if (run.stopped)
        return "was stopped: the program is closing";
    if (run.totalCpuTimedOut)
        return "ran past the effect's budget of " + SecondsText(effectSeconds) + " s of processor time";
    if (!run.started)
        return std::string("could not be started: ") + std::strerror(run.error);
    if (run.cpuTimedOut)
        return "ran past its limit of " + SecondsText(stageSeconds) + " s of processor time";
    if (run.timedOut)
        return "ran past its limit of " + SecondsText(idleSeconds) + " s without using the processor";
    if (run.signal != 0)
        return "was ended by " + platform::os::SignalText(run.signal);
    if (run.exitCode == platform::os::kChildExitOutOfMemory)
        return "ran out of memory";
    return "ended with exit code " + std::to_string(run.exitCode) + " and no answer";
}

void BuildTables()
{
    std::lock_guard guard(compilerLock);
    if (prepared.load(std::memory_order_acquire))
        return;
    // An exception out of glslang leaves its own locks held: asked again, it
    // would wait for ever. One failure stands for the rest of the process.
    static bool failed = false;
    if (failed)
        throw std::bad_alloc();
    try {
        InitialiseOnce();
        // The tables are made by the first parse that needs them; the smallest shader does.
        static const char* const kEmpty = "void main() {}";
        glslang::TShader shader(EShLangFragment);
        shader.setStrings(&kEmpty, 1);
        shader.setEntryPoint("main");
        Configure(shader, EShLangFragment);
        shader.parse(GetDefaultResources(), 100, false, kFlags);
    } catch (...) {
        failed = true;
        throw;
    }
    prepared.store(true, std::memory_order_release);
}

// Builds the tables on the preparing thread. What fails there (memory ran
// short) is left for the compile that needs them, which builds them again on
// its own thread, where the failure reaches its caller.
void BuildTablesAhead()
{
    try {
        BuildTables();
    } catch (...) {
    }
}

// The first error of a drawing-language log, without its "ERROR: 0:57: "
// (the line is of text the author never saw).
std::string FirstError(const char* log)
{
    std::istringstream lines(log ? log : "");
    std::string first;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("ERROR: ", 0) != 0)
            continue;
        line.erase(0, 7);
        const size_t colon = line.find(": ");
        const bool placed = colon != std::string::npos && line.find_first_not_of("0123456789:") == colon + 1;
        first = placed ? line.substr(colon + 2) : line;
        break;
    }
    return first.empty() ? std::string("no reason given") : first;
}

bool glslTablesBuilt = false; // under compilerLock

// In the compiling child: why a program does not compile or link, "" when it does.
std::string CheckGlslProgram(const GlslProgramText& program)
{
    glslang::TShader vertex(EShLangVertex);
    glslang::TShader pixel(EShLangFragment);
    const std::pair<glslang::TShader*, const std::string*> stages[] = {{&vertex, &program.vertex},
                                                                       {&pixel, &program.pixel}};
    for (const auto& [shader, text] : stages) {
        const char* strings[] = {text->c_str()};
        const int lengths[] = {static_cast<int>(text->size())};
        shader->setStringsWithLengths(strings, lengths, 1);
        if (!shader->parse(GetDefaultResources(), 450, ECoreProfile, false, false, EShMsgDefault))
            return std::string(shader == &vertex ? "its vertex" : "its pixel") +
                   " stage made for drawing does not compile: " + FirstError(shader->getInfoLog());
    }
    glslang::TProgram linked;
    linked.addShader(&vertex);
    linked.addShader(&pixel);
    if (!linked.link(EShMsgDefault))
        return "its stages made for drawing do not link: " + FirstError(linked.getInfoLog());
    return {};
}

// Builds the drawing language's tables in this process, so that every child shares them.
// As with the shaders' tables, one failure stands for the rest of the process.
void BuildGlslTables()
{
    static bool failed = false;
    if (glslTablesBuilt)
        return;
    if (failed)
        throw std::bad_alloc();
    try {
        static const char* const kEmpty = "#version 450\nvoid main() {}\n";
        for (EShLanguage language : {EShLangVertex, EShLangFragment}) {
            glslang::TShader shader(language);
            shader.setStrings(&kEmpty, 1);
            shader.parse(GetDefaultResources(), 450, ECoreProfile, false, false, EShMsgDefault);
        }
    } catch (...) {
        failed = true;
        throw;
    }
    glslTablesBuilt = true;
}

} // namespace

namespace detail {
std::atomic<StageCompileHook>& StageCompileOverride()
{
    static std::atomic<StageCompileHook> hook{nullptr};
    return hook;
}
std::atomic<double>& StageSecondsOverride()
{
    static std::atomic<double> seconds{0.0};
    return seconds;
}
std::atomic<double>& StageIdleSecondsOverride()
{
    static std::atomic<double> seconds{0.0};
    return seconds;
}
std::atomic<double>& EffectSecondsOverride()
{
    static std::atomic<double> seconds{0.0};
    return seconds;
}
std::atomic<double>& ChildSecondsOverride()
{
    static std::atomic<double> seconds{0.0};
    return seconds;
}
} // namespace detail

EffectShaderTime::EffectShaderTime()
{
    const double override = detail::EffectSecondsOverride().load();
    total = left = override > 0.0 ? override : kEffectShaderSeconds;
}

void StartPreparingShaderCompiler()
{
    if (prepared.load(std::memory_order_acquire))
        return;
    std::lock_guard guard(preparerLock);
    if (preparer.joinable())
        return;
    try {
        preparer = std::thread(BuildTablesAhead);
    } catch (const std::exception&) {
        // No thread to be had (or no memory for one): the first compile builds them itself.
    }
}

bool ShaderCompilesStopped()
{
    return platform::CloseSignalReceived();
}

void PrepareShaderCompiler()
{
    {
        std::lock_guard guard(preparerLock);
        if (preparer.joinable())
            preparer.join();
    }
    BuildTables();
}

std::vector<StageResult> CompileHlslStages(const HlslSource& source, const std::vector<StageSource>& stages,
                                           const SharedBlock& block, EffectShaderTime& time,
                                           const StageFollowUp& followUp, const StageArrival& arrival)
{
    std::vector<StageResult> results(stages.size());
    if (stages.empty())
        return results;
    // Built here, so that every child shares them rather than building its own.
    PrepareShaderCompiler();
    const double stageOverride = detail::StageSecondsOverride().load();
    const double idleOverride = detail::StageIdleSecondsOverride().load();
    const double stageSeconds = stageOverride > 0.0 ? stageOverride : kShaderStageSeconds;
    std::vector<bool> done(stages.size(), false);
    AnswerReader reader(results, done, arrival);
    platform::os::ProcessLimits limits;
    limits.seconds = idleOverride > 0.0 ? idleOverride : kShaderStageIdleSeconds;
    limits.stop = [&reader] { return ShaderCompilesStopped() || reader.Refused(); };
    limits.extraAddressSpace = size_t{2} << 30;
    std::vector<size_t> todo(stages.size());
    for (size_t i = 0; i < todo.size(); ++i)
        todo[i] = i;
    std::lock_guard guard(compilerLock);
    // The child may start threads only when this process has no other: a lock
    // that another thread held at the copy would stay locked in the child, and
    // sanitizers refuse threads in such a child.
    size_t threads = ThreadCount() == 1 ? std::max(1u, std::thread::hardware_concurrency()) : 1;
    SharedNotes shared(threads);
    auto fail = [&](size_t stage, const std::string& cause) {
        const StageSource& s = stages[stage];
        const std::string what = s.function.empty() ? std::string("a generated stage") : "'" + s.function + "'";
        results[stage] = {false, {},
                          FormatEffectError(source.FileOf(s.blame), s.blame.line, 1, 3000,
                                            "the shader compiler " + cause + " while compiling " + what),
                          {}};
        done[stage] = true;
    };
    // A child that ends early has done some stages. One that dies on a stage
    // says which where it can; where it cannot (several were in hand), the
    // stages left go one at a time, which tells the stage it ends on.
    while (!todo.empty()) {
        // Each stage in hand may spend its time, on a thread of its own.
        limits.cpuSeconds = [&](std::string_view answer) {
            reader.Read(answer);
            const size_t inHand = todo.size() - std::min(todo.size(), reader.Records());
            return stageSeconds * static_cast<double>(std::clamp<size_t>(inHand, 1, threads));
        };
        limits.totalCpuSeconds = time.left;
        std::string answer;
        reader.Restart();
        shared.Clear();
        const platform::os::ProcessResult run = platform::os::RunInChildProcess(
            [&](int out) { CompileInChild(source, stages, block, todo, followUp, threads, shared.Notes(), out); },
            answer, limits);
        reader.Read(answer);
        time.left -= Spent(run);
        if (reader.Refused())
            break;
        std::vector<size_t> left;
        bool failed = false;
        for (size_t index : todo) {
            if (!done[index])
                left.push_back(index);
            else if (!results[index].ok)
                failed = true;
        }
        if (failed || left.empty())
            break;
        const std::string cause = Cause(run, stageSeconds, limits.seconds, time.total);
        // The program is closing, no child could be made, or the effect's time
        // is spent: every stage left fails the same way.
        if (!run.started || run.stopped || run.totalCpuTimedOut || time.left <= 0.0) {
            for (size_t index : left)
                fail(index, cause);
            break;
        }
        // The stages its threads were on that did not come back (one may have
        // ended between its answer and its note).
        std::vector<size_t> inHand;
        for (size_t index : shared.InHand())
            if (!done[index])
                inHand.push_back(index);
        std::optional<size_t> culprit = shared.DiedOn();
        if (!culprit && inHand.size() == 1)
            culprit = inHand.front();
        if (!culprit && (threads == 1 || left.size() == 1 || inHand.empty()))
            culprit = left.front();
        if (culprit) {
            fail(*culprit, cause);
            break;
        }
        // Which of those in hand it ended on is not known: from the first of
        // them, one at a time.
        threads = 1;
        todo.assign(std::find(left.begin(), left.end(), inHand.front()), left.end());
    }
    return results;
}

} // namespace gfx

namespace gfx {

std::vector<std::string> CheckGlslPrograms(const std::vector<GlslProgramText>& programs, EffectShaderTime& time)
{
    std::vector<std::string> answers(programs.size());
    if (programs.empty())
        return answers;
    // What the stages spent is not the check's to spend again.
    if (time.left <= 0.0) {
        platform::os::ProcessResult none;
        none.totalCpuTimedOut = true;
        for (std::string& why : answers)
            why = "the check of its stages made for drawing " + Cause(none, 0, 0, time.total);
        return answers;
    }
    PrepareShaderCompiler();
    const double idleOverride = detail::StageIdleSecondsOverride().load();
    platform::os::ProcessLimits limits;
    limits.seconds = idleOverride > 0.0 ? idleOverride : kShaderStageIdleSeconds;
    limits.totalCpuSeconds = time.left;
    limits.stop = [] { return ShaderCompilesStopped(); };
    limits.extraAddressSpace = size_t{2} << 30;
    std::string answer;
    platform::os::ProcessResult run;
    {
        std::lock_guard guard(compilerLock);
        BuildGlslTables();
        // Each answer: u32 program, u32 length, the reason.
        run = platform::os::RunInChildProcess(
            [&](int out) {
                for (size_t i = 0; i < programs.size(); ++i) {
                    const std::string why = CheckGlslProgram(programs[i]);
                    platform::ByteWriter record;
                    record.U32(static_cast<uint32_t>(i));
                    record.U32(static_cast<uint32_t>(why.size()));
                    record.Chars(why);
                    WriteAll(out, record.Written());
                }
            },
            answer, limits);
        time.left -= Spent(run);
    }
    std::vector<bool> answered(programs.size(), false);
    platform::ByteReader in(answer.data(), answer.size());
    while (!in.AtEnd()) {
        const uint32_t i = in.U32();
        const std::string_view why = in.Chars(in.U32());
        if (!in.Ok() || i >= programs.size())
            break;
        answers[i] = why;
        answered[i] = true;
    }
    // What the child did not answer is not known to draw: the first of it is where it ended.
    for (size_t i = 0; i < programs.size(); ++i)
        if (!answered[i])
            answers[i] = "the check of its stages made for drawing " +
                         Cause(run, kShaderStageSeconds, limits.seconds, time.total);
    return answers;
}

} // namespace gfx
