#include "platform/window/text_metrics.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/window/dialog_font.h"

namespace platform {

namespace {

std::vector<std::string> Paragraphs(std::string_view text)
{
    std::vector<std::string> paragraphs(1);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            paragraphs.emplace_back();
        } else if (c == '\t') {
            auto& line = paragraphs.back();
            line.append(kTabCells - line.size() % kTabCells, ' ');
        } else {
            paragraphs.back() += c;
        }
    }
    if (paragraphs.back().empty() && !text.empty() && (text.back() == '\n' || text.back() == '\r'))
        paragraphs.pop_back();
    if (text.empty())
        paragraphs.clear();
    return paragraphs;
}

int Width(std::string_view line, bool font)
{
    return font ? detail::MessageFontWidth(line) : static_cast<int>(line.size()) * kCharWidth;
}

std::vector<std::string> Wrap(std::string_view text, int maxWidth, bool font)
{
    std::vector<std::string> lines;
    for (const std::string& paragraph : Paragraphs(text)) {
        std::string line;
        size_t i = 0;
        bool lineHasWord = false;
        while (i < paragraph.size()) {
            size_t wordStart = paragraph.find_first_not_of(' ', i);
            if (wordStart == std::string::npos) {
                line += paragraph.substr(i); // trailing blanks stay with the line
                break;
            }
            size_t wordEnd = paragraph.find(' ', wordStart);
            if (wordEnd == std::string::npos)
                wordEnd = paragraph.size();
            const std::string_view gap = std::string_view(paragraph).substr(i, wordStart - i);
            const std::string_view word = std::string_view(paragraph).substr(wordStart, wordEnd - wordStart);
            const int widthWithWord = font ? Width(line + std::string(gap) + std::string(word), true)
                                           : static_cast<int>(line.size() + gap.size() + word.size()) * kCharWidth;
            if (lineHasWord && widthWithWord > maxWidth) {
                lines.push_back(line);
                line = word;
            } else {
                line += gap;
                line += word;
            }
            lineHasWord = true;
            i = wordEnd;
        }
        // Blanks that end a line take no room in the measured width.
        while (lineHasWord && !line.empty() && line.back() == ' ')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

} // namespace

TextSize TextExtent(std::string_view text)
{
    if (detail::MessageFontReady())
        return {detail::MessageFontWidth(text), detail::MessageFontLineHeight()};
    return {static_cast<int>(text.size()) * kCharWidth, kLineHeight};
}

std::vector<std::string> WrapText(std::string_view text, int maxWidth)
{
    return Wrap(text, maxWidth, detail::MessageFontReady());
}

TextSize MeasureWrappedText(std::string_view text, int maxWidth)
{
    const bool font = detail::MessageFontReady();
    TextSize size;
    const auto lines = Wrap(text, maxWidth, font);
    for (const auto& line : lines)
        size.width = std::max(size.width, Width(line, font));
    size.height = static_cast<int>(lines.size()) * (font ? detail::MessageFontLineHeight() : kLineHeight);
    return size;
}

int MulDiv(int a, int b, int c)
{
    if (c == 0)
        return -1;
    int64_t product = static_cast<int64_t>(a) * b;
    bool negative = (product < 0) != (c < 0);
    int64_t magnitude = std::llabs(product);
    int64_t divisor = std::llabs(static_cast<int64_t>(c));
    int64_t quotient = (magnitude + divisor / 2) / divisor;
    return static_cast<int>(negative ? -quotient : quotient);
}

} // namespace platform
