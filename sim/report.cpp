#include "sim/report.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace sim {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20 || c > 0x7E) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", c);
            out += esc;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out + "\"";
}

std::string hex(const std::vector<std::uint8_t>& bytes) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (std::uint8_t b : bytes) {
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 0xF]);
    }
    return quoted(out);
}

}  // namespace

std::string reportJson(const Phone& phone, const std::string& scenarioName, const std::string& slavePath) {
    const PhoneState s = phone.state();
    const Counters& c = s.counters;
    std::ostringstream j;
    j << "{\n  \"scenario\": " << quoted(scenarioName) << ",\n  \"link\": " << quoted(slavePath)
      << ",\n  \"phases\": [";
    for (std::size_t i = 0; i < s.phases.size(); ++i) j << (i ? ", " : "") << quoted(s.phases[i]);
    j << "],\n  \"mode\": " << quoted(s.mode) << ",\n  \"line_baud\": " << s.lineBaud
      << ",\n  \"reboot_baud\": " << (s.rebootBaud ? std::to_string(*s.rebootBaud) : "null")
      << ",\n  \"update_request\": " << (s.updateRequest ? hex(*s.updateRequest) : "null")
      << ",\n  \"eeprom_142b\": " << hex(s.eeprom142b) << ",\n  \"signature\": " << quoted(s.signature)
      << ",\n  \"hash_list\": " << quoted(s.hashList) << ",\n  \"hash_check\": " << quoted(s.hashCheck)
      << ",\n  \"updated\": " << (s.updated ? "true" : "false") << ",\n  \"software\": {\"svn\": " << quoted(
             [&] {
                 char t[4];
                 std::snprintf(t, sizeof t, "%02X", s.svn);
                 return std::string(t);
             }())
      << ", \"compile_date\": " << quoted(s.compileDate) << ", \"product_type\": " << quoted(s.productType)
      << "},\n  \"flash_size\": " << phone.flash().size() << ",\n  \"flash_sha1\": " << quoted(phone.flashDigest())
      << ",\n  \"counts\": {\"pings\": " << c.pings << ", \"service_requests\": " << c.serviceRequests
      << ", \"eeprom_commands\": " << c.eepromCommands << ", \"data_blocks\": " << c.dataBlocks
      << ", \"command_blocks\": " << c.commandBlocks << ", \"refused_blocks\": " << c.refusedBlocks
      << ", \"busy_answers\": " << c.busyAnswers << ", \"lost_answers\": " << c.lostAnswers
      << ", \"corrupted_answers\": " << c.corruptedAnswers << ", \"refused_writes\": " << c.refusedWrites
      << ", \"erased_blocks\": " << c.erasedBlocks << ", \"signature_blocks\": " << c.signatureBlocks << "}\n}\n";
    return j.str();
}

bool writeReport(const std::string& path, const std::string& json) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        if (!out) return false;
        out << json;
        if (!out.flush()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

}  // namespace sim
