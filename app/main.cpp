// The program's entry point.
#include "app/application.h"
#include "platform/window/window.h"

int main()
{
    return WinMain(platform::CurrentInstance());
}
