// A host end for driving a simulated phone in-process over a direct byte link.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sim/link.h"
#include "sim/phone.h"
#include "sim/scenario.h"

namespace simtest {

using Bytes = std::vector<std::uint8_t>;

inline sim::Scenario scenario(const std::string& text) {
    sim::ScenarioResult r = sim::parseScenario(text);
    EXPECT_TRUE(r.scenario) << r.error;
    return r.scenario.value_or(sim::Scenario{});
}

inline Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline std::string asText(const Bytes& b) { return std::string(b.begin(), b.end()); }

inline std::uint8_t xorOf(const Bytes& b) {
    std::uint8_t x = 0;
    for (std::uint8_t v : b) x ^= v;
    return x;
}

// BFB frame: type, length, type ^ length, payload.
inline Bytes frame(std::uint8_t type, const Bytes& payload) {
    const auto n = static_cast<std::uint8_t>(payload.size());
    Bytes f{type, n, static_cast<std::uint8_t>(type ^ n)};
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

// EEPROM service frame: the payload ends with its XOR.
inline Bytes eepromFrame(Bytes payload) {
    payload.push_back(xorOf(payload));
    return frame(0x14, payload);
}

// Flash link blocks: address (3 bytes), n, data, XOR of all before.
inline Bytes dataBlock(std::uint32_t address, const Bytes& data) {
    Bytes b{static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(data.size())};
    b.insert(b.end(), data.begin(), data.end());
    b.push_back(xorOf(b));
    return b;
}

inline Bytes commandBlock(std::uint8_t id, const Bytes& params) {
    Bytes data{id};
    data.insert(data.end(), params.begin(), params.end());
    return dataBlock(0xFFFFFF, data);
}

class DirectHost {
public:
    explicit DirectHost(const sim::Scenario& s) : phone(s) { phone.start(link); }
    explicit DirectHost(const std::string& scenarioText) : DirectHost(scenario(scenarioText)) {}
    ~DirectHost() { phone.stop(); }

    void send(const Bytes& b) { link.hostWrite(b); }
    void send(const std::string& s) { link.hostWrite(text(s)); }
    Bytes read(std::size_t count, int timeoutMs = 2000) { return link.hostReadExactly(count, timeoutMs); }
    // Everything that arrives until the line has been quiet for quietMs.
    Bytes drain(int quietMs = 300) {
        Bytes all;
        for (;;) {
            Bytes part = link.hostRead(4096, quietMs);
            if (part.empty()) return all;
            all.insert(all.end(), part.begin(), part.end());
        }
    }
    bool waitPhase(const std::string& phase, int timeoutMs = 3000) { return phone.waitPhase(phase, timeoutMs); }

    sim::DirectLink link;
    sim::Phone phone;
};

}  // namespace simtest
