#pragma once
// Per-thread message queues: posted messages wait in the queue of the thread
// that owns their window; the quit message comes after every posted one.
#include <cstdint>
#include <functional>

#include "platform/window/window.h"

namespace platform {

struct Message {
    Window* window = nullptr;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// Takes (remove true) or looks at the next message of the calling thread's
// queue, for any window. False when none is pending. A recorded close signal
// first becomes a close message for each window of this thread but dialogs
// and their controls (a box watches for the signal itself). Posted
// messages come first, then the quit message, then a due timer (taken only).
// A taken key message of Shift, Ctrl or Alt holds or lets go that key
// (platform/window/keyboard_state.h).
bool PeekMessage(Message& message, bool remove);
// Keyboard messages would become character messages; there are none here.
bool TranslateMessage(const Message& message);
// Hands the message to its window's procedure; 0 for a gone window or none.
intptr_t DispatchMessage(const Message& message);
// Queues a message for the thread that owns the window; false for a gone window.
bool PostMessage(Window* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Queues the quit message, with its exit code, for the calling thread.
void PostQuitMessage(int exitCode);

// Blocks the calling thread until a message is posted to it, a timer of it
// falls due or a close signal arrives (or a short while has passed, so a caller
// looping on PeekMessage never hangs on a missed wake-up).
void WaitMessage();

namespace detail {
// Forgets every message and quit of the calling thread (tests).
void ClearThisThreadQueue();
// When set, WaitMessage of this thread calls it instead of blocking: the
// terminal's key reader, a real dialog's painting, or a test's script of events.
std::function<void()>& ThreadWaitHook();
// What WaitMessage does without a hook.
void WaitForThreadMessage();
} // namespace detail

} // namespace platform
