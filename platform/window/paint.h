#pragma once
// Painting a window into a picture in memory: device contexts with an origin
// and a clip, solid brushes, text in the message font (with "&" mnemonics
// underlined), the system icons. A dialog on a real window is painted this
// way and the picture shown (platform/window/dialog_painter.h); window
// procedures paint through the device context a message hands them, or the
// one BeginPaint gives while their dialog is being painted. Colours are
// 0x00BBGGRR, as the system colours are given.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/window/window.h"

namespace platform {

struct Icon;

// Texels 0x00RRGGBB (in memory B, G, R, unused), row after row.
struct Picture {
    Picture(int width, int height, uint32_t rgb = 0);
    int width;
    int height;
    std::vector<uint32_t> texels;
};

class DeviceContext {
public:
    // Draws into `picture` with its (0, 0) at (originX, originY) of the
    // picture, and only inside `clip` (in the picture's coordinates).
    DeviceContext(Picture& picture, int originX, int originY, const Rect& clip);

    Picture& picture;
    int originX;
    int originY;
    Rect clip;
    uint32_t textColour = 0x00000000;
    uint32_t backColour = 0x00FFFFFF;
    bool opaqueText = true; // the cells of drawn text are filled with the back colour first
};

struct Brush {
    uint32_t colour;
};
Brush* CreateSolidBrush(uint32_t colour);
void DeleteBrush(Brush* brush);

// Rectangles are in the device context's coordinates; false for a null brush.
bool FillRect(DeviceContext* dc, const Rect& rect, const Brush* brush);
void FillColour(DeviceContext* dc, const Rect& rect, uint32_t colour);
// Both return the colour before.
uint32_t SetTextColour(DeviceContext* dc, uint32_t colour);
uint32_t SetBackColour(DeviceContext* dc, uint32_t colour);
void SetOpaqueText(DeviceContext* dc, bool opaque);

inline constexpr uint32_t kDrawCentre = 0x0001;
inline constexpr uint32_t kDrawVCentre = 0x0004; // with kDrawSingleLine
inline constexpr uint32_t kDrawWordBreak = 0x0010;
inline constexpr uint32_t kDrawSingleLine = 0x0020;
inline constexpr uint32_t kDrawExpandTabs = 0x0040;
inline constexpr uint32_t kDrawNoPrefix = 0x0800;
// Draws the text in the rectangle, its lines broken and measured as
// platform/window/text_metrics.h says; unless kDrawNoPrefix, "&" underlines
// the character after it and "&&" draws one "&". Returns the height drawn.
int DrawText(DeviceContext* dc, std::string_view text, const Rect& rect, uint32_t flags);
// The text without its "&" marks, and where the underlined character is in it (npos: none).
std::string WithoutPrefix(std::string_view text, size_t& underlined);
// A dotted frame just inside the rectangle (the keyboard focus).
void DrawFocusRect(DeviceContext* dc, const Rect& rect);
// The icon at its size, its top left at (x, y); false for a null icon.
bool DrawIcon(DeviceContext* dc, int x, int y, const Icon* icon);

struct PaintStruct {
    std::unique_ptr<DeviceContext> dc;
    Rect area;
};
// A device context over the window's part of the picture being painted on
// this thread (one that draws nowhere when none is), its origin the window's
// top left.
DeviceContext* BeginPaint(Window* window, PaintStruct& paint);
void EndPaint(Window* window, PaintStruct& paint);
// The window's client area: (0, 0) to its size.
Rect ClientRect(Window* window);

namespace detail {
// While alive, BeginPaint on this thread paints `dialog` and its controls
// (whose rectangles are in the dialog's client coordinates) into `picture`.
class PaintingInto {
public:
    PaintingInto(Window* dialog, Picture& picture);
    ~PaintingInto();
    PaintingInto(const PaintingInto&) = delete;
    PaintingInto& operator=(const PaintingInto&) = delete;

private:
    Window* savedDialog_;
    Picture* savedPicture_;
};
} // namespace detail

} // namespace platform
