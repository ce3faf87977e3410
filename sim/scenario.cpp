#include "sim/scenario.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#ifndef VQ_SIM_KEYS_DIR
#define VQ_SIM_KEYS_DIR "sim/keys"
#endif

namespace sim {

std::string Scenario::keyPath() const {
    const std::string dir = keysDir.empty() ? std::string(VQ_SIM_KEYS_DIR) : keysDir;
    if (!keyFile.empty())
        return keyFile.front() == '/' ? keyFile : dir + "/" + keyFile;
    char name[32];
    std::snprintf(name, sizeof name, "phone-key-%08x.pem", static_cast<unsigned>(keyId));
    return dir + "/" + name;
}

namespace {

std::string trim(const std::string& s) {
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

std::optional<std::uint64_t> parseNumber(const std::string& text, int base) {
    std::string s = trim(text);
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        s = s.substr(2);
        base = 16;
    }
    std::uint64_t value = 0;
    auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, base);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return value;
}

std::optional<std::vector<std::uint8_t>> parseHexBytes(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::istringstream in(text);
    std::string word;
    while (in >> word) {
        auto v = parseNumber(word, 16);
        if (!v || *v > 0xFF) return std::nullopt;
        bytes.push_back(static_cast<std::uint8_t>(*v));
    }
    return bytes;
}

std::optional<bool> parseYesNo(const std::string& v) {
    if (v == "yes" || v == "true" || v == "1") return true;
    if (v == "no" || v == "false" || v == "0") return false;
    return std::nullopt;
}

using Setter = std::function<bool(Scenario&, const std::string&)>;

template <typename T>
Setter number(T Scenario::*field, int base, std::uint64_t max) {
    return [field, base, max](Scenario& s, const std::string& v) {
        auto n = parseNumber(v, base);
        if (!n || *n > max) return false;
        s.*field = static_cast<T>(*n);
        return true;
    };
}

Setter text(std::string Scenario::*field, std::size_t maxLength) {
    return [field, maxLength](Scenario& s, const std::string& v) {
        if (v.size() > maxLength) return false;
        s.*field = v;
        return true;
    };
}

Setter flag(bool Scenario::*field) {
    return [field](Scenario& s, const std::string& v) {
        auto b = parseYesNo(v);
        if (b) s.*field = *b;
        return b.has_value();
    };
}

const std::map<std::string, Setter>& setters() {
    static const std::map<std::string, Setter> table = {
        {"name", text(&Scenario::name, 200)},
        {"software",
         [](Scenario& s, const std::string& v) {
             if (v == "normal") s.software = Software::Normal;
             else if (v == "no-bfb") s.software = Software::NoBfb;
             else if (v == "blank") s.software = Software::Blank;
             else return false;
             return true;
         }},
        {"maker", text(&Scenario::maker, 40)},
        {"model", text(&Scenario::model, 40)},
        {"imei", text(&Scenario::imei, 15)},
        {"at_mode",
         [](Scenario& s, const std::string& v) {
             if (v != "open" && v != "locked") return false;
             s.atLocked = v == "locked";
             return true;
         }},
        {"kqwe1", flag(&Scenario::kqwe1)},
        {"at_bauds",
         [](Scenario& s, const std::string& v) {
             std::istringstream in(v);
             std::string word;
             s.atBauds.clear();
             while (in >> word) {
                 auto n = parseNumber(word, 10);
                 if (!n || *n == 0 || *n > 4000000) return false;
                 s.atBauds.push_back(static_cast<std::uint32_t>(*n));
             }
             return !s.atBauds.empty();
         }},
        {"bfb_baud", number(&Scenario::bfbBaud, 10, 4000000)},
        {"voltage", number(&Scenario::voltage, 10, 0xFFFF)},
        {"svn", number(&Scenario::svn, 16, 0xFF)},
        {"product_type", text(&Scenario::productType, 16)},
        {"compile_date", text(&Scenario::compileDate, 8)},
        {"compile_time", text(&Scenario::compileTime, 8)},
        {"put_count", number(&Scenario::putCount, 10, 0xFFFFFFFF)},
        {"directory", text(&Scenario::directory, 16)},
        {"eeprom_142b",
         [](Scenario& s, const std::string& v) {
             auto bytes = parseHexBytes(v);
             if (!bytes || bytes->empty() || bytes->size() > 64) return false;
             s.eeprom142b = *bytes;
             return true;
         }},
        {"flash_mbit", number(&Scenario::flashMbit, 10, 512)},
        {"flash_code", number(&Scenario::flashCode, 16, 0xFFFF)},
        {"flash_known", flag(&Scenario::flashKnown)},
        {"new_concept_erase", flag(&Scenario::newConceptErase)},
        {"erase_ms", number(&Scenario::eraseMs, 10, 3600000)},
        {"erase_reports", number(&Scenario::eraseReports, 10, 255)},
        {"loader_ready_ms", number(&Scenario::loaderReadyMs, 10, 60000)},
        {"key_id", number(&Scenario::keyId, 16, 0xFFFFFFFF)},
        {"key_file", text(&Scenario::keyFile, 4096)},
        {"keys_dir", text(&Scenario::keysDir, 4096)},
        {"signature",
         [](Scenario& s, const std::string& v) {
             if (v == "requested") s.signature = SignatureMode::Requested;
             else if (v == "enforced") s.signature = SignatureMode::Enforced;
             else if (v == "none") s.signature = SignatureMode::None;
             else if (v == "error") s.signature = SignatureMode::Error;
             else return false;
             return true;
         }},
        {"new_svn",
         [](Scenario& s, const std::string& v) {
             auto n = parseNumber(v, 16);
             if (!n || *n > 0xFF) return false;
             s.newSvn = static_cast<std::uint8_t>(*n);
             return true;
         }},
        {"new_compile_date",
         [](Scenario& s, const std::string& v) {
             if (v.size() > 8) return false;
             s.newCompileDate = v;
             return true;
         }},
        {"new_product_type",
         [](Scenario& s, const std::string& v) {
             if (v.size() > 16) return false;
             s.newProductType = v;
             return true;
         }},
        {"power_on",
         [](Scenario& s, const std::string& v) {
             if (v != "line" && v != "key") return false;
             s.blankPowerOn = v == "line" ? PowerOn::Line : PowerOn::Key;
             return true;
         }},
        {"start",
         [](Scenario& s, const std::string& v) {
             if (v != "normal" && v != "loader" && v != "off") return false;
             s.loaderAtStart = v == "loader";
             s.offAtStart = v == "off";
             return true;
         }},
        {"loader_baud", number(&Scenario::loaderAtStartBaud, 10, 4000000)},
        {"done", [](Scenario& s, const std::string& v) {
             if (v != "never" && v != "off_after_update") return false;
             s.doneWhenOff = v == "off_after_update";
             return true;
         }},
    };
    return table;
}

// "fault POINT[:INDEX] ACTION[=VALUE] [count=N] [ms=N] [status=C] [bytes=HEX ...]"
std::optional<Fault> parseFault(const std::string& rest) {
    std::istringstream in(rest);
    std::string where;
    Fault f;
    if (!(in >> where >> f.action)) return std::nullopt;
    const auto colon = where.find(':');
    f.point = where.substr(0, colon);
    if (colon != std::string::npos) {
        auto n = parseNumber(where.substr(colon + 1), 10);
        if (!n || *n > 0xFFFFFFFF) return std::nullopt;
        f.index = static_cast<std::uint32_t>(*n);
    }
    std::vector<std::string> options;
    // "status=2" names the action and its value at once
    if (const auto eq = f.action.find('='); eq != std::string::npos) {
        options.push_back(f.action);
        f.action = f.action.substr(0, eq);
    }
    std::string word;
    while (in >> word) options.push_back(word);
    for (std::size_t i = 0; i < options.size(); ++i) {
        const std::string& option = options[i];
        const auto eq = option.find('=');
        if (eq == std::string::npos) return std::nullopt;
        const std::string key = option.substr(0, eq);
        const std::string value = option.substr(eq + 1);
        if (key == "bytes") {  // the rest of the line
            std::string all = value;
            while (++i < options.size()) all += " " + options[i];
            auto bytes = parseHexBytes(all);
            if (!bytes || bytes->empty()) return std::nullopt;
            f.bytes = *bytes;
            break;
        }
        if (key == "status") {
            if (value.size() != 1) return std::nullopt;
            f.status = value[0];
            continue;
        }
        auto n = parseNumber(value, 10);
        if (!n || *n > 0xFFFFFFFF) return std::nullopt;
        if (key == "count") f.count = static_cast<std::uint32_t>(*n);
        else if (key == "ms") f.ms = static_cast<std::uint32_t>(*n);
        else return std::nullopt;
    }
    return f;
}

}  // namespace

