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
#include <unordered_map>

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>
#include <glslang/MachineIndependent/localintermediate.h>
#include <glslang/SPIRV/GlslangToSpv.h>
#include <spirv_cross/spirv_glsl.hpp>

#include "platform/bytes/byte_reader.h"
#include "platform/bytes/byte_writer.h"
#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/hlsl/constructor_targets.h"
#include "platform/gfx/fx/hlsl/vector_arguments.h"
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

struct CompileError {
    int line = 0; // of the stage's text
    int column = 1;
    int code = 3000;
    std::string text;
};

// The shader compiler's words where they name nothing, or name its own
// insides, in the platform compiler's: what went wrong, and at what.
void InPlatformWords(CompileError& e, const HlslSource& source)
{
    static constexpr std::string_view kNoName = "'' : ";
    static constexpr std::string_view kNoReturn = "function does not return a value: ";
    static constexpr std::string_view kExpected = "' : Expected";
    static constexpr std::string_view kUnknown = "' : unknown variable";
    static constexpr std::string_view kNoMatch = "' : no matching overloaded function found";
    const std::vector<Token> tokens = Tokenize(source.LineText(e.line));
    // The type of a constructor's target whose helper takes none of the variables.
    const std::string target =
        e.text.size() > kNoMatch.size() + 1 && e.text.front() == '\'' && e.text.ends_with(kNoMatch)
            ? ConstructorTargetType(std::string_view(e.text).substr(1, e.text.size() - kNoMatch.size() - 1))
            : std::string();
    // The last token of the line at or before the column where it stopped.
    size_t at = tokens.size();
    for (size_t i = 0; i < tokens.size() && tokens[i].column <= e.column; ++i)
        at = i;
    if (e.text.size() > kUnknown.size() + 1 && e.text.front() == '\'' && e.text.ends_with(kUnknown)) {
        const std::string name = e.text.substr(1, e.text.size() - kUnknown.size() - 1);
        e.code = 3004;
        e.text = "undeclared identifier '" + name + "'";
        for (size_t i = 0; i < tokens.size() && tokens[i].column <= e.column; ++i)
            if (tokens[i].text == name)
                e.column = tokens[i].column;
    } else if (e.text.find("l-value required \"$Global\"") != std::string::npos) {
        e.code = 3025;
        e.text = "global variables are implicitly constant, enable compatibility mode to allow modification";
        // At the variable written: what stands before the last assignment
        // ('=', or '++' and '--') up to the column, through its members and
        // elements.
        size_t op = at;
        while (op < tokens.size() && op > 0 && !tokens[op].Is('=') &&
               !(tokens[op].Is('+') && tokens[op - 1].Is('+')) && !(tokens[op].Is('-') && tokens[op - 1].Is('-')))
            --op;
        while (op > 0 && op < tokens.size() && tokens[op - 1].kind == TokenKind::Symbol &&
               !tokens[op - 1].Is(']') && !tokens[op - 1].Is(')'))
            --op; // the operator's first part: "+=", "<<=", "++"
        size_t k = op;
        while (k > 0 && k < tokens.size()) {
            --k;
            if (tokens[k].Is(']')) {
                for (int depth = 1; k > 0 && depth > 0;) {
                    --k;
                    depth += tokens[k].Is(']') ? 1 : tokens[k].Is('[') ? -1 : 0;
                }
                continue;
            }
            if (tokens[k].kind != TokenKind::Identifier)
                break;
            if (k < 2 || !tokens[k - 1].Is('.')) {
                e.column = tokens[k].column;
                break;
            }
            --k; // the '.' before a member
        }
    } else if (e.text.starts_with(kNoName) && e.text.substr(kNoName.size()).starts_with(kNoReturn)) {
        const std::string function = e.text.substr(kNoName.size() + kNoReturn.size());
        e.code = 3080;
        e.text = "'" + function + "': function must return a value";
    } else if (e.text.size() > kExpected.size() + 1 && e.text.front() == '\'' && e.text.ends_with(kExpected)) {
        // The token where it stopped: the last that starts at or before the column.
        const std::string expected = e.text.substr(1, e.text.size() - kExpected.size() - 1);
        const Token* found = at < tokens.size() ? &tokens[at] : nullptr;
        if (found) {
            e.column = found->column;
            e.text = "syntax error: unexpected token '" + std::string(found->text.substr(0, 64)) + "', '" + expected +
                     "' expected";
        } else {
            e.text = "syntax error: unexpected end of line, '" + expected + "' expected";
        }
    } else if (!target.empty()) {
        // A constructor's target, rewritten as a call of its helper: at the type's name.
        e.code = 3014;
        e.text = "the variables '" + target + "(...) =' names do not take its components one for one";
        for (const Token& t : tokens)
            if (t.text.size() == target.size() && ConstructorTargetType(t.text) == target && t.column <= e.column)
                e.column = t.column;
    } else if (e.text.starts_with(kNoName)) {
        e.text.erase(0, kNoName.size());
    }
}

