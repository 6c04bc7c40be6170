#include "platform/gfx/fx/hlsl/constant_parts.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <unordered_set>

#include "platform/gfx/fx/expression/constant_operations.h"
#include "platform/gfx/fx/expression/intrinsics.h"
#include "platform/gfx/fx/rewrites/folded_statics.h"
#include "platform/gfx/fx/syntax/effect_message.h"

namespace gfx {

namespace {

// Whether the shader compiler folds the operation otherwise than the language.
bool FoldedOtherwise(uint32_t operation, const std::vector<ValueShape>& operands)
{
    const auto many = [](const ValueShape& s) { return s.ElementComponents() > 1; };
    if (operation >= kIntrinsicOperation) {
        const uint32_t which = operation - kIntrinsicOperation;
        // Of the intrinsics that work component by component, only some fold matrices.
        const bool matrix = std::any_of(operands.begin(), operands.end(), [](const ValueShape& s) { return s.matrix; });
        if (matrix && which != expr::kMul && which != expr::kTranspose && which != expr::kDeterminant)
            return true;
        switch (which) {
        case expr::kDot:
            return std::any_of(operands.begin(), operands.end(),
                               [](const ValueShape& s) { return s.base != ValueBase::Float; });
        case expr::kAny:
        case expr::kAll:
            return operands[0].base != ValueBase::Bool;
        case expr::kFmod:
        case expr::kRound:
            return true;
        default:
            return false;
        }
    }
    if (operands.size() != 2)
        return false;
    const ValueShape& a = operands[0];
    const ValueShape& b = operands[1];
    if (operation == expr::kMultiply)
        return (a.matrix && many(b)) || (b.matrix && many(a));
    if (operation == expr::kRemainder)
        return a.base == ValueBase::Float || b.base == ValueBase::Float;
    return expr::IsComparison(operation) && (many(a) || many(b));
}

// The text's constants and typedefs, as the shader compiler folds them.
class TextConstants : public ExpressionNames {
public:
    ExpressionName Find(std::string_view name) override
    {
        const auto found = entries_.find(name);
        ExpressionName out;
        if (found == entries_.end())
            return out;
        out.kind = found->second.type ? ExpressionName::Kind::Type : ExpressionName::Kind::Constant;
        out.value = &found->second.value;
        out.shape = found->second.type ? found->second.shape : found->second.value.shape;
        return out;
    }

    bool Shape(std::string_view name, ValueShape& shape)
    {
        const ExpressionName named = Find(name);
        if (named.kind == ExpressionName::Kind::Type)
            shape = named.shape;
        return BuiltInShape(name, shape) || named.kind == ExpressionName::Kind::Type;
    }
    void AddType(std::string_view name, const ValueShape& shape) { entries_[std::string(name)] = {true, {}, shape}; }
    void AddConstant(std::string_view name, ExpressionValue value)
    {
        entries_[std::string(name)] = {false, std::move(value), {}};
    }

private:
    struct Entry {
        bool type = false;
        ExpressionValue value;
        ValueShape shape;
    };
    std::map<std::string, Entry, std::less<>> entries_;
};

// The n-th name of the constants: "_0" to "_Z", then "_00" and on.
std::string NameOf(uint64_t n)
{
    static constexpr std::string_view kDigits = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    uint64_t width = 1;
    for (uint64_t count = kDigits.size(); n >= count && width < 8; count *= kDigits.size(), ++width)
        n -= count;
    std::string name(width + 1, '_');
    for (uint64_t k = width; k >= 1; --k, n /= kDigits.size())
        name[k] = kDigits[n % kDigits.size()];
    return name;
}

class PartsReader {
public:
    explicit PartsReader(HlslSource& source)
        : source_(source), tokens_(Tokenize(source.text)),
          budget_(ExpressionBudget::ForText(source.text.size())), finder_(tokens_, constants_, budget_)
    {
    }

    std::string Run()
    {
        Typedefs();
        Statics();
        std::vector<ConstantOperation> parts;
        const auto found = [&](ConstantOperation&& part) { parts.push_back(std::move(part)); };
        ExpressionError error;
        bool refused = false;
        for (const HlslSource::Definition& f : source_.functions)
            refused = refused || !finder_.Find(TokenAt(f.begin), TokenAt(f.end), FoldedOtherwise, found, error);
        for (const HlslSource::Definition& v : source_.variables) {
            const size_t value = Initializer(v);
            if (value != kNone)
                refused = refused || !finder_.Find(value, TokenAt(v.end), FoldedOtherwise, found, error);
        }
        if (refused) {
            Refuse(error.line, error.column, error.code, error.text);
            return {};
        }
        return Write(parts);
    }

private:
    static constexpr size_t kNone = ~size_t{0};

    void Refuse(int line, int column, int code, const std::string& text)
    {
        const HlslSource::Origin origin = source_.Locate(line);
        source_.errors += FormatEffectError(source_.FileOf(origin), origin.line, column, code, text);
    }

    size_t TokenAt(size_t offset) const
    {
        return size_t(std::lower_bound(tokens_.begin(), tokens_.end(), offset,
                                       [](const Token& t, size_t at) { return t.offset < at; }) -
                      tokens_.begin());
    }

