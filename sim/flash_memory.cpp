#include "sim/flash_memory.h"

#include <algorithm>

namespace sim {

FlashMemory::FlashMemory(Bytes& cells)
    : cells_(cells), writable_((cells.size() + kBlockSize - 1) / kBlockSize, false) {}

std::uint32_t FlashMemory::size() const { return static_cast<std::uint32_t>(cells_.size()); }

std::uint32_t FlashMemory::blockCount() const { return static_cast<std::uint32_t>(writable_.size()); }

bool FlashMemory::erase(std::uint32_t block) {
    if (block >= blockCount()) return false;
    const std::size_t start = static_cast<std::size_t>(block) * kBlockSize;
    const std::size_t end = std::min<std::size_t>(start + kBlockSize, cells_.size());
    std::fill(cells_.begin() + start, cells_.begin() + end, 0xFF);
    writable_[block] = true;
    return true;
}

void FlashMemory::eraseAll() {
    for (std::uint32_t b = 0; b < blockCount(); ++b) erase(b);
}

bool FlashMemory::enableWrite(std::uint32_t block) {
    if (block >= blockCount()) return false;
    writable_[block] = true;
    return true;
}

void FlashMemory::enableWriteAll() { std::fill(writable_.begin(), writable_.end(), true); }

void FlashMemory::protectAll() { std::fill(writable_.begin(), writable_.end(), false); }

bool FlashMemory::write(std::uint32_t address, const std::uint8_t* data, std::size_t size) {
    if (address > cells_.size() || size > cells_.size() - address) return false;
    if (size == 0) return true;
    for (std::uint32_t b = address / kBlockSize; b <= (address + size - 1) / kBlockSize; ++b)
        if (!writable_[b]) return false;
    for (std::size_t i = 0; i < size; ++i) cells_[address + i] &= data[i];
    return true;
}

}  // namespace sim
