#include "platform/gfx/fx/hlsl_source.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "platform/gfx/fx/effect_tokens.h"
#include "platform/window/close_signals.h"

namespace gfx {

namespace {

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsTextureOrString(std::string_view type)
{
    static const std::set<std::string, std::less<>> kTypes = {"texture", "texture1d", "texture2d", "texture3d",
                                                              "texturecube", "string"};
    return kTypes.count(Lower(type)) > 0;
}

bool IsSampler(std::string_view type)
{
    static const std::set<std::string, std::less<>> kTypes = {"sampler", "sampler1d", "sampler2d", "sampler3d",
                                                              "samplercube"};
    return kTypes.count(Lower(type)) > 0;
}

bool IsModifier(std::string_view word)
{
    static const std::set<std::string_view> kModifiers = {"static", "uniform", "extern", "shared", "const",
                                                          "volatile", "row_major", "column_major", "inline",
                                                          "precise"};
    return kModifiers.count(word) > 0;
}

// Blanks [from, to) of text, line ends kept.
void BlankRange(std::string& text, size_t from, size_t to)
{
    for (size_t k = from; k < to && k < text.size(); ++k)
        if (text[k] != '\n')
            text[k] = ' ';
}

// Declarations, lines and the like read between two looks at the close signal.
constexpr size_t kCloseCheckItems = 4096;

class Blanker {
public:
    Blanker(std::string_view text) : text_(text), tokens_(Tokenize(text, &problem_)) {}

    std::vector<HlslSource::Function> functions;
    std::vector<HlslSource::Declaration> declarations;
    std::vector<std::string> kept; // what structs and typedefs name

    // False when a close signal stopped it.
    bool Run(std::string& out)
    {
        if (problem_.closing)
            return false;
        out_.assign(text_);
        for (size_t items = 1; pos_ < tokens_.size(); ++items) {
            if (items % kCloseCheckItems == 0 && platform::CloseSignalReceived())
                return false;
            const Token& t = tokens_[pos_];
            if (t.kind == TokenKind::Directive) {
                Blank(t.offset, t.offset + t.text.size());
                ++pos_;
            } else if (t.Is(';')) {
                ++pos_;
            } else if (t.Is("technique") || t.Is("technique10") || t.Is("technique11")) {
                size_t open = pos_;
                while (open < tokens_.size() && !tokens_[open].Is('{'))
                    ++open;
                const size_t close = std::min(MatchingBracket(tokens_, open), tokens_.size() - 1);
                BlankTokens(pos_, close);
                pos_ = close + 1;
            } else if (t.Is("struct")) {
                const size_t first = pos_;
                SkipTo('{');
                pos_ = MatchingBracket(tokens_, pos_) + 1;
                if (pos_ < tokens_.size() && tokens_[pos_].Is(';'))
                    ++pos_;
                Keep(first, pos_);
            } else if (t.Is("typedef")) {
                const size_t first = pos_;
                SkipTo(';');
                ++pos_;
                Keep(first, pos_);
            } else {
                Declaration();
            }
        }
        out = std::move(out_);
        return true;
    }

private:
    void Blank(size_t from, size_t to) { BlankRange(out_, from, to); }
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

