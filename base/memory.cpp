#include "base/memory.h"

#include <cstring>

HGLOBAL GlobalAllocZeroed(SIZE_T bytes) {
    HGLOBAL block = GlobalAlloc(GMEM_FIXED, bytes);
    if (block) std::memset(block, 0, bytes);
    return block;
}
