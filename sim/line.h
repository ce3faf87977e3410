// The serial line between host and phone as the phone sees it: the host's speed, the damage done
// to bytes sent at another speed than the receiver's, and the optional wire time of each byte.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

#include "sim/link.h"

namespace sim {

// What a byte becomes when sender and receiver run at different speeds. A fixed scramble keeps runs
// repeatable; it never maps a frame header onto a valid one (see line.cpp).
std::uint8_t garble(std::uint8_t byte);

class Line {
public:
    Line(Link& link, bool throttle);
    void setThrottle(bool on);
    void refreshBaud();
    std::uint32_t hostBaud() const;
    // With throttling: wait until `count` bytes just read would have crossed the wire.
    void paceInput(std::size_t count);
    // With throttling: wait the wire time of `count` bytes about to be written.
    void paceOutput(std::size_t count);

private:
    using Clock = std::chrono::steady_clock;
    Clock::duration byteTime(std::size_t count) const;

    Link& link_;
    bool throttle_;
    std::uint32_t baud_ = 0;
    Clock::time_point inWire_{};
    Clock::time_point outWire_{};
};

}  // namespace sim