    void Declaration()
    {
        const size_t start = pos_;
        while (pos_ < tokens_.size() && tokens_[pos_].kind == TokenKind::Identifier && IsModifier(tokens_[pos_].text))
            ++pos_;
        if (pos_ >= tokens_.size())
            return;
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
        const bool drop = IsTextureOrString(type);
        const bool sampler = IsSampler(type);
        HlslSource::Declaration declaration;
        declaration.begin = tokens_[start].offset;
        const size_t typeEnd = pos_;
        while (pos_ < tokens_.size()) {
            const size_t name = pos_;
            ++pos_; // the name
            if (At('['))
                pos_ = MatchingBracket(tokens_, pos_) + 1;
            const size_t extrasFrom = pos_;
            size_t extrasTo = pos_; // one past the last token to blank
            while (At(':') || At('<')) {
                if (At('<')) {
                    SkipTo('>');
                    ++pos_;
                } else {
                    pos_ += 2; // ':' and a semantic or register/packoffset
                    if (At('('))
                        pos_ = MatchingBracket(tokens_, pos_) + 1;
                }
                extrasTo = pos_;
            }
            if (At('=')) {
                ++pos_;
                while (pos_ < tokens_.size() && !At(',') && !At(';')) {
                    if (At('(') || At('{') || At('['))
                        pos_ = MatchingBracket(tokens_, pos_);
                    ++pos_;
                }
                if (sampler)
                    extrasTo = pos_; // sampler_state blocks are the effect's own
            }
            if (extrasTo > extrasFrom)
                BlankTokens(extrasFrom, extrasTo - 1);
            declaration.names.push_back(Named(name, name, pos_));
            for (size_t k = start; k < typeEnd; ++k) // a size in the type names a constant too
                if (tokens_[k].kind == TokenKind::Identifier)
                    declaration.names.back().names.emplace_back(tokens_[k].text);
            if (!At(','))
                break;
            declaration.commas.push_back(tokens_[pos_].offset);
            ++pos_;
        }
        if (drop)
            BlankTokens(start, std::min(pos_, tokens_.size() - 1));
        if (At(';')) {
            declaration.end = tokens_[pos_].offset + 1;
            ++pos_;
            if (!drop)
                declarations.push_back(std::move(declaration));
        }
    }

    // The definition of the name at token `name` that spans tokens [first, last).
    HlslSource::Function Named(size_t name, size_t first, size_t last) const
    {
        HlslSource::Function f;
        f.name = std::string(tokens_[name].text);
        f.begin = tokens_[first].offset;
        f.end = last > first ? tokens_[last - 1].offset + tokens_[last - 1].text.size() : f.begin;
        for (size_t k = first; k < last; ++k)
            if (tokens_[k].kind == TokenKind::Identifier)
                f.names.emplace_back(tokens_[k].text);
        return f;
    }

    void Function(size_t start)
    {
        const size_t name = pos_++;
        pos_ = MatchingBracket(tokens_, pos_) + 1;
        while (At(':'))
            pos_ += 2;
        const bool body = At('{');
        if (At('{'))
            pos_ = MatchingBracket(tokens_, pos_) + 1;
        else if (At(';'))
            ++pos_;
        functions.push_back(Named(name, start, std::min(pos_, tokens_.size())));
        functions.back().body = body;
    }

    // The identifiers of tokens [first, last) join the ones the kept text names.
    void Keep(size_t first, size_t last)
    {
        for (size_t k = first; k < last && k < tokens_.size(); ++k)
            if (tokens_[k].kind == TokenKind::Identifier)
                kept.emplace_back(tokens_[k].text);
    }

    std::string_view text_;
    TokenProblem problem_;
    std::vector<Token> tokens_;
    std::string out_;
    size_t pos_ = 0;
};


} // namespace

HlslSource::Origin HlslSource::Locate(int line) const
{
    if (lines.empty())
        return {};
    const size_t index = line < 1 ? 0 : std::min(static_cast<size_t>(line - 1), lines.size() - 1);
    return lines[index];
}

HlslSource ExtractHlsl(std::string_view preprocessed, const std::string& fileName)
{
    HlslSource out;
    out.files.push_back(fileName);
    // Origins first, from the markers `#line N "file"` that start lines.
    HlslSource::Origin current{0, 1};
    std::unordered_map<std::string_view, uint32_t> fileIndex{{out.files[0], 0}};
    size_t begin = 0;
    while (begin <= preprocessed.size()) {
        if (out.lines.size() % kCloseCheckItems == 0 && platform::CloseSignalReceived()) {
            out.stopped = true;
            return out;
        }
        size_t end = preprocessed.find('\n', begin);
        if (end == std::string_view::npos)
            end = preprocessed.size();
        const std::string_view line = preprocessed.substr(begin, end - begin);
        out.lines.push_back(current);
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
                auto [found, added] = fileIndex.emplace(name, static_cast<uint32_t>(out.files.size()));
                if (added)
                    out.files.emplace_back(name);
                current.file = found->second;
            }
        }
        if (end == preprocessed.size())
            break;
        begin = end + 1;
    }
    Blanker blanker(preprocessed);
    if (!blanker.Run(out.text)) {
        out.stopped = true;
        return out;
    }
    out.functions = std::move(blanker.functions);
    out.declarations = std::move(blanker.declarations);
    out.alwaysNamed = std::move(blanker.kept);
    for (size_t i = 0; i < out.functions.size(); ++i)
        out.functionsByName[out.functions[i].name].push_back(i);
    for (size_t d = 0; d < out.declarations.size(); ++d)
        for (size_t n = 0; n < out.declarations[d].names.size(); ++n)
            out.variablesByName.emplace(out.declarations[d].names[n].name, std::make_pair(d, n));
    return out;
}

