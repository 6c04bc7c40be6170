#include "platform/gfx/fx/hlsl/source.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>
#include <unordered_set>

#include "platform/gfx/fx/syntax/effect_tokens.h"
#include "platform/gfx/fx/hlsl/constant_parts.h"
#include "platform/gfx/fx/rewrites/array_casts.h"
#include "platform/gfx/fx/rewrites/constructor_targets.h"
#include "platform/gfx/fx/rewrites/one_component_targets.h"
#include "platform/gfx/fx/rewrites/vector_arguments.h"
#include "platform/gfx/fx/rewrites/flat_lists.h"
#include "platform/gfx/fx/rewrites/intrinsic_overloads.h"
#include "platform/gfx/fx/rewrites/literal_swizzles.h"
#include "platform/gfx/fx/rewrites/matrix_swizzles.h"
#include "platform/gfx/fx/rewrites/one_dimensional_lookups.h"
#include "platform/gfx/fx/syntax/function_head.h"
#include "platform/window/close_check.h"

namespace gfx {

namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// Types of the effect's own (shader variables among them) that no shader reads.
bool IsTextureOrString(std::string_view type)
{
    static const std::set<std::string, std::less<>> kTypes = {"texture",     "texture1d", "texture2d",
                                                              "texture3d",   "texturecube", "string",
                                                              "vertexshader", "pixelshader"};
    return kTypes.count(Lower(type)) > 0;
}

bool IsSampler(std::string_view type)
{
    static const std::set<std::string, std::less<>> kTypes = {"sampler", "sampler1d", "sampler2d", "sampler3d",
                                                              "samplercube"};
    return kTypes.count(Lower(type)) > 0;
}

// What may stand before a global declaration's type, a variable's or a function's.
bool IsModifier(std::string_view word)
{
    return IsHlslModifier(word, kModifiesGlobal | kModifiesFunction);
}

// `technique` in any letter case, and the later effect formats' own.
bool IsTechnique(const Token& t)
{
    if (t.kind != TokenKind::Identifier)
        return false;
    const std::string word = Lower(t.text);
    return word == "technique" || word == "technique10" || word == "technique11";
}

// Blanks [from, to) of text, line ends kept.
void BlankRange(std::string& text, size_t from, size_t to)
{
    for (size_t k = from; k < to && k < text.size(); ++k)
        if (text[k] != '\n')
            text[k] = ' ';
}

constexpr size_t kNoToken = ~size_t{0};

// Lines left out together above which a `#line` marker stands for them.
constexpr int kMostBlankLines = 8;

class Blanker {
public:
    // Every bracket's match found once: text of many nested brackets is
    // looked through again and again otherwise.
    Blanker(std::string_view text, const std::vector<std::string>& assigned, HlslSource& out)
        : text_(text), tokens_(Tokenize(text, &problem_)), matches_(BracketMatches(tokens_)), out_(out)
    {
        for (const std::string& name : assigned)
            assigned_.Add(name);
    }

