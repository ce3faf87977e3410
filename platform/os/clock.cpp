#include "platform/os/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace os {
namespace {

class SteadyClock : public Clock {
public:
    std::uint64_t nowMs() override {
        using namespace std::chrono;
        return static_cast<std::uint64_t>(
            duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }
    void sleepMs(std::uint32_t ms) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
};

SteadyClock steadyClock;
std::atomic<Clock*> installedClock{&steadyClock};

}  // namespace

Clock::~Clock() = default;

std::uint32_t TickCount() {
    return static_cast<std::uint32_t>(installedClock.load()->nowMs());
}

void Sleep(std::uint32_t ms) {
    installedClock.load()->sleepMs(ms);
}

std::uint64_t HighResCounter() {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count());
}

std::uint64_t HighResFrequency() {
    return 1'000'000'000u;
}

LocalTime GetLocalTime() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm parts{};
    localtime_r(&seconds, &parts);
    LocalTime t;
    t.year = parts.tm_year + 1900;
    t.month = parts.tm_mon + 1;
    t.dayOfWeek = parts.tm_wday;
    t.day = parts.tm_mday;
    t.hour = parts.tm_hour;
    t.minute = parts.tm_min;
    t.second = parts.tm_sec;
    t.milliseconds =
        static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return t;
}

ScopedClock::ScopedClock(Clock& clock) : previous_(installedClock.exchange(&clock)) {}

ScopedClock::~ScopedClock() {
    installedClock.store(previous_);
}

FakeClock::FakeClock(std::uint64_t startMs) : now_(startMs) {}

std::uint64_t FakeClock::nowMs() {
    return now_.load();
}

void FakeClock::sleepMs(std::uint32_t ms) {
    now_ += ms;
    slept_ += ms;
    ++sleeps_;
    std::this_thread::yield();
}

void FakeClock::advance(std::uint64_t ms) {
    now_ += ms;
}

std::uint64_t FakeClock::totalSleptMs() const {
    return slept_.load();
}

std::uint32_t FakeClock::sleepCount() const {
    return sleeps_.load();
}

}  // namespace os