HlslSource::Origin HlslSource::FunctionOrigin(const std::string& name) const
{
    const auto found = functionsByName.find(name);
    if (found != functionsByName.end())
        for (size_t i : found->second)
            if (functions[i].body) {
                const auto at = text.begin() + static_cast<std::ptrdiff_t>(std::min(functions[i].begin, text.size()));
                return Locate(1 + static_cast<int>(std::count(text.begin(), at, '\n')));
            }
    return Locate(1);
}

std::set<std::string> HlslSource::Reached(std::vector<std::string> roots) const
{
    std::set<std::string> reached;
    std::vector<std::string> work;
    roots.insert(roots.end(), alwaysNamed.begin(), alwaysNamed.end());
    for (std::string& name : roots)
        if (reached.insert(name).second)
            work.push_back(std::move(name));
    auto follow = [&](const Function& f) {
        for (const std::string& used : f.names)
            if (reached.insert(used).second)
                work.push_back(used);
    };
    while (!work.empty()) {
        const std::string name = std::move(work.back());
        work.pop_back();
        if (const auto found = functionsByName.find(name); found != functionsByName.end())
            for (size_t i : found->second)
                follow(functions[i]);
        if (const auto found = variablesByName.find(name); found != variablesByName.end())
            follow(declarations[found->second.first].names[found->second.second]);
    }
    return reached;
}

std::string HlslSource::TextFor(const std::set<std::string>& reached) const
{
    std::string blanked = text;
    for (const Function& f : functions)
        if (!reached.count(f.name))
            BlankRange(blanked, f.begin, f.end);
    // A declaration keeps the names reached and a comma after each but the
    // last of them; one with none goes whole.
    for (const Declaration& d : declarations) {
        std::vector<bool> kept(d.names.size());
        size_t last = d.names.size();
        for (size_t n = 0; n < d.names.size(); ++n)
            if ((kept[n] = reached.count(d.names[n].name) > 0))
                last = n;
        if (last == d.names.size()) {
            BlankRange(blanked, d.begin, d.end);
            continue;
        }
        for (size_t n = 0; n < d.names.size(); ++n) {
            if (!kept[n])
                BlankRange(blanked, d.names[n].begin, d.names[n].end);
            if (n < d.commas.size() && !(kept[n] && n < last))
                BlankRange(blanked, d.commas[n], d.commas[n] + 1);
        }
    }
    // Lines left with blanks only become empty: the compiler reads less, and
    // every other line keeps its number and columns.
    std::string out;
    out.reserve(blanked.size());
    size_t lineStart = 0;
    while (lineStart <= blanked.size()) {
        size_t lineEnd = blanked.find('\n', lineStart);
        if (lineEnd == std::string::npos)
            lineEnd = blanked.size();
        if (blanked.find_first_not_of(" \t\r", lineStart) < lineEnd)
            out.append(blanked, lineStart, lineEnd - lineStart);
        if (lineEnd == blanked.size())
            break;
        out.push_back('\n');
        lineStart = lineEnd + 1;
    }
    return out;
}

} // namespace gfx
