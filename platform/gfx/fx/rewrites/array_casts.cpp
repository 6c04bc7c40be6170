#include "platform/gfx/fx/rewrites/array_casts.h"

#include <algorithm>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/gfx/fx/expression/effect_expression.h"
#include "platform/gfx/fx/rewrites/text_insertions.h"
#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/window/close_check.h"

namespace gfx {
namespace {

// Arrays of at most this many components are taken apart; a larger cast is
// left for the shader compiler to refuse.
constexpr uint32_t kMaxCastComponents = 64;

// Whether tokens (open, close) name a type, as a cast's do: `float4`, `int[4]`.
bool NamesType(const std::vector<Token>& tokens, size_t open, size_t close)
{
    ValueShape shape;
    if (close <= open + 1 || tokens[open + 1].kind != TokenKind::Identifier || !BuiltInShape(tokens[open + 1].text, shape))
        return false;
    return close == open + 2 || (close == open + 5 && tokens[open + 2].Is('[') && tokens[open + 4].Is(']'));
}

// One past the last token of the unary expression that starts at each
// token, found once for each: a chain of casts `(int[2])(float[2])v` shares
// one end, so that casts nested deep cost their length, not its square.
class OperandEnds {
public:
    explicit OperandEnds(const std::vector<Token>& tokens)
        : tokens_(tokens), matches_(BracketMatches(tokens)), ends_(tokens.size(), kUnknown)
    {
    }

    size_t At(size_t i)
    {
        const size_t n = tokens_.size();
        std::vector<size_t> chain;
        size_t end = n;
        for (;; platform::CountSteps(1)) {
            if (i < n && ends_[i] != kUnknown) {
                end = ends_[i];
                break;
            }
            if (i < n)
                chain.push_back(i);
            while (i < n && (tokens_[i].Is('-') || tokens_[i].Is('+') || tokens_[i].Is('!') || tokens_[i].Is('~')))
                ++i;
            if (i >= n)
                break;
            if (tokens_[i].Is('(')) {
                const size_t open = i;
                const size_t close = matches_[open];
                if (close >= n)
                    break;
                i = close + 1;
                if (NamesType(tokens_, open, close))
                    continue; // a cast: a unary expression follows it
            } else if (tokens_[i].kind == TokenKind::Identifier || tokens_[i].kind == TokenKind::Number) {
                ++i;
            } else {
                end = i;
                break;
            }
            end = Postfix(i);
            break;
        }
        for (size_t k : chain)
            ends_[k] = end;
        return end;
    }

private:
    static constexpr size_t kUnknown = ~size_t{0};

    size_t Postfix(size_t i) const
    {
        const size_t n = tokens_.size();
        for (;; platform::CountSteps(1)) {
            if (i + 1 < n && tokens_[i].Is('.') && tokens_[i + 1].kind == TokenKind::Identifier) {
                i += 2;
            } else if (i < n && (tokens_[i].Is('[') || tokens_[i].Is('('))) {
                if (matches_[i] >= n)
                    return n;
                i = matches_[i] + 1;
            } else {
                return i;
            }
        }
    }

