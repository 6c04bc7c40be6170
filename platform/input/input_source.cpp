#include "platform/input/input_source.h"

#include <array>
#include <atomic>
#include <mutex>

#include "platform/input/scan_codes.h"

namespace platform::input {

namespace {

struct Source {
    std::mutex lock;
    std::array<uint8_t, kKeyCount> held{};
    std::array<uint8_t, kKeyCount> tapped{};
    MouseState mouse;
    uint8_t clicked[kMouseButtonCount] = {};
    bool focused = true;
    bool pointerCaptured = false;
    uint64_t focusLosses = 0;
};

Source& TheSource()
{
    static Source source;
    return source;
}

std::atomic<KeyFeed> keyFeed{nullptr};
std::atomic<EventPump> eventPump{nullptr};

} // namespace

void HoldKey(uint8_t code)
{
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    s.held[code] = kKeyHeld;
}

void LiftKey(uint8_t code)
{
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    s.held[code] = 0;
}

void TapKey(uint8_t code)
{
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    s.tapped[code] = kKeyHeld;
}

void MoveMouse(int32_t dx, int32_t dy, int32_t dz)
{
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    // Wrapping, as a device's counters do, rather than overflowing.
    s.mouse.x = static_cast<int32_t>(static_cast<uint32_t>(s.mouse.x) + static_cast<uint32_t>(dx));
    s.mouse.y = static_cast<int32_t>(static_cast<uint32_t>(s.mouse.y) + static_cast<uint32_t>(dy));
    s.mouse.z = static_cast<int32_t>(static_cast<uint32_t>(s.mouse.z) + static_cast<uint32_t>(dz));
}

void SetMouseButton(int button, bool held)
{
    if (button < 0 || button >= kMouseButtonCount)
        return;
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    s.mouse.buttons[button] = held ? kKeyHeld : 0;
    if (held)
        s.clicked[button] = kKeyHeld;
}

void LiftEverything()
{
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    s.held.fill(0);
    for (uint8_t& button : s.mouse.buttons)
        button = 0;
}

void SetPointerCaptured(bool captured)
{
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    s.pointerCaptured = captured;
}

bool PointerCaptured()
{
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    return s.pointerCaptured;
}

void SetFocus(bool focused)
{
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    if (s.focused && !focused)
        ++s.focusLosses;
    s.focused = focused;
}

bool HasFocus()
{
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    return s.focused;
}

uint64_t FocusLossCount()
{
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    return s.focusLosses;
}

void ReadKeys(uint8_t keys[256])
{
    if (KeyFeed feed = keyFeed.load())
        feed();
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    for (int i = 0; i < kKeyCount; ++i)
        keys[i] = static_cast<uint8_t>(s.held[i] | s.tapped[i]);
    s.tapped.fill(0);
}

MouseState TakeMouse()
{
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    MouseState taken = s.mouse;
    for (int i = 0; i < kMouseButtonCount; ++i) {
        taken.buttons[i] |= s.clicked[i];
        s.clicked[i] = 0;
    }
    s.mouse.x = s.mouse.y = s.mouse.z = 0;
    return taken;
}

void SetKeyFeed(KeyFeed feed)
{
    keyFeed.store(feed);
}

void SetEventPump(EventPump pump)
{
    eventPump.store(pump);
}

void PumpEvents()
{
    if (EventPump pump = eventPump.load())
        pump();
}

void ResetInputSource()
{
    Source& s = TheSource();
    std::lock_guard guard(s.lock);
    s.held.fill(0);
    s.tapped.fill(0);
    s.mouse = MouseState{};
    for (uint8_t& button : s.clicked)
        button = 0;
    s.focused = true;
    s.pointerCaptured = false;
}

} // namespace platform::input
