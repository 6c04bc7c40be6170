#include "platform/os/console.h"

#include <cstdio>
#include <ios>
#include <unistd.h>

namespace platform::os {

Console* OpenConsole()
{
    static Console console{STDOUT_FILENO, 0};
    return &console;
}

void SetConsoleBufferLines(Console* console, unsigned lines)
{
    if (console)
        console->bufferLines = lines;
}

void BindStandardStreamsToConsole(Console*)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    std::ios::sync_with_stdio(true);
}

} // namespace platform::os
