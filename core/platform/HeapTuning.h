#pragma once

namespace cadrell {

// Asks the C library to keep one heap for every thread. Workers (missing files, columns, the
// journal) allocate tens of megabytes over a large playlist and free them when done; in heaps of
// their own that memory stays with the process for good, while the shared heap gives it back.
// Call it first thing in main, before any thread starts.
void KeepOneHeap();

}  // namespace cadrell
