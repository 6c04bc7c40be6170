#pragma once
// The figures a window layout asks the system for: screen and icon sizes, the
// dialog base units, system colours and the operating system's major version.
// Where a display answers, the screen is its desktop and the base units come
// from the message font (platform/window/dialog_font.h); elsewhere the figures
// are fixed (tests may change them).
#include <cstdint>

namespace platform {

enum class SystemMetric { ScreenWidth, ScreenHeight, IconWidth, IconHeight };
int GetSystemMetric(SystemMetric metric);

// The average character width (x) and height (y) of the dialog font in pixels.
struct DialogBaseUnits {
    int x;
    int y;
};
DialogBaseUnits GetDialogBaseUnits();

// System colour indexes and their 0x00BBGGRR values.
inline constexpr int kColourWindow = 5;
inline constexpr int kColourWindowText = 8;
inline constexpr int kColourButtonFace = 15;
inline constexpr int kColourButtonShadow = 16;
inline constexpr int kColourGreyText = 17;
inline constexpr int kColourButtonText = 18;
inline constexpr int kColourButtonHighlight = 20;
inline constexpr int kColourDarkShadow = 21;
uint32_t GetSystemColour(int index);

// The major version the system reports (6 or more: the newer dialog look).
int OsMajorVersion();

namespace detail {
struct SystemMetricsValues {
    int screenWidth = 1024;
    int screenHeight = 768;
    int iconWidth = 32;
    int iconHeight = 32;
    DialogBaseUnits baseUnits{8, 16};
    int osMajorVersion = 6;
};
// The process's figures (tests replace them).
SystemMetricsValues& TheSystemMetrics();
} // namespace detail

} // namespace platform