    // False when a close signal stopped it.
    bool Run()
    {
        if (problem_.closing)
            return false;
        out_.text.assign(text_);
        SpellSamplerTypes();
        while (pos_ < tokens_.size()) {
            if (!Step())
                return false;
            const Token& t = tokens_[pos_];
            if (t.kind == TokenKind::Directive) {
                Blank(t.offset, t.offset + t.text.size());
                ++pos_;
            } else if (t.Is(';')) {
                ++pos_;
            } else if (IsTechnique(t)) {
                // Its body's '{' comes after the annotations, which may hold
                // braces and '>' of their own: they end at a '>' after ';'.
                size_t open = pos_ + 1;
                if (open < tokens_.size() && tokens_[open].kind == TokenKind::Identifier)
                    ++open;
                if (open < tokens_.size() && tokens_[open].Is('<')) {
                    for (++open; open < tokens_.size() && !(tokens_[open].Is('>') &&
                                                            (tokens_[open - 1].Is(';') || tokens_[open - 1].Is('<')));
                         ++open)
                        if (tokens_[open].Is('{') || tokens_[open].Is('('))
                            open = std::min(Match(open), tokens_.size() - 1);
                }
                while (open < tokens_.size() && !tokens_[open].Is('{'))
                    ++open;
                const size_t close = std::min(Match(open), tokens_.size() - 1);
                BlankTokens(pos_, close);
                pos_ = close + 1;
            } else if (t.Is("struct")) {
                const size_t first = pos_;
                if (pos_ + 1 < tokens_.size() && tokens_[pos_ + 1].kind == TokenKind::Identifier)
                    structNames_.Add(tokens_[pos_ + 1].text);
                SkipTo('{');
                pos_ = Match(pos_) + 1;
                // Variables declared with the struct are kept with it.
                while (pos_ < tokens_.size() && !tokens_[pos_].Is(';'))
                    pos_ = (tokens_[pos_].Is('{') || tokens_[pos_].Is('(') ? Match(pos_) : pos_) + 1;
                if (pos_ < tokens_.size() && tokens_[pos_].Is(';'))
                    ++pos_;
                StructNames(first, pos_);
            } else if (t.Is("cbuffer")) {
                // Its members are the effect's parameters like any other:
                // the block around them goes.
                size_t open = pos_;
                while (open < tokens_.size() && !tokens_[open].Is('{'))
                    ++open;
                if (open < tokens_.size()) {
                    BlankTokens(pos_, open);
                    const size_t close = Match(open);
                    if (close < tokens_.size()) {
                        BlankTokens(close, close);
                        closers_.insert(std::upper_bound(closers_.begin(), closers_.end(), close), close);
                    }
                }
                pos_ = open + 1;
            } else if (t.Is('}') && ClosesCbuffer(pos_)) {
                ++pos_;
            } else if (t.Is("typedef")) {
                const size_t first = pos_;
                // A parameter declared with it is set by the program all the same.
                if (pos_ + 1 < tokens_.size() && tokens_[pos_ + 1].Is("const"))
                    BlankTokens(pos_ + 1, pos_ + 1);
                // Names of a struct are structs too.
                size_t type = pos_ + 1;
                while (type < tokens_.size() && tokens_[type].Is("const"))
                    ++type;
                const bool ofStruct = type < tokens_.size() && structNames_.Contains(tokens_[type].text);
                SkipTo(';');
                for (size_t k = type + 1; ofStruct && k < pos_; ++k)
                    if (tokens_[k].kind == TokenKind::Identifier)
                        structNames_.Add(tokens_[k].text);
                ++pos_;
                Names(first, pos_, out_.alwaysNamed);
            } else {
                Declaration();
            }
        }
        if (closing_)
            return false;
        DropTextureArguments();
        return true;
    }

private:
    // The effect's sampler types are taken in any letter case: the shader
    // compiler reads them as HLSL spells them, and one of one dimension as
    // one of two (rewrites/one_dimensional_lookups.h). A type is followed by
    // a name, which a variable of such a name is not.
    void SpellSamplerTypes()
    {
        static constexpr std::string_view kSpelled[] = {"sampler", "sampler2D", "sampler2D", "sampler3D",
                                                        "samplerCUBE"};
        static constexpr std::string_view kRead[] = {"sampler", "sampler1d", "sampler2d", "sampler3d",
                                                     "samplercube"};
        for (size_t i = 0; i + 1 < tokens_.size(); ++i) {
            // A type: a name follows it.
            const Token& t = tokens_[i];
            if (t.kind != TokenKind::Identifier || tokens_[i + 1].kind != TokenKind::Identifier ||
                t.text.size() < 7 || !IsSampler(t.text))
                continue;
            for (size_t k = 0; k < std::size(kRead); ++k)
                if (kRead[k].size() == t.text.size() && kRead[k] == Lower(t.text))
                    out_.text.replace(t.offset, kSpelled[k].size(), kSpelled[k]);
        }
    }

    // One step of work; false once the program is closing.
    bool Step()
    {
        if (platform::ClosingAfter())
            closing_ = true;
        return !closing_;
    }
    void Blank(size_t from, size_t to) { BlankRange(out_.text, from, to); }
    void BlankTokens(size_t first, size_t last)
    {
        if (first > last || last >= tokens_.size())
            return;
        Blank(tokens_[first].offset, tokens_[last].offset + tokens_[last].text.size());
    }
    void SkipTo(char symbol)
    {
        while (pos_ < tokens_.size() && !tokens_[pos_].Is(symbol))
            ++pos_;
    }
    bool At(char symbol) const { return pos_ < tokens_.size() && tokens_[pos_].Is(symbol); }
    // The token that closes the bracket opened at `open`, as MatchingBracket finds it.
    size_t Match(size_t open) const
    {
        if (open >= tokens_.size())
            return tokens_.size();
        const Token& t = tokens_[open];
        return t.Is('(') || t.Is('[') || t.Is('{') ? matches_[open] : MatchingBracket(tokens_, open);
    }

