// The program's entry point.
#include "kernel/application.h"
#include "platform/window/window.h"

int main()
{
    return WinMain(platform::CurrentInstance());
}
