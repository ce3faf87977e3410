// A simulated phone on a pty bound to COMn, running for the life of the object.
#pragma once

#include <string>

#include "platform/os/pty.h"
#include "sim/link.h"
#include "sim/phone.h"
#include "sim/scenario.h"

namespace bfbtest {

class SimulatedPhone {
public:
    explicit SimulatedPhone(sim::Scenario scenario, int comNumber = 1);
    ~SimulatedPhone();
    SimulatedPhone(const SimulatedPhone&) = delete;
    SimulatedPhone& operator=(const SimulatedPhone&) = delete;

    sim::Phone& phone() { return phone_; }
    sim::PhoneState state() const { return phone_.state(); }
    std::string slavePath() const { return pty_.slavePath(); }

private:
    os::PtyMaster pty_;
    sim::PtyLink link_;
    sim::Phone phone_;
};

}  // namespace bfbtest