// glslang reports "ERROR: 0:LINE: 'token' : text" and, for a parse failure,
// "0(LINE): error at column COL, HLSL parsing failed."; each error becomes one
// message at the author's file and line.
std::string Translate(const std::string& log, const HlslSource& source, int sourceLines,
                      const HlslSource::Origin& blame)
{
    using Error = CompileError;
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
    for (Error& e : errors) {
        InPlatformWords(e, source); // its lines as the effect has them
        const HlslSource::Origin origin = e.line >= 1 && e.line <= sourceLines ? source.Locate(e.line) : blame;
        out += FormatEffectError(source.FileOf(origin), origin.line, e.line <= sourceLines ? e.column : 1, e.code,
                                 e.text);
    }
    if (out.empty())
        out = FormatEffectError(source.FileOf(blame), blame.line, 1, 3000, "shader compilation failed");
    return out;
}

// What the front end says of a call that no function takes.
constexpr std::string_view kNoMatchingFunction = "no matching overloaded function found";

// The places where a vector is cut short to fewer components by no cast or
// constructor of the author's: a constructor of one vector argument larger
// than what it makes, which the front end puts where a value converts; and a
// vector given for a scalar parameter, where a call takes a function's
// overload for vectors (whose vector parameters are named for it).
class Truncations : public glslang::TIntermTraverser {
public:
    struct Found {
        int line = 0;
        int column = 0;
        // A conversion the author may have written (a vector given for a
        // scalar is cut by none: of two at one place, that one is kept).
        bool mayBeWritten = true;
        auto operator<=>(const Found&) const = default;
    };
    std::vector<Found> found;

    bool visitAggregate(glslang::TVisit, glslang::TIntermAggregate* node) override
    {
        if (node->getOp() == glslang::EOpFunction)
            Overload(*node);
        if (node->getOp() == glslang::EOpFunctionCall)
            Call(*node);
        if (!node->isConstructor() || node->getSequence().size() != 1)
            return true;
        const glslang::TIntermTyped* argument = node->getSequence()[0]->getAsTyped();
        const glslang::TType& to = node->getType();
        if (!argument || to.isMatrix() || to.isStruct() || to.isArray() || !(to.isScalar() || to.isVector()))
            return true;
        const glslang::TType& from = argument->getType();
        if (from.isVector() && !from.isArray() && (to.isScalar() ? 1 : to.getVectorSize()) < from.getVectorSize())
            found.push_back({node->getLoc().line, node->getLoc().column, true});
        return true;
    }

private:
    // A function's overload for vectors: which of its parameters stand for scalars.
    void Overload(glslang::TIntermAggregate& function)
    {
        const glslang::TIntermSequence& parts = function.getSequence();
        glslang::TIntermAggregate* list = parts.empty() ? nullptr : parts[0]->getAsAggregate();
        if (!list)
            return;
        std::vector<bool> scalars;
        bool any = false;
        for (TIntermNode* parameter : list->getSequence()) {
            const glslang::TIntermSymbol* symbol = parameter->getAsSymbolNode();
            scalars.push_back(symbol &&
                              std::string_view(symbol->getName().c_str()).starts_with(kVectorParameterPrefix));
            any = any || scalars.back();
        }
        if (any)
            overloads_.emplace(function.getName().c_str(), std::move(scalars));
    }

    // A vector given for a scalar, which the call's overload takes whole
    // where it has two components (a larger one is cut by a constructor; a
    // scalar is spread by one of a single argument).
    void Call(glslang::TIntermAggregate& call)
    {
        const auto overload = overloads_.find(call.getName().c_str());
        if (overload == overloads_.end())
            return;
        const std::vector<bool>& scalars = overload->second;
        const glslang::TIntermSequence& arguments = call.getSequence();
        for (size_t k = 0; k < scalars.size() && k < arguments.size(); ++k) {
            const glslang::TIntermTyped* argument = arguments[k]->getAsTyped();
            if (!scalars[k] || !argument || !argument->getType().isVector())
                continue;
            const glslang::TIntermAggregate* made = argument->getAsAggregate();
            const bool spread = made && made->isConstructor() && made->getSequence().size() == 1 &&
                                made->getSequence()[0]->getAsTyped() &&
                                made->getSequence()[0]->getAsTyped()->getType().isScalarOrVec1();
            if (!spread)
                found.push_back({argument->getLoc().line, argument->getLoc().column, false});
        }
    }

    std::unordered_map<std::string, std::vector<bool>> overloads_; // by mangled name
};

// Whether the value at `column` of `line` is converted as written: a cast
// "(type)" stands before it, or it is a constructor "type(".
bool WrittenConversion(std::string_view line, int column)
{
    const std::vector<Token> tokens = Tokenize(line);
    for (size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].column != column)
            continue;
        if (i >= 3 && tokens[i - 1].Is(')') && tokens[i - 2].kind == TokenKind::Identifier && tokens[i - 3].Is('('))
            return true;
        if (tokens[i].Is('(') && i + 2 < tokens.size() && tokens[i + 1].kind == TokenKind::Identifier &&
            tokens[i + 2].Is(')'))
            return true;
        return tokens[i].kind == TokenKind::Identifier && i + 1 < tokens.size() && tokens[i + 1].Is('(');
    }
    return false;
}

