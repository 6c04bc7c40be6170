// The program's entry point. The program draws its frames (tests and tools
// that make devices only record, unless ZANDREL_GFX says otherwise).
#include "app/application.h"
#include "platform/gfx/raster/gfx_mode.h"
#include "platform/os/memory_shortage.h"
#include "platform/os/standard_streams.h"
#include "platform/window/close_signals.h"
#include "platform/window/window.h"

namespace {
// Before every other static object is made: standard input, output and error
// that the program was started without are opened on /dev/null, so no file or
// socket opened later takes their numbers; and Ctrl+C, SIGTERM and SIGHUP
// start closing the program rather than kill it: a start-up under way stops
// waiting on anything without end and finishes its steps, and the main loop's
// first cycle takes the close, so everything made is released in the usual
// order. Memory that runs short on any thread ends the program in one line.
[[gnu::constructor(101)]] void PrepareTheProcessFromTheStart()
{
    platform::os::EndOnMemoryShortage();
    platform::os::OpenClosedStandardStreams();
    platform::WatchCloseSignals();
}
} // namespace

int main()
{
    gfx::SetDefaultGfxMode(gfx::GfxMode::Raster);
    return WinMain(platform::CurrentInstance());
}
