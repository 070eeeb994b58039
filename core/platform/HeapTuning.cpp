#include "core/platform/HeapTuning.h"

#if __has_include(<malloc.h>)
#include <malloc.h>
#endif

namespace cadrell {

void KeepOneHeap() {
#if defined(M_ARENA_MAX)
    mallopt(M_ARENA_MAX, 1);
#endif
}

}  // namespace cadrell