    // The first token of a variable's initial value, or kNone.
    size_t Initializer(const HlslSource::Definition& v) const
    {
        const size_t end = TokenAt(v.end);
        for (size_t k = TokenAt(v.nameEnd); k < end; ++k)
            if (tokens_[k].Is('='))
                return k + 1;
        return kNone;
    }

    // `typedef [const] type Name, Other;` of built-in shapes and typedefs.
    void Typedefs()
    {
        for (size_t k = 0; k + 2 < tokens_.size(); ++k) {
            if (!tokens_[k].Is("typedef"))
                continue;
            size_t at = k + 1 + (tokens_[k + 1].Is("const") ? 1 : 0);
            ValueShape shape;
            if (at >= tokens_.size() || !constants_.Shape(tokens_[at].text, shape))
                continue;
            for (++at; at + 1 < tokens_.size() && tokens_[at].kind == TokenKind::Identifier; at += 2) {
                if (!tokens_[at + 1].Is(',') && !tokens_[at + 1].Is(';'))
                    break;
                constants_.AddType(tokens_[at].text, shape);
                if (tokens_[at + 1].Is(';'))
                    break;
            }
        }
    }

    // The `static const` variables of known values, in the order declared.
    void Statics()
    {
        for (const HlslSource::Declaration& d : source_.declarations) {
            bool isStatic = false, isConst = false;
            for (size_t k = TokenAt(d.begin); k < TokenAt(d.type); ++k) {
                isStatic = isStatic || tokens_[k].Is("static");
                isConst = isConst || tokens_[k].Is("const");
            }
            const size_t type = TokenAt(d.type);
            ValueShape shape;
            if (!isStatic || !isConst || type + 1 != TokenAt(source_.variables[d.first].begin) ||
                !constants_.Shape(tokens_[type].text, shape))
                continue;
            for (size_t i = d.first; i < d.first + d.count; ++i)
                Static(source_.variables[i], shape);
        }
    }

    void Static(const HlslSource::Definition& v, ValueShape shape)
    {
        const size_t name = TokenAt(v.begin), value = Initializer(v);
        if (value == kNone)
            return;
        // One size at most, a number or unstated.
        const size_t after = name + 1;
        if (after + 2 < tokens_.size() && tokens_[after].Is('[')) {
            if (tokens_[after + 1].Is(']'))
                shape.arraySize = kUnsizedArray;
            else if (tokens_[after + 1].kind == TokenKind::Number && tokens_[after + 2].Is(']'))
                shape.arraySize = uint32_t(std::strtoul(std::string(tokens_[after + 1].text).c_str(), nullptr, 10));
            if (shape.arraySize == 0 || (shape.arraySize > kMaxExpressionArraySize && shape.arraySize != kUnsizedArray))
                return;
        }
        TokenListReader reader(
            std::vector<Token>(tokens_.begin() + long(value), tokens_.begin() + long(TokenAt(v.end))));
        Expression program;
        ExpressionError error;
        ExpressionValue folded;
        if (CompileInitializer(reader, constants_, budget_, shape, program, error) &&
            reader.Peek().kind == TokenKind::End && !program.NamesParameters() &&
            FoldExpression(program, budget_, folded, error, tokens_[value]))
            constants_.AddConstant(tokens_[name].text, std::move(folded));
    }

    // The outermost parts, each in place of its text, shorter names for
    // shorter texts.
    std::string Write(std::vector<ConstantOperation>& parts)
    {
        std::sort(parts.begin(), parts.end(), [](const ConstantOperation& a, const ConstantOperation& b) {
            return a.first != b.first ? a.first < b.first : a.end > b.end;
        });
        std::vector<const ConstantOperation*> kept;
        for (const ConstantOperation& part : parts)
            if (kept.empty() || part.first >= kept.back()->end)
                kept.push_back(&part);
        if (kept.empty())
            return {};
        const auto length = [&](const ConstantOperation* part) {
            const Token& last = tokens_[part->end - 1];
            return last.offset + last.text.size() - tokens_[part->first].offset;
        };
        std::stable_sort(kept.begin(), kept.end(),
                         [&](const ConstantOperation* a, const ConstantOperation* b) { return length(a) < length(b); });
        std::unordered_set<std::string> taken;
        for (const Token& t : tokens_)
            if (t.kind == TokenKind::Identifier)
                taken.emplace(t.text);
        std::string declarations;
        uint64_t next = 0;
        for (const ConstantOperation* part : kept) {
            std::string name;
            do
                name = NameOf(next++);
            while (taken.count(name));
            const Token& first = tokens_[part->first];
            const size_t at = first.offset;
            if (name.size() > length(part)) {
                Refuse(first.line, first.column, 3000, "too many operations of constants for the shader compiler");
                return {};
            }
            for (size_t k = at; k < at + length(part); ++k)
                if (source_.text[k] != '\n')
                    source_.text[k] = k - at < name.size() ? name[k - at] : ' ';
            declarations += "static const " + ShapeName(part->value.shape) + " " + name + " = " +
                            HlslValueText(part->value) + ";";
        }
        return declarations;
    }

    HlslSource& source_;
    std::vector<Token> tokens_;
    TextConstants constants_;
    ExpressionBudget budget_;
    ConstantOperations finder_;
};

} // namespace

std::string RewriteConstantParts(HlslSource& source)
{
    return PartsReader(source).Run();
}

} // namespace gfx