    void Declaration()
    {
        const size_t start = pos_;
        while (pos_ < tokens_.size() && tokens_[pos_].kind == TokenKind::Identifier && IsModifier(tokens_[pos_].text) &&
               Step())
            ++pos_;
        if (pos_ >= tokens_.size() || closing_)
            return;
        const size_t typeStart = pos_;
        const std::string_view type = tokens_[pos_].text;
        ++pos_;
        if ((type == "vector" || type == "matrix") && At('<')) {
            SkipTo('>');
            ++pos_;
        }
        if (pos_ + 1 < tokens_.size() && tokens_[pos_ + 1].Is('(')) {
            Function(start);
            return;
        }
        const bool isStatic = IsStatic(start, typeStart);
        // A global that is not static is a parameter the program sets,
        // whatever else it is declared: `const` only keeps the shaders from
        // writing it. Left in, the shader compiler would make it a constant
        // of its initializer (or zero) instead of a uniform.
        if (!isStatic)
            BlankConst(start, typeStart);
        const bool drop = IsTextureOrString(type);
        const bool sampler = IsSampler(type);
        // A struct parameter's values come from the program, its initializer
        // read by the effect's reader: the shader compiler need not read it.
        const bool structParameter = !isStatic && structNames_.Contains(type);
        HlslSource::Declaration declaration;
        declaration.begin = tokens_[start].offset;
        declaration.type = tokens_[typeStart].offset;
        declaration.first = out_.variables.size();
        // A size in the type names a constant too; the modifiers name nothing.
        declaration.typeNamesBegin = out_.named.size();
        if (!drop)
            Names(typeStart, pos_, out_.named);
        declaration.typeNamesEnd = out_.named.size();
        bool assignedHere = false;
        while (pos_ < tokens_.size() && Step()) {
            const size_t name = pos_;
            ++pos_; // the name
            while (At('[')) // its sizes, of an array of arrays too
                pos_ = Match(pos_) + 1;
            const size_t extrasFrom = pos_;
            size_t extrasTo = pos_; // one past the last token to blank
            while (At(':') || At('<')) {
                if (At('<')) {
                    SkipTo('>');
                    ++pos_;
                } else {
                    pos_ += 2; // ':' and a semantic or register/packoffset
                    if (At('('))
                        pos_ = Match(pos_) + 1;
                }
                extrasTo = pos_;
            }
            if (sampler && At('{')) {
                pos_ = Match(pos_) + 1; // states written without `= sampler_state`
                extrasTo = pos_;
            }
            const size_t equals = At('=') ? pos_ : kNoToken;
            if (At('=')) {
                ++pos_;
                while (pos_ < tokens_.size() && !At(',') && !At(';')) {
                    if (At('(') || At('{') || At('['))
                        pos_ = Match(pos_);
                    ++pos_;
                }
                if (sampler || structParameter)
                    extrasTo = pos_; // sampler_state blocks are the effect's own
            }
            if (extrasTo > extrasFrom)
                BlankTokens(extrasFrom, extrasTo - 1);
            if (!drop) {
                HlslSource::Definition variable = Named(name, name, pos_);
                variable.declaration = out_.declarations.size();
                variable.nameEnd = tokens_[extrasFrom - 1].offset + tokens_[extrasFrom - 1].text.size();
                if (isStatic && equals != kNoToken && assigned_.Contains(tokens_[name].text)) {
                    variable.assigned = tokens_[equals].offset;
                    assignedHere = true;
                }
                if (At(','))
                    variable.comma = tokens_[pos_].offset;
                out_.variables.push_back(variable);
            }
            if (!At(','))
                break;
            ++pos_;
        }
        if (drop)
            BlankTokens(start, std::min(pos_, tokens_.size() - 1));
        // A static given its value at the entry point is written there.
        if (assignedHere)
            BlankConst(start, typeStart);
        if (At(';')) {
            declaration.end = tokens_[pos_].offset + 1;
            ++pos_;
        }
        declaration.count = out_.variables.size() - declaration.first;
        // One not closed (never so in text the effect reader took) is kept whole.
        if (declaration.count > 0 && (declaration.end == 0 || closing_)) {
            out_.variables.resize(declaration.first);
            out_.named.resize(declaration.typeNamesBegin);
        } else if (declaration.count > 0) {
            out_.declarations.push_back(declaration);
        }
    }

    bool IsStatic(size_t first, size_t last) const
    {
        for (size_t k = first; k < last; ++k)
            if (tokens_[k].Is("static"))
                return true;
        return false;
    }

