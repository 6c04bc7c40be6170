#pragma once
// Counting heap allocations in a benchmark program: linking this replaces the
// global operator new and delete with malloc/free that count every allocation.
#include <cstdint>

// Allocations made through operator new since the program started.
uint64_t HeapAllocations();
