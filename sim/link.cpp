#include "sim/link.h"

#include <chrono>

#include "platform/os/pty.h"

namespace sim {

Link::~Link() = default;

PtyLink::PtyLink(os::PtyMaster& pty) : pty_(pty) {}

long PtyLink::read(std::uint8_t* buffer, std::size_t size, int timeoutMs) {
    const long n = pty_.read(buffer, size, timeoutMs);
    return n < 0 ? 0 : n;
}

bool PtyLink::write(const std::uint8_t* data, std::size_t size) { return pty_.write(data, size); }

std::uint32_t PtyLink::hostBaud() const { return pty_.slaveBaudRate(); }

bool PtyLink::hostOpen() const { return pty_.slaveOpen(); }

long DirectLink::read(std::uint8_t* buffer, std::size_t size, int timeoutMs) {
    std::unique_lock lock(mutex_);
    toPhoneReady_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !toPhone_.empty(); });
    std::size_t n = 0;
    while (n < size && !toPhone_.empty()) {
        buffer[n++] = toPhone_.front();
        toPhone_.pop_front();
    }
    return static_cast<long>(n);
}

bool DirectLink::write(const std::uint8_t* data, std::size_t size) {
    {
        std::lock_guard lock(mutex_);
        if (!open_) return false;
        toHost_.insert(toHost_.end(), data, data + size);
    }
    toHostReady_.notify_all();
    return true;
}

std::uint32_t DirectLink::hostBaud() const {
    std::lock_guard lock(mutex_);
    return baud_;
}

bool DirectLink::hostOpen() const {
    std::lock_guard lock(mutex_);
    return open_;
}

void DirectLink::hostSetOpen(bool open) {
    std::lock_guard lock(mutex_);
    open_ = open;
    if (!open) toHost_.clear();
}

void DirectLink::hostSetBaud(std::uint32_t baud) {
    std::lock_guard lock(mutex_);
    baud_ = baud;
}

void DirectLink::hostWrite(const std::vector<std::uint8_t>& bytes) {
    {
        std::lock_guard lock(mutex_);
        toPhone_.insert(toPhone_.end(), bytes.begin(), bytes.end());
    }
    toPhoneReady_.notify_all();
}

std::vector<std::uint8_t> DirectLink::hostRead(std::size_t maxBytes, int timeoutMs) {
    std::unique_lock lock(mutex_);
    toHostReady_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !toHost_.empty(); });
    std::vector<std::uint8_t> out;
    while (out.size() < maxBytes && !toHost_.empty()) {
        out.push_back(toHost_.front());
        toHost_.pop_front();
    }
    return out;
}

std::vector<std::uint8_t> DirectLink::hostReadExactly(std::size_t count, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::unique_lock lock(mutex_);
    std::vector<std::uint8_t> out;
    while (out.size() < count) {
        if (!toHostReady_.wait_until(lock, deadline, [this] { return !toHost_.empty(); })) break;
        while (out.size() < count && !toHost_.empty()) {
            out.push_back(toHost_.front());
            toHost_.pop_front();
        }
    }
    return out;
}

}  // namespace sim
