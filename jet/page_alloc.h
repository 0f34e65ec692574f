// Changing usage maps and allocating pages, inside a pager transaction.
//
// New pages always go at the end of the file and are marked in use in the
// global map (page 1 row 0, where a set bit means free) before anything
// points at them. An inline map that cannot describe a page moves its start
// when every set page still fits its window, otherwise it becomes a
// reference map (same row, type-0x05 bitmap pages). The global map only
// moves its start: pages it no longer covers count as in use.
#pragma once

#include <cstdint>

#include "bytes.h"
#include "pager.h"

namespace jet {

// Adds `page` to (or removes it from) the owned-style map at `where`.
void addToMap(Pager& pager, RowPointer where, uint32_t page);
void removeFromMap(Pager& pager, RowPointer where, uint32_t page);

void markPageUsed(Pager& pager, uint32_t page);
void markPageFree(Pager& pager, uint32_t page);

// Appends a page, marks it used, and returns it zeroed.
uint32_t allocatePage(Pager& pager);
// Marks a page free and clears its first bytes so its stale content is not
// taken for a live page.
void freePage(Pager& pager, uint32_t page);

}  // namespace jet
