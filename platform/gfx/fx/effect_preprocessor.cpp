#include "platform/gfx/fx/effect_preprocessor.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>

#include "platform/gfx/fx/effect_message.h"
#include "platform/gfx/fx/effect_tokens.h"

namespace gfx {
namespace {

// What macros may add to an effect over the text they replace, summed over its
// lines: far above what any real effect's macros add, and a quick end to a macro
// that doubles itself.
constexpr size_t kMaxExpansionGrowth = size_t{1} << 20;
// Bytes of preprocessed text, so that memory stays bounded (an effect may include
// one file many times): far above any real effect.
constexpr size_t kMaxOutput = size_t{64} << 20;
// Bytes that macro expansion may read and write over the whole effect, what it
// throws away included (an argument that a macro never uses), so that no text
// keeps the preprocessor busy for long: far above what any real effect's macros cost.
constexpr size_t kMaxExpansionWork = size_t{64} << 20;
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
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// One logical line: physical lines joined by backslash continuations.
struct LogicalLine {
    std::string text;
    int line = 1;  // physical line it starts on
    int span = 1;  // physical lines it covers
};

struct Macro {
    bool functionLike = false;
    std::vector<std::string> params;
    std::string body;
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
        macros_[name] = std::move(macro);
    }

    void ProcessFile(std::string_view source, const std::string& fileName, int depth);
    bool Failed() const { return errors_ > 0; }

private:
    void Error(int line, int column, int code, const std::string& text)
    {
        ++errors_;
        if (errors_ <= 50)
            messages_ += FormatEffectError(file_, line, column, code, text);
    }

    bool SplitLines(std::string_view source, std::vector<LogicalLine>& lines);
    void Directive(const LogicalLine& line, size_t hashAt, std::vector<Conditional>& conditions,
                   int depth);
    void DefineDirective(std::string_view rest, int line, int column);
    void IncludeDirective(std::string_view rest, int line, int column, int depth);
    bool EvaluateCondition(std::string_view expression, int line, int column);
    void Append(std::string_view text)
    {
        if (tooLarge_)
            return;
        if (out_.size() + text.size() > kMaxOutput) {
            tooLarge_ = true;
            Error(currentLine_, 1, 1009,
                  "the preprocessed effect is over the bound of " + std::to_string(kMaxOutput) +
                      " bytes (" + std::to_string(kMaxOutput >> 20) + " MiB)");
            return;
        }
        out_.append(text);
    }
    void ExpansionTooLarge()
    {
        if (!tooLarge_) {
            tooLarge_ = true;
            Error(currentLine_, 1, 1009, "macro expansion too large");
        }
    }
    void ExpandLine(std::string_view text);

    // Expands the macros of `text`; `disabled` names the macros being expanded.
    std::string Expand(std::string_view text, std::vector<std::string>& disabled, int depth);
    std::string Substitute(const Macro& macro, const std::vector<std::string>& rawArgs,
                           std::vector<std::string>& disabled, int depth);

    const EffectFileReader& reader_;
    std::string& out_;
    std::string& messages_;
    std::map<std::string, Macro> macros_;
    std::string file_;
    int currentLine_ = 1;
    int errors_ = 0;
    bool tooLarge_ = false;
    size_t growthLeft_ = kMaxExpansionGrowth;
    size_t expansionBudget_ = kMaxExpansionGrowth;  // bytes any one expansion may reach
    size_t work_ = 0;  // bytes read and written by expansions of macros
};

bool Preprocessor::SplitLines(std::string_view source, std::vector<LogicalLine>& lines)
{
    // Comments go first: a block comment becomes a blank but keeps its line ends,
    // so line numbers stay those of the source.
    std::string clean;
    clean.reserve(source.size());
    int line = 1;
    for (size_t i = 0; i < source.size();) {
        char c = source[i];
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
                    ++line;
                }
            i = end;
        } else {
            if (c == '\n')
                ++line;
            clean += c;
            ++i;
        }
    }

    line = 1;
    LogicalLine current;
    current.line = 1;
    current.span = 0;
    size_t start = 0;
    while (start <= clean.size()) {
        size_t end = clean.find('\n', start);
        bool last = end == std::string::npos;
        std::string_view physical(clean.data() + start, (last ? clean.size() : end) - start);
        if (!physical.empty() && physical.back() == '\r')
            physical.remove_suffix(1);
        ++current.span;
        if (!physical.empty() && physical.back() == '\\' && !last) {
            physical.remove_suffix(1);
            current.text.append(physical);
        } else {
            current.text.append(physical);
            lines.push_back(std::move(current));
            current = LogicalLine();
            current.line = line + 1;
            current.span = 0;
        }
        ++line;
        if (last)
            break;
        start = end + 1;
    }
    return true;
}

