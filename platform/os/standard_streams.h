#pragma once
// Descriptors 0, 1 and 2 that the process was started without. Left closed,
// the next file or socket opened would take one of their numbers, and the log
// (or the error output) would be written into it; they are opened on
// /dev/null instead, before anything else opens a file.
namespace platform::os {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed (0 for
// reading, 1 and 2 for writing). Safe to call more than once.
void OpenClosedStandardStreams();

} // namespace platform::os
