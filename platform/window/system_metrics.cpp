#include "platform/window/system_metrics.h"

#include "platform/window/dialog_font.h"
#include "platform/window/screen.h"

namespace platform {

namespace detail {
SystemMetricsValues& TheSystemMetrics()
{
    static SystemMetricsValues values;
    return values;
}
} // namespace detail

int GetSystemMetric(SystemMetric metric)
{
    const auto& values = detail::TheSystemMetrics();
    const bool screen = metric == SystemMetric::ScreenWidth || metric == SystemMetric::ScreenHeight;
    if (const auto desktop = screen ? DesktopRect() : std::nullopt)
        return metric == SystemMetric::ScreenWidth ? desktop->right - desktop->left : desktop->bottom - desktop->top;
    switch (metric) {
    case SystemMetric::ScreenWidth:
        return values.screenWidth;
    case SystemMetric::ScreenHeight:
        return values.screenHeight;
    case SystemMetric::IconWidth:
        return values.iconWidth;
    case SystemMetric::IconHeight:
        return values.iconHeight;
    }
    return 0;
}

DialogBaseUnits GetDialogBaseUnits()
{
    if (detail::MessageFontReady())
        return {detail::MessageFontAverageWidth(), detail::MessageFontLineHeight()};
    return detail::TheSystemMetrics().baseUnits;
}

uint32_t GetSystemColour(int index)
{
    switch (index) {
    case kColourWindow:
        return 0x00FFFFFF;
    case kColourButtonFace:
        return 0x00F0F0F0;
    case kColourButtonShadow:
        return 0x00A0A0A0;
    case kColourGreyText:
        return 0x006D6D6D;
    case kColourButtonHighlight:
        return 0x00FFFFFF;
    case kColourDarkShadow:
        return 0x00696969;
    default:
        return 0x00000000;
    }
}

int OsMajorVersion()
{
    return detail::TheSystemMetrics().osMajorVersion;
}

} // namespace platform
