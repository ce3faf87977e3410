#include "sim/line.h"

#include <algorithm>
#include <thread>

namespace sim {

namespace {

// Sleeping overshoots by tens of microseconds; the last stretch of a wait is spun so that wire
// times add up to what the line speed gives.
constexpr auto kSpinStretch = std::chrono::microseconds(200);

void waitUntil(std::chrono::steady_clock::time_point deadline) {
    const auto now = std::chrono::steady_clock::now();
    if (deadline - now > kSpinStretch) std::this_thread::sleep_until(deadline - kSpinStretch);
    while (std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
}

}  // namespace

// Rotating and XOR-ing with a non-zero constant: for garbled a, b, c the frame header test
// g(a) ^ g(b) == g(c) holds only if a ^ b == c ^ rotr(0xC5, 3), so a real header (a ^ b == c)
// never survives.
std::uint8_t garble(std::uint8_t byte) {
    return static_cast<std::uint8_t>(((byte << 3) | (byte >> 5)) ^ 0xC5);
}

Line::Line(Link& link, bool throttle) : link_(link), throttle_(throttle) { refreshBaud(); }

void Line::setThrottle(bool on) { throttle_ = on; }

void Line::refreshBaud() { baud_ = link_.hostBaud(); }

std::uint32_t Line::hostBaud() const { return baud_; }

Line::Clock::duration Line::byteTime(std::size_t count) const {
    if (baud_ == 0) return Clock::duration::zero();
    // 10 bits a byte: start bit, 8 data bits, stop bit.
    return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10'000'000'000LL / baud_) *
                                                      static_cast<long long>(count));
}

void Line::paceInput(std::size_t count) {
    if (!throttle_) return;
    inWire_ = std::max(inWire_, Clock::now()) + byteTime(count);
    waitUntil(inWire_);
}

void Line::paceOutput(std::size_t count) {
    if (!throttle_) return;
    // The answer starts when the last byte of the input was taken in, not when the wait for it
    // happened to end.
    const auto now = Clock::now();
    const auto start = std::max(outWire_, now - inWire_ < kSpinStretch ? inWire_ : now);
    outWire_ = start + byteTime(count);
    waitUntil(outWire_);
}

}  // namespace sim
