#include "platform/gfx/fx/hlsl_source.h"

#include <algorithm>
#include <cctype>
#include <set>

#include "platform/gfx/fx/effect_tokens.h"

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

class Blanker {
public:
    Blanker(std::string_view text) : text_(text), tokens_(Tokenize(text)) {}

    std::vector<HlslSource::Function> functions;

    std::string Run()
    {
        out_.assign(text_);
        while (pos_ < tokens_.size()) {
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
                SkipTo('{');
                pos_ = MatchingBracket(tokens_, pos_) + 1;
                if (pos_ < tokens_.size() && tokens_[pos_].Is(';'))
                    ++pos_;
            } else if (t.Is("typedef")) {
                SkipTo(';');
                ++pos_;
            } else {
                Declaration();
            }
        }
        return std::move(out_);
    }

private:
    void Blank(size_t from, size_t to)
    {
        for (size_t k = from; k < to && k < out_.size(); ++k)
            if (out_[k] != '\n')
                out_[k] = ' ';
    }
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
        while (pos_ < tokens_.size()) {
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
            if (!At(','))
                break;
            ++pos_;
        }
        if (drop)
            BlankTokens(start, std::min(pos_, tokens_.size() - 1));
        if (At(';'))
            ++pos_;
    }

    void Function(size_t start)
    {
        HlslSource::Function f;
        f.name = std::string(tokens_[pos_].text);
        f.begin = tokens_[start].offset;
        ++pos_; // the name
        const size_t first = pos_;
        pos_ = MatchingBracket(tokens_, pos_) + 1;
        while (At(':'))
            pos_ += 2;
        if (At('{'))
            pos_ = MatchingBracket(tokens_, pos_) + 1;
        else if (At(';'))
            ++pos_;
        const size_t last = std::min(pos_, tokens_.size());
        f.end = last < tokens_.size() ? tokens_[last].offset : text_.size();
        if (last > 0 && last - 1 < tokens_.size())
            f.end = tokens_[last - 1].offset + tokens_[last - 1].text.size();
        for (size_t k = first; k < last; ++k)
            if (tokens_[k].kind == TokenKind::Identifier)
                f.names.emplace_back(tokens_[k].text);
        functions.push_back(std::move(f));
    }

    std::string_view text_;
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
    size_t begin = 0;
    while (begin <= preprocessed.size()) {
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
                std::string name(line.substr(quote + 1, close - quote - 1));
                auto found = std::find(out.files.begin(), out.files.end(), name);
                current.file = static_cast<uint32_t>(found - out.files.begin());
                if (found == out.files.end())
                    out.files.push_back(std::move(name));
            }
        }
        if (end == preprocessed.size())
            break;
        begin = end + 1;
    }
    Blanker blanker(preprocessed);
    out.text = blanker.Run();
    out.functions = std::move(blanker.functions);
    return out;
}

std::set<std::string> HlslSource::Reached(const std::string& entry) const
{
    std::set<std::string> reached{entry};
    std::vector<std::string> work{entry};
    while (!work.empty()) {
        const std::string name = work.back();
        work.pop_back();
        for (const Function& f : functions)
            if (f.name == name)
                for (const std::string& used : f.names)
                    if (reached.insert(used).second)
                        work.push_back(used);
    }
    return reached;
}

std::string HlslSource::TextFor(const std::string& entry) const
{
    const std::set<std::string> reached = Reached(entry);
    std::string blanked = text;
    for (const Function& f : functions) {
        if (reached.count(f.name))
            continue;
        for (size_t k = f.begin; k < f.end && k < blanked.size(); ++k)
            if (blanked[k] != '\n')
                blanked[k] = ' ';
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