    // Blanks the `const` among tokens [first, last).
    void BlankConst(size_t first, size_t last)
    {
        for (size_t k = first; k < last; ++k)
            if (tokens_[k].Is("const"))
                BlankTokens(k, k);
    }

    // The identifiers of tokens [first, last) that may name a declaration,
    // numbered, onto `ids`.
    void Names(size_t first, size_t last, std::vector<HlslSource::Id>& ids)
    {
        for (size_t k = first; k < last && k < tokens_.size() && Step(); ++k)
            if (MayNameDeclaration(tokens_, k))
                ids.push_back(out_.Number(tokens_[k].text));
    }

    // What the struct of tokens [first, last) names, into alwaysNamed: its
    // members' types and sizes and what its methods and the variables
    // declared with it name, not the members' own names or semantics (a name
    // followed by ';', ',', ':' or '[' in the braces of its members).
    void StructNames(size_t first, size_t last)
    {
        int depth = 0;
        for (size_t k = first; k < last && k < tokens_.size() && Step(); ++k) {
            const Token& t = tokens_[k];
            if (t.Is('{') || t.Is('(') || t.Is('['))
                ++depth;
            else if (t.Is('}') || t.Is(')') || t.Is(']'))
                --depth;
            if (!MayNameDeclaration(tokens_, k))
                continue;
            const bool member = depth == 1 && k + 1 < last &&
                                (tokens_[k + 1].Is(';') || tokens_[k + 1].Is(',') || tokens_[k + 1].Is(':') ||
                                 tokens_[k + 1].Is('['));
            if (!member)
                out_.alwaysNamed.push_back(out_.Number(t.text));
        }
    }

    // The definition of the name at token `name` that spans tokens [first, last).
    HlslSource::Definition Named(size_t name, size_t first, size_t last)
    {
        HlslSource::Definition d;
        d.name = out_.Number(tokens_[name].text);
        d.begin = tokens_[first].offset;
        d.end = last > first ? tokens_[last - 1].offset + tokens_[last - 1].text.size() : d.begin;
        d.namesBegin = out_.named.size();
        Names(first, last, out_.named);
        d.namesEnd = out_.named.size();
        return d;
    }

    void Function(size_t start)
    {
        const size_t name = pos_++;
        FunctionHead head;
        std::vector<bool> kept;
        const bool read = ReadFunctionHead(tokens_, start, head, &matches_) && head.name == name;
        if (read)
            TextureParameters(head, kept);
        pos_ = Match(pos_) + 1;
        while (At(':'))
            pos_ += 2;
        const bool body = At('{');
        if (At('{'))
            pos_ = Match(pos_) + 1;
        else if (At(';'))
            ++pos_;
        out_.functions.push_back(Named(name, start, std::min(pos_, tokens_.size())));
        out_.functions.back().body = body;
        out_.vectorOverloads.push_back(read && body ? VectorOverload(out_.text, tokens_, head, kept) : std::string());
    }

    // The parameters of texture type of the function of `head` leave the
    // shader's text, as the textures do, and so do the arguments given for
    // them; `kept` says which stay, empty where all do.
    void TextureParameters(const FunctionHead& head, std::vector<bool>& kept)
    {
        const size_t name = head.name;
        std::vector<size_t> starts, commas;
        kept.clear();
        bool any = false;
        for (const FunctionParameter& p : head.parameters) {
            if (!starts.empty())
                commas.push_back(p.first - 1);
            starts.push_back(p.first);
            const bool texture = p.typeBegin < p.last && tokens_[p.typeBegin].kind == TokenKind::Identifier &&
                                 IsTextureOrString(tokens_[p.typeBegin].text);
            kept.push_back(!texture);
            any = any || texture;
        }
        if (!any) {
            kept.clear();
            return;
        }
        DropArguments(starts, commas, head.close, kept);
        // Every overload, found by its name and number of parameters (the
        // first of each such pair).
        textureCallIndex_.Add(tokens_[name].text);
        textureDefinitions_.insert(name);
        overloads_.emplace(std::make_pair(tokens_[name].text, kept.size()), textureCalls_.size());
        textureCalls_.push_back(kept);
    }

