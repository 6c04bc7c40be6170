#include "platform/window/icons.h"

#include <algorithm>
#include <functional>

#include "platform/window/dialog_font.h"
#include "platform/window/paint.h"

namespace platform {

Icon* LoadSystemIcon(int id)
{
    static Icon hand{kIconHand}, question{kIconQuestion}, exclamation{kIconExclamation}, asterisk{kIconAsterisk};
    switch (id) {
    case kIconHand:
        return &hand;
    case kIconQuestion:
        return &question;
    case kIconExclamation:
        return &exclamation;
    case kIconAsterisk:
        return &asterisk;
    default:
        return nullptr;
    }
}

Icon* LoadIconResource(Instance*, int)
{
    return nullptr;
}

Icon* LoadIconResource(Instance*, const std::string&)
{
    return nullptr;
}

void DestroyIcon(Icon*)
{
}

} // namespace platform

namespace platform::detail {

namespace {

constexpr uint32_t kRed = 0xD93025;
constexpr uint32_t kRedEdge = 0xA52714;
constexpr uint32_t kAmber = 0xF4B400;
constexpr uint32_t kAmberEdge = 0xB98600;
constexpr uint32_t kBlue = 0x2F6FD0;
constexpr uint32_t kBlueEdge = 0x1F4F9F;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x202020;

struct Point {
    float x, y;
};

// Whether a point is inside a shape; each pixel is sampled 4 x 4 times.
using Shape = std::function<bool(Point)>;

bool InDisc(Point p, Point centre, float radius)
{
    const float dx = p.x - centre.x, dy = p.y - centre.y;
    return dx * dx + dy * dy <= radius * radius;
}

bool NearSegment(Point p, Point a, Point b, float halfWidth)
{
    const float abx = b.x - a.x, aby = b.y - a.y;
    float t = ((p.x - a.x) * abx + (p.y - a.y) * aby) / (abx * abx + aby * aby);
    t = std::clamp(t, 0.0f, 1.0f);
    const float dx = p.x - (a.x + t * abx), dy = p.y - (a.y + t * aby);
    return dx * dx + dy * dy <= halfWidth * halfWidth;
}

bool InTriangle(Point p, Point a, Point b, Point c)
{
    const auto side = [](Point p1, Point p2, Point q) {
        return (q.x - p2.x) * (p1.y - p2.y) - (p1.x - p2.x) * (q.y - p2.y);
    };
    const float d1 = side(p, a, b), d2 = side(p, b, c), d3 = side(p, c, a);
    return !((d1 < 0 || d2 < 0 || d3 < 0) && (d1 > 0 || d2 > 0 || d3 > 0));
}

void Paint(Picture& picture, const Rect& clip, int x, int y, const Shape& shape, uint32_t rgb)
{
    for (int py = 0; py < kIconSize; ++py) {
        for (int px = 0; px < kIconSize; ++px) {
            const int tx = x + px, ty = y + py;
            if (tx < std::max(clip.left, 0) || ty < std::max(clip.top, 0) || tx >= std::min(clip.right, picture.width) ||
                ty >= std::min(clip.bottom, picture.height))
                continue;
            int covered = 0;
            for (int s = 0; s < 16; ++s)
                covered += shape({static_cast<float>(px) + (static_cast<float>(s % 4) + 0.5f) / 4.0f,
                                  static_cast<float>(py) + (static_cast<float>(s / 4) + 0.5f) / 4.0f});
            if (!covered)
                continue;
            uint32_t& under = picture.texels[static_cast<size_t>(ty) * static_cast<size_t>(picture.width) +
                                             static_cast<size_t>(tx)];
            uint32_t blended = 0;
            for (int shift = 0; shift <= 16; shift += 8) {
                const uint32_t top = (rgb >> shift) & 0xFF, below = (under >> shift) & 0xFF;
                blended |= ((top * static_cast<uint32_t>(covered) + below * (16 - static_cast<uint32_t>(covered)) + 8) /
                            16)
                           << shift;
            }
            under = blended;
        }
    }
}

// A character of the bold message font, centred on (cx, cy) of the icon.
void Glyph(Picture& picture, const Rect& clip, int x, int y, const char* text, float cx, float cy, uint32_t rgb)
{
    constexpr int kPixels = 24;
    Picture scratch(kIconSize * 2, kIconSize * 2);
    const int width = DrawMessageFontLine(scratch, {0, 0, scratch.width, scratch.height}, 0, 0, text, 0, kPixels, true);
    const int left = x + static_cast<int>(cx - static_cast<float>(width) / 2.0f + 0.5f);
    const int top = y + static_cast<int>(cy - static_cast<float>(kPixels) * 0.58f + 0.5f);
    DrawMessageFontLine(picture, clip, left, top, text, rgb, kPixels, true);
}

} // namespace

void DrawIconInto(Picture& picture, const Rect& clip, int x, int y, const Icon& icon)
{
    const Point centre{16.0f, 16.0f};
    switch (icon.id) {
    case kIconHand:
        Paint(picture, clip, x, y, [&](Point p) { return InDisc(p, centre, 15.5f); }, kRedEdge);
        Paint(picture, clip, x, y, [&](Point p) { return InDisc(p, centre, 14.5f); }, kRed);
        Paint(picture, clip, x, y,
              [](Point p) {
                  return NearSegment(p, {10.5f, 10.5f}, {21.5f, 21.5f}, 2.0f) ||
                         NearSegment(p, {21.5f, 10.5f}, {10.5f, 21.5f}, 2.0f);
              },
              kWhite);
        break;
    case kIconExclamation:
        Paint(picture, clip, x, y, [](Point p) { return InTriangle(p, {16.0f, 1.0f}, {31.5f, 29.5f}, {0.5f, 29.5f}); },
              kAmberEdge);
        Paint(picture, clip, x, y, [](Point p) { return InTriangle(p, {16.0f, 3.2f}, {29.8f, 28.5f}, {2.2f, 28.5f}); },
              kAmber);
        Paint(picture, clip, x, y,
              [](Point p) { return NearSegment(p, {16.0f, 11.0f}, {16.0f, 19.5f}, 1.7f) || InDisc(p, {16.0f, 24.3f}, 1.9f); },
              kBlack);
        break;
    case kIconQuestion:
    case kIconAsterisk:
        Paint(picture, clip, x, y, [&](Point p) { return InDisc(p, centre, 15.5f); }, kBlueEdge);
        Paint(picture, clip, x, y, [&](Point p) { return InDisc(p, centre, 14.5f); }, kBlue);
        if (icon.id == kIconQuestion) {
            Glyph(picture, clip, x, y, "?", 16.0f, 16.0f, kWhite);
        } else {
            Paint(picture, clip, x, y,
                  [](Point p) { return InDisc(p, {16.0f, 9.0f}, 2.2f) || NearSegment(p, {16.0f, 14.0f}, {16.0f, 24.0f}, 2.0f); },
                  kWhite);
        }
        break;
    default:
        break;
    }
}

} // namespace platform::detail
