#include "platform/gfx/fx/shader_compile.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <new>
#include <span>
#include <sstream>
#include <system_error>
#include <thread>

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/SPIRV/GlslangToSpv.h>

#include "platform/bytes/byte_reader.h"
#include "platform/bytes/byte_writer.h"
#include "platform/gfx/fx/effect_message.h"
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

int CountLines(const std::string& text)
{
    int lines = 1;
    for (char c : text)
        lines += c == '\n' ? 1 : 0;
    return lines;
}

// glslang reports "ERROR: 0:LINE: 'token' : text" and, for a parse failure,
// "0(LINE): error at column COL, HLSL parsing failed."; each error becomes one
// message at the author's file and line.
std::string Translate(const std::string& log, const HlslSource& source, int sourceLines,
                      const HlslSource::Origin& blame)
{
    struct Error {
        int line = 0;
        int column = 1;
        std::string text;
    };
    std::vector<Error> errors;
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("ERROR: 0:", 0) == 0) {
            const size_t colon = line.find(':', 9);
            if (colon == std::string::npos)
                continue;
            Error e;
            e.line = std::atoi(line.c_str() + 9);
            e.text = line.substr(colon + 1);
            while (!e.text.empty() && (e.text.front() == ' '))
                e.text.erase(e.text.begin());
            while (!e.text.empty() && (e.text.back() == ' ' || e.text.back() == '\r'))
                e.text.pop_back();
            errors.push_back(e);
        } else if (line.rfind("0(", 0) == 0 && line.find("error at column") != std::string::npos) {
            const int at = std::atoi(line.c_str() + 2);
            const int column = std::atoi(line.c_str() + line.find("column") + 7);
            for (Error& e : errors)
                if (e.line == at)
                    e.column = column;
        }
    }
    std::string out;
    for (const Error& e : errors) {
        const HlslSource::Origin origin = e.line >= 1 && e.line <= sourceLines ? source.Locate(e.line) : blame;
        out += FormatEffectError(source.FileOf(origin), origin.line, e.line <= sourceLines ? e.column : 1, 3000,
                                 e.text);
    }
    if (out.empty())
        out = FormatEffectError(source.FileOf(blame), blame.line, 1, 3000, "shader compilation failed");
    return out;
}

