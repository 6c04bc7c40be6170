#include "platform/window/dialog_painter.h"

#include "platform/window/dialog.h"
#include "platform/window/paint.h"
#include "platform/window/screen.h"
#include "platform/window/system_metrics.h"
#include "platform/window/text_metrics.h"

namespace platform::detail {

namespace {

constexpr uint32_t kButtonFill = 0x00E1E1E1;
constexpr uint32_t kButtonFrame = 0x00ADADAD;
constexpr uint32_t kDefaultFrame = 0x00D77800; // blue
constexpr uint32_t kDisabledFill = 0x00CCCCCC;
constexpr uint32_t kDisabledFrame = 0x00BFBFBF;
constexpr uint32_t kBoxFrame = 0x00333333;
constexpr int kCheckBoxSide = 13;

void Frame(DeviceContext* dc, const Rect& r, uint32_t colour)
{
    FillColour(dc, {r.left, r.top, r.right, r.top + 1}, colour);
    FillColour(dc, {r.left, r.bottom - 1, r.right, r.bottom}, colour);
    FillColour(dc, {r.left, r.top, r.left + 1, r.bottom}, colour);
    FillColour(dc, {r.right - 1, r.top, r.right, r.bottom}, colour);
}

Rect Inset(const Rect& r, int by)
{
    return {r.left + by, r.top + by, r.right - by, r.bottom - by};
}

// A tick: two strokes of two pixels.
void Tick(DeviceContext* dc, int x, int y, uint32_t colour)
{
    static constexpr int kDown[] = {0, 1, 2};
    for (int i = 0; i < 3; ++i)
        FillColour(dc, {x + 2 + i, y + 5 + kDown[i], x + 3 + i, y + 7 + kDown[i]}, colour);
    for (int i = 0; i < 5; ++i)
        FillColour(dc, {x + 5 + i, y + 6 - i, x + 6 + i, y + 8 - i}, colour);
}

} // namespace

void PaintDialog(Window* dialog)
{
    const Rect client = ClientRect(dialog);
    Picture picture(client.right, client.bottom);
    {
        PaintingInto painting(dialog, picture);
        PaintStruct paint;
        DeviceContext* dc = BeginPaint(dialog, paint);
        if (!SendMessage(dialog, kMsgEraseBackground, reinterpret_cast<uintptr_t>(dc), 0))
            FillColour(dc, client, GetSystemColour(kColourButtonFace));
        EndPaint(dialog, paint);
        for (Window* child : ChildWindows(dialog))
            if (IsWindowVisible(child))
                SendMessage(child, kMsgPaint, 0, 0);
    }
    ShowFrame(dialog, reinterpret_cast<const uint8_t*>(picture.texels.data()), picture.width, picture.height,
              picture.width * 4, FrameLayout::kBgrx8888);
}

void PaintStaticControl(Window* control)
{
    PaintStruct paint;
    DeviceContext* dc = BeginPaint(control, paint);
    SetTextColour(dc, GetSystemColour(kColourWindowText));
    SetBackColour(dc, GetSystemColour(kColourButtonFace));
    const auto brush = reinterpret_cast<const Brush*>(SendMessage(
        GetParent(control), kMsgCtlColorStatic, reinterpret_cast<uintptr_t>(dc), reinterpret_cast<intptr_t>(control)));
    if (brush) {
        FillRect(dc, paint.area, brush);
    } else {
        // What the dialog leaves alone is drawn in the default colours.
        SetTextColour(dc, GetSystemColour(kColourWindowText));
        SetBackColour(dc, GetSystemColour(kColourButtonFace));
        FillColour(dc, paint.area, GetSystemColour(kColourButtonFace));
    }
    if (!IsWindowEnabled(control))
        SetTextColour(dc, GetSystemColour(kColourGreyText));
    // As the layout measured it: every "&" is text (a path or a name keeps it).
    DrawText(dc, WindowTitle(control), paint.area, kDrawWordBreak | kDrawExpandTabs | kDrawNoPrefix);
    EndPaint(control, paint);
}

void PaintButtonControl(Window* control, bool checked, bool focused)
{
    PaintStruct paint;
    DeviceContext* dc = BeginPaint(control, paint);
    const Rect area = paint.area;
    const uint32_t kind = WindowStyle(control) & kButtonStyleKindMask;
    const bool enabled = IsWindowEnabled(control);
    const uint32_t face = GetSystemColour(kColourButtonFace);
    SetOpaqueText(dc, false);
    SetTextColour(dc, GetSystemColour(enabled ? kColourButtonText : kColourGreyText));
    if (kind == kButtonStyleAutoCheckBox) {
        FillColour(dc, area, face);
        const int top = (area.bottom - kCheckBoxSide) / 2;
        const Rect box{0, top, kCheckBoxSide, top + kCheckBoxSide};
        FillColour(dc, box, enabled ? GetSystemColour(kColourWindow) : face);
        Frame(dc, box, enabled ? kBoxFrame : kDisabledFrame);
        if (checked)
            Tick(dc, box.left + 1, box.top + 1, enabled ? kBoxFrame : GetSystemColour(kColourGreyText));
        const std::string caption = WindowTitle(control);
        const Rect text{kCheckBoxSide + 4, area.top, area.right, area.bottom};
        DrawText(dc, caption, text, kDrawSingleLine | kDrawVCentre);
        if (focused) {
            size_t underlined = 0;
            const int width = TextExtent(WithoutPrefix(caption, underlined)).width;
            const int height = TextExtent("My").height;
            const int y = (area.bottom - height) / 2;
            DrawFocusRect(dc, {text.left - 2, y - 1, std::min(area.right, text.left + width + 2), y + height + 1});
        }
        EndPaint(control, paint);
        return;
    }
    FillColour(dc, area, enabled ? kButtonFill : kDisabledFill);
    if (!enabled) {
        Frame(dc, area, kDisabledFrame);
    } else if (kind == kButtonStyleDefault) {
        Frame(dc, area, kDefaultFrame);
        Frame(dc, Inset(area, 1), kDefaultFrame);
    } else {
        Frame(dc, area, kButtonFrame);
    }
    DrawText(dc, WindowTitle(control), area, kDrawSingleLine | kDrawVCentre | kDrawCentre);
    if (focused)
        DrawFocusRect(dc, Inset(area, 3));
    EndPaint(control, paint);
}

} // namespace platform::detail
