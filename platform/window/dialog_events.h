#pragma once
// What a person does in a dialog's real window becomes the dialog's messages,
// posted to the thread that runs it, as the window system would send them:
// keys as key messages of the dialog by virtual-key code (with Alt held, the
// system key messages; the modifiers too, so the thread knows them held), a
// left click as the button-down message of the control under the pointer (of
// the dialog where there is none or it is disabled), a move of the window with
// the button held as a click on its frame, closing it as the close message.
// Called on the window-system thread (platform/window/screen.h).
#include <SDL2/SDL_events.h>

#include "platform/window/window.h"

namespace platform::detail {

void HandleDialogEvent(Window* dialog, const SDL_Event& event);
// The virtual-key code of a window key (0 for one a dialog does not use).
int VirtualKeyOf(SDL_Keycode key);

} // namespace platform::detail
