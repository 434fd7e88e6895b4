// Heap use of the running program, counted by replacing the global operator new and delete.
#pragma once

#include <cstddef>

namespace bench {

// Bytes allocated through operator new and not yet freed.
size_t HeapInUse();
// The highest HeapInUse() since the last ResetHeapPeak().
size_t HeapPeak();
void ResetHeapPeak();
// operator new calls since the program started.
size_t HeapAllocations();

}  // namespace bench
