#pragma once
// Memory that runs short ends the program in one line on standard error,
// "Out of memory: the program ends." ("Out of memory for the task queues: ..."
// where the purpose is known), with the terminal back in its own mode and exit
// code 1: never "terminate called" and an abort, whichever thread the
// std::bad_alloc was left unhandled on. And what keeps a shortage from ending
// the program worse: a library that crashes rather than fails when memory runs
// short is asked only with room to spare, and under a bound on the address
// space the heap does not spend the bound on reservations.
#include <cstddef>

namespace platform::os {

// For the whole process, before its first thread and its first large
// allocation: a std::bad_alloc that nothing catches ends the program as above
// (any other exception left unhandled ends it as it did before); and under a
// bound on the address space, threads share the heap's first arena instead of
// each reserving 64 MB of the bound for one of their own. Again is harmless.
void EndOnMemoryShortage();

// Ends the program at once, as above, for memory that could not be had for
// `purpose` (words that follow "for": "the task queues"; null for none).
// Written without taking memory; what standard output holds goes out first
// (not what a log file's own buffer holds).
[[noreturn]] void EndForMemoryShortage(const char* purpose = nullptr);

// Whether `bytes` more of address space can be had now, so that a library
// step that needs about that much does not run out of it halfway.
bool RoomFor(size_t bytes);
// Whether `threads` new threads can have their stacks, and `bytes` more.
bool RoomForThreads(size_t threads, size_t bytes);

} // namespace platform::os
