#pragma once
// The keyboard and mouse as start-up makes them, driven by injected keys and
// mouse movement, with section Controls written into a settings.ini of a
// temporary current folder. Everything is released again at the end.
#include <gtest/gtest.h>

#include <string>

#include "kernel/settings.h"
#include "platform/input/scan_codes.h"
#include "testing/input_injection.h"
#include "testing/message_box_script.h"
#include "scene/input_devices.h"
#include "scene/key_bindings.h"
#include "script/component.h"
#include "testing/test_files.h"

namespace input_test {

using namespace platform::input;
namespace inject = platform::testing;

// Settings read from `settings` for the object's life.
class SettingsText {
public:
    explicit SettingsText(const std::string& settings) : cwd_("zandrel-input")
    {
        cwd_.Write("settings.ini", settings);
        ReleaseSettings();
        zandrel_test::CoutCapture quiet;
        GetSettings();
    }
    ~SettingsText() { ReleaseSettings(); }

private:
    zandrel_test::TempCwd cwd_;
};

// Devices made and acquired, keys and mouse the test's own.
class InputRig {
public:
    explicit InputRig(const std::string& settings = "")
        : settings_(settings)
    {
        zandrel_test::CoutCapture quiet;
        GetDirectInput()->InitInput(nullptr, nullptr);
    }
    ~InputRig()
    {
        zandrel_test::CoutCapture quiet;
        DestroyControls();
        GetDirectInput()->ReleaseInput();
    }

    // One frame's reading, in the frame's order.
    void Poll()
    {
        GetDirectInput()->PollMouse();
        GetDirectInput()->PollKeyboard();
        GetControls()->UpdateControls();
    }

private:
    inject::InjectedInput injected_;
    platform::testing::ScriptedMessageBoxes boxes_;
    SettingsText settings_;
};

// Writes down the messages it receives.
class Recorder : public Component {
public:
    explicit Recorder(std::vector<std::pair<const Recorder*, uint32_t>>* log = nullptr) : log_(log) {}
    void OnMessage(ComponentMessage* message) override
    {
        received.push_back(message->id);
        if (log_)
            log_->push_back({this, message->id});
    }
    std::vector<uint32_t> received;

private:
    std::vector<std::pair<const Recorder*, uint32_t>>* log_;
};

} // namespace input_test