    // The arguments of the list that opens at `open`: where each starts, the
    // commas between them; returns the index of its ')'.
    size_t Split(size_t open, std::vector<size_t>& starts, std::vector<size_t>& commas) const
    {
        const size_t close = std::min(Match(open), tokens_.size());
        if (open + 1 < close)
            starts.push_back(open + 1);
        for (size_t i = open + 1; i < close; ++i) {
            if (tokens_[i].Is('(') || tokens_[i].Is('[') || tokens_[i].Is('{')) {
                i = Match(i);
            } else if (tokens_[i].Is(',')) {
                commas.push_back(i);
                starts.push_back(i + 1);
            }
        }
        return close;
    }

    // Blanks the arguments `kept` leaves out, and the commas that would be
    // left without an argument kept on both sides.
    void DropArguments(const std::vector<size_t>& starts, const std::vector<size_t>& commas, size_t close,
                       const std::vector<bool>& kept)
    {
        bool keptBefore = false;
        for (size_t k = 0; k < starts.size(); ++k) {
            const size_t end = k + 1 < starts.size() ? commas[k] : close;
            if (!kept[k] && end > starts[k])
                BlankTokens(starts[k], end - 1);
            keptBefore = keptBefore || kept[k];
            if (k + 1 < starts.size() && !(kept[k + 1] && keptBefore))
                BlankTokens(commas[k], commas[k]);
        }
    }

public:
    // Every call of a function that lost texture parameters loses the
    // arguments given for them.
    void DropTextureArguments()
    {
        if (textureCalls_.empty())
            return;
        for (size_t i = 0; i + 1 < tokens_.size(); ++i) {
            if (tokens_[i].kind != TokenKind::Identifier || !tokens_[i + 1].Is('('))
                continue;
            if (!textureCallIndex_.Contains(tokens_[i].text) || textureDefinitions_.count(i))
                continue;
            std::vector<size_t> starts, commas;
            const size_t close = Split(i + 1, starts, commas);
            const auto overload = overloads_.find(std::make_pair(tokens_[i].text, starts.size()));
            if (overload != overloads_.end())
                DropArguments(starts, commas, close, textureCalls_[overload->second]);
        }
    }

private:
    // What each function that lost texture parameters keeps of its arguments.
    std::vector<std::vector<bool>> textureCalls_;
    NameTable textureCallIndex_;                   // their names
    std::unordered_set<size_t> textureDefinitions_; // the tokens of their names where they are defined
    std::map<std::pair<std::string_view, size_t>, size_t> overloads_; // by name and parameters
    NameTable structNames_; // structs, and typedefs of them
    NameTable assigned_;    // the statics given their values at the entry point
    std::vector<size_t> closers_; // the '}' of cbuffer blocks, blanked already, in the text's order
    size_t closersPassed_ = 0;
    // Whether the '}' at `at` closes a cbuffer block: the reading meets them
    // in the order they were found.
    bool ClosesCbuffer(size_t at)
    {
        while (closersPassed_ < closers_.size() && closers_[closersPassed_] < at) {
            platform::CountSteps(1);
            ++closersPassed_;
        }
        return closersPassed_ < closers_.size() && closers_[closersPassed_] == at;
    }

    std::string_view text_;
    TokenProblem problem_;
    std::vector<Token> tokens_;
    std::vector<size_t> matches_; // by token: the one that closes its bracket, or tokens_.size()
    HlslSource& out_;
    size_t pos_ = 0;
    bool closing_ = false;
};

} // namespace

HlslSource::Id HlslSource::Number(std::string_view name)
{
    const Id id = ids_.Find(name);
    if (id != kNoId)
        return id;
    names_.emplace_back(name);
    bool added = false;
    return ids_.Insert(names_.back(), static_cast<Id>(names_.size() - 1), added);
}

const HlslSource::Definition* HlslSource::VariableNamed(Id id) const
{
    return id < firstVariable_.size() && firstVariable_[id] < variables.size() ? &variables[firstVariable_[id]]
                                                                                : nullptr;
}

HlslSource::Origin HlslSource::Locate(int line) const
{
    if (lines.empty())
        return {};
    const size_t index = line < 1 ? 0 : std::min(static_cast<size_t>(line - 1), lines.size() - 1);
    return lines[index];
}

std::string_view HlslSource::LineText(int line) const
{
    if (line < 1 || static_cast<size_t>(line) > lineStarts_.size())
        return {};
    const std::string_view all = text;
    const size_t begin = lineStarts_[static_cast<size_t>(line - 1)];
    return all.substr(begin, std::min(all.find('\n', begin), all.size()) - begin);
}

int HlslSource::LineOf(size_t offset) const
{
    return static_cast<int>(std::upper_bound(lineStarts_.begin(), lineStarts_.end(), offset) - lineStarts_.begin());
}

