#include "kernel/file_buffer.h"

#include <thread>

void FileBuffer::TakeBusy()
{
    while (!TryTakeBusy()) {
        while (IsBusy())
            std::this_thread::yield();
    }
}
