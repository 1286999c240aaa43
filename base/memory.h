// Blocks for the spooler's answers.
#pragma once

#include "platform/win32.h"

// A zero-filled block from GlobalAlloc (GMEM_FIXED); null when none could be
// had. Its owner is platform::GlobalBlock.
HGLOBAL GlobalAllocZeroed(SIZE_T bytes);