namespace {

// The chains of definitions of each name: first[id] is the first of that
// name (or definitions.size()), next[i] the one after definition i.
void ChainByName(const std::vector<HlslSource::Definition>& definitions, size_t ids, std::vector<size_t>& first,
                 std::vector<size_t>& next)
{
    first.assign(ids, definitions.size());
    next.assign(definitions.size(), definitions.size());
    for (size_t i = definitions.size(); i-- > 0;) {
        next[i] = first[definitions[i].name];
        first[definitions[i].name] = i;
    }
}

} // namespace

HlslSource ExtractHlsl(std::string_view preprocessed, const std::string& fileName,
                       const std::vector<std::string>& assigned)
{
    HlslSource out;
    out.files.push_back(fileName);
    // Flat lists and constructor targets first: they may push on what
    // follows them on their lines, and every place is taken from the text as
    // rewritten.
    std::string rewritten(preprocessed);
    RewriteFlatLists(rewritten);
    const std::string targetHelpers = RewriteConstructorTargets(rewritten);
    RewriteOneComponentTargets(rewritten);
    RewriteLiteralSwizzles(rewritten);
    const std::string lookupHelpers = RewriteOneDimensionalLookups(rewritten);
    RewriteExponents(rewritten);
    out.redeclaredLoopVariables = RewriteLoopVariables(rewritten);
    // Last: the places it lists are those of the text as the shaders read it.
    out.swizzleWrites = RewriteMatrixSwizzleWrites(rewritten);
    preprocessed = rewritten;
    // Origins, from the markers `#line N "file"` that start lines.
    HlslSource::Origin current{0, 1};
    NameTable fileIndex; // views of preprocessed and fileName
    bool added = false;
    fileIndex.Insert(fileName, 0, added);
    size_t begin = 0;
    while (begin <= preprocessed.size()) {
        if (platform::ClosingAfter()) {
            out.stopped = true;
            return out;
        }
        size_t end = preprocessed.find('\n', begin);
        if (end == std::string_view::npos)
            end = preprocessed.size();
        const std::string_view line = preprocessed.substr(begin, end - begin);
        out.lines.push_back(current);
        out.lineStarts_.push_back(begin);
        ++current.line;
        if (line.substr(0, 6) == "#line ") {
            size_t k = 6;
            int number = 0;
            while (k < line.size() && std::isdigit(static_cast<unsigned char>(line[k])) && number < 100000000)
                number = number * 10 + (line[k++] - '0');
            current.line = number;
            const size_t quote = line.find('"', k);
            const size_t close = quote == std::string_view::npos ? quote : line.find('"', quote + 1);
            if (close != std::string_view::npos) {
                const std::string_view name = line.substr(quote + 1, close - quote - 1);
                current.file = fileIndex.Insert(name, static_cast<uint32_t>(out.files.size()), added);
                if (added)
                    out.files.emplace_back(name);
            }
        }
        if (end == preprocessed.size())
            break;
        begin = end + 1;
    }
    if (!Blanker(preprocessed, assigned, out).Run()) {
        out.stopped = true;
        return out;
    }
    std::vector<std::string_view> functionNames;
    for (const HlslSource::Definition& f : out.functions)
        functionNames.push_back(out.NameOf(f.name));
    const std::string constants = RewriteConstantParts(out);
    out.prelude = constants + RewriteArrayCasts(out.text) + targetHelpers + lookupHelpers +
                  IntrinsicOverloads(out.text, functionNames);
    out.assignedStatics_ = std::any_of(out.variables.begin(), out.variables.end(),
                                       [](const HlslSource::Definition& v) { return v.assigned != HlslSource::kNone; });
    ChainByName(out.functions, out.IdCount(), out.firstFunction_, out.nextFunction_);
    // An overload for vectors would change which of a function's own
    // overloads a call takes: only a function alone under its name has one.
    for (size_t i = 0; i < out.functions.size(); ++i) {
        const size_t first = out.firstFunction_[out.functions[i].name];
        if (first != i || out.nextFunction_[i] != out.functions.size())
            out.vectorOverloads[i].clear();
        out.hasVectorOverloads_ = out.hasVectorOverloads_ || !out.vectorOverloads[i].empty();
    }
    ChainByName(out.variables, out.IdCount(), out.firstVariable_, out.nextVariable_);
    // What lies outside the functions and declarations (structs, typedefs)
    // is in every shader's text: its pieces are found once, a line at a time.
    std::vector<std::pair<size_t, size_t>> defined;
    defined.reserve(out.functions.size() + out.declarations.size());
    for (const HlslSource::Definition& f : out.functions)
        defined.emplace_back(f.begin, f.end);
    for (const HlslSource::Declaration& d : out.declarations)
        defined.emplace_back(d.begin, d.end);
    std::sort(defined.begin(), defined.end());
    const std::string_view text = out.text;
    auto keep = [&](size_t from, size_t to) {
        while (from < to) {
            if (platform::ClosingAfter())
                return false;
            const size_t lineEnd = std::min(to, text.find('\n', from));
            const size_t first = text.find_first_not_of(" \t\r", from);
            if (first < lineEnd) {
                const size_t last = text.find_last_not_of(" \t\r", lineEnd - 1);
                out.alwaysKept_.emplace_back(first, last + 1);
            }
            from = lineEnd + 1;
        }
        return true;
    };
    size_t from = 0;
    for (const auto& [definedBegin, definedEnd] : defined) {
        if (!keep(from, std::max(from, definedBegin))) {
            out.stopped = true;
            return out;
        }
        from = std::max(from, definedEnd);
    }
    if (!keep(from, text.size()))
        out.stopped = true;
    return out;
}

