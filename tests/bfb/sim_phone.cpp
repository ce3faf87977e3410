#include "sim_phone.h"

#include <cstdlib>

namespace bfbtest {

SimulatedPhone::SimulatedPhone(sim::Scenario scenario, int comNumber) : link_(pty_), phone_(std::move(scenario)) {
    const std::string map = "COM" + std::to_string(comNumber) + "=" + pty_.slavePath();
    setenv("VQ_COMPORTS", map.c_str(), 1);
    phone_.start(link_);
}

SimulatedPhone::~SimulatedPhone() {
    phone_.stop();
    unsetenv("VQ_COMPORTS");
}

}  // namespace bfbtest
