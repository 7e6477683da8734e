#pragma once

#include <cstddef>

// Memory for the large blocks the output pane keeps its text in. A block is taken from the
// system with its pages already there: filling it then costs one call, not a page fault for
// every page (which a virtual machine makes dear).
void* AllocateBlock(std::size_t bytes);
void FreeBlock(void* block, std::size_t bytes);