void Preprocessor::ProcessFile(std::string_view source, const std::string& fileName, int depth)
{
    std::string savedFile = file_;
    file_ = fileName;
    std::vector<LogicalLine> lines;
    if (source.substr(0, 3) == "\xEF\xBB\xBF")
        source.remove_prefix(3);  // editors may save effects with a UTF-8 mark
    Append("#line 1 \"" + fileName + "\"\n");
    if (!SplitLines(source, lines)) {
        file_ = savedFile;
        return;
    }
    std::vector<Conditional> conditions;
    for (const LogicalLine& line : lines) {
        if (tooLarge_)
            break;
        currentLine_ = line.line;
        size_t first = 0;
        while (first < line.text.size() && IsBlank(line.text[first]))
            ++first;
        bool active = conditions.empty() || conditions.back().active;
        if (first < line.text.size() && line.text[first] == '#') {
            size_t before = out_.size();
            Directive(line, first, conditions, depth);
            if (out_.size() != before) {
                // An include: resume this file's numbering after it.
                Append("#line " + std::to_string(line.line + line.span) + " \"" + fileName +
                       "\"\n");
                continue;
            }
        } else if (active) {
            ExpandLine(line.text);
        }
        for (int k = 0; k < line.span; ++k)
            Append("\n");
    }
    for (const Conditional& open : conditions)
        Error(open.line, 1, 1004, "unterminated conditional directive");
    file_ = savedFile;
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
                bool defined = macros_.count(std::string(id)) > 0;
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
        macros_.erase(std::string(rest.substr(0, rest.find_first_of(" \t"))));
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
            macro.params.emplace_back(param);
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
    macro.body = std::string(Trim(rest.substr(i)));
    macros_[name] = std::move(macro);
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
    std::string name(rest.substr(1, end - 1));
    if (depth + 1 >= kMaxIncludeDepth) {
        Error(line, column, 1009, "#include nested too deeply: '" + name + "'");
        return;
    }
    std::string path = (name.front() == '/') ? name : FolderOf(file_) + name;
    std::string contents;
    if (!reader_ || !reader_(path, contents)) {
        Error(line, column, 1005, "cannot open include file '" + name + "'");
        return;
    }
    ProcessFile(contents, path, depth + 1);
}

void Preprocessor::ExpandLine(std::string_view text)
{
    // Only what expansion adds counts: a line may grow by what the lines before it
    // left of the budget. A line that shrinks gives nothing back.
    std::vector<std::string> disabled;
    expansionBudget_ = text.size() + growthLeft_;
    std::string expanded = Expand(text, disabled, 0);
    if (expanded.size() > expansionBudget_) {
        ExpansionTooLarge();
        return;
    }
    growthLeft_ -= std::max(expanded.size(), text.size()) - text.size();
    Append(expanded);
}

