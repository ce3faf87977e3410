// The normal software's AT command interpreter: echo, the identity request, the unlock request,
// and the two ways into BFB mode.
#pragma once

#include <string>

#include "sim/phone_parts.h"

namespace sim {

class AtInterpreter {
public:
    AtInterpreter(PhoneMemory& memory, PhoneControl& control);
    void onByte(std::uint8_t byte);
    void reset();  // the software (re)starts: locked again when the scenario says so

private:
    void execute(const std::string& line);
    void answer(const std::string& text);

    PhoneMemory& memory_;
    PhoneControl& control_;
    std::string line_;
    bool locked_ = false;
};

}  // namespace sim
