// What a simulated phone is (its software, values, flash and keys) and which faults it injects
// where. Read from a scenario file (format in sim/README.md) or built in code by tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sim {

enum class Software {
    Normal,  // AT interpreter and BFB service software
    NoBfb,   // AT interpreter only: refuses the switch into BFB
    Blank,   // no normal software: silent until the update loader is started by hand
};

enum class SignatureMode {
    Requested,  // asks for its key when the updater starts a negotiation; accepts unsigned updates
    Enforced,   // as Requested, but refuses an update that was never negotiated
    None,       // answers "no signature needed"
    Error,      // answers the negotiation start with the error report 03
};

// How a blank phone's update loader is started: by the line (the updater holds the port open at
// 115200 without sending for a second, as after "press ON/OFF") or only by pressPowerKey().
enum class PowerOn { Line, Key };

// A fault at a named point (list in sim/README.md).
struct Fault {
    std::string point;           // e.g. "loader.block", "eeprom.begin_write", "at"
    std::optional<std::uint32_t> index;  // block number (1-based) or command identifier
    std::string action;          // e.g. "refuse", "busy", "error_report"
    std::uint32_t count = 1;     // how many times it strikes
    std::uint32_t ms = 0;        // length of a busy period
    char status = '0';           // EEPROM service status answer
    std::vector<std::uint8_t> bytes;  // error report parameters
};

struct Scenario {
    std::string name = "default";
    Software software = Software::Normal;

    // Normal software: AT interpreter
    std::string maker = "Zelmora";
    std::string model = "VQ20";
    std::string imei = "351234567890123";
    bool atLocked = false;  // answers "ERROR" until "AT^KQWE=2"
    bool kqwe1 = true;      // "at^kqwe=1" switches to BFB (else only the two-part "at^kbf"+"b=1")
    std::vector<std::uint32_t> atBauds{57600};
    std::uint32_t bfbBaud = 57600;

    // Normal software: BFB service values
    std::uint16_t voltage = 4000;            // mV
    std::uint8_t svn = 0x22;                 // two BCD digits
    std::string productType = "VQ20";        // up to 16 characters, sent NUL-padded
    std::string compileDate = "15.06.05";    // dd.mm.yy
    std::string compileTime = "12:00:00";
    std::uint32_t putCount = 1200;
    std::string directory = "vq20_main";     // up to 16 characters
    std::vector<std::uint8_t> eeprom142b = std::vector<std::uint8_t>(64, 0xFF);

    // Update loader and flash
    std::uint16_t flashMbit = 32;  // 4 MiB: addresses 0x000000 to 0x3FFFFF
    std::uint16_t flashCode = 0x8819;
    bool flashKnown = true;
    bool newConceptErase = true;   // false: the 0x5B answer is 0xAA (did not erase)
    std::uint32_t eraseMs = 200;   // length of the new-concept erase
    std::uint32_t eraseReports = 4;  // 0x5A progress blocks during it
    std::uint32_t loaderReadyMs = 100;  // line open this long before the ready block 0x31
    std::uint32_t keyId = 0x5A4D0001;
    std::string keyFile;           // empty: <keysDir>/phone-key-<key id>.pem
    std::string keysDir;           // empty: the shipped sim/keys
    SignatureMode signature = SignatureMode::Requested;

    // After a successful update (defaults: taken from the update request in block 0x142B)
    std::optional<std::uint8_t> newSvn;
    std::optional<std::string> newCompileDate;
    std::optional<std::string> newProductType;

    PowerOn blankPowerOn = PowerOn::Line;
    bool loaderAtStart = false;          // the phone starts in its update loader
    bool offAtStart = false;             // the phone starts switched off (the boot ROM wakes it)
    std::uint32_t loaderAtStartBaud = 115200;
    bool doneWhenOff = false;            // phonesim ends when the phone is off after an update

    std::vector<Fault> faults;

    std::string keyPath() const;  // the PEM file of the phone's key pair
};

struct ScenarioResult {
    std::optional<Scenario> scenario;
    std::string error;  // "line N: ..." when the text could not be read
};

ScenarioResult parseScenario(const std::string& text);
ScenarioResult loadScenario(const std::string& path);

}  // namespace sim
