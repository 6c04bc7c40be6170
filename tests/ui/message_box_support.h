#pragma once
// Shared set-up of the message box tests: scripted dialogs on a virtual clock,
// a configuration folder of their own, a known program path and the older look
// unless a test asks for the newer one.
#include <string>
#include <utility>
#include <vector>

#include "testing/dialog_hooks.h"
#include "testing/dialog_script.h"
#include "testing/os_hooks.h"
#include "platform/window/dialog.h"
#include "platform/window/window.h"

inline platform::detail::SystemMetricsValues OlderLook()
{
    platform::detail::SystemMetricsValues values;
    values.osMajorVersion = 5;
    return values;
}

struct MessageBoxWorld {
    explicit MessageBoxWorld(const platform::detail::SystemMetricsValues& metrics = OlderLook()) : metrics(metrics)
    {
        platform::testing::TakeBeeps();
        platform::testing::TakeHelpRequest();
    }
    platform::testing::ConfigFolder config;
    platform::testing::ExecutablePathAs program{"/opt/app/viewer.exe"};
    platform::testing::SystemMetricsAs metrics;
    platform::testing::ScriptedDialogs script;
};

// The dialog's buttons (check box included) as (id, text), in row order.
inline std::vector<std::pair<int, std::string>> ButtonsOf(platform::Window* dialog)
{
    std::vector<std::pair<int, std::string>> buttons;
    for (platform::Window* child : platform::ChildWindows(dialog))
        if (platform::WindowClassName(child) == platform::kButtonClassName)
            buttons.emplace_back(platform::ControlId(child), platform::WindowTitle(child));
    return buttons;
}

inline bool IsDefaultButton(platform::Window* control)
{
    return (platform::WindowStyle(control) & platform::kButtonStyleKindMask) == platform::kButtonStyleDefault;
}
