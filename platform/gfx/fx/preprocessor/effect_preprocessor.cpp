#include "platform/gfx/fx/preprocessor/effect_preprocessor.h"

#include <algorithm>
#include <cstdint>
#include <deque>

#include "platform/gfx/fx/syntax/effect_message.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/syntax/name_table.h"
#include "platform/os/path_case.h"
#include "platform/window/close_check.h"

namespace gfx {
namespace {

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

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (IsBlank(s.front()) || s.front() == '\n'))
        s.remove_prefix(1);
    while (!s.empty() && (IsBlank(s.back()) || s.back() == '\n'))
        s.remove_suffix(1);
    return s;
}

std::string FolderOf(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// An include's name as a path here: a backslash separates folders as '/'
// does, and a run of separators is one.
std::string PathOf(std::string_view name)
{
    std::string path;
    for (char c : name) {
        const char d = c == '\\' ? '/' : c;
        if (!(d == '/' && !path.empty() && path.back() == '/'))
            path += d;
    }
    return path;
}

std::string Bound(size_t bytes)
{
    return std::to_string(bytes) + " bytes (" + std::to_string(bytes >> 20) + " MiB)";
}

// `#define NAME` with nothing after the name: where a backslash ends such a
// line, the platform's compiler ends the name there, and the body follows on
// the next lines.
bool DefineNameOnly(std::string_view line)
{
    size_t i = 0;
    const auto blanks = [&] {
        const size_t from = i;
        while (i < line.size() && IsBlank(line[i]))
            ++i;
        return i > from;
    };
    blanks();
    if (i >= line.size() || line[i] != '#')
        return false;
    ++i;
    blanks();
    if (line.substr(i, 6) != "define")
        return false;
    i += 6;
    if (!blanks() || i >= line.size() || !IsIdentStart(line[i]))
        return false;
    return SkipIdentChars(line, i) == line.size();
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

    bool Next(LogicalLine& out)
    {
        if (done_)
            return false;
        out.line = line_;
        out.span = 0;
        joined_.clear();
        bool joining = false;
        for (;;) {
            const size_t end = text_.find('\n', start_);
            const bool last = end == std::string_view::npos;
            std::string_view physical = text_.substr(start_, (last ? text_.size() : end) - start_);
            if (!physical.empty() && physical.back() == '\r')
                physical.remove_suffix(1);
            ++out.span;
            ++line_;
            if (last)
                done_ = true;
            else
                start_ = end + 1;
            if (!physical.empty() && physical.back() == '\\' && !last) {
                physical.remove_suffix(1);
                joined_.append(physical);
                if (!joining && DefineNameOnly(physical))
                    joined_ += ' ';
                joining = true;
                continue;
            }
            if (!joining) {
                out.text = physical;
                return true;
            }
            joined_.append(physical);
            out.text = joined_;
            return true;
        }
    }

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

// Pasting drops the blanks before ##: those of the body now, and those an
// argument might end with when the macro is called.
void DropBlanksBeforeJoin(Macro& macro)
{
    while (!macro.pieces.empty() && macro.pieces.back().kind == Macro::Kind::kText) {
        Macro::Piece& last = macro.pieces.back();
        while (last.size > 0 && IsBlank(macro.body.back())) {
            --last.size;
            macro.body.pop_back();
        }
        if (last.size > 0)
            return;
        macro.pieces.pop_back();
    }
    if (!macro.pieces.empty() &&
        (macro.pieces.back().kind == Macro::Kind::kRaw || macro.pieces.back().kind == Macro::Kind::kArgument))
        macro.pieces.push_back({Macro::Kind::kJoin});
}

void CutBody(Macro& macro, std::string_view body, const std::vector<std::string_view>& params)
{
    NameTable index;
    for (size_t p = 0; p < params.size(); ++p)
        index.Add(params[p], static_cast<uint32_t>(p)); // of two parameters of one name, the first
    auto paramOf = [&index](std::string_view id) {
        const uint32_t found = index.Find(id);
        return found == NameTable::kNone ? -1 : static_cast<int64_t>(found);
    };
    auto text = [&macro](std::string_view t) {
        if (t.empty())
            return;
        if (!macro.pieces.empty() && macro.pieces.back().kind == Macro::Kind::kText)
            macro.pieces.back().size += t.size();
        else
            macro.pieces.push_back({Macro::Kind::kText, 0, macro.body.size(), t.size()});
        macro.body.append(t);
    };
    auto argument = [&macro](Macro::Kind kind, int64_t p) {
        macro.pieces.push_back({kind, static_cast<size_t>(p)});
    };
    auto blanksFrom = [body](size_t i) {
        while (i < body.size() && IsBlank(body[i]))
            ++i;
        return i;
    };
    auto joinAt = [body](size_t i) { return i + 1 < body.size() && body[i] == '#' && body[i + 1] == '#'; };
    size_t i = 0;
    while (i < body.size()) {
        const char c = body[i];
        if (joinAt(i)) {
            DropBlanksBeforeJoin(macro);
            const size_t s = blanksFrom(i + 2);
            i = SkipIdentChars(body, s);
            const std::string_view id = body.substr(s, i - s);
            const int64_t p = paramOf(id);
            if (p >= 0)
                argument(Macro::Kind::kRaw, p);
            else
                text(id);
        } else if (c == '#') {
            const size_t s = blanksFrom(i + 1);
            const size_t e = SkipIdentChars(body, s);
            const int64_t p = paramOf(body.substr(s, e - s));
            if (p >= 0) {
                argument(Macro::Kind::kString, p);
                i = e;
            } else {
                text("#");
                ++i;
            }
        } else if (IsIdentStart(c)) {
            const size_t s = i;
            i = SkipIdentChars(body, i);
            const std::string_view id = body.substr(s, i - s);
            const int64_t p = paramOf(id);
            if (p < 0)
                text(id);
            else
                argument(joinAt(blanksFrom(i)) ? Macro::Kind::kRaw : Macro::Kind::kArgument, p);
        } else {
            text(body.substr(i, 1));
            ++i;
        }
    }
}

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

    bool RemoveComments(std::string_view source, std::string& clean);
    void Directive(const LogicalLine& line, size_t hashAt, std::vector<Conditional>& conditions,
                   int depth);
    void DefineDirective(std::string_view rest, int line, int column);
    void IncludeDirective(std::string_view rest, int line, int column, int depth);
    // The file at `path`, read (once) only as far as includes may still add
    // beside `markers`, the bytes of the line markers around it, and one byte
    // more to tell; null when the look is over the bound.
    const IncludedFile* Read(const std::string& path, size_t markers);
    bool EvaluateCondition(std::string_view expression, int line, int column);
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
    bool Arguments(std::string_view text, size_t open, std::vector<std::string_view>& args, size_t& end,
                   size_t& brackets);
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
};

bool Preprocessor::RemoveComments(std::string_view source, std::string& clean)
{
    // A block comment becomes a blank but keeps its line ends, so line numbers
    // stay those of the source.
    clean.reserve(source.size());
    int line = 1;
    for (size_t i = 0; i < source.size();) {
        if (!Step())
            return false;
        const char c = source[i];
        if (c == '"') {
            bool closed = false;
            const size_t end = StringEnd(source, i, closed);
            clean.append(source.substr(i, end - i));
            i = end;
        } else if (StartsComment(source, i)) {
            const size_t end = CommentEnd(source, i);
            if (end == std::string_view::npos) {
                Error(line, 1, 1001, "unexpected end of file in a comment");
                return false;
            }
            if (source[i + 1] == '*')
                clean += ' ';
            for (size_t k = i; k < end; ++k)
                if (source[k] == '\n') {
                    clean += '\n';
                    currentLine_ = ++line;
                }
            i = end;
        } else if (c == '\n') {
            clean += c;
            currentLine_ = ++line;
            ++i;
        } else {
            size_t end = i + 1;
            while (end < source.size() && source[end] != '"' && source[end] != '/' && source[end] != '\n')
                ++end;
            clean.append(source.substr(i, end - i));
            i = end;
        }
    }
    return true;
}

void Preprocessor::ProcessFile(std::string_view source, const std::string& fileName, int depth)
{
    const std::string savedFile = file_;
    const int savedLine = currentLine_;
    file_ = fileName;
    includers_.push_back(fileName);
    currentLine_ = 1;
    if (source.substr(0, 3) == "\xEF\xBB\xBF")
        source.remove_prefix(3);  // editors may save effects with a UTF-8 mark
    Append("#line 1 \"" + fileName + "\"\n");
    std::string clean;
    if (RemoveComments(source, clean)) {
        std::vector<Conditional> conditions;
        LineReader lines(clean);
        LogicalLine line;
        while (lines.Next(line)) {
            currentLine_ = line.line;
            if (platform::CloseSignalReceived())
                Closing();
            if (stopped_)
                break;
            size_t first = 0;
            while (first < line.text.size() && IsBlank(line.text[first]))
                ++first;
            const bool active = conditions.empty() || conditions.back().active;
            if (first < line.text.size() && line.text[first] == '#') {
                const size_t before = out_.size();
                Directive(line, first, conditions, depth);
                if (out_.size() != before) {
                    // An include: resume this file's numbering after it.
                    Append("#line " + std::to_string(line.line + line.span) + " \"" + fileName + "\"\n");
                    continue;
                }
            } else if (active) {
                ExpandLine(line, lines);
            }
            for (int k = 0; k < line.span; ++k)
                Append("\n");
        }
        if (!stopped_)
            for (const Conditional& open : conditions)
                Error(open.line, 1, 1004, "unterminated conditional directive");
    }
    includers_.pop_back();
    file_ = savedFile;
    currentLine_ = savedLine;
}

void Preprocessor::Directive(const LogicalLine& line, size_t hashAt,
                             std::vector<Conditional>& conditions, int depth)
{
    std::string_view text(line.text);
    size_t i = hashAt + 1;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    size_t nameStart = i;
    i = SkipIdentChars(text, i);
    std::string name(text.substr(nameStart, i - nameStart));
    std::string_view rest = Trim(text.substr(i));
    int column = static_cast<int>(hashAt) + 1;
    bool active = conditions.empty() || conditions.back().active;

    if (name == "if" || name == "ifdef" || name == "ifndef") {
        Conditional c;
        c.parentActive = active;
        c.line = line.line;
        if (active) {
            if (name == "if") {
                c.active = EvaluateCondition(rest, line.line, column);
            } else {
                std::string_view id = rest.substr(0, std::min(rest.size(), rest.find_first_of(" \t")));
                if (!IsIdentifier(id)) {
                    Error(line.line, column, 1006, "#" + name + " expects a macro name");
                }
                bool defined = Find(id) != nullptr;
                c.active = name == "ifdef" ? defined : !defined;
            }
            c.taken = c.active;
        }
        conditions.push_back(c);
        return;
    }
    if (name == "elif" || name == "else" || name == "endif") {
        if (conditions.empty()) {
            Error(line.line, column, 1003, "#" + name + " without #if");
            return;
        }
        Conditional& c = conditions.back();
        if (name == "endif") {
            conditions.pop_back();
            return;
        }
        if (c.elseSeen) {
            Error(line.line, column, 1003, "#" + name + " after #else");
            return;
        }
        if (name == "else") {
            c.elseSeen = true;
            c.active = c.parentActive && !c.taken;
        } else {
            c.active = c.parentActive && !c.taken && EvaluateCondition(rest, line.line, column);
        }
        c.taken = c.taken || c.active;
        return;
    }
    if (!active)
        return;
    if (name.empty()) {
        if (!rest.empty())
            Error(line.line, column, 1002, "invalid preprocessor directive");
        return;
    }
    if (name == "define") {
        DefineDirective(rest, line.line, column);
    } else if (name == "undef") {
        if (Macro* macro = Find(rest.substr(0, rest.find_first_of(" \t"))))
            *macro = Macro{.defined = false};
    } else if (name == "include") {
        IncludeDirective(rest, line.line, column, depth);
    } else if (name == "error") {
        Error(line.line, column, 1008, "#error " + std::string(rest));
    } else if (name == "pragma") {
        // Compiler hints (pack_matrix, warning) change nothing we keep.
    } else if (name == "line") {
        // Messages keep pointing at the file as written.
    } else {
        Error(line.line, column, 1002, "unknown preprocessor directive '#" + name + "'");
    }
}

void Preprocessor::DefineDirective(std::string_view rest, int line, int column)
{
    size_t i = SkipIdentChars(rest, 0);
    if (i == 0 || !IsIdentStart(rest[0])) {
        Error(line, column, 1010, "#define expects a macro name");
        return;
    }
    std::string name(rest.substr(0, i));
    Macro macro;
    std::vector<std::string_view> params;
    if (i < rest.size() && rest[i] == '(') {
        macro.functionLike = true;
        size_t close = rest.find(')', i);
        if (close == std::string_view::npos) {
            Error(line, column, 1010, "missing ')' in the parameters of macro '" + name + "'");
            return;
        }
        std::string_view list = Trim(rest.substr(i + 1, close - i - 1));
        while (!list.empty()) {
            size_t comma = list.find(',');
            std::string_view param = Trim(list.substr(0, comma));
            if (!IsIdentifier(param)) {
                Error(line, column, 1010, "invalid parameter in macro '" + name + "'");
                return;
            }
            params.push_back(param);
            if (comma == std::string_view::npos)
                break;
            list = Trim(list.substr(comma + 1));
            if (list.empty()) {
                Error(line, column, 1010, "invalid parameter in macro '" + name + "'");
                return;
            }
        }
        i = close + 1;
    }
    const std::string_view body = Trim(rest.substr(i));
    if (macro.functionLike) {
        macro.params = params.size();
        CutBody(macro, body, params);
    } else {
        macro.body = std::string(body);
    }
    Keep(name, std::move(macro));
}

const Preprocessor::IncludedFile* Preprocessor::Read(const std::string& path, size_t markers)
{
    // A path looked for many times is looked for once (a file cut short at a
    // bound that has since grown would be read again, but bounds only shrink).
    const uint32_t found = fileIndex_.Find(path);
    if (found != NameTable::kNone)
        return &files_[found];
    if (markers > includedLeft_)
        return nullptr;
    files_.push_back({path, {}, {}, includedLeft_ - markers + 1});
    IncludedFile& file = files_.back();
    fileIndex_.Add(file.path, static_cast<uint32_t>(files_.size() - 1));
    file.why = reader_ ? reader_(path, file.limit, file.text) : "no file can be read here";
    // A place where the file is not costs what its path would, so that the
    // work of looking in many places is bounded with what includes add.
    if (file.why.starts_with(kNoSuchEffectFile)) {
        const size_t look = path.size() + 32;
        if (look > includedLeft_)
            return nullptr;
        includedLeft_ -= look;
    }
    return &file;
}

void Preprocessor::IncludeDirective(std::string_view rest, int line, int column, int depth)
{
    char closer = 0;
    if (!rest.empty() && rest.front() == '"')
        closer = '"';
    else if (!rest.empty() && rest.front() == '<')
        closer = '>';
    size_t end = closer ? rest.find(closer, 1) : std::string_view::npos;
    if (end == std::string_view::npos || end == 1) {
        Error(line, column, 1005, "#include expects \"file\" or <file>");
        return;
    }
    const std::string name(rest.substr(1, end - 1));
    if (depth + 1 >= kMaxIncludeDepth) {
        Stop(line, column, "#include nested too deeply: " + QuotedPiece(name));
        return;
    }
    const std::string overBound = "#include " + QuotedPiece(name) +
                                  " takes what includes add to the effect over their bound of " + Bound(kMaxIncludedText);
    // Looked for as the platform's compiler looks: beside the file that
    // includes it, then beside each file that included that one up to the top
    // file, then in the folder the compiler runs in.
    const std::string written = PathOf(name);
    std::vector<std::string> places;
    if (written.front() == '/') {
        places.push_back(platform::os::PlatformPath(written));
    } else {
        for (size_t k = includers_.size(); k-- > 0;)
            places.push_back(platform::os::PlatformPath(FolderOf(includers_[k]) + written));
        places.push_back(platform::os::PlatformPath(written));
    }
    // The line markers before and after a file's text.
    const auto markers = [&](const std::string& path) { return path.size() + file_.size() + 32; };
    const IncludedFile* file = nullptr;
    std::string lookedFor;
    for (size_t k = 0; k < places.size(); ++k) {
        if (std::find(places.begin(), places.begin() + static_cast<ptrdiff_t>(k), places[k]) !=
            places.begin() + static_cast<ptrdiff_t>(k))
            continue;
        lookedFor += (lookedFor.empty() ? "" : ", ") + QuotedPiece(places[k]);
        file = Read(places[k], markers(places[k]));
        if (!file) {
            Stop(line, column, overBound);
            return;
        }
        if (!file->why.starts_with(kNoSuchEffectFile))
            break;
    }
    // The platform's compiler goes no further than an include it cannot open.
    if (!file->why.empty()) {
        Stop(line, column,
             "cannot open include file " + QuotedPiece(name) + " (looked for as " + lookedFor + "): " + file->why, 1005);
        return;
    }
    const size_t cost = file->text.size() + markers(file->path);
    if (cost > includedLeft_) {
        Stop(line, column, overBound);
        return;
    }
    // What no text holds: nothing of it is quoted in a message.
    if (const size_t nul = file->text.find('\0'); nul != std::string::npos) {
        const auto lineOfNul = 1 + std::count(file->text.begin(), file->text.begin() + static_cast<ptrdiff_t>(nul), '\n');
        Stop(line, column,
             "include file " + QuotedPiece(name) + " is not text: its line " + std::to_string(lineOfNul) +
                 " holds a NUL byte",
             1005);
        return;
    }
    includedLeft_ -= cost;
    ProcessFile(file->text, file->path, depth + 1);
}

void Preprocessor::ExpandLine(LogicalLine& line, LineReader& lines)
{
    // Only what expansion adds counts: a line may grow by what the lines before it
    // left of the budget. A line that shrinks gives nothing back.
    std::string_view text = line.text;
    expansionBudget_ = text.size() + growthLeft_;
    line_.clear();
    OpenCall open;
    if (!Expand(text, line_, 0, &open))
        return;
    size_t from = 0; // where the rest of the text is expanded from
    while (open.start != std::string_view::npos) {
        // The call's arguments go on to the lines after it, joined to this one
        // until its brackets close; the lines it took stay empty after it.
        if (text.data() != joined_.data())
            joined_.assign(text);
        from += open.start;
        const size_t callAt = from;
        LogicalLine next;
        while (open.brackets > 0 && lines.Next(next)) {
            if (!Step())
                return;
            line.span += next.span;
            joined_ += ' ';
            joined_.append(next.text);
            for (size_t k = 0; k < next.text.size() && open.brackets > 0; ++k) {
                const char c = next.text[k];
                if (c == '"') {
                    bool closed = false;
                    k = StringEnd(next.text, k, closed) - 1;
                } else if (c == '(') {
                    ++open.brackets;
                } else if (c == ')') {
                    --open.brackets;
                }
            }
        }
        text = joined_;
        expansionBudget_ = text.size() + growthLeft_;
        open = {};
        if (!Expand(text.substr(from), line_, 0, &open))
            return;
        if (open.start != std::string_view::npos && from + open.start == callAt) {
            // The effect ended first.
            const std::string_view rest = text.substr(callAt);
            Error(line.line, static_cast<int>(callAt) + 1, 1007,
                  "unexpected end of file in the arguments of macro '" +
                      std::string(rest.substr(0, SkipIdentChars(rest, 0))) + "'");
            return;
        }
    }
    // Text that a macro made is never a directive: only the markers written
    // here move the place that messages name.
    const size_t first = line_.find_first_not_of(" \t\r\f\v");
    if (first != std::string::npos && line_[first] == '#') {
        Error(line.line, static_cast<int>(first) + 1, 1002, "a macro makes the line '" + line_.substr(first, 40) +
                                                                "', which is not a directive: '#' is unexpected");
        return;
    }
    growthLeft_ -= std::max(line_.size(), text.size()) - text.size();
    Append(line_);
}

bool Preprocessor::Expand(std::string_view text, std::string& into, int depth, OpenCall* open)
{
    if (depth > kMaxExpansionDepth) {
        Stop(currentLine_, 1, "macro expansion nested too deeply");
        return false;
    }
    // The effect's own text costs nothing; what expansion made counts again
    // each time it is read.
    const bool made = depth > 0;
    if (made && !Charge(text.size()))
        return false;
    size_t copied = 0;  // the text before this is in `into`
    size_t i = 0;
    std::vector<std::string_view> args;
    while (i < text.size()) {
        if (!Step())
            return false;
        const char c = text[i];
        // A logical line holds no line end, so a string runs to its quote.
        if (c == '"') {
            bool closed = false;
            i = StringEnd(text, i, closed);
            continue;
        }
        if (StartsNumber(text, i)) {
            i = NumberEnd(text, i, true);
            continue;
        }
        if (!IsIdentStart(c)) {
            // Up to what might start a name, a number or a string.
            ++i;
            while (i < text.size() && !IsIdentChar(text[i]) && text[i] != '"' && text[i] != '.')
                ++i;
            continue;
        }
        const size_t start = i;
        i = SkipIdentChars(text, i);
        const std::string_view name = text.substr(start, i - start);
        Macro* macro = macros_.empty() ? nullptr : Find(name);
        if (macro == nullptr || macro->expanding)
            continue;
        if (macro->functionLike) {
            size_t bracket = i;
            while (bracket < text.size() && IsBlank(text[bracket]))
                ++bracket;
            if (bracket >= text.size() || text[bracket] != '(')
                continue;  // a function-like macro's name alone is not a call
            size_t end = 0;
            size_t brackets = 0;
            args.clear();
            if (!Arguments(text, bracket, args, end, brackets))
                return false;
            if (end == std::string_view::npos) {
                if (!Produce(into, text.substr(copied, start - copied), made))
                    return false;
                if (open) {
                    *open = {start, brackets};
                    return true;
                }
                Error(currentLine_, static_cast<int>(start) + 1, 1007,
                      "unexpected end of line in the arguments of macro '" + std::string(name) + "'");
                return true;
            }
            i = end;
        }
        if (!Produce(into, text.substr(copied, start - copied), made) || !Charge(kCallWork))
            return false;
        copied = i;
        if (!macro->functionLike) {
            macro->expanding = true;
            const bool go = Expand(macro->body, into, depth + 1);
            macro->expanding = false;
            if (!go)
                return false;
            continue;
        }
        if (macro->params == 0 && args.size() == 1 && args[0].empty())
            args.clear();
        if (args.size() != macro->params) {
            Error(currentLine_, static_cast<int>(start) + 1, 1007,
                  "macro '" + std::string(name) + "' expects " + std::to_string(macro->params) +
                      " arguments, not " + std::to_string(args.size()));
            continue;
        }
        std::string substituted;
        if (!Substitute(*macro, args, substituted, depth))
            return false;
        macro->expanding = true;
        const bool go = Expand(substituted, into, depth + 1);
        macro->expanding = false;
        if (!go)
            return false;
    }
    return Produce(into, text.substr(copied), made);
}

// The arguments of the call whose '(' is at `open`, without the blanks around
// them; `end` is past the call's ')', or npos when the text ends before it,
// `brackets` then how many stay open.
bool Preprocessor::Arguments(std::string_view text, size_t open, std::vector<std::string_view>& args,
                             size_t& end, size_t& brackets)
{
    size_t nesting = 0;
    size_t from = open + 1;
    for (size_t k = open + 1; k < text.size(); ++k) {
        if (!Step())
            return false;
        const char a = text[k];
        if (a == '"') {
            bool closed = false;
            k = StringEnd(text, k, closed) - 1;
        } else if (a == '(') {
            ++nesting;
        } else if (a == ')' && nesting > 0) {
            --nesting;
        } else if ((a == ',' || a == ')') && nesting == 0) {
            args.push_back(Trim(text.substr(from, k - from)));
            from = k + 1;
            if (a == ')') {
                end = k + 1;
                return true;
            }
        }
    }
    end = std::string_view::npos;
    brackets = nesting + 1;
    return true;
}

bool Preprocessor::Substitute(const Macro& macro, const std::vector<std::string_view>& args,
                              std::string& out, int depth)
{
    // An argument is expanded once, when it is first used.
    std::vector<std::string> expanded(args.size());
    std::vector<bool> done(args.size(), false);
    for (const Macro::Piece& piece : macro.pieces) {
        if (!Step())
            return false;
        bool go = true;
        switch (piece.kind) {
        case Macro::Kind::kText:
            go = Produce(out, std::string_view(macro.body).substr(piece.offset, piece.size));
            break;
        case Macro::Kind::kRaw:
            go = Produce(out, args[piece.param]);
            break;
        case Macro::Kind::kArgument:
            if (!done[piece.param]) {
                done[piece.param] = true;
                if (!Expand(args[piece.param], expanded[piece.param], depth + 1))
                    return false;
            }
            go = Produce(out, expanded[piece.param]);
            break;
        case Macro::Kind::kString:
            go = Stringize(args[piece.param], out);
            break;
        case Macro::Kind::kJoin:
            while (!out.empty() && IsBlank(out.back()))
                out.pop_back();
            break;
        }
        if (!go)
            return false;
    }
    return true;
}

bool Preprocessor::Stringize(std::string_view arg, std::string& out)
{
    const auto escaped = static_cast<size_t>(std::count_if(arg.begin(), arg.end(), [](char a) { return a == '"' || a == '\\'; }));
    const size_t size = arg.size() + escaped + 2;
    if (!Charge(size))
        return false;
    if (out.size() + size > expansionBudget_) {
        GrowthSpent();
        return false;
    }
    out += '"';
    for (char a : arg) {
        if (a == '"' || a == '\\')
            out += '\\';
        out += a;
    }
    out += '"';
    return true;
}

// Integer expressions of #if and #elif, read without recursion (operands and
// pending operators on stacks of their own), so that no nesting, in any build,
// can exhaust the thread's stack: the nesting limit is a count of pending
// operators and open brackets.
class ConditionParser {
public:
    explicit ConditionParser(std::string_view text) : text_(text) {}

    bool Parse(int64_t& value, std::string& error)
    {
        Run();
        if (error_.empty() && values_.size() != 1)
            error_ = "expression expected";
        value = error_.empty() ? values_.back() : 0;
        error = error_;
        return error_.empty();
    }

private:
    // Binary operators by precedence, loosest first; unary ones bind tightest.
    // Brackets and the two halves of ?: wait on the same stack.
    enum Kind : uint8_t { kBinary, kUnary, kOpen, kQuestion, kColon };
    // An operator as its one or two characters: telling them apart compares no strings.
    static constexpr uint16_t Op(char first, char second = '\0')
    {
        return static_cast<uint16_t>(static_cast<uint8_t>(first) | (static_cast<uint8_t>(second) << 8));
    }
    struct Pending {
        Kind kind;
        int precedence;
        uint16_t op;
    };
    static constexpr int kUnaryPrecedence = 11;

    void Skip()
    {
        while (pos_ < text_.size() && (IsBlank(text_[pos_]) || text_[pos_] == '\n'))
            ++pos_;
    }
    bool Fail(const std::string& error)
    {
        if (error_.empty())
            error_ = error;
        return false;
    }
    bool Unexpected() { return Fail("unexpected '" + std::string(1, text_[pos_]) + "'"); }
    static int64_t Wrap(uint64_t v) { return static_cast<int64_t>(v); }

    bool Push(Pending pending)
    {
        if (pending_.size() >= static_cast<size_t>(kMaxExpressionDepth))
            return Fail("expression nested too deeply");
        pending_.push_back(pending);
        return true;
    }

    void Run()
    {
        bool operand = true; // an operand is due, not an operator
        for (;;) {
            Skip();
            if (operand) {
                if (pos_ >= text_.size()) {
                    Fail("expression expected");
                    return;
                }
                const char c = text_[pos_];
                const bool notEqual = c == '!' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '=';
                if (c == '(') {
                    ++pos_;
                    if (!Push({kOpen, 0, Op('(')}))
                        return;
                } else if ((c == '!' && !notEqual) || c == '~' || c == '-' || c == '+') {
                    if (!Push({kUnary, kUnaryPrecedence, Op(text_[pos_++])}))
                        return;
                } else if (IsDigit(c)) {
                    if (!Number())
                        return;
                    operand = false;
                } else if (IsIdentStart(c)) {
                    // A name left after expansion counts as 0.
                    pos_ = SkipIdentChars(text_, pos_);
                    values_.push_back(0);
                    operand = false;
                } else {
                    Unexpected();
                    return;
                }
                continue;
            }
            if (pos_ >= text_.size())
                break;
            const char c = text_[pos_];
            if (c == ')') {
                if (!ReduceTo(kOpen, "unexpected ')'"))
                    return;
                pending_.pop_back();
                ++pos_;
            } else if (c == '?') {
                if (!Reduce(1))
                    return;
                ++pos_;
                if (!Push({kQuestion, 0, Op('?')}))
                    return;
                operand = true;
            } else if (c == ':') {
                if (!ReduceTo(kQuestion, "unexpected ':'"))
                    return;
                pending_.back() = {kColon, 0, Op(':')};
                ++pos_;
                operand = true;
            } else {
                size_t length = 1;
                const int precedence = BinaryOperator(length);
                if (precedence == 0) {
                    Unexpected();
                    return;
                }
                const uint16_t op = Op(text_[pos_], length == 2 ? text_[pos_ + 1] : '\0');
                if (!Reduce(precedence))
                    return;
                pos_ += length;
                if (!Push({kBinary, precedence, op}))
                    return;
                operand = true;
            }
        }
        // Whatever is still open at the end.
        while (!pending_.empty()) {
            const Kind kind = pending_.back().kind;
            if (kind == kOpen) {
                Fail("missing ')'");
                return;
            }
            if (kind == kQuestion) {
                Fail("missing ':' in a conditional expression");
                return;
            }
            if (!Apply())
                return;
        }
    }

    // The precedence of the binary operator at pos_, 0 when there is none, and its length.
    int BinaryOperator(size_t& length) const
    {
        const char next = pos_ + 1 < text_.size() ? text_[pos_ + 1] : '\0';
        length = 2;
        switch (text_[pos_]) {
        case '|': return next == '|' ? 1 : (length = 1, 3);
        case '&': return next == '&' ? 2 : (length = 1, 5);
        case '=': return next == '=' ? 6 : 0;
        case '!': return next == '=' ? 6 : 0;
        case '<': return next == '=' ? 7 : next == '<' ? 8 : (length = 1, 7);
        case '>': return next == '=' ? 7 : next == '>' ? 8 : (length = 1, 7);
        case '^': return length = 1, 4;
        case '+': case '-': return length = 1, 9;
        case '*': case '/': case '%': return length = 1, 10;
        default: return 0;
        }
    }

    // Applies the pending operators that bind at least as tightly as `precedence`.
    bool Reduce(int precedence)
    {
        while (!pending_.empty() && (pending_.back().kind == kBinary || pending_.back().kind == kUnary ||
                                     pending_.back().kind == kColon) &&
               pending_.back().precedence >= precedence)
            if (!Apply())
                return false;
        return true;
    }
    // Applies every pending operator down to the nearest `kind`, which stays.
    bool ReduceTo(Kind kind, const std::string& without)
    {
        for (;;) {
            if (pending_.empty())
                return Fail(without);
            const Kind top = pending_.back().kind;
            if (top == kind)
                return true;
            if (top == kOpen)
                return Fail("missing ')'");
            if (top == kQuestion)
                return Fail("missing ':' in a conditional expression");
            if (!Apply())
                return false;
        }
    }

    // The top pending operator on its operands.
    bool Apply()
    {
        const Pending p = pending_.back();
        pending_.pop_back();
        if (p.kind == kUnary) {
            int64_t& v = values_.back();
            if (p.op == Op('!')) v = !v;
            else if (p.op == Op('~')) v = Wrap(~static_cast<uint64_t>(v));
            else if (p.op == Op('-')) v = Wrap(0 - static_cast<uint64_t>(v));
            return true;
        }
        const int64_t right = values_.back();
        values_.pop_back();
        int64_t& left = values_.back();
        if (p.kind == kColon) {
            // condition, value if true, value if false
            const int64_t ifTrue = left;
            values_.pop_back();
            values_.back() = values_.back() ? ifTrue : right;
            return true;
        }
        const uint16_t matched = p.op;
        auto l = static_cast<uint64_t>(left), r = static_cast<uint64_t>(right);
        if (matched == Op('|', '|')) left = left || right;
        else if (matched == Op('&', '&')) left = left && right;
        else if (matched == Op('|')) left = Wrap(l | r);
        else if (matched == Op('^')) left = Wrap(l ^ r);
        else if (matched == Op('&')) left = Wrap(l & r);
        else if (matched == Op('=', '=')) left = left == right;
        else if (matched == Op('!', '=')) left = left != right;
        else if (matched == Op('<', '=')) left = left <= right;
        else if (matched == Op('>', '=')) left = left >= right;
        else if (matched == Op('<')) left = left < right;
        else if (matched == Op('>')) left = left > right;
        else if (matched == Op('<', '<')) left = Wrap(l << (r & 63));
        else if (matched == Op('>', '>')) left = left >> (r & 63);
        else if (matched == Op('+')) left = Wrap(l + r);
        else if (matched == Op('-')) left = Wrap(l - r);
        else if (matched == Op('*')) left = Wrap(l * r);
        else if (right == 0) return Fail("division by zero");
        else if (left == INT64_MIN && right == -1) left = matched == Op('/') ? left : 0;
        else left = matched == Op('/') ? left / right : left % right;
        return true;
    }

    bool Number()
    {
        uint64_t value = 0;
        int base = 10;
        if (text_[pos_] == '0' && pos_ + 1 < text_.size() && (text_[pos_ + 1] == 'x' || text_[pos_ + 1] == 'X')) {
            base = 16;
            pos_ += 2;
        } else if (text_[pos_] == '0') {
            base = 8;
        }
        bool any = base == 8;
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            const int digit = IsDigit(c)                ? c - '0'
                              : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                              : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                                       : 99;
            if (digit >= base)
                break;
            value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
            any = true;
            ++pos_;
        }
        while (pos_ < text_.size() &&
               (text_[pos_] == 'u' || text_[pos_] == 'U' || text_[pos_] == 'l' || text_[pos_] == 'L'))
            ++pos_;
        if (!any || (pos_ < text_.size() && IsIdentChar(text_[pos_])))
            return Fail("invalid integer constant");
        values_.push_back(Wrap(value));
        return true;
    }

    std::string_view text_;
    size_t pos_ = 0;
    std::vector<int64_t> values_;
    std::vector<Pending> pending_;
    std::string error_;
};