    const std::vector<Token>& tokens_;
    std::vector<size_t> matches_;
    std::vector<size_t> ends_;
};

const char* const kBases[] = {"float", "int", "uint", "bool"};

// A parameter `x` of a type with as many components as the array, and the
// expressions of its components in order.
struct Source {
    std::string type;       // as a parameter: "float4 x", "float x[4]"
    std::vector<std::string> components;
};

void AddSources(uint32_t count, std::vector<Source>& out)
{
    for (const char* base : kBases) {
        const std::string b = base;
        out.push_back({b + " x", std::vector<std::string>(count, "x")}); // one value for all
        if (count >= 2 && count <= 4) {
            Source s{b + std::to_string(count) + " x", {}};
            for (uint32_t k = 0; k < count; ++k)
                s.components.push_back("x[" + std::to_string(k) + "]");
            out.push_back(std::move(s));
        }
        for (uint32_t rows = 1; rows <= 4; ++rows)
            for (uint32_t columns = 1; columns <= 4; ++columns) {
                if (rows * columns != count || (rows == 1 && columns == 1))
                    continue;
                Source s{b + std::to_string(rows) + "x" + std::to_string(columns) + " x", {}};
                for (uint32_t r = 0; r < rows; ++r)
                    for (uint32_t c = 0; c < columns; ++c)
                        s.components.push_back("x[" + std::to_string(r) + "][" + std::to_string(c) + "]");
                out.push_back(std::move(s));
            }
        for (uint32_t size = 1; size <= 4; ++size) {
            if (count % size != 0)
                continue;
            const uint32_t elements = count / size;
            Source s{b + (size > 1 ? std::to_string(size) : "") + " x[" + std::to_string(elements) + "]", {}};
            for (uint32_t e = 0; e < elements; ++e)
                for (uint32_t k = 0; k < size; ++k)
                    s.components.push_back("x[" + std::to_string(e) + "]" + (size > 1 ? "[" + std::to_string(k) + "]" : ""));
            out.push_back(std::move(s));
        }
    }
}

// The helpers of one cast to `element[size]`, named `name`.
std::string Helpers(std::string_view element, const ValueShape& shape, uint32_t size, const std::string& name)
{
    const std::string array = "zA" + name.substr(1);
    std::string out = "typedef " + std::string(element) + " " + array + "[" + std::to_string(size) + "]; ";
    std::vector<Source> sources;
    const uint32_t per = shape.ElementComponents();
    AddSources(per * size, sources);
    const std::string scalar = shape.base == ValueBase::Float  ? "float"
                               : shape.base == ValueBase::Int  ? "int"
                               : shape.base == ValueBase::Uint ? "uint"
                                                               : "bool";
    for (const Source& s : sources) {
        out += array + " " + name + "(" + s.type + ") { " + array + " r = {";
        for (uint32_t e = 0; e < size; ++e) {
            out += e ? ", " : "";
            if (per == 1) {
                out += "(" + scalar + ")" + s.components[e];
                continue;
            }
            out += std::string(element) + "(";
            for (uint32_t k = 0; k < per; ++k)
                out += (k ? ", " : "") + s.components[e * per + k];
            out += ")";
        }
        out += "}; return r; } ";
    }
    return out;
}

} // namespace

std::string RewriteArrayCasts(std::string& text)
{
    if (text.find('[') == std::string::npos)
        return {};
    TokenProblem problem;
    const std::vector<Token> tokens = Tokenize(text, &problem);
    struct Cast {
        size_t open, close, end; // the cast's '(' and ')', one past its operand's last token
        std::string_view element;
        uint32_t size;
    };
    std::vector<Cast> casts;
    OperandEnds operandEnds(tokens);
    for (size_t i = 0; i + 5 < tokens.size(); ++i) {
        if (!tokens[i].Is('(') || tokens[i + 1].kind != TokenKind::Identifier || !tokens[i + 2].Is('[') ||
            tokens[i + 3].kind != TokenKind::Number || !tokens[i + 4].Is(']') || !tokens[i + 5].Is(')') ||
            tokens[i + 5].line != tokens[i].line) // its helper's name would take a line break's place
            continue;
        ValueShape shape;
        const std::string_view digits = tokens[i + 3].text;
        if (!BuiltInShape(tokens[i + 1].text, shape) || digits.size() > 2 ||
            digits.find_first_not_of("0123456789") != std::string_view::npos)
            continue;
        const uint32_t size = static_cast<uint32_t>(std::stoul(std::string(digits)));
        const size_t end = operandEnds.At(i + 6);
        if (size == 0 || size * shape.ElementComponents() > kMaxCastComponents || end == i + 6 || end > tokens.size())
            continue;
        casts.push_back({i, i + 5, end, tokens[i + 1].text, size});
    }
    std::string prelude;
    std::set<std::string> made;
    struct Head {
        size_t from, to; // the cast's own text
        std::string becomes;
    };
    std::vector<Head> heads;
    std::vector<size_t> tails;                          // where a ')' closes a call, after its operand
    std::vector<TextInsertion> lateTails;               // the same, after an operand on later lines
    for (size_t k = casts.size(); k-- > 0;) {
        const Cast& c = casts[k];
        const std::string name = "z" + std::string(c.element) + "_" + std::to_string(c.size);
        const size_t from = tokens[c.open].offset;
        const size_t castEnd = tokens[c.close].offset + 1;
        if (castEnd - from < name.size() + 2)
            continue; // cannot be: the cast's own text is longer than the name
        const size_t operandEnd = tokens[c.end - 1].offset + tokens[c.end - 1].text.size();
        // An operand on its line moves one place left for the ')'; one that
        // runs onto later lines stays, and its ')' takes a blank after it.
        const bool oneLine = tokens[c.end - 1].line == tokens[c.close].line;
        const size_t blanks = castEnd - from - name.size() - (oneLine ? 2 : 1);
        heads.push_back({from, castEnd, name + std::string(blanks, ' ') + "("});
        if (oneLine)
            tails.push_back(operandEnd);
        else
            lateTails.push_back({operandEnd, ")"});
        if (made.insert(name).second) {
            ValueShape shape;
            BuiltInShape(c.element, shape);
            prelude += Helpers(c.element, shape, c.size, name);
        }
    }
    if (heads.empty())
        return prelude;
    // One pass over the text: a cast's own text becomes its helper's name and
    // '(', its operand moves one place left and a ')' follows it, so every
    // cast keeps its length however deep the casts nest.
    std::reverse(heads.begin(), heads.end());
    std::sort(tails.begin(), tails.end());
    std::string out;
    out.reserve(text.size());
    size_t head = 0;
    size_t tail = 0;
    for (size_t at = 0;;) {
        for (; tail < tails.size() && tails[tail] <= at; ++tail)
            out.push_back(')');
        if (at >= text.size())
            break;
        if (head < heads.size() && heads[head].from == at) {
            out += heads[head].becomes;
            at = heads[head].to;
            ++head;
            continue;
        }
        out.push_back(text[at++]);
    }
    platform::CountSteps(text.size());
    text = std::move(out);
    InsertKeepingColumns(text, std::move(lateTails));
    return prelude;
}

} // namespace gfx
