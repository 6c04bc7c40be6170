#pragma once
// What the preprocessor's parts share: its bounds, logical lines, macros and the
// Preprocessor whose directives, expansion and includes each live in a file of their own.
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gfx/fx/preprocessor/effect_preprocessor.h"
#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/syntax/name_table.h"
#include "platform/window/close_check.h"

namespace gfx::pp {

// What macros may add to an effect over the text they replace, summed over its
// lines: far above what any real effect's macros add, and a quick end to a macro
// that doubles itself. Every text that expansion makes on the way (an argument
// expanded, a body with its arguments in place) is held to the line's share too.
constexpr size_t kMaxExpansionGrowth = size_t{1} << 20;
// Bytes of preprocessed text, so that memory stays bounded: far above any real effect.
constexpr size_t kMaxOutput = size_t{64} << 20;
// Bytes that macro expansion may read and write over the whole effect, what it
// throws away included (an argument that a macro never uses), counted as they are
// read or written: no text keeps the preprocessor busy for long or holds much
// memory. Far above what any real effect's macros cost.
constexpr size_t kMaxExpansionWork = size_t{32} << 20;
// What one macro call counts for besides the bytes it reads and writes, so that
// calls of macros that make nothing are bounded too.
constexpr size_t kCallWork = 32;
// What a byte of a condition counts for when it is read.
constexpr size_t kConditionWork = 16;
// Bytes that includes may add over the whole effect: each inclusion counts its
// file's text and the two line markers around it, so that files that include
// others many times over are refused early. Far above what any real effect includes.
constexpr size_t kMaxIncludedText = size_t{4} << 20;
constexpr int kMaxIncludeDepth = 32;
constexpr int kMaxExpansionDepth = 128;
constexpr int kMaxExpressionDepth = 256;

inline std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (IsBlank(s.front()) || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

inline std::string Bound(size_t bytes)
{
    return std::to_string(bytes) + " bytes (" + std::to_string(bytes >> 20) + " MiB)";
}

// One logical line: physical lines joined by backslash continuations.
struct LogicalLine {
    std::string_view text;
    int line = 1;  // physical line it starts on
    int span = 1;  // physical lines it covers
};

// The logical lines of a text without comments, one at a time.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    bool Next(LogicalLine& out);

private:
    std::string_view text_;
    size_t start_ = 0;
    int line_ = 1;
    bool done_ = false;
    std::string joined_;
};

struct Macro {
    // A function-like macro's body is cut where its parameters go, so that a
    // call copies pieces and looks no name up.
    enum class Kind : uint8_t {
        kText,      // `size` bytes of `body` from `offset`
        kArgument,  // argument `param` with its macros expanded
        kRaw,       // argument `param` as written (beside ##)
        kString,    // argument `param` as written, in quotes (#param)
        kJoin,      // ##: the blanks before it go
    };
    struct Piece {
        Kind kind = Kind::kText;
        size_t param = 0;
        size_t offset = 0;
        size_t size = 0;
    };

    bool defined = true;  // false once #undef'd: its place is kept for a later #define
    bool functionLike = false;
    size_t params = 0;
    // An object-like macro's text; a function-like one's text pieces end to end.
    std::string body;
    std::vector<Piece> pieces;
    bool expanding = false;  // its name, met inside its own expansion, stays as it is
};

struct Conditional {
    bool parentActive = true;
    bool taken = false;   // a branch of this group has been active
    bool active = false;  // the current branch is active
    bool elseSeen = false;
    int line = 0;
};

class Preprocessor {
public:
    Preprocessor(const EffectFileReader& reader, std::string& out, std::string& messages)
        : reader_(reader), out_(out), messages_(messages) {}

    void Define(const std::string& name, std::string_view definition)
    {
        Macro macro;
        macro.body = std::string(Trim(definition));
        Keep(name, std::move(macro));
    }

    void ProcessFile(std::string_view source, const std::string& fileName, int depth);
    bool Failed() const { return errors_ > 0; }
    size_t TokenBytesRead() const { return tokenBytes_; }

private:
    struct IncludedFile {
        std::string path;
        std::string why; // why it could not be read, "" when it was
        std::string text;
        size_t limit = 0; // what it was read up to
    };

