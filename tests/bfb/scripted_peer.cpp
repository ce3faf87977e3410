#include "scripted_peer.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>

namespace bfbtest {

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Frame(std::uint8_t type, const Bytes& payload) {
    const auto length = static_cast<std::uint8_t>(payload.size());
    Bytes frame;
    frame.reserve(3 + payload.size());
    frame.push_back(type);
    frame.push_back(length);
    frame.push_back(static_cast<std::uint8_t>(type ^ length));
    for (std::uint8_t b : payload) frame.push_back(b);
    return frame;
}

Bytes WithCheck(Bytes payload) {
    std::uint8_t check = 0;
    for (std::uint8_t b : payload) check ^= b;
    payload.push_back(check);
    return payload;
}

ScriptedPeer::ScriptedPeer(int comNumber) {
    const std::string map = "COM" + std::to_string(comNumber) + "=" + master_.slavePath();
    setenv("VQ_COMPORTS", map.c_str(), 1);
}

ScriptedPeer::~ScriptedPeer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    unsetenv("VQ_COMPORTS");
}

void ScriptedPeer::send(const Bytes& bytes) { master_.write(bytes.data(), bytes.size()); }

void ScriptedPeer::play(std::vector<Step> steps) {
    steps_ = std::move(steps);
    thread_ = std::thread([this] { run(); });
}

Bytes ScriptedPeer::received() {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

std::vector<std::uint32_t> ScriptedPeer::ratesSeen() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ratesSeen_;
}

Bytes ScriptedPeer::receivedAtLeast(std::size_t count, int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (!thread_.joinable()) {
            std::uint8_t buffer[256];
            const long got = master_.read(buffer, sizeof buffer, 20);
            std::lock_guard<std::mutex> lock(mutex_);
            if (got > 0) received_.insert(received_.end(), buffer, buffer + got);
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (received_.size() >= count || std::chrono::steady_clock::now() >= end) return received_;
        }
        if (thread_.joinable()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void ScriptedPeer::run() {
    while (!stop_) {
        std::uint8_t buffer[256];
        const long got = master_.read(buffer, sizeof buffer, 20);
        if (got <= 0) {
            if (got < 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            received_.insert(received_.end(), buffer, buffer + got);
        }
        pending_.insert(pending_.end(), buffer, buffer + got);
        while (stepsDone_ < steps_.size()) {
            const Step& step = steps_[stepsDone_];
            const auto at = std::search(pending_.begin(), pending_.end(), step.expect.begin(), step.expect.end());
            if (at == pending_.end() && !step.expect.empty()) break;
            pending_.erase(pending_.begin(), at + static_cast<long>(step.expect.size()));
            const std::uint32_t rate = master_.slaveBaudRate();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ratesSeen_.push_back(rate);
            }
            if (step.baud != 0 && rate != step.baud) continue;  // garbled at this rate
            if (step.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.delayMs));
            const Bytes reply = step.reply;
            ++stepsDone_;  // counted before the reply goes out, so a caller that got it sees the count
            master_.write(reply.data(), reply.size());
        }
    }
}

}  // namespace bfbtest
