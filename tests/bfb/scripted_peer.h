// The far end of a BFB port in tests: a pty whose master side answers the bytes the port writes
// from a script, step by step, and remembers everything it received.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/pty.h"

namespace bfbtest {

using Bytes = std::vector<std::uint8_t>;

Bytes ToBytes(const std::string& text);
// A BFB frame: type, length, type ^ length, payload.
Bytes Frame(std::uint8_t type, const Bytes& payload);
// A block service payload with its check byte appended.
Bytes WithCheck(Bytes payload);

struct Step {
    Bytes expect;              // the bytes the port must have written (anywhere in what came);
                               // empty: follows the previous step at once
    Bytes reply;               // written back once they came
    std::uint32_t baud = 0;    // 0: any rate; else the step only matches at this slave rate
    int delayMs = 0;           // pause before the reply
};

// Binds COMn (VQ_COMPORTS) to a fresh pty and plays a script on its master side.
class ScriptedPeer {
public:
    explicit ScriptedPeer(int comNumber = 1);
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // Puts bytes on the line now, without waiting for a request.
    void send(const Bytes& bytes);
    // Starts answering; steps are matched in order.
    void play(std::vector<Step> steps);
    // Everything the port wrote so far.
    Bytes received();
    // Waits up to timeoutMs for at least count bytes to have arrived.
    Bytes receivedAtLeast(std::size_t count, int timeoutMs = 2000);
    std::size_t stepsDone() const { return stepsDone_; }
    // The slave's line rate each time a step's bytes came, matched or not.
    std::vector<std::uint32_t> ratesSeen();
    os::PtyMaster& master() { return master_; }

private:
    void run();

    os::PtyMaster master_;
    std::vector<Step> steps_;
    std::mutex mutex_;
    Bytes received_;
    Bytes pending_;
    std::vector<std::uint32_t> ratesSeen_;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> stepsDone_{0};
    std::thread thread_;
};

}  // namespace bfbtest
