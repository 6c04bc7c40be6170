#pragma once
// The message font where a display is: DejaVu Sans, found through fontconfig
// or at its Debian path, measured and drawn with SDL2_ttf. Without a display,
// or without the font, there is none: text is then measured in fixed cells
// (platform/window/text_metrics.h) and no dialog goes to the display.
// Any thread may measure and draw; the font is used by one at a time.
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/window/paint.h"

namespace platform::detail {

inline constexpr int kMessageFontPixels = 12;

// A display is named and the font could be opened.
bool MessageFontReady();
// One line's width in pixels (tabs as drawn: a blank's width).
int MessageFontWidth(std::string_view text);
int MessageFontLineHeight();
// The average width of the 26 capital and 26 small letters, rounded.
int MessageFontAverageWidth();
// Draws one line with its top left at (x, y) of the picture, in `rgb`
// (0x00RRGGBB), blended over what is there, only inside `clip`; at `pixels`
// high and in bold when asked. Returns its width.
int DrawMessageFontLine(Picture& picture, const Rect& clip, int x, int y, std::string_view text, uint32_t rgb,
                        int pixels = kMessageFontPixels, bool bold = false);
// The text as UTF-8: itself when it is valid UTF-8, else its bytes read as Latin-1.
std::string AsUtf8(std::string_view text);

} // namespace platform::detail