HlslSource::Origin HlslSource::FunctionOrigin(std::string_view name) const
{
    const Id id = IdOf(name);
    for (size_t i = id == kNoId ? functions.size() : firstFunction_[id]; i < functions.size(); i = nextFunction_[i])
        if (functions[i].body)
            return Locate(LineOf(functions[i].begin));
    return Locate(1);
}

std::vector<HlslSource::Id> HlslSource::Reached(const std::vector<Id>& roots, Scratch& scratch) const
{
    // A mark is the round it was made in: nothing is cleared between calls.
    if (scratch.idRound.size() < IdCount())
        scratch.idRound.resize(IdCount(), 0);
    if (scratch.declarationRound.size() < declarations.size())
        scratch.declarationRound.resize(declarations.size(), 0);
    if (++scratch.round == 0) {
        std::fill(scratch.idRound.begin(), scratch.idRound.end(), 0);
        std::fill(scratch.declarationRound.begin(), scratch.declarationRound.end(), 0);
        scratch.round = 1;
    }
    const uint32_t round = scratch.round;
    std::vector<Id> reached;
    auto reach = [&](Id id) {
        if (id < IdCount() && scratch.idRound[id] != round) {
            scratch.idRound[id] = round;
            reached.push_back(id);
        }
    };
    for (Id id : roots)
        reach(id);
    for (Id id : alwaysNamed)
        reach(id);
    auto follow = [&](size_t namesBegin, size_t namesEnd) {
        platform::ClosingAfter(namesEnd - namesBegin);
        for (size_t k = namesBegin; k < namesEnd; ++k)
            reach(named[k]);
    };
    for (size_t next = 0; next < reached.size(); ++next) {
        const Id id = reached[next];
        for (size_t i = firstFunction_[id]; i < functions.size(); i = nextFunction_[i])
            follow(functions[i].namesBegin, functions[i].namesEnd);
        for (size_t i = firstVariable_[id]; i < variables.size(); i = nextVariable_[i]) {
            const Definition& variable = variables[i];
            follow(variable.namesBegin, variable.namesEnd);
            const Declaration& declaration = declarations[variable.declaration];
            if (scratch.declarationRound[variable.declaration] != round) {
                scratch.declarationRound[variable.declaration] = round;
                follow(declaration.typeNamesBegin, declaration.typeNamesEnd);
            }
        }
    }
    return reached;
}

