#include "platform/window/dialog_events.h"

#include <SDL2/SDL_mouse.h>

#include "platform/window/keyboard_state.h"
#include "platform/window/message_queue.h"

namespace platform::detail {

namespace {

// The enabled, visible control under (x, y) of the dialog's client area, or the dialog.
Window* TargetAt(Window* dialog, int x, int y)
{
    for (Window* child : ChildWindows(dialog)) {
        const Rect rect = WindowRect(child);
        if (x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom)
            return IsWindowVisible(child) && IsWindowEnabled(child) ? child : dialog;
    }
    return dialog;
}

intptr_t PointParameter(int x, int y)
{
    return static_cast<intptr_t>((static_cast<uint32_t>(y & 0xFFFF) << 16) | static_cast<uint32_t>(x & 0xFFFF));
}

} // namespace

int VirtualKeyOf(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z)
        return 'A' + (key - SDLK_a);
    if (key >= SDLK_0 && key <= SDLK_9)
        return '0' + (key - SDLK_0);
    switch (key) {
    case SDLK_TAB: return kVkTab;
    case SDLK_RETURN:
    case SDLK_KP_ENTER: return kVkReturn;
    case SDLK_ESCAPE: return kVkEscape;
    case SDLK_SPACE: return kVkSpace;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return kVkShift;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return kVkControl;
    case SDLK_LALT:
    case SDLK_RALT: return kVkMenu;
    default: return 0;
    }
}

void HandleDialogEvent(Window* dialog, const SDL_Event& event)
{
    switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
        const int key = VirtualKeyOf(event.key.keysym.sym);
        if (!key)
            return;
        const bool down = event.type == SDL_KEYDOWN;
        const bool alt = (event.key.keysym.mod & KMOD_ALT) && key != kVkMenu;
        const uint32_t message = alt ? (down ? kMsgSysKeyDown : kMsgSysKeyUp) : (down ? kMsgKeyDown : kMsgKeyUp);
        PostMessage(dialog, message, static_cast<uintptr_t>(key), 0);
        return;
    }
    case SDL_MOUSEBUTTONDOWN:
        if (event.button.button == SDL_BUTTON_LEFT) {
            Window* target = TargetAt(dialog, event.button.x, event.button.y);
            const Rect origin = target == dialog ? Rect{} : WindowRect(target);
            PostMessage(target, kMsgLButtonDown, 1,
                        PointParameter(event.button.x - origin.left, event.button.y - origin.top));
        }
        return;
    case SDL_WINDOWEVENT:
        switch (event.window.event) {
        case SDL_WINDOWEVENT_CLOSE:
            PostMessage(dialog, kMsgClose, 0, 0);
            return;
        case SDL_WINDOWEVENT_MOVED:
            // Dragged by its title: the window manager keeps the click, the move tells.
            if (SDL_GetGlobalMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK)
                PostMessage(dialog, kMsgNcLButtonDown, 0, 0);
            return;
        default:
            return;
        }
    default:
        return;
    }
}

} // namespace platform::detail
