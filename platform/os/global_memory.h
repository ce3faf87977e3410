// Movable global memory: blocks referred to by a handle, locked to get their address.
#pragma once

#include <cstddef>
#include <cstdint>

namespace os {

class GlobalBlock;  // a block handle

enum : std::uint32_t { kGmemFixed = 0x0000, kGmemMoveable = 0x0002, kGmemZeroInit = 0x0040 };

// nullptr when the memory is not there (or bytes is 0).
GlobalBlock* GlobalAlloc(std::uint32_t flags, std::size_t bytes);
// The block's address; counts one lock. nullptr for a null handle.
void* GlobalLock(GlobalBlock* block);
// Undoes one lock; true while the block stays locked.
bool GlobalUnlock(GlobalBlock* block);
std::size_t GlobalSize(const GlobalBlock* block);
// Frees the block (locked or not); returns nullptr (the Windows convention for success).
GlobalBlock* GlobalFree(GlobalBlock* block);

}  // namespace os
