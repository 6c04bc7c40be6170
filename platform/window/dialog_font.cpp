#include "platform/window/dialog_font.h"

#include <SDL2/SDL_ttf.h>
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <mutex>
#include <utility>

#include "platform/window/screen.h"

namespace platform::detail {

namespace {

constexpr const char* kDebianRegular = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kDebianBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";

struct Fonts {
    std::mutex lock;
    bool started = false;
    bool ready = false;
    std::string regularFile;
    std::string boldFile;
    std::map<std::pair<int, bool>, TTF_Font*> open;
};

// Kept for the whole process: any thread may still measure while it ends.
Fonts& TheFonts()
{
    static Fonts& fonts = *new Fonts;
    return fonts;
}

// The file fontconfig gives for `name`, or `fallback` when it gives none that exists.
std::string FontFile(const char* name, const char* fallback)
{
    std::string file;
    if (FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(name))) {
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
            FcChar8* path = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
                file = reinterpret_cast<const char*>(path);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    std::error_code error;
    if (file.empty() || !std::filesystem::is_regular_file(file, error))
        file = fallback;
    return file;
}

// The font at that size, opened on first use; null without one. The lock is held.
TTF_Font* FontLocked(Fonts& fonts, int pixels, bool bold)
{
    if (!fonts.started) {
        fonts.started = true;
        if (TTF_Init() != 0)
            return nullptr;
        if (FcInit()) {
            fonts.regularFile = FontFile("DejaVu Sans", kDebianRegular);
            fonts.boldFile = FontFile("DejaVu Sans:bold", kDebianBold);
        } else {
            fonts.regularFile = kDebianRegular;
            fonts.boldFile = kDebianBold;
        }
        TTF_Font* regular = TTF_OpenFont(fonts.regularFile.c_str(), kMessageFontPixels);
        fonts.ready = regular != nullptr;
        fonts.open[{kMessageFontPixels, false}] = regular;
    }
    if (!fonts.ready)
        return nullptr;
    auto found = fonts.open.find({pixels, bold});
    if (found != fonts.open.end())
        return found->second;
    TTF_Font* font = bold ? TTF_OpenFont(fonts.boldFile.c_str(), pixels) : nullptr;
    if (!font) {
        font = TTF_OpenFont(fonts.regularFile.c_str(), pixels);
        if (font && bold)
            TTF_SetFontStyle(font, TTF_STYLE_BOLD);
    }
    fonts.open[{pixels, bold}] = font;
    return font;
}

// One line as the font takes it: no control characters (the program hands
// the desktop UTF-8 already).
std::string Printable(std::string_view text)
{
    std::string line(text);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    return line;
}

} // namespace

bool MessageFontReady()
{
    if (!DisplayAvailable())
        return false;
    Fonts& fonts = TheFonts();
    std::lock_guard guard(fonts.lock);
    return FontLocked(fonts, kMessageFontPixels, false) != nullptr;
}

int MessageFontWidth(std::string_view text)
{
    Fonts& fonts = TheFonts();
    std::lock_guard guard(fonts.lock);
    TTF_Font* font = FontLocked(fonts, kMessageFontPixels, false);
    int width = 0, height = 0;
    if (!font || text.empty() || TTF_SizeUTF8(font, Printable(text).c_str(), &width, &height) != 0)
        return 0;
    return width;
}

int MessageFontLineHeight()
{
    Fonts& fonts = TheFonts();
    std::lock_guard guard(fonts.lock);
    TTF_Font* font = FontLocked(fonts, kMessageFontPixels, false);
    return font ? TTF_FontHeight(font) : 0;
}

int MessageFontAverageWidth()
{
    // The font never changes once open: measured once.
    static const int average = std::max(
        1, (MessageFontWidth("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") + 26) / 52);
    return average;
}

int DrawMessageFontLine(Picture& picture, const Rect& clip, int x, int y, std::string_view text, uint32_t rgb,
                        int pixels, bool bold)
{
    if (text.empty())
        return 0;
    Fonts& fonts = TheFonts();
    std::lock_guard guard(fonts.lock);
    TTF_Font* font = FontLocked(fonts, pixels, bold);
    if (!font)
        return 0;
    const SDL_Color colour{static_cast<uint8_t>(rgb >> 16), static_cast<uint8_t>(rgb >> 8),
                           static_cast<uint8_t>(rgb), 255};
    SDL_Surface* drawn = TTF_RenderUTF8_Blended(font, Printable(text).c_str(), colour);
    if (!drawn)
        return 0;
    SDL_Surface* texels = SDL_ConvertSurfaceFormat(drawn, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(drawn);
    if (!texels)
        return 0;
    const int left = std::max({clip.left, x, 0});
    const int top = std::max({clip.top, y, 0});
    const int right = std::min({clip.right, x + texels->w, picture.width});
    const int bottom = std::min({clip.bottom, y + texels->h, picture.height});
    SDL_LockSurface(texels);
    for (int py = top; py < bottom; ++py) {
        const auto* row = reinterpret_cast<const uint32_t*>(static_cast<const uint8_t*>(texels->pixels) +
                                                            static_cast<ptrdiff_t>(py - y) * texels->pitch);
        for (int px = left; px < right; ++px) {
            const uint32_t alpha = row[px - x] >> 24;
            if (!alpha)
                continue;
            uint32_t& under = picture.texels[static_cast<size_t>(py) * static_cast<size_t>(picture.width) +
                                             static_cast<size_t>(px)];
            uint32_t blended = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const uint32_t top8 = (rgb >> shift) & 0xFF;
                const uint32_t below = (under >> shift) & 0xFF;
                blended |= ((top8 * alpha + below * (255 - alpha) + 127) / 255) << shift;
            }
            under = blended;
        }
    }
    SDL_UnlockSurface(texels);
    const int width = texels->w;
    SDL_FreeSurface(texels);
    return width;
}

} // namespace platform::detail