std::string HlslSource::TextFor(const std::vector<Id>& reached, const Places* places, bool withOverloads) const
{
    // The pieces of text kept, in order: what is always kept, the functions
    // reached, and of each declaration with a variable reached its type, those
    // variables with a comma after each but the last, and its ';'.
    struct Piece {
        size_t begin;
        size_t end;
        size_t variable; // a variable's piece: which, for its place; else kNone
        size_t function = kNone; // a function's: which
    };
    std::vector<Piece> pieces;
    std::vector<size_t> kept; // variables
    for (Id id : reached) {
        if (platform::ClosingAfter())
            return {};
        for (size_t i = firstFunction_[id]; i < functions.size(); i = nextFunction_[i])
            pieces.push_back({functions[i].begin, functions[i].end, kNone, i});
        for (size_t i = firstVariable_[id]; i < variables.size(); i = nextVariable_[i])
            kept.push_back(i);
    }
    std::sort(kept.begin(), kept.end());
    for (size_t k = 0; k < kept.size(); ++k) {
        const Definition& v = variables[kept[k]];
        const Declaration& d = declarations[v.declaration];
        const bool first = k == 0 || variables[kept[k - 1]].declaration != v.declaration;
        const bool last = k + 1 == kept.size() || variables[kept[k + 1]].declaration != v.declaration;
        if (first)
            pieces.push_back({d.begin, variables[d.first].begin, kNone});
        // A value given at the entry point is left out here.
        pieces.push_back({v.begin, v.assigned != kNone ? v.assigned : v.end, kept[k]});
        if (!last && v.comma != kNone)
            pieces.push_back({v.comma, v.comma + 1, kNone});
        if (last)
            pieces.push_back({d.end - 1, d.end, kNone});
    }
    for (const auto& [begin, end] : alwaysKept_)
        pieces.push_back({begin, end, kNone});
    platform::ClosingAfter(pieces.size());
    std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) { return a.begin < b.begin; });
    std::string out;
    int line = 1;       // of the text, where `out` ends
    size_t at = 0;      // the offset of text that the end of `out` stands for, on that line
    for (const Piece& piece : pieces) {
        if (platform::ClosingAfter())
            return {};
        const int pieceLine = LineOf(piece.begin);
        if (pieceLine > line) {
            // The line's end, then the lines between, or a marker for many.
            if (pieceLine - line <= kMostBlankLines)
                out.append(static_cast<size_t>(pieceLine - line), '\n');
            else
                out += "\n#line " + std::to_string(pieceLine) + "\n";
            line = pieceLine;
            at = lineStarts_[static_cast<size_t>(line - 1)];
        }
        out.append(piece.begin - at, ' ');
        const std::string_view whole = std::string_view(text).substr(piece.begin, piece.end - piece.begin);
        const uint32_t place = piece.variable != kNone && places && variables[piece.variable].name < places->size()
                                   ? (*places)[variables[piece.variable].name]
                                   : kNoPlace;
        if (place == kNoPlace) {
            out.append(whole);
        } else {
            // The name and its array size, then where it lies in the block.
            const size_t named = variables[piece.variable].nameEnd - piece.begin;
            out.append(whole.substr(0, named));
            out += " : packoffset(c" + std::to_string(place / 16) + "." + "xyzw"[place % 16 / 4] + ")";
            out.append(whole.substr(named));
        }
        line += static_cast<int>(std::count(whole.begin(), whole.end(), '\n'));
        at = piece.end;
        if (withOverloads && piece.function != kNone && !vectorOverloads[piece.function].empty()) {
            // On a line of its own after the function; what follows on the
            // function's last line keeps its line and column.
            out += "\n" + vectorOverloads[piece.function] + "\n#line " + std::to_string(line) + "\n";
            out.append(at - lineStarts_[static_cast<size_t>(line - 1)], ' ');
        }
    }
    return out;
}

std::string HlslSource::StaticAssignments(const std::vector<Id>& reached) const
{
    if (!assignedStatics_)
        return {};
    std::vector<size_t> assigned;
    for (Id id : reached)
        for (size_t i = firstVariable_[id]; i < variables.size(); i = nextVariable_[i])
            if (variables[i].assigned != kNone)
                assigned.push_back(i);
    std::sort(assigned.begin(), assigned.end());
    const std::string_view all = text;
    std::string out;
    for (size_t i : assigned) {
        const Definition& v = variables[i];
        const size_t from = all.find_first_not_of(" \t\r\n", v.assigned + 1);
        const std::string_view value = all.substr(from, v.end - from);
        const int line = LineOf(from);
        // The value where the author wrote it, for the messages about it.
        const std::string at =
            "#line " + std::to_string(line) + "\n" + std::string(from - lineStarts_[static_cast<size_t>(line - 1)], ' ');
        const std::string& name = NameOf(v.name);
        if (value.front() != '{') {
            out += "    " + name + " =\n" + at + std::string(value) + ";\n";
            continue;
        }
        // A list in braces initializes only a declaration: a local's of the same type.
        const Declaration& d = declarations[v.declaration];
        const std::string_view type = all.substr(d.type, variables[d.first].begin - d.type);
        const std::string_view size = all.substr(v.begin + name.size(), v.nameEnd - v.begin - name.size());
        out += "    { " + std::string(type) + "zl_value" + std::string(size) + " =\n" + at + std::string(value) +
               "; " + name + " = zl_value; }\n";
    }
    return out;
}

} // namespace gfx
