// The phone's update loader on the flash link: blocks from the host answered with one byte, command
// blocks of its own, the flash commands, the erase, the signature negotiation and the end of
// transmission with the check of the hash list against the flash.
#pragma once

#include <functional>
#include <optional>

#include "sim/flash_memory.h"
#include "sim/phone_parts.h"
#include "sim/signature_check.h"

namespace sim {

class UpdateLoader {
public:
    UpdateLoader(PhoneMemory& memory, PhoneControl& control);
    void start();  // the loader comes up and waits for the host
    void onByte(std::uint8_t byte, SimClock::time_point now);
    void tick(SimClock::time_point now, bool lineOpen);
    void onLineClosed();

private:
    void forgetHost();  // drops what belonged to the host that talked last
    struct Negotiation {
        std::uint8_t hashKind = 0;       // hash parameter byte 1
        std::uint16_t entrySize = 0;     // word 1
        std::uint16_t entryCount = 0;    // word 2
        Bytes signature;
        Bytes hashList;
        std::optional<Bytes> digest;     // recovered from an accepted signature
        bool hashListAccepted = false;
    };
    struct Timed {
        SimClock::time_point at;
        std::function<void()> action;
    };

    void parse(SimClock::time_point now);
    void onBlock(std::uint32_t address, const Bytes& data, SimClock::time_point now);
    bool applyAnswerFault(const std::string& point, std::uint32_t index, SimClock::time_point now,
                          const std::function<void()>& process);
    void onDataBlock(std::uint32_t address, const Bytes& data);
    void onCommand(std::uint8_t id, const Bytes& p, SimClock::time_point now);
    void onNegotiation(const Bytes& p);
    void onSignaturePart(bool hashList, bool last, const Bytes& p);
    bool checkSignature();
    bool checkHashList() const;
    void onEndOfTransmission();
    // The first index of a hash entry that does not match the flash, or nothing.
    std::optional<std::size_t> firstHashMismatch() const;
    void onEraseNewConcept(SimClock::time_point now);
    void reportError(const Bytes& bytes);

    void answer(std::uint8_t byte);
    void sendBlock(std::uint8_t id, const Bytes& params);  // a block the host is waiting for
    void deferBlock(std::uint8_t id, const Bytes& params); // an unasked block
    void flushDeferred();
    void at(SimClock::time_point when, std::function<void()> action);

    PhoneMemory& memory_;
    PhoneControl& control_;
    FlashMemory flash_;
    SignatureCheck keys_;
    Bytes input_;
    SimClock::time_point lastByte_{};
    std::optional<SimClock::time_point> openSince_;
    std::optional<SimClock::time_point> lastReady_;
    bool hostSeen_ = false;      // the host sent a block in this session
    unsigned pendingAcks_ = 0;   // blocks sent that the host has not acknowledged yet
    std::vector<Bytes> deferred_;
    std::vector<Timed> timed_;
    std::optional<Negotiation> negotiation_;
    bool restartWhenAcknowledged_ = false;
    bool holding_ = false;  // a fault holds back what the block being taken in sends
    std::optional<std::uint8_t> heldAnswer_;
    std::vector<Bytes> heldBlocks_;
};

// A command block of the flash link: FF FF FF, L, id, parameters, XOR check.
Bytes commandBlock(std::uint8_t id, const Bytes& params);

}  // namespace sim
