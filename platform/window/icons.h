#pragma once
// Icons: the four system icons a message box shows, drawn as our own simple
// pictures (error: a white cross on a red disc; warning: "!" on an amber
// triangle; question: "?" on a blue disc; information: "i" on a blue disc).
// Programs here carry no icon resources, so loading one from a module finds
// nothing.
#include <string>

#include "platform/window/window.h"

namespace platform {

struct Picture;

struct Instance;
struct Icon {
    int id;
};

inline constexpr int kIconHand = 32513;
inline constexpr int kIconQuestion = 32514;
inline constexpr int kIconExclamation = 32515;
inline constexpr int kIconAsterisk = 32516;

// One of the system icons above, or null.
Icon* LoadSystemIcon(int id);
// An icon resource of a module by id or by name: null (no resources here).
Icon* LoadIconResource(Instance* module, int id);
Icon* LoadIconResource(Instance* module, const std::string& name);
// Releases a loaded icon (system icons are shared and stay).
void DestroyIcon(Icon* icon);

// Every icon's size in pixels.
inline constexpr int kIconSize = 32;

namespace detail {
// Draws the icon with its top left at (x, y) of the picture, blended over
// what is there, only inside `clip`.
void DrawIconInto(Picture& picture, const Rect& clip, int x, int y, const Icon& icon);
} // namespace detail

} // namespace platform
