#include "platform/os/global_memory.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace os {

class GlobalBlock {
public:
    GlobalBlock(void* data, std::size_t size) : data_(data), size_(size) {}
    ~GlobalBlock() { std::free(data_); }
    GlobalBlock(const GlobalBlock&) = delete;
    GlobalBlock& operator=(const GlobalBlock&) = delete;

    void* lock() {
        ++locks_;
        return data_;
    }
    bool unlock() {
        if (locks_ > 0) --locks_;
        return locks_ > 0;
    }
    std::size_t size() const { return size_; }

private:
    void* data_;
    std::size_t size_;
    unsigned locks_ = 0;
};

GlobalBlock* GlobalAlloc(std::uint32_t flags, std::size_t bytes) {
    if (bytes == 0) return nullptr;
    void* data = (flags & kGmemZeroInit) != 0 ? std::calloc(1, bytes) : std::malloc(bytes);
    if (data == nullptr) return nullptr;
    GlobalBlock* block = new (std::nothrow) GlobalBlock(data, bytes);
    if (block == nullptr) std::free(data);
    return block;
}

void* GlobalLock(GlobalBlock* block) {
    return block != nullptr ? block->lock() : nullptr;
}

bool GlobalUnlock(GlobalBlock* block) {
    return block != nullptr && block->unlock();
}

std::size_t GlobalSize(const GlobalBlock* block) {
    return block != nullptr ? block->size() : 0;
}

GlobalBlock* GlobalFree(GlobalBlock* block) {
    delete block;
    return nullptr;
}

}  // namespace os
