// The directives: #if/#ifdef/#ifndef/#elif/#else/#endif with their integer
// expressions, #define with the cutting of a body, #undef, #error, #line, #pragma.
#include <algorithm>
#include <cstdint>

#include "platform/gfx/fx/preprocessor/preprocessor_state.h"

namespace gfx::pp {
namespace {

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

// A macro's body as the platform's compiler reads it: `\"None\"` outside a
// string, as one library's headers write a string in their macros, is the
// string "None" (what lies between holds no quote or backslash). The rest is
// left as written; `scratch` holds the body when it changes.
std::string_view EscapedStrings(std::string_view body, std::string& scratch)
{
    if (body.find("\\\"") == std::string_view::npos)
        return body;
    scratch.clear();
    for (size_t i = 0; i < body.size();) {
        const char c = body[i];
        if (c == '"') {
            bool closed = false;
            const size_t end = StringEnd(body, i, closed);
            scratch.append(body.substr(i, end - i));
            i = end;
            continue;
        }
        if (c == '\\' && i + 1 < body.size() && body[i + 1] == '"') {
            const size_t close = body.find('"', i + 2);
            if (close != std::string_view::npos && body.find('\\', i + 2) == close - 1) {
                scratch += '"';
                scratch.append(body.substr(i + 2, close - 1 - (i + 2)));
                scratch += '"';
                i = close + 1;
                continue;
            }
        }
        scratch += c;
        ++i;
    }
    return scratch;
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

} // namespace

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
    std::string scratch;
    const std::string_view body = EscapedStrings(Trim(rest.substr(i)), scratch);
    if (macro.functionLike) {
        macro.params = params.size();
        CutBody(macro, body, params);
    } else {
        macro.body = std::string(body);
    }
    Keep(name, std::move(macro));
}

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

} // namespace gfx::pp
