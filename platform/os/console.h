#pragma once
// The console that logMode 1 asks for. There is no console window here: the
// process's own terminal stands in for it, and the C standard streams become
// unbuffered so lines appear as they are written.
namespace platform::os {

struct Console {
    int outputFd;          // where the console's standard output goes
    unsigned bufferLines;  // the screen buffer height asked for
};

// Opens the console (once per process; later calls return the same one).
Console* OpenConsole();
void SetConsoleBufferLines(Console* console, unsigned lines);
// Makes stdout, stdin and stderr unbuffered and keeps the C++ streams in step with them.
void BindStandardStreamsToConsole(Console* console);

} // namespace platform::os
