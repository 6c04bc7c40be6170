#include "platform/window/paint.h"

#include <algorithm>
#include <utility>

#include "platform/window/dialog_font.h"
#include "platform/window/icons.h"
#include "platform/window/text_metrics.h"

namespace platform {

namespace {

thread_local Window* paintedDialog = nullptr;
thread_local Picture* paintedPicture = nullptr;

// 0x00BBGGRR as the picture's 0x00RRGGBB.
uint32_t TexelOf(uint32_t colour)
{
    return ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

Rect Intersect(const Rect& a, const Rect& b)
{
    return {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
            std::min(a.bottom, b.bottom)};
}

// The rectangle in the picture's coordinates, clipped.
Rect InPicture(const DeviceContext* dc, const Rect& rect)
{
    const Rect moved{rect.left + dc->originX, rect.top + dc->originY, rect.right + dc->originX,
                     rect.bottom + dc->originY};
    return Intersect(Intersect(moved, dc->clip), {0, 0, dc->picture.width, dc->picture.height});
}

void Fill(Picture& picture, const Rect& area, uint32_t texel)
{
    for (int y = area.top; y < area.bottom; ++y)
        std::fill_n(picture.texels.begin() + static_cast<ptrdiff_t>(y) * picture.width + area.left,
                    std::max(0, area.right - area.left), texel);
}

} // namespace

Picture::Picture(int w, int h, uint32_t rgb)
    : width(std::max(0, w)), height(std::max(0, h)),
      texels(static_cast<size_t>(width) * static_cast<size_t>(height), rgb)
{
}

DeviceContext::DeviceContext(Picture& target, int x, int y, const Rect& area)
    : picture(target), originX(x), originY(y), clip(area)
{
}

Brush* CreateSolidBrush(uint32_t colour)
{
    return new Brush{colour};
}

void DeleteBrush(Brush* brush)
{
    delete brush;
}

bool FillRect(DeviceContext* dc, const Rect& rect, const Brush* brush)
{
    if (!dc || !brush)
        return false;
    FillColour(dc, rect, brush->colour);
    return true;
}

void FillColour(DeviceContext* dc, const Rect& rect, uint32_t colour)
{
    if (dc)
        Fill(dc->picture, InPicture(dc, rect), TexelOf(colour));
}

uint32_t SetTextColour(DeviceContext* dc, uint32_t colour)
{
    return dc ? std::exchange(dc->textColour, colour) : 0;
}

uint32_t SetBackColour(DeviceContext* dc, uint32_t colour)
{
    return dc ? std::exchange(dc->backColour, colour) : 0;
}

void SetOpaqueText(DeviceContext* dc, bool opaque)
{
    if (dc)
        dc->opaqueText = opaque;
}

std::string WithoutPrefix(std::string_view text, size_t& underlined)
{
    underlined = std::string::npos;
    std::string plain;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != '&' && underlined == std::string::npos)
                underlined = plain.size();
        }
        plain += text[i];
    }
    return plain;
}

int DrawText(DeviceContext* dc, std::string_view text, const Rect& rect, uint32_t flags)
{
    if (!dc)
        return 0;
    const int lineHeight = TextExtent("My").height;
    std::vector<std::string> lines;
    if (flags & kDrawSingleLine)
        lines.emplace_back(text);
    else
        lines = WrapText(text, (flags & kDrawWordBreak) ? rect.right - rect.left : 1 << 30);
    int top = rect.top;
    if ((flags & kDrawSingleLine) && (flags & kDrawVCentre))
        top = rect.top + (rect.bottom - rect.top - lineHeight) / 2;
    const Rect clip = InPicture(dc, rect);
    for (const std::string& raw : lines) {
        size_t underlined = std::string::npos;
        const std::string line = (flags & kDrawNoPrefix) ? raw : WithoutPrefix(raw, underlined);
        const int width = TextExtent(line).width;
        const int left = (flags & kDrawCentre) ? rect.left + (rect.right - rect.left - width) / 2 : rect.left;
        if (dc->opaqueText)
            FillColour(dc, Intersect({left, top, left + width, top + lineHeight}, rect), dc->backColour);
        detail::DrawMessageFontLine(dc->picture, clip, left + dc->originX, top + dc->originY, line,
                                    TexelOf(dc->textColour));
        if (underlined != std::string::npos && underlined < line.size()) {
            // The mnemonic's underline: under its character, just below the baseline.
            const int from = left + TextExtent(line.substr(0, underlined)).width;
            const int to = left + TextExtent(line.substr(0, underlined + 1)).width;
            const int y = top + lineHeight - std::max(1, lineHeight / 8);
            FillColour(dc, Intersect({from, y, to, y + 1}, rect), dc->textColour);
        }
        top += lineHeight;
    }
    return static_cast<int>(lines.size()) * lineHeight;
}

void DrawFocusRect(DeviceContext* dc, const Rect& rect)
{
    if (!dc)
        return;
    for (int x = rect.left; x < rect.right; x += 2) {
        FillColour(dc, {x, rect.top, x + 1, rect.top + 1}, 0);
        FillColour(dc, {x, rect.bottom - 1, x + 1, rect.bottom}, 0);
    }
    for (int y = rect.top; y < rect.bottom; y += 2) {
        FillColour(dc, {rect.left, y, rect.left + 1, y + 1}, 0);
        FillColour(dc, {rect.right - 1, y, rect.right, y + 1}, 0);
    }
}

bool DrawIcon(DeviceContext* dc, int x, int y, const Icon* icon)
{
    if (!dc || !icon)
        return false;
    detail::DrawIconInto(dc->picture, dc->clip, x + dc->originX, y + dc->originY, *icon);
    return true;
}

DeviceContext* BeginPaint(Window* window, PaintStruct& paint)
{
    static thread_local Picture nowhere(1, 1);
    Picture* picture = paintedPicture ? paintedPicture : &nowhere;
    Rect area = ClientRect(window);
    int x = 0, y = 0;
    if (paintedPicture && window != paintedDialog) {
        const Rect rect = WindowRect(window);
        x = rect.left;
        y = rect.top;
    }
    const Rect clip = paintedPicture ? Rect{x, y, x + area.right, y + area.bottom} : Rect{};
    paint.dc = std::make_unique<DeviceContext>(*picture, x, y, clip);
    paint.area = area;
    return paint.dc.get();
}

void EndPaint(Window*, PaintStruct& paint)
{
    paint.dc.reset();
}

Rect ClientRect(Window* window)
{
    const Rect rect = WindowRect(window);
    return {0, 0, rect.right - rect.left, rect.bottom - rect.top};
}

namespace detail {

PaintingInto::PaintingInto(Window* dialog, Picture& picture)
    : savedDialog_(paintedDialog), savedPicture_(paintedPicture)
{
    paintedDialog = dialog;
    paintedPicture = &picture;
}

PaintingInto::~PaintingInto()
{
    paintedDialog = savedDialog_;
    paintedPicture = savedPicture_;
}

} // namespace detail

} // namespace platform
