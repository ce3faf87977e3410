// The normal software's BFB service: frames, ping, the service requests and the EEPROM block
// service with its check bytes, busy answer and status answers.
#pragma once

#include <deque>
#include <optional>

#include "sim/phone_parts.h"

namespace sim {

class BfbService {
public:
    BfbService(PhoneMemory& memory, PhoneControl& control);
    void onByte(std::uint8_t byte, SimClock::time_point now);
    void tick(SimClock::time_point now);
    void reset();

private:
    struct PendingWrite {
        std::uint16_t block = 0;
        EepromBlock contents;
    };
    struct Delayed {
        SimClock::time_point at;
        Bytes frame;
    };

    void parse();
    void onFrame(std::uint8_t type, const Bytes& payload, SimClock::time_point now);
    void onService(const Bytes& payload);
    void onEeprom(const Bytes& payload, SimClock::time_point now);
    Bytes eepromAnswer(const Bytes& request);
    void sendFrame(std::uint8_t type, const Bytes& payload);
    void sendAnswer(std::uint8_t type, Bytes payload, const std::string& point, std::uint32_t index);

    PhoneMemory& memory_;
    PhoneControl& control_;
    Bytes input_;
    SimClock::time_point lastByte_{};
    std::optional<PendingWrite> pending_;
    std::deque<Delayed> delayed_;
};

Bytes bfbFrame(std::uint8_t type, const Bytes& payload);

}  // namespace sim
