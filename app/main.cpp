// The program's entry point. The program draws its frames (tests and tools
// that make devices only record, unless ZANDREL_GFX says otherwise).
#include "app/application.h"
#include "platform/gfx/raster/gfx_mode.h"
#include "platform/window/window.h"

int main()
{
    gfx::SetDefaultGfxMode(gfx::GfxMode::Raster);
    return WinMain(platform::CurrentInstance());
}
