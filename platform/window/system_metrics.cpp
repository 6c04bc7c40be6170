#include "platform/window/system_metrics.h"

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
    return detail::TheSystemMetrics().baseUnits;
}

uint32_t GetSystemColour(int index)
{
    switch (index) {
    case kColourWindow:
        return 0x00FFFFFF;
    case kColourButtonFace:
        return 0x00F0F0F0;
    default:
        return 0x00000000;
    }
}

int OsMajorVersion()
{
    return detail::TheSystemMetrics().osMajorVersion;
}

} // namespace platform
