// What the parts of the simulated phone share: the phone's memory (EEPROM, flash, software version,
// counters, faults) and the control through which a part answers on the line or changes the mode.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "sim/phone.h"
#include "sim/scenario.h"

namespace sim {

using SimClock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

// The faults of the scenario with what is left of each.
class FaultBook {
public:
    explicit FaultBook(const std::vector<Fault>& faults);
    // The fault at `point` (and `index`, when the fault names one) that still strikes; counts it.
    std::optional<Fault> take(const std::string& point, std::optional<std::uint32_t> index = std::nullopt);
    // Whether a fault at `point` is given, without counting it.
    bool has(const std::string& point) const;

private:
    struct Entry {
        Fault fault;
        std::uint32_t left;
    };
    std::vector<Entry> entries_;
};

struct EepromBlock {
    std::uint8_t value = 0;
    Bytes data;
};

// The software the normal software reports (changes after an update).
struct SoftwareVersion {
    std::uint8_t svn = 0;
    std::string compileDate;
    std::string productType;
};

struct PhoneMemory {
    explicit PhoneMemory(const Scenario& s);

    const Scenario& scenario;
    Software software;  // what runs now: a blank phone has normal software after an update
    FaultBook faults;
    std::map<std::uint16_t, EepromBlock> eeprom;
    Bytes flash;
    SoftwareVersion version;
    PhoneState record;  // phases, results and counters (mode, eeprom and version are filled on query)
};

class PhoneControl {
public:
    virtual ~PhoneControl();
    virtual void send(const Bytes& bytes) = 0;  // on the line at the phone's speed
    virtual void reachPhase(const std::string& phase) = 0;
    virtual void switchToBfb() = 0;
    virtual void switchOff() = 0;
    virtual void rebootIntoLoader(std::uint32_t baud) = 0;
    virtual void startNormalSoftware() = 0;  // after a verified update, or the boot ROM's program
    virtual void halt() = 0;                 // the phone stops answering for good
};

constexpr std::uint16_t kUpdateRequestBlock = 0x142B;

std::uint8_t xorOf(const std::uint8_t* data, std::size_t size);

}  // namespace sim
