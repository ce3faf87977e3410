// Time: a millisecond tick, sleeping, a high-resolution counter and local time. TickCount and Sleep
// go through the installed Clock, so tests of code with long fixed waits can run without waiting.
#pragma once

#include <atomic>
#include <cstdint>

namespace os {

// Milliseconds since an arbitrary start, monotonic; wraps after about 49.7 days.
std::uint32_t TickCount();
void Sleep(std::uint32_t ms);

// A monotonic counter with HighResFrequency() counts per second (real time, not the Clock).
std::uint64_t HighResCounter();
std::uint64_t HighResFrequency();

struct LocalTime {
    int year = 0;       // e.g. 2026
    int month = 0;      // 1..12
    int dayOfWeek = 0;  // 0 = Sunday
    int day = 0;        // 1..31
    int hour = 0;       // 0..23
    int minute = 0;
    int second = 0;
    int milliseconds = 0;  // 0..999
};
LocalTime GetLocalTime();

// A source of time for TickCount and Sleep.
class Clock {
public:
    virtual ~Clock();
    virtual std::uint64_t nowMs() = 0;
    virtual void sleepMs(std::uint32_t ms) = 0;
};

// Installs a clock for the whole process while it lives; the previous clock comes back at its end.
// Scopes must end in the reverse order of their start.
class ScopedClock {
public:
    explicit ScopedClock(Clock& clock);
    ~ScopedClock();
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;

private:
    Clock* previous_;
};

// A clock whose sleep advances its time at once instead of waiting. Thread-safe.
class FakeClock : public Clock {
public:
    explicit FakeClock(std::uint64_t startMs = 0);
    std::uint64_t nowMs() override;
    void sleepMs(std::uint32_t ms) override;  // advances time, yields to other threads, returns
    void advance(std::uint64_t ms);
    std::uint64_t totalSleptMs() const;  // the sum of all sleeps so far
    std::uint32_t sleepCount() const;

private:
    std::atomic<std::uint64_t> now_;
    std::atomic<std::uint64_t> slept_{0};
    std::atomic<std::uint32_t> sleeps_{0};
};

}  // namespace os
