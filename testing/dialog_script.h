#pragma once
// Test hook: dialogs of the calling thread are made without a terminal, their
// timers read a virtual clock, and each time the thread would wait for a
// message the next scripted event happens instead. A script that runs out
// posts the quit message (so a box ends with no answer) and says so.
#include <deque>
#include <functional>

#include "platform/window/window.h"

namespace platform::testing {

class ScriptedDialogs {
public:
    ScriptedDialogs();
    ~ScriptedDialogs();
    ScriptedDialogs(const ScriptedDialogs&) = delete;
    ScriptedDialogs& operator=(const ScriptedDialogs&) = delete;

    // A mouse click on the control with that id.
    ScriptedDialogs& Click(int id);
    // A key press to the focused control (letters as upper-case codes).
    ScriptedDialogs& Key(int virtualKey);
    // A key pressed with Ctrl held down.
    ScriptedDialogs& CtrlKey(int virtualKey);
    // The system menu's Close.
    ScriptedDialogs& Close();
    // A click on the dialog's own surface, or on its frame.
    ScriptedDialogs& ClickSurface();
    ScriptedDialogs& ClickFrame();
    // The virtual clock moves on by one second, `seconds` times.
    ScriptedDialogs& Tick(int seconds = 1);
    ScriptedDialogs& PostQuit(int exitCode);
    // Looks at the dialog that is up.
    ScriptedDialogs& Inspect(std::function<void(Window* dialog)> look);

    bool Exhausted() const { return exhausted_; }

private:
    void Step();

    std::deque<std::function<void(Window*)>> steps_;
    bool exhausted_ = false;
    bool releaseControl_ = false;
};

} // namespace platform::testing