    void Error(int line, int column, int code, const std::string& text)
    {
        ++errors_;
        if (errors_ <= 50)
            messages_ += FormatEffectError(file_, line, column, code, text);
    }
    // Ends all work with the message of a bound reached (or of an include
    // that cannot be opened), however many came before.
    void Stop(int line, int column, const std::string& text, int code = 1009)
    {
        if (!stopped_) {
            ++errors_;
            messages_ += FormatEffectError(file_, line, column, code, text);
        }
        stopped_ = true;
    }
    // What macros add to the effect, or to one text of an expansion, is spent.
    void GrowthSpent()
    {
        Stop(currentLine_, 1, "macros add to the effect over their bound of " + Bound(kMaxExpansionGrowth));
    }
    bool Closing()
    {
        if (!stopped_) {
            ++errors_;
            messages_ += EffectClosingError(file_, currentLine_);
        }
        stopped_ = true;
        return false;
    }
    // One step of work; false once the work is to stop.
    bool Step()
    {
        if (platform::ClosingAfter())
            return Closing();
        return !stopped_;
    }
    // Counts bytes of expansion work against the effect's bound.
    bool Charge(size_t bytes)
    {
        work_ += bytes;
        if (work_ > kMaxExpansionWork)
            Stop(currentLine_, 1,
                 "expanding macros reads and writes more than its bound of work, " + Bound(kMaxExpansionWork));
        return !stopped_;
    }
    // Appends text that expansion made (`counted`) or passed on, unless it takes
    // the work or `into` past its bound: then nothing more is made.
    bool Produce(std::string& into, std::string_view text, bool counted = true)
    {
        if (stopped_ || (counted && !Charge(text.size())))
            return false;
        if (into.size() + text.size() > expansionBudget_) {
            GrowthSpent();
            return false;
        }
        into.append(text);
        return true;
    }
    void Append(std::string_view text)
    {
        if (stopped_)
            return;
        if (out_.size() + text.size() > kMaxOutput) {
            Stop(currentLine_, 1, "the preprocessed effect is over the bound of " + Bound(kMaxOutput));
            return;
        }
        out_.append(text);
    }
    Macro* Find(std::string_view name)
    {
        const uint32_t found = macroIndex_.Find(name);
        return found == NameTable::kNone || !macros_[found].defined ? nullptr : &macros_[found];
    }
    // Defines `name` as `macro`, in the place it had when it had one.
    void Keep(const std::string& name, Macro macro)
    {
        const uint32_t found = macroIndex_.Find(name);
        if (found != NameTable::kNone) {
            macros_[found] = std::move(macro);
            return;
        }
        macroNames_.push_back(name);
        macroIndex_.Add(macroNames_.back(), static_cast<uint32_t>(macros_.size()));
        macros_.push_back(std::move(macro));
    }

    // effect_preprocessor.cpp
    bool RemoveComments(std::string_view source, std::string& clean);
    // directives.cpp
    void Directive(const LogicalLine& line, size_t hashAt, std::vector<Conditional>& conditions,
                   int depth);
    void DefineDirective(std::string_view rest, int line, int column);
    bool EvaluateCondition(std::string_view expression, int line, int column);
    // include_lookup.cpp
    void IncludeDirective(std::string_view rest, int line, int column, int depth);
    // The file at `path`, read (once) only as far as includes may still add
    // beside `markers`, the bytes of the line markers around it, and one byte
    // more to tell; null when the look is over the bound.
    const IncludedFile* Read(const std::string& path, size_t markers);
    // macro_expansion.cpp
    void ExpandLine(LogicalLine& line, LineReader& lines);

    // Where a call of a function-like macro in the effect's own text is left
    // open at the end of the text: the call's name and how many brackets stay open.
    struct OpenCall {
        size_t start = std::string_view::npos;
        size_t brackets = 0;
    };
    // Appends `text` to `into` with its macros expanded; false once the work is
    // to stop. With `open` (the effect's own text, not what macros made), a call
    // whose arguments go past the text's end ends it there: what comes before
    // the call is appended, and `open` says where the call starts.
    bool Expand(std::string_view text, std::string& into, int depth, OpenCall* open = nullptr);
    // Called from Expand alone and kept inside it, as when the preprocessor was
    // one file: out of it, Expand does some 3% more work on every text.
    [[gnu::always_inline]] inline bool Arguments(std::string_view text, size_t open,
                                                 std::vector<std::string_view>& args, size_t& end, size_t& brackets);
    bool Substitute(const Macro& macro, const std::vector<std::string_view>& args, std::string& out,
                    int depth);
    bool Stringize(std::string_view arg, std::string& out);

    const EffectFileReader& reader_;
    std::string& out_;
    std::string& messages_;
    std::deque<Macro> macros_;
    std::deque<std::string> macroNames_; // a deque, so that the table's views stay put
    NameTable macroIndex_;               // by name: its place in macros_
    std::deque<IncludedFile> files_;     // each read once
    NameTable fileIndex_;                // by path: its place in files_
    std::string file_;
    std::vector<std::string> includers_; // the files being read, the top one first
    std::string line_;  // the current line, expanded
    std::string joined_; // a line with the lines its calls' arguments went on to
    int currentLine_ = 1;
    int errors_ = 0;
    bool stopped_ = false;  // a bound was reached or the program is closing
    size_t growthLeft_ = kMaxExpansionGrowth;
    size_t expansionBudget_ = kMaxExpansionGrowth;  // bytes any one text of an expansion may reach
    size_t work_ = 0;
    size_t includedLeft_ = kMaxIncludedText;
    size_t tokenBytes_ = 0; // of the lines read, not skipped
};

} // namespace gfx::pp