// In the compiling child: one stage's text as the front end takes it, made
// from the effect's text now; its first `sourceLines` lines are the effect's,
// and its entry point follows them. With `vectorOverloads`, its functions
// take vectors for scalar parameters (hlsl/vector_arguments.h).
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

// In the compiling child: one stage, as the front end takes it.
bool CompileStage(const HlslSource& source, const StageSource& job, const std::string& text, int sourceLines,
                  std::vector<uint32_t>& spirv, std::string& messages)
{
    const EShLanguage language = job.stage == ShaderStage::Vertex ? EShLangVertex : EShLangFragment;
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
    // What compiles with the platform's warning: each place once, where the
    // author wrote it (not in the generated entry point).
    Truncations truncations;
    if (auto* root = program.getIntermediate(language)->getTreeRoot())
        root->traverse(&truncations);
    std::sort(truncations.found.begin(), truncations.found.end());
    const auto samePlace = [](const auto& a, const auto& b) { return a.line == b.line && a.column == b.column; };
    truncations.found.erase(std::unique(truncations.found.begin(), truncations.found.end(), samePlace),
                            truncations.found.end());
    for (const auto& [line, column, mayBeWritten] : truncations.found) {
        if (line < 1 || line > sourceLines || (mayBeWritten && WrittenConversion(source.LineText(line), column)))
            continue;
        const HlslSource::Origin origin = source.Locate(line);
        messages += FormatEffectWarning(source.FileOf(origin), origin.line, column, 3206,
                                        "implicit truncation of vector type");
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
            WriteRecord(record, index, ok, spirv, messages, extra);
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

// The results of the child's answer, read as it comes: each whole record
// once, from where the last reading stopped.
class AnswerReader {
public:
    AnswerReader(std::vector<StageResult>& results, std::vector<bool>& done, const StageArrival& arrival)
        : results_(results), done_(done), arrival_(arrival)
    {
    }

    // Reads the records `answer` has gained; false once the caller was told
    // of a result it wants no more after.
    bool Read(std::string_view answer)
    {
        platform::ByteReader in(answer.data() + read_, answer.size() - read_);
        for (StageRecord record; !refused_ && ReadRecord(in, record) && record.stage < results_.size();) {
            read_ = answer.size() - in.Remaining();
            platform::ByteReader words(record.words);
            std::vector<uint32_t> spirv(record.words.size() / 4);
            for (uint32_t& word : spirv)
                word = words.U32();
            StageResult& result = results_[record.stage];
            result = {record.ok, std::move(spirv), std::string(record.messages), std::string(record.extra)};
            done_[record.stage] = true;
            ++records_;
            if (arrival_ && !arrival_(record.stage, result))
                refused_ = true;
        }
        return !refused_;
    }
    void Restart()
    {
        read_ = 0;
        records_ = 0;
    }
    size_t Records() const { return records_; }
    bool Refused() const { return refused_; }

private:
    std::vector<StageResult>& results_;
    std::vector<bool>& done_;
    const StageArrival& arrival_;
    size_t read_ = 0;
    size_t records_ = 0;
    bool refused_ = false;
};

std::string SecondsText(double seconds)
{
    std::ostringstream text;
    text << seconds;
    return text.str();
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
                                           const SharedBlock& block, const StageFollowUp& followUp,
                                           const StageArrival& arrival)
{
    std::vector<StageResult> results(stages.size());
    if (stages.empty())
        return results;
    // Built here, so that every child shares them rather than building its own.
    PrepareShaderCompiler();
    const double stageOverride = detail::StageSecondsOverride().load();
    const double idleOverride = detail::StageIdleSecondsOverride().load();
    const double effectOverride = detail::EffectSecondsOverride().load();
    const double stageSeconds = stageOverride > 0.0 ? stageOverride : kShaderStageSeconds;
    const double effectSeconds = effectOverride > 0.0 ? effectOverride : kEffectShaderSeconds;
    double effectSecondsLeft = effectSeconds;
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
        limits.totalCpuSeconds = effectSecondsLeft;
        std::string answer;
        reader.Restart();
        shared.Clear();
        const platform::os::ProcessResult run = platform::os::RunInChildProcess(
            [&](int out) { CompileInChild(source, stages, block, todo, followUp, threads, shared.Notes(), out); },
            answer, limits);
        reader.Read(answer);
        effectSecondsLeft -= run.cpuSeconds;
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
        const std::string cause = Cause(run, stageSeconds, limits.seconds, effectSeconds);
        // The program is closing, no child could be made, or the effect's time
        // is spent: every stage left fails the same way.
        if (!run.started || run.stopped || run.totalCpuTimedOut || effectSecondsLeft <= 0.0) {
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
