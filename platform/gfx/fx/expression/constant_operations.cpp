#include "platform/gfx/fx/expression/constant_operations.h"

#include <algorithm>
#include <unordered_map>

#include "platform/gfx/fx/expression/intrinsics.h"
#include "platform/gfx/fx/expression/token_source.h"

namespace gfx {

namespace {

constexpr size_t kNone = ~size_t{0};

// Words after which a '-' is no binary operator, and before a name no type.
bool IsKeyword(std::string_view word)
{
    static constexpr std::string_view kWords[] = {"return", "else", "do",     "case", "if",   "while",
                                                  "for",    "switch", "in",   "out",  "inout", "typedef"};
    return std::find(std::begin(kWords), std::end(kWords), word) != std::end(kWords);
}

bool StartsOperand(const Token& t)
{
    return t.kind == TokenKind::Identifier || t.kind == TokenKind::Number || t.Is('(') || t.Is('-') || t.Is('+') ||
           t.Is('!') || t.Is('~');
}

} // namespace

// The names of the code's scope as the shaders' compiler folds them: its
// constants and types, unless the code declares its own of that name.
class ConstantOperations::ScopeNames : public ExpressionNames {
public:
    ScopeNames(ExpressionNames& names, const std::unordered_set<std::string_view>& hidden,
               const std::map<std::string_view, ExpressionValue>& constants)
        : names_(names), hidden_(hidden), constants_(constants)
    {
    }
    ExpressionName Find(std::string_view name) override
    {
        const auto constant = constants_.find(name);
        if (constant != constants_.end()) {
            ExpressionName found;
            found.kind = ExpressionName::Kind::Constant;
            found.value = &constant->second;
            return found;
        }
        if (hidden_.count(name))
            return {};
        ExpressionName found = names_.Find(name);
        const bool kept = found.kind == ExpressionName::Kind::Constant || found.kind == ExpressionName::Kind::Type;
        return kept ? found : ExpressionName{};
    }

private:
    ExpressionNames& names_;
    const std::unordered_set<std::string_view>& hidden_;
    const std::map<std::string_view, ExpressionValue>& constants_;
};

ConstantOperations::ConstantOperations(const std::vector<Token>& tokens, ExpressionNames& names,
                                       ExpressionBudget& budget)
    : tokens_(tokens), matches_(BracketMatches(tokens)), openers_(tokens.size(), kNone),
      unknown_(tokens.size() + 1, 0), leftStarts_(tokens.size(), kNone), names_(names), budget_(budget)
{
    for (size_t i = 0; i < tokens.size(); ++i)
        if (matches_[i] < tokens.size())
            openers_[matches_[i]] = i;
}

bool ConstantOperations::EndsOperand(size_t k) const
{
    const Token& t = tokens_[k];
    return (t.kind == TokenKind::Identifier && !IsKeyword(t.text)) || t.kind == TokenKind::Number || t.Is(')') ||
           t.Is(']');
}

ConstantOperations::Operator ConstantOperations::BinaryAt(size_t k) const
{
    if (k <= begin_ || k + 1 >= end_ || tokens_[k].kind != TokenKind::Symbol || !EndsOperand(k - 1))
        return {};
    const auto next = [&](size_t at, char c) {
        return at + 1 < end_ && tokens_[at + 1].Is(c) && tokens_[at + 1].offset == tokens_[at].offset + 1;
    };
    const char c = tokens_[k].text[0];
    if (next(k, '=') && c != '=' && c != '!' && c != '<' && c != '>')
        return {}; // an assignment
    switch (c) {
    case '*': return {9, 1, expr::kMultiply};
    case '/': return {9, 1, expr::kDivide};
    case '%': return {9, 1, expr::kRemainder};
    case '+': return next(k, '+') ? Operator{} : Operator{8, 1, expr::kAdd};
    case '-': return next(k, '-') ? Operator{} : Operator{8, 1, expr::kSubtract};
    case '<':
    case '>':
        if (tokens_[k - 1].Is("vector") || tokens_[k - 1].Is("matrix"))
            return {};
        if (next(k, c))
            return next(k + 1, '=') ? Operator{} : Operator{7, 2, c == '<' ? expr::kShiftLeft : expr::kShiftRight};
        if (next(k, '='))
            return {6, 2, c == '<' ? expr::kLessEqual : expr::kGreaterEqual};
        return {6, 1, c == '<' ? expr::kLess : expr::kGreater};
    case '=': return next(k, '=') ? Operator{5, 2, expr::kEqual} : Operator{};
    case '!': return next(k, '=') ? Operator{5, 2, expr::kNotEqual} : Operator{};
    case '&': return next(k, '&') ? Operator{1, 2, expr::kAnd} : Operator{4, 1, expr::kBitAnd};
    case '^': return {3, 1, expr::kBitXor};
    case '|': return next(k, '|') ? Operator{0, 2, expr::kOr} : Operator{2, 1, expr::kBitOr};
    default: return {};
    }
}

ConstantOperations::Operator ConstantOperations::EndingAt(size_t j, size_t& start) const
{
    if (j > 0) {
        const Operator pair = BinaryAt(j - 1);
        if (pair.length == 2) {
            start = j - 1;
            return pair;
        }
    }
    const Operator single = BinaryAt(j);
    if (single.length == 1) {
        start = j;
        return single;
    }
    return {};
}

// `(type)`, `(type[N])`: what a cast to a built-in or typedef'd type holds.
bool ConstantOperations::IsCast(size_t open) const
{
    const size_t close = matches_[open];
    if (close >= end_ || close < open + 2 || tokens_[open + 1].kind != TokenKind::Identifier)
        return false;
    if (close != open + 2 && !(tokens_[open + 2].Is('[') && matches_[open + 2] + 1 == close))
        return false;
    ValueShape shape;
    return BuiltInShape(tokens_[open + 1].text, shape) ||
           (!hidden_.count(tokens_[open + 1].text) &&
            names_.Find(tokens_[open + 1].text).kind == ExpressionName::Kind::Type);
}

size_t ConstantOperations::UnaryEnd(size_t p) const
{
    while (p < end_ && (tokens_[p].Is('-') || tokens_[p].Is('+') || tokens_[p].Is('!') || tokens_[p].Is('~')))
        ++p;
    if (p >= end_)
        return kNone;
    if (tokens_[p].Is('(')) {
        if (matches_[p] >= end_)
            return kNone;
        if (IsCast(p))
            return matches_[p] + 1 < end_ && StartsOperand(tokens_[matches_[p] + 1]) ? UnaryEnd(matches_[p] + 1)
                                                                                   : kNone;
        p = matches_[p] + 1;
    } else if (tokens_[p].kind == TokenKind::Identifier && !IsKeyword(tokens_[p].text)) {
        ++p;
        if (p < end_ && tokens_[p].Is('(')) {
            if (matches_[p] >= end_)
                return kNone;
            p = matches_[p] + 1;
        }
    } else if (tokens_[p].kind == TokenKind::Number) {
        ++p;
    } else {
        return kNone;
    }
    for (;;) {
        if (p + 1 < end_ && tokens_[p].Is('.') && tokens_[p + 1].kind == TokenKind::Identifier)
            p += 2;
        else if (p < end_ && tokens_[p].Is('[') && matches_[p] < end_)
            p = matches_[p] + 1;
        else
            return p;
    }
}

size_t ConstantOperations::UnaryStart(size_t q) const
{
    for (;;) {
        if (q == kNone || q < begin_)
            return kNone;
        if (tokens_[q].Is(']') && openers_[q] != kNone && openers_[q] > begin_)
            q = openers_[q] - 1;
        else if (tokens_[q].kind == TokenKind::Identifier && q > begin_ + 1 && tokens_[q - 1].Is('.'))
            q -= 2;
        else
            break;
    }
    size_t start = q;
    if (tokens_[q].Is(')')) {
        const size_t open = openers_[q];
        if (open == kNone || open < begin_)
            return kNone;
        start = open > begin_ && tokens_[open - 1].kind == TokenKind::Identifier && !IsKeyword(tokens_[open - 1].text)
                    ? open - 1
                    : open;
    } else if (!(tokens_[q].kind == TokenKind::Number ||
                 (tokens_[q].kind == TokenKind::Identifier && !IsKeyword(tokens_[q].text)))) {
        return kNone;
    }
    // Casts and unary operators before it.
    while (start > begin_) {
        const size_t j = start - 1;
        if (tokens_[j].Is(')') && openers_[j] != kNone && openers_[j] >= begin_ && IsCast(openers_[j])) {
            start = openers_[j];
        } else if ((tokens_[j].Is('-') || tokens_[j].Is('+') || tokens_[j].Is('!') || tokens_[j].Is('~')) &&
                   (j == begin_ || !EndsOperand(j - 1))) {
            start = j;
        } else {
            break;
        }
    }
    return start;
}

size_t ConstantOperations::RightEnd(size_t p, int level) const
{
    size_t end = UnaryEnd(p);
    while (end != kNone) {
        const Operator next = BinaryAt(end);
        if (next.level <= level)
            break;
        end = UnaryEnd(end + size_t(next.length));
    }
    return end;
}

size_t ConstantOperations::LeftStart(size_t q, int level)
{
    size_t start = UnaryStart(q);
    while (start != kNone && start > begin_) {
        size_t at = 0;
        const Operator before = EndingAt(start - 1, at);
        if (before.level < level)
            break;
        // Its own left operand, found once, takes in what binds tighter.
        start = leftStarts_[at] != kNone ? leftStarts_[at] : UnaryStart(at - 1);
    }
    return start;
}

bool ConstantOperations::Value(size_t first, size_t end, ExpressionValue& value, ExpressionError& error)
{
    if (budget_.work > budget_.limit)
        return false;
    ScopeNames names(names_, hidden_, constants_);
    TokenListReader reader(std::vector<Token>(tokens_.begin() + long(first), tokens_.begin() + long(end)));
    Expression program;
    error = {};
    return CompileExpression(reader, names, budget_, program, error, false) &&
           reader.Peek().kind == TokenKind::End && !program.NamesParameters() &&
           FoldExpression(program, budget_, value, error, tokens_[first]);
}

bool ConstantOperations::Constant(size_t first, size_t end, ValueShape& shape)
{
    if (first >= end || unknown_[end] != unknown_[first])
        return false;
    ExpressionValue value;
    ExpressionError error;
    if (!Value(first, end, value, error))
        return false;
    shape = value.shape;
    return true;
}

void ConstantOperations::Scope()
{
    // The code's own names: each after a type, or after a comma in a declaration.
    hidden_.clear();
    std::unordered_map<std::string_view, int> declared;
    bool declaring = false;
    int depth = 0;
    for (size_t k = begin_; k < end_; ++k) {
        const Token& t = tokens_[k];
        if (t.Is(';') || t.Is('{') || t.Is('}') || t.Is('(')) {
            declaring = k + 2 < end_ && tokens_[k + 1].kind == TokenKind::Identifier &&
                        tokens_[k + 2].kind == TokenKind::Identifier && !IsKeyword(tokens_[k + 1].text);
            depth = 0;
        }
        depth += t.Is('(') || t.Is('[') ? 1 : t.Is(')') || t.Is(']') ? -1 : 0;
        if (t.kind != TokenKind::Identifier || k == begin_)
            continue;
        const Token& before = tokens_[k - 1];
        if ((before.kind == TokenKind::Identifier && !IsKeyword(before.text)) || before.Is('>') ||
            (declaring && depth == 0 && before.Is(',')))
            declared[t.text] += 1;
    }
    // A `const` declared once, of a constant value, is a constant of the
    // code (`const float3 k = float3(1, 5, 1);`); the rest hide their names.
    constants_.clear();
    for (size_t k = begin_; k + 4 < end_; ++k) {
        if (!(tokens_[k].Is(';') || tokens_[k].Is('{') || tokens_[k].Is('}')))
            continue;
        const size_t type = k + 1 + (tokens_[k + 1].Is("static") ? 1 : 0) + 1;
        if (type + 2 >= end_ || !tokens_[type - 1].Is("const") || declared[tokens_[type + 1].text] != 1 ||
            !tokens_[type + 2].Is('='))
            continue;
        ValueShape shape;
        if (!BuiltInShape(tokens_[type].text, shape)) {
            const ExpressionName typedefed = names_.Find(tokens_[type].text);
            if (typedefed.kind != ExpressionName::Kind::Type)
                continue;
            shape = typedefed.shape;
        }
        size_t close = type + 3;
        while (close < end_ && !tokens_[close].Is(';') && !tokens_[close].Is(','))
            close = tokens_[close].Is('(') || tokens_[close].Is('[') ? std::min(matches_[close], end_) + 1 : close + 1;
        ScopeNames names(names_, hidden_, constants_);
        TokenListReader reader(std::vector<Token>(tokens_.begin() + long(type + 3), tokens_.begin() + long(close)));
        Expression program;
        ExpressionError failed;
        ExpressionValue value;
        if (close < end_ && tokens_[close].Is(';') && budget_.work <= budget_.limit &&
            CompileInitializer(reader, names, budget_, shape, program, failed) &&
            reader.Peek().kind == TokenKind::End &&
            !program.NamesParameters() && FoldExpression(program, budget_, value, failed, tokens_[type + 3]))
            constants_[tokens_[type + 1].text] = std::move(value);
    }
    for (const auto& [name, count] : declared)
        if (!constants_.count(name))
            hidden_.insert(name);
    // Names that are no constants, counted.
    for (size_t k = begin_; k < end_; ++k) {
        const Token& t = tokens_[k];
        bool unknown = false;
        if (t.kind == TokenKind::Identifier && !(k > begin_ && tokens_[k - 1].Is('.'))) {
            ValueShape shape;
            const bool intrinsic = expr::FindIntrinsic(t.text) != expr::kIntrinsicCount;
            const ExpressionName::Kind kind = hidden_.count(t.text) ? ExpressionName::Kind::Unknown
                                                                     : names_.Find(t.text).kind;
            unknown = !(t.Is("true") || t.Is("false") || BuiltInShape(t.text, shape) || constants_.count(t.text) ||
                        kind == ExpressionName::Kind::Constant || kind == ExpressionName::Kind::Type ||
                        (intrinsic && kind == ExpressionName::Kind::Unknown && !hidden_.count(t.text)));
        }
        unknown_[k + 1] = unknown_[k] + (unknown ? 1 : 0);
    }
}

bool ConstantOperations::Find(size_t begin, size_t end, const WantedOperation& wanted,
                              const std::function<void(ConstantOperation&&)>& found, ExpressionError& error)
{
    begin_ = begin;
    end_ = std::min(end, tokens_.size());
    std::fill(leftStarts_.begin() + long(begin_), leftStarts_.begin() + long(end_), kNone);
    Scope();
    for (size_t k = begin_; k < end_; ++k) {
        ConstantOperation operation;
        const Operator op = BinaryAt(k);
        if (op.level >= 0) {
            leftStarts_[k] = LeftStart(k - 1, op.level);
            const bool examined = op.op == expr::kMultiply || op.op == expr::kDivide || op.op == expr::kRemainder ||
                                  expr::IsComparison(op.op);
            const size_t right = examined ? RightEnd(k + size_t(op.length), op.level) : kNone;
            if (right == kNone || leftStarts_[k] == kNone)
                continue;
            ValueShape a, b;
            if (!Constant(leftStarts_[k], k, a) || !Constant(k + size_t(op.length), right, b))
                continue;
            operation = {leftStarts_[k], right, op.op, {a, b}, {}};
        } else if (tokens_[k].kind == TokenKind::Identifier && k + 1 < end_ && tokens_[k + 1].Is('(') &&
                   matches_[k + 1] < end_ && !(k > begin_ && tokens_[k - 1].Is('.')) &&
                   unknown_[k + 1] == unknown_[k]) {
            const uint32_t which = expr::FindIntrinsic(tokens_[k].text);
            if (which == expr::kIntrinsicCount)
                continue;
            const size_t close = matches_[k + 1];
            operation = {k, close + 1, kIntrinsicOperation + which, {}, {}};
            bool constant = true;
            for (size_t from = k + 2, at = from; constant && at <= close; ++at) {
                if (at < close && (tokens_[at].Is('(') || tokens_[at].Is('[')) && matches_[at] < close) {
                    at = matches_[at];
                } else if (at == close || tokens_[at].Is(',')) {
                    ValueShape shape;
                    constant = Constant(from, at, shape);
                    operation.operands.push_back(shape);
                    from = at + 1;
                }
            }
            if (!constant)
                continue;
        } else {
            continue;
        }
        const bool division = operation.operation == expr::kDivide || operation.operation == expr::kRemainder;
        const bool integers = operation.operands.size() == 2 && operation.operands[0].base != ValueBase::Float &&
                              operation.operands[1].base != ValueBase::Float;
        if (!wanted(operation.operation, operation.operands) && !(division && integers))
            continue;
        if (!Value(operation.first, operation.end, operation.value, error)) {
            if (error.code == 4010)
                return false;
            continue;
        }
        found(std::move(operation));
    }
    return true;
}

} // namespace gfx
