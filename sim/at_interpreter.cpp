#include "sim/at_interpreter.h"

#include <cctype>

namespace sim {

namespace {

constexpr std::size_t kMaxLine = 200;

std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

AtInterpreter::AtInterpreter(PhoneMemory& memory, PhoneControl& control) : memory_(memory), control_(control) {
    reset();
}

void AtInterpreter::reset() {
    line_.clear();
    locked_ = memory_.scenario.atLocked;
}

void AtInterpreter::onByte(std::uint8_t byte) {
    if (memory_.faults.has("at")) return;  // a phone whose AT interpreter never answers
    // Echo as a modem does; control bytes (such as BFB frames) are dropped unechoed.
    if (byte == '\r') {
        control_.send(Bytes{byte});
        execute(line_);
        line_.clear();
        return;
    }
    if (byte < 0x20 || byte > 0x7E) return;
    control_.send(Bytes{byte});
    if (line_.size() == kMaxLine) line_.erase(line_.begin());  // keep the newest: the command is at the end
    line_.push_back(static_cast<char>(byte));
}

void AtInterpreter::answer(const std::string& text) {
    const std::string framed = "\r\n" + text + "\r\n";
    control_.send(Bytes(framed.begin(), framed.end()));
}

void AtInterpreter::execute(const std::string& raw) {
    // The command starts at the last "AT": bytes before it are line noise.
    const std::string all = upper(raw);
    const auto at = all.rfind("AT");
    if (at == std::string::npos) return;
    const std::string cmd = all.substr(at);
    const Scenario& s = memory_.scenario;

    if (cmd == "AT^KQWE=2") {
        locked_ = false;
        answer("OK");
        return;
    }
    const bool bfbPossible = memory_.software == Software::Normal;
    // The switches into BFB work in either mode, so a locked phone still passes the final test.
    if ((cmd == "AT^KQWE=1" && s.kqwe1 && bfbPossible) || (cmd == "AT^KBFB=1" && bfbPossible)) {
        answer("OK");
        control_.switchToBfb();
        return;
    }
    if (locked_) {
        answer("ERROR");
        return;
    }
    if (cmd == "AT+CGSN;I9") {
        control_.reachPhase("identity");
        // Identity lines first, then a blank line and the IMEI: the updater takes the IMEI from
        // behind the first empty line.
        answer(s.maker + " " + s.model + "\r\n\r\n" + s.imei + "\r\n\r\nOK");
        return;
    }
    answer(cmd == "AT" ? "OK" : "ERROR");
}

}  // namespace sim
