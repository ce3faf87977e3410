// A simulated VQ20/VQ2X phone: its normal software (AT interpreter, BFB service), its boot ROM
// wake-up and its update loader with a flash memory, on one serial line.
//
//   os::PtyMaster pty;                       // the updater opens pty.slavePath()
//   sim::PtyLink link(pty);
//   sim::Phone phone(sim::loadScenario(path).scenario.value());
//   phone.start(link);                       // serves on its own thread
//   ... run the updater ...
//   phone.stop();
//   phone.state().phases, phone.flashDigest(), phone.state().updateRequest ...
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/link.h"
#include "sim/scenario.h"

namespace sim {

struct Counters {
    std::uint32_t pings = 0;            // BFB pings answered
    std::uint32_t serviceRequests = 0;  // BFB 0x0E requests answered
    std::uint32_t eepromCommands = 0;   // BFB 0x14 commands answered
    std::uint32_t dataBlocks = 0;       // flash data blocks written
    std::uint32_t commandBlocks = 0;    // command blocks acknowledged
    std::uint32_t refusedBlocks = 0;    // blocks answered 0x15 (bad check byte or fault)
    std::uint32_t busyAnswers = 0;      // 0x9B sent
    std::uint32_t lostAnswers = 0;      // answers withheld by a fault
    std::uint32_t corruptedAnswers = 0; // answers sent damaged by a fault
    std::uint32_t refusedWrites = 0;    // data blocks outside the flash or not erased/enabled
    std::uint32_t erasedBlocks = 0;     // 64 KiB flash blocks erased
    std::uint32_t signatureBlocks = 0;  // signature and hash list parts received
};

struct PhoneState {
    std::vector<std::string> phases;  // every phase reached, in order (names in sim/README.md)
    std::string mode;                 // "off", "at", "bfb", "loader", "halted"
    std::uint32_t lineBaud = 0;       // the speed the phone listens at now (0 when off)
    std::optional<std::vector<std::uint8_t>> updateRequest;  // last record written to 0x142B
    std::vector<std::uint8_t> eeprom142b;                    // block 0x142B as it is now
    std::optional<std::uint32_t> rebootBaud;                 // the customer reboot's speed
    std::string signature = "none";   // "none", "accepted", "rejected"
    std::string hashList = "none";    // "none", "accepted", "rejected"
    std::string hashCheck = "none";   // "none", "passed", "failed" (at end of transmission)
    bool updated = false;             // an end of transmission restarted the new software
    std::uint8_t svn = 0;             // what the normal software reports now
    std::string compileDate;
    std::string productType;
    Counters counters;
};

class PhoneCore;

class Phone {
public:
    explicit Phone(Scenario scenario);
    ~Phone();  // stops the service loop
    Phone(const Phone&) = delete;
    Phone& operator=(const Phone&) = delete;

    // Serves `link` on a thread of its own until stop(). The link must outlive the service.
    void start(Link& link);
    void stop();
    bool running() const;
    // The scenario said it is done (done = off_after_update and the phone is off after an update).
    bool done() const;

    // The user presses the power key: a phone that is off (or blank) starts its update loader.
    void pressPowerKey();
    // Each byte takes its time at the line speed (10 bits a byte), both directions.
    void setWireThrottle(bool on);

    PhoneState state() const;
    // Waits until `phase` has been reached (true) or timeoutMs have passed (false).
    bool waitPhase(const std::string& phase, int timeoutMs) const;
    std::vector<std::uint8_t> flash() const;
    std::string flashDigest() const;  // SHA-1 of the whole flash image, 40 lower-case hex digits

private:
    void serve(Link& link);

    std::unique_ptr<PhoneCore> core_;
    mutable std::mutex mutex_;  // guards core_'s state between the service thread and queries
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> running_{false};
    std::atomic<bool> throttle_{false};
};

// Hex digits of SHA-1 over `data` (the digest the report and flashDigest() give).
std::string sha1Hex(const std::vector<std::uint8_t>& data);

}  // namespace sim
