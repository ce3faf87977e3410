#include "sim/phone_parts.h"

namespace sim {

FaultBook::FaultBook(const std::vector<Fault>& faults) {
    for (const Fault& f : faults) entries_.push_back({f, f.count});
}

std::optional<Fault> FaultBook::take(const std::string& point, std::optional<std::uint32_t> index) {
    for (Entry& e : entries_) {
        if (e.left == 0 || e.fault.point != point) continue;
        if (e.fault.index && (!index || *e.fault.index != *index)) continue;
        --e.left;
        return e.fault;
    }
    return std::nullopt;
}

bool FaultBook::has(const std::string& point) const {
    for (const Entry& e : entries_)
        if (e.fault.point == point) return true;
    return false;
}

PhoneMemory::PhoneMemory(const Scenario& s)
    // The old software reads as 0x00 (a write without erase shows), a blank phone's flash as erased.
    : scenario(s),
      software(s.software),
      faults(s.faults),
      flash(static_cast<std::size_t>(s.flashMbit) * 131072, s.software == Software::Blank ? 0xFF : 0x00) {
    eeprom[kUpdateRequestBlock] = EepromBlock{s.eeprom142b.front(), s.eeprom142b};
    if (s.software == Software::Blank) {
        version = SoftwareVersion{0xFF, std::string(8, '\xFF'), std::string(16, '\xFF')};
    } else {
        version = SoftwareVersion{s.svn, s.compileDate, s.productType};
    }
}

PhoneControl::~PhoneControl() = default;

std::uint8_t xorOf(const std::uint8_t* data, std::size_t size) {
    std::uint8_t x = 0;
    for (std::size_t i = 0; i < size; ++i) x ^= data[i];
    return x;
}

}  // namespace sim
