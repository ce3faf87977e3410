// The phone's flash: 64 KiB blocks that must be erased or write-enabled before they take data;
// writing clears bits as NOR flash does.
#pragma once

#include "sim/phone_parts.h"

namespace sim {

class FlashMemory {
public:
    static constexpr std::uint32_t kBlockSize = 0x10000;

    explicit FlashMemory(Bytes& cells);
    std::uint32_t size() const;
    std::uint32_t blockCount() const;
    bool erase(std::uint32_t block);
    void eraseAll();
    bool enableWrite(std::uint32_t block);
    void enableWriteAll();
    void protectAll();  // a restarted loader takes writes only after a new erase or enable
    // False (and nothing written) when the range leaves the flash or touches a block that is
    // neither erased nor write-enabled.
    bool write(std::uint32_t address, const std::uint8_t* data, std::size_t size);

private:
    Bytes& cells_;
    std::vector<bool> writable_;
};

}  // namespace sim
