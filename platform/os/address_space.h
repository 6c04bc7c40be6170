#pragma once
// Spans of address space reserved up front and backed by memory only as their
// pages are first written; pages handed back read as zero when touched again.
#include <cstddef>

namespace platform::os {

// A readable and writable span of `bytes` that commits no memory yet; null when
// the system refuses.
void* ReserveAddressSpace(size_t bytes);
// Gives a whole reserved span back.
void ReleaseAddressSpace(void* span, size_t bytes);
// Gives the memory behind `bytes` from `start` (rounded up to whole pages) back
// to the system; the addresses stay reserved and read as zero.
void DiscardPages(void* start, size_t bytes);

} // namespace platform::os