std::string Preprocessor::Expand(std::string_view text, std::vector<std::string>& disabled,
                                 int depth)
{
    std::string result;
    if (depth > kMaxExpansionDepth) {
        Error(currentLine_, 1, 1009, "macro expansion nested too deeply");
        return result;
    }
    if (depth > 0)
        work_ += text.size();
    size_t i = 0;
    while (i < text.size()) {
        if (result.size() > expansionBudget_ || work_ > kMaxExpansionWork || tooLarge_) {
            ExpansionTooLarge();
            return std::string();
        }
        char c = text[i];
        // A logical line holds no line end, so a string runs to its quote.
        if (c == '"') {
            bool closed = false;
            const size_t start = i;
            i = StringEnd(text, i, closed);
            result.append(text.substr(start, i - start));
        } else if (StartsNumber(text, i)) {
            const size_t start = i;
            i = NumberEnd(text, i, true);
            result.append(text.substr(start, i - start));
        } else if (IsIdentStart(c)) {
            size_t start = i;
            i = SkipIdentChars(text, i);
            std::string name(text.substr(start, i - start));
            auto found = macros_.find(name);
            if (found == macros_.end() ||
                std::find(disabled.begin(), disabled.end(), name) != disabled.end()) {
                result += name;
                continue;
            }
            const Macro& macro = found->second;
            if (!macro.functionLike) {
                disabled.push_back(name);
                result += Expand(macro.body, disabled, depth + 1);
                disabled.pop_back();
                continue;
            }
            size_t open = i;
            while (open < text.size() && IsBlank(text[open]))
                ++open;
            if (open >= text.size() || text[open] != '(') {
                result += name;  // a function-like macro's name alone is not a call
                continue;
            }
            std::vector<std::string> args;
            std::string arg;
            int nesting = 0;
            size_t k = open + 1;
            bool closed = false;
            for (; k < text.size(); ++k) {
                char a = text[k];
                if (a == '"') {
                    bool ended = false;
                    const size_t end = StringEnd(text, k, ended);
                    arg.append(text.substr(k, end - k));
                    k = end - 1;
                    continue;
                }
                if (a == '(')
                    ++nesting;
                if (a == ')') {
                    if (nesting == 0) {
                        closed = true;
                        break;
                    }
                    --nesting;
                }
                if (a == ',' && nesting == 0) {
                    args.emplace_back(Trim(arg));
                    arg.clear();
                    continue;
                }
                arg += a;
            }
            if (!closed) {
                Error(currentLine_, static_cast<int>(start) + 1, 1007,
                      "unexpected end of line in the arguments of macro '" + name + "'");
                return result;
            }
            args.emplace_back(Trim(arg));
            if (macro.params.empty() && args.size() == 1 && args[0].empty())
                args.clear();
            if (args.size() != macro.params.size()) {
                Error(currentLine_, static_cast<int>(start) + 1, 1007,
                      "macro '" + name + "' expects " + std::to_string(macro.params.size()) +
                          " arguments, not " + std::to_string(args.size()));
                i = k + 1;
                continue;
            }
            std::string substituted = Substitute(macro, args, disabled, depth);
            disabled.push_back(name);
            result += Expand(substituted, disabled, depth + 1);
            disabled.pop_back();
            i = k + 1;
        } else {
            result += c;
            ++i;
        }
    }
    if (depth > 0)
        work_ += result.size();
    return result;
}

