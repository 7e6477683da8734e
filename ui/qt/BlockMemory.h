#pragma once

#include <cstddef>

// Memory for the large blocks the output pane keeps its text in. A block is taken from the
// system with its pages already there, so filling it costs no page fault for every page (which
// a virtual machine makes dear); blocks of the text's own size are made ready ahead on a thread
// of their own, first write and all.
void* AllocateBlock(std::size_t bytes);
void FreeBlock(void* block, std::size_t bytes);