bool Preprocessor::EvaluateCondition(std::string_view expression, int line, int column)
{
    // `defined NAME` and `defined(NAME)` are answered before expansion.
    std::string replaced;
    size_t i = 0;
    while (i < expression.size()) {
        if (IsIdentStart(expression[i])) {
            size_t s = i;
            i = SkipIdentChars(expression, i);
            std::string_view id = expression.substr(s, i - s);
            if (id != "defined") {
                replaced.append(id);
                continue;
            }
            size_t k = i;
            while (k < expression.size() && IsBlank(expression[k]))
                ++k;
            bool paren = k < expression.size() && expression[k] == '(';
            if (paren) {
                ++k;
                while (k < expression.size() && IsBlank(expression[k]))
                    ++k;
            }
            size_t ns = k;
            k = SkipIdentChars(expression, k);
            const std::string_view name = expression.substr(ns, k - ns);
            if (paren) {
                while (k < expression.size() && IsBlank(expression[k]))
                    ++k;
                if (k >= expression.size() || expression[k] != ')') {
                    Error(line, column, 1006, "invalid preprocessor expression: missing ')' after defined");
                    return false;
                }
                ++k;
            }
            if (name.empty()) {
                Error(line, column, 1006, "invalid preprocessor expression: defined expects a name");
                return false;
            }
            replaced += Find(name) != nullptr ? " 1 " : " 0 ";
            i = k;
        } else {
            const size_t s = i;
            while (i < expression.size() && !IsIdentStart(expression[i]))
                ++i;
            replaced.append(expression.substr(s, i - s));
        }
    }
    // Read, not kept: a budget of its own.
    expansionBudget_ = replaced.size() + kMaxExpansionGrowth;
    std::string expanded;
    if (!Expand(replaced, expanded, 0))
        return false;
    // Reading an expression costs more than copying it: what macros added to it
    // counts that much more.
    if (expanded.size() > replaced.size() && !Charge((expanded.size() - replaced.size()) * kConditionWork))
        return false;
    if (Trim(expanded).empty()) {
        Error(line, column, 1006, "invalid preprocessor expression: expression expected");
        return false;
    }
    ConditionParser parser(expanded);
    int64_t value = 0;
    std::string error;
    if (!parser.Parse(value, error)) {
        Error(line, column, 1006, "invalid preprocessor expression: " + error);
        return false;
    }
    return value != 0;
}

} // namespace

bool PreprocessEffect(std::string_view source, const std::string& fileName,
                      const std::vector<EffectMacro>& defines, const EffectFileReader& reader,
                      std::string& output, std::string& messages)
{
    output.clear();
    Preprocessor preprocessor(reader, output, messages);
    for (const EffectMacro& macro : defines) {
        std::string_view name = Trim(macro.name);
        if (!IsIdentifier(name)) {
            messages += FormatEffectError(fileName, 1, 1, 1010,
                                          "invalid define name '" + std::string(name) + "'");
            return false;
        }
        preprocessor.Define(std::string(name), macro.definition);
    }
    preprocessor.ProcessFile(source, fileName, 0);
    if (preprocessor.Failed()) {
        output.clear();
        return false;
    }
    return true;
}

} // namespace gfx
