// The boot ROM's wake-up on the serial line (19200 baud): 0x55 is answered 0xA0; then a boot
// program of 104 bytes with its XOR, answered 0xA5 only when it is the expected program, after
// which the phone starts its normal software.
#pragma once

#include "sim/phone_parts.h"

namespace sim {

class BootRom {
public:
    explicit BootRom(PhoneControl& control);
    void onByte(std::uint8_t byte);
    void reset();

    static const Bytes& expectedProgram();

private:
    enum class Step { Wake, Length, Program, Check };

    PhoneControl& control_;
    Step step_ = Step::Wake;
    Bytes program_;
};

}  // namespace sim