std::string Preprocessor::Substitute(const Macro& macro, const std::vector<std::string>& rawArgs,
                                     std::vector<std::string>& disabled, int depth)
{
    auto paramIndex = [&](std::string_view id) -> int {
        for (size_t p = 0; p < macro.params.size(); ++p)
            if (macro.params[p] == id)
                return static_cast<int>(p);
        return -1;
    };
    std::vector<std::string> expanded(rawArgs.size());
    std::vector<bool> done(rawArgs.size(), false);
    const std::string& body = macro.body;
    work_ += body.size();
    std::string out;
    size_t i = 0;
    while (i < body.size()) {
        char c = body[i];
        if (c == '#' && i + 1 < body.size() && body[i + 1] == '#') {
            // Token pasting: join what is on either side, without the blanks.
            while (!out.empty() && IsBlank(out.back()))
                out.pop_back();
            i += 2;
            while (i < body.size() && IsBlank(body[i]))
                ++i;
            size_t s = i;
            i = SkipIdentChars(body, i);
            std::string_view id = std::string_view(body).substr(s, i - s);
            int p = paramIndex(id);
            out += p >= 0 ? rawArgs[static_cast<size_t>(p)] : std::string(id);
            continue;
        }
        if (c == '#') {
            size_t s = i + 1;
            while (s < body.size() && IsBlank(body[s]))
                ++s;
            size_t e = s;
            e = SkipIdentChars(body, e);
            int p = paramIndex(std::string_view(body).substr(s, e - s));
            if (p >= 0) {
                out += '"';
                for (char a : rawArgs[static_cast<size_t>(p)]) {
                    if (a == '"' || a == '\\')
                        out += '\\';
                    out += a;
                }
                out += '"';
                i = e;
                continue;
            }
            out += c;
            ++i;
            continue;
        }
        if (IsIdentStart(c)) {
            size_t s = i;
            i = SkipIdentChars(body, i);
            std::string_view id = std::string_view(body).substr(s, i - s);
            int p = paramIndex(id);
            if (p < 0) {
                out.append(id);
                continue;
            }
            size_t next = i;
            while (next < body.size() && IsBlank(body[next]))
                ++next;
            bool pasted = next + 1 < body.size() && body[next] == '#' && body[next + 1] == '#';
            auto index = static_cast<size_t>(p);
            if (pasted) {
                out += rawArgs[index];
            } else {
                if (!done[index]) {
                    expanded[index] = Expand(rawArgs[index], disabled, depth + 1);
                    done[index] = true;
                }
                out += expanded[index];
            }
            continue;
        }
        out += c;
        ++i;
    }
    return out;
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
    struct Pending {
        Kind kind;
        int precedence;
        std::string_view op;
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
                    if (!Push({kOpen, 0, "("}))
                        return;
                } else if ((c == '!' && !notEqual) || c == '~' || c == '-' || c == '+') {
                    if (!Push({kUnary, kUnaryPrecedence, text_.substr(pos_++, 1)}))
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
                if (!Push({kQuestion, 0, "?"}))
                    return;
                operand = true;
            } else if (c == ':') {
                if (!ReduceTo(kQuestion, "unexpected ':'"))
                    return;
                pending_.back() = {kColon, 0, ":"};
                ++pos_;
                operand = true;
            } else {
                const int precedence = BinaryOperator();
                if (precedence == 0) {
                    Unexpected();
                    return;
                }
                const std::string_view op = text_.substr(pos_, OperatorLength());
                if (!Reduce(precedence))
                    return;
                pos_ += op.size();
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

    // The two-character operators, then the one-character ones.
    size_t OperatorLength() const
    {
        static constexpr std::string_view kTwo[] = {"||", "&&", "==", "!=", "<=", ">=", "<<", ">>"};
        for (std::string_view op : kTwo)
            if (text_.substr(pos_, 2) == op)
                return 2;
        return 1;
    }
    // The precedence of the binary operator at pos_, 0 when there is none.
    int BinaryOperator() const
    {
        static const std::pair<std::string_view, int> kOperators[] = {
            {"||", 1}, {"&&", 2}, {"==", 6}, {"!=", 6}, {"<=", 7}, {">=", 7}, {"<<", 8}, {">>", 8},
            {"|", 3},  {"^", 4},  {"&", 5},  {"<", 7},  {">", 7},  {"+", 9},  {"-", 9},  {"*", 10},
            {"/", 10}, {"%", 10}};
        const std::string_view op = text_.substr(pos_, OperatorLength());
        for (const auto& [name, precedence] : kOperators)
            if (name == op)
                return precedence;
        return 0;
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
            if (p.op == "!") v = !v;
            else if (p.op == "~") v = Wrap(~static_cast<uint64_t>(v));
            else if (p.op == "-") v = Wrap(0 - static_cast<uint64_t>(v));
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
        const std::string_view matched = p.op;
        auto l = static_cast<uint64_t>(left), r = static_cast<uint64_t>(right);
        if (matched == "||") left = left || right;
        else if (matched == "&&") left = left && right;
        else if (matched == "|") left = Wrap(l | r);
        else if (matched == "^") left = Wrap(l ^ r);
        else if (matched == "&") left = Wrap(l & r);
        else if (matched == "==") left = left == right;
        else if (matched == "!=") left = left != right;
        else if (matched == "<=") left = left <= right;
        else if (matched == ">=") left = left >= right;
        else if (matched == "<") left = left < right;
        else if (matched == ">") left = left > right;
        else if (matched == "<<") left = Wrap(l << (r & 63));
        else if (matched == ">>") left = left >> (r & 63);
        else if (matched == "+") left = Wrap(l + r);
        else if (matched == "-") left = Wrap(l - r);
        else if (matched == "*") left = Wrap(l * r);
        else if (right == 0) return Fail("division by zero");
        else if (left == INT64_MIN && right == -1) left = matched == "/" ? left : 0;
        else left = matched == "/" ? left / right : left % right;
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
            char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text_[pos_])));
            int digit = IsDigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : 99;
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
            std::string name(expression.substr(ns, k - ns));
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
            replaced += macros_.count(name) ? " 1 " : " 0 ";
            i = k;
        } else {
            replaced += expression[i++];
        }
    }
    std::vector<std::string> disabled;
    expansionBudget_ = kMaxExpansionGrowth;  // read, not kept: a budget of its own
    std::string expanded = Expand(replaced, disabled, 0);
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