ScenarioResult parseScenario(const std::string& text) {
    Scenario s;
    std::istringstream in(text);
    std::string line;
    int number = 0;
    auto fail = [&number](const std::string& what) {
        return ScenarioResult{std::nullopt, "line " + std::to_string(number) + ": " + what};
    };
    while (std::getline(in, line)) {
        ++number;
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        line = trim(line);
        if (line.empty()) continue;
        if (line.rfind("fault ", 0) == 0) {
            auto f = parseFault(line.substr(6));
            if (!f) return fail("bad fault \"" + line + "\"");
            s.faults.push_back(*f);
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) return fail("expected KEY = VALUE");
        const std::string key = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        const auto it = setters().find(key);
        if (it == setters().end()) return fail("unknown key \"" + key + "\"");
        if (!it->second(s, value)) return fail("bad value for " + key + ": \"" + value + "\"");
    }
    return ScenarioResult{s, {}};
}

ScenarioResult loadScenario(const std::string& path) {
    std::ifstream file(path);
    if (!file) return ScenarioResult{std::nullopt, "cannot read " + path};
    std::stringstream text;
    text << file.rdbuf();
    ScenarioResult r = parseScenario(text.str());
    if (!r.scenario) r.error = path + ": " + r.error;
    return r;
}

}  // namespace sim
