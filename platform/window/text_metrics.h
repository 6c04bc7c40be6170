#pragma once
// Text metrics of the one message font. Where a display is, the font drawn
// on it (platform/window/dialog_font.h); elsewhere fixed cells, every
// character kCharWidth pixels wide and a line kLineHeight high, so headless
// layouts come out the same on every machine. Word wrap breaks at blanks and
// at line ends.
#include <string>
#include <string_view>
#include <vector>

namespace platform {

inline constexpr int kCharWidth = 7;
inline constexpr int kLineHeight = 16;
inline constexpr int kTabCells = 8;

struct TextSize {
    int width = 0;
    int height = 0;
};

// One line as drawn, every character counted (no wrapping, no tab expansion).
TextSize TextExtent(std::string_view text);

// The size of `text` drawn into `maxWidth` pixels: lines break at CR LF, CR or
// LF and, between words, where the next word would pass `maxWidth`; a word wider
// than that stays whole on its own line. Tabs expand to kTabCells cells, "&" is
// plain text. The width is the widest line's, the height lines × kLineHeight.
TextSize MeasureWrappedText(std::string_view text, int maxWidth);
// The lines MeasureWrappedText measures.
std::vector<std::string> WrapText(std::string_view text, int maxWidth);

// a × b / c rounded half away from zero, from a 64-bit product; -1 when c is 0.
int MulDiv(int a, int b, int c);

} // namespace platform