// In the compiling child: one stage, as the front end takes it.
bool CompileStage(const HlslSource& source, const StageSource& job, std::vector<uint32_t>& spirv,
                  std::string& messages)
{
    const EShLanguage language = job.stage == ShaderStage::Vertex ? EShLangVertex : EShLangFragment;
    const std::string text = job.text + "\n" + job.entry.code;
    const int sourceLines = CountLines(job.text);
    glslang::TShader shader(language);
    const char* strings[] = {text.c_str()};
    const int lengths[] = {static_cast<int>(text.size())};
    const char* names[] = {"0"};
    shader.setStringsWithLengthsAndNames(strings, lengths, names, 1);
    shader.setEntryPoint(job.entry.name.c_str());
    Configure(shader, language);
    if (!shader.parse(GetDefaultResources(), 100, false, kFlags)) {
        messages += Translate(shader.getInfoLog(), source, sourceLines, job.blame);
        return false;
    }
    glslang::TProgram program;
    program.addShader(&shader);
    if (!program.link(kFlags)) {
        messages += Translate(program.getInfoLog(), source, sourceLines, job.blame);
        return false;
    }
    spirv.clear();
    glslang::SpvOptions options;
    options.disableOptimizer = true;
    glslang::GlslangToSpv(*program.getIntermediate(language), spirv, &options);
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

// One stage's result as the child writes it: u32 stage, u8 ok, u32 word
// count, the SPIR-V words, u32 message length, the messages, u32 length of the
// follow-up's bytes, the bytes.
struct StageRecord {
    uint32_t stage = 0;
    bool ok = false;
    std::span<const uint8_t> words; // the SPIR-V, four bytes a word
    std::string_view messages;
    std::string_view extra;
};

void WriteRecord(platform::ByteWriter& out, size_t stage, bool ok, const std::vector<uint32_t>& spirv,
                 const std::string& messages, const std::string& extra)
{
    out.U32(static_cast<uint32_t>(stage));
    out.U8(ok ? 1 : 0);
    out.U32(static_cast<uint32_t>(spirv.size()));
    for (uint32_t word : spirv)
        out.U32(word);
    out.U32(static_cast<uint32_t>(messages.size()));
    out.Chars(messages);
    out.U32(static_cast<uint32_t>(extra.size()));
    out.Chars(extra);
}

// The next record of `in`; false at the end or at a record cut short by it.
bool ReadRecord(platform::ByteReader& in, StageRecord& record)
{
    if (in.AtEnd())
        return false;
    record.stage = in.U32();
    record.ok = in.U8() != 0;
    const uint32_t words = in.U32();
    if (!in.Ok() || words > in.Remaining() / 4)
        return false;
    record.words = in.Bytes(size_t{words} * 4);
    record.messages = in.Chars(in.U32());
    record.extra = in.Chars(in.U32());
    return in.Ok();
}

// The child's work: the stages of `todo`, on `threads` threads, each result
// written as a StageRecord as soon as it is known.
void CompileInChild(const HlslSource& source, const std::vector<StageSource>& stages, const std::vector<size_t>& todo,
                    const StageFollowUp& followUp, size_t threads, int out)
{
    const detail::StageCompileHook hook = detail::StageCompileOverride().load();
    std::atomic<size_t> next{0};
    std::mutex writing;
    auto compile = [&] {
        for (size_t k = next++; k < todo.size(); k = next++) {
            const size_t index = todo[k];
            if (hook)
                hook(stages[index].function);
            std::vector<uint32_t> spirv;
            std::string messages;
            const bool ok = CompileStage(source, stages[index], spirv, messages);
            const std::string extra = ok && followUp ? followUp(index, spirv) : std::string();
            platform::ByteWriter record;
            WriteRecord(record, index, ok, spirv, messages, extra);
            std::lock_guard guard(writing);
            WriteAll(out, record.Written());
        }
    };
    // An exception must not leave a thread of the child: it would terminate
    // the child with a line on the error output instead of the exit code the
    // caller reads as the cause.
    auto work = [&] {
        try {
            compile();
        } catch (const std::bad_alloc&) {
            ::_exit(platform::os::kChildExitOutOfMemory);
        } catch (...) {
            ::_exit(platform::os::kChildExitException);
        }
    };
    std::vector<std::thread> pool;
    try {
        for (size_t t = 1; t < std::min(threads, todo.size()); ++t)
            pool.emplace_back(work);
    } catch (const std::system_error&) {
        // No more threads to be had: those that started share the stages.
    }
    work();
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

// How many whole records the child's answer holds.
size_t CountRecords(std::string_view answer)
{
    platform::ByteReader in(answer.data(), answer.size());
    size_t records = 0;
    for (StageRecord record; ReadRecord(in, record);)
        ++records;
    return records;
}

// The results the child's answer holds; a record cut short by its end is left out.
void ReadAnswer(const std::string& answer, std::vector<StageResult>& results, std::vector<bool>& done)
{
    platform::ByteReader in(answer.data(), answer.size());
    for (StageRecord record; ReadRecord(in, record) && record.stage < results.size();) {
        platform::ByteReader words(record.words);
        std::vector<uint32_t> spirv(record.words.size() / 4);
        for (uint32_t& word : spirv)
            word = words.U32();
        results[record.stage] = {record.ok, std::move(spirv), std::string(record.messages),
                                 std::string(record.extra)};
        done[record.stage] = true;
    }
}

std::string SecondsText(double seconds)
{
    std::ostringstream text;
    text << seconds;
    return text.str();
}

// Why the child ended without compiling the stage it was on.
std::string Cause(const platform::os::ProcessResult& run, double stageSeconds, double idleSeconds)
{
    if (run.stopped)
        return "was stopped: the program is closing";
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
} // namespace detail

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
                                           const StageFollowUp& followUp)
{
    std::vector<StageResult> results(stages.size());
    if (stages.empty())
        return results;
    // Built here, so that every child shares them rather than building its own.
    PrepareShaderCompiler();
    const double stageOverride = detail::StageSecondsOverride().load();
    const double idleOverride = detail::StageIdleSecondsOverride().load();
    const double stageSeconds = stageOverride > 0.0 ? stageOverride : kShaderStageSeconds;
    platform::os::ProcessLimits limits;
    limits.seconds = idleOverride > 0.0 ? idleOverride : kShaderStageIdleSeconds;
    limits.stop = [] { return ShaderCompilesStopped(); };
    limits.extraAddressSpace = size_t{2} << 30;
    std::vector<bool> done(stages.size(), false);
    std::vector<size_t> todo(stages.size());
    for (size_t i = 0; i < todo.size(); ++i)
        todo[i] = i;
    std::lock_guard guard(compilerLock);
    // The child may start threads only when this process has no other: a lock
    // that another thread held at the copy would stay locked in the child, and
    // sanitizers refuse threads in such a child.
    size_t threads = ThreadCount() == 1 ? std::max(1u, std::thread::hardware_concurrency()) : 1;
    // A child that ends early has done some stages. After one with threads,
    // the rest go one at a time, which tells the stage it ends on: that one
    // fails, and the next child goes on after it.
    while (!todo.empty()) {
        // Each stage in hand may spend its time, on a thread of its own.
        limits.cpuSeconds = [&](std::string_view answer) {
            const size_t inHand = todo.size() - std::min(todo.size(), CountRecords(answer));
            return stageSeconds * static_cast<double>(std::clamp<size_t>(inHand, 1, threads));
        };
        std::string answer;
        const platform::os::ProcessResult run = platform::os::RunInChildProcess(
            [&](int out) { CompileInChild(source, stages, todo, followUp, threads, out); }, answer, limits);
        ReadAnswer(answer, results, done);
        std::vector<size_t> left;
        for (size_t index : todo)
            if (!done[index])
                left.push_back(index);
        if (left.empty())
            break;
        if (threads > 1 && run.started && !run.stopped && left.size() > 1) {
            threads = 1;
            todo = std::move(left);
            continue;
        }
        // No child could be made, or the program is closing: every stage left
        // fails the same way.
        const size_t failing = run.started && !run.stopped ? 1 : left.size();
        for (size_t k = 0; k < failing; ++k) {
            const StageSource& stage = stages[left[k]];
            const std::string what =
                stage.function.empty() ? std::string("a generated stage") : "'" + stage.function + "'";
            results[left[k]] = {false, {},
                                FormatEffectError(source.FileOf(stage.blame), stage.blame.line, 1, 3000,
                                                  "the shader compiler " + Cause(run, stageSeconds, limits.seconds) +
                                                      " while compiling " + what),
                                {}};
        }
        left.erase(left.begin(), left.begin() + static_cast<long>(failing));
        todo = std::move(left);
    }
    return results;
}

} // namespace gfx
