// The message font as the program reaches it: the desktop's, handed UTF-8.
#include "platform/window/dialog_font.h"

#include "platform/window/desktop.h"

namespace platform::detail {

bool MessageFontReady()
{
    Desktop* desktop = WantedDesktop();
    return desktop && desktop->MessageFontReady();
}

int MessageFontWidth(std::string_view text)
{
    Desktop* desktop = WantedDesktop();
    return desktop ? desktop->MessageFontWidth(AsUtf8(text)) : 0;
}

int MessageFontLineHeight()
{
    Desktop* desktop = WantedDesktop();
    return desktop ? desktop->MessageFontLineHeight() : 0;
}

int MessageFontAverageWidth()
{
    Desktop* desktop = WantedDesktop();
    return desktop ? desktop->MessageFontAverageWidth() : 1;
}

int DrawMessageFontLine(Picture& picture, const Rect& clip, int x, int y, std::string_view text, uint32_t rgb,
                        int pixels, bool bold)
{
    Desktop* desktop = WantedDesktop();
    return desktop ? desktop->DrawMessageFontLine(picture, clip, x, y, AsUtf8(text), rgb, pixels, bold) : 0;
}

std::string AsUtf8(std::string_view text)
{
    bool valid = true;
    for (size_t i = 0; i < text.size() && valid;) {
        const auto c = static_cast<unsigned char>(text[i]);
        const size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || (length == 2 && c < 0xC2) || i + length > text.size()) {
            valid = false;
            break;
        }
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                valid = false;
        i += length;
    }
    if (valid)
        return std::string(text);
    std::string latin;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            latin += c;
        } else {
            latin += static_cast<char>(0xC0 | (byte >> 6));
            latin += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return latin;
}

} // namespace platform::detail
