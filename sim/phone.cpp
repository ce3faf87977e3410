#include "sim/phone.h"

#include <algorithm>
#include <cstdio>

#include "sim/at_interpreter.h"
#include "sim/bfb_service.h"
#include "sim/boot_rom.h"
#include "sim/line.h"
#include "sim/phone_parts.h"
#include "sim/signature_check.h"
#include "sim/update_loader.h"

namespace sim {

namespace {

constexpr std::uint32_t kBootRomBaud = 19200;
constexpr std::uint32_t kBlankLoaderBaud = 115200;
// A blank phone is switched on by the user while the updater waits on the line: the updater holds
// the port open at 115200 without sending for this long.
constexpr auto kPowerOnQuiet = std::chrono::milliseconds(1000);
// The update loader is up this long after the reboot request (or at once when the updater has
// closed the BFB port first), so its greeting never lands in the BFB port that is about to close.
constexpr auto kRebootTime = std::chrono::milliseconds(500);

enum class Mode { Off, At, Bfb, Loader, Halted };

const char* modeName(Mode m) {
    switch (m) {
    case Mode::Off: return "off";
    case Mode::At: return "at";
    case Mode::Bfb: return "bfb";
    case Mode::Loader: return "loader";
    case Mode::Halted: return "halted";
    }
    return "?";
}

std::string twoDigits(std::uint8_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "%02u", static_cast<unsigned>(v % 100));
    return text;
}

}  // namespace

std::string sha1Hex(const std::vector<std::uint8_t>& data) {
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (std::uint8_t b : sha1(data.data(), data.size())) {
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 0xF]);
    }
    return hex;
}

class PhoneCore : public PhoneControl {
public:
    explicit PhoneCore(Scenario scenario)
        : scenario_(std::move(scenario)),
          memory_(scenario_),
          at_(memory_, *this),
          bfb_(memory_, *this),
          rom_(*this),
          loader_(memory_, *this) {
        if (scenario_.loaderAtStart) {
            enterLoader(scenario_.loaderAtStartBaud, false);
        } else if (scenario_.software == Software::Blank || scenario_.offAtStart) {
            setMode(Mode::Off);
        } else {
            setMode(Mode::At);
            reachPhase("at");
        }
    }

    void attach(Link* link, Line* line) {
        link_ = link;
        line_ = line;
    }

    void onInput(const std::uint8_t* data, std::size_t size, SimClock::time_point now) {
        lastInput_ = now;
        const bool understood = listensAt(line_->hostBaud());
        for (std::size_t i = 0; i < size && mode_ != Mode::Halted; ++i) {
            const std::uint8_t byte = understood ? data[i] : garble(data[i]);
            switch (mode_) {
            case Mode::At: at_.onByte(byte); break;
            case Mode::Bfb: bfb_.onByte(byte, now); break;
            case Mode::Loader: if (loaderAwake_) loader_.onByte(byte, now); break;
            case Mode::Off: rom_.onByte(byte); break;
            case Mode::Halted: break;
            }
        }
    }

    void onLineOpened(SimClock::time_point now) { openedAt_ = now; }

    void onLineClosed() {
        rom_.reset();
        if (mode_ == Mode::Loader) {
            loaderAwake_ = true;  // a rebooted loader greets the next opener
            loader_.onLineClosed();
        }
    }

    void tick(SimClock::time_point now, bool open) {
        if (mode_ == Mode::Bfb) bfb_.tick(now);
        if (mode_ == Mode::Loader && !loaderAwake_ && now - rebootAt_ >= kRebootTime) loaderAwake_ = true;
        if (mode_ == Mode::Loader && loaderAwake_) loader_.tick(now, open && listensAt(line_->hostBaud()));
        if (open && mode_ == Mode::Off && memory_.software == Software::Blank &&
            scenario_.blankPowerOn == PowerOn::Line && line_->hostBaud() == kBlankLoaderBaud &&
            now - std::max(lastInput_, openedAt_) >= kPowerOnQuiet) {
            reachPhase("power_on");
            enterLoader(kBlankLoaderBaud, false);
        }
    }

    void pressPowerKey() {
        if (mode_ != Mode::Off) return;
        reachPhase("power_on");
        if (memory_.software == Software::Blank)
            enterLoader(kBlankLoaderBaud, false);
        else
            startNormalSoftware();
    }

    bool done() const { return scenario_.doneWhenOff && memory_.record.updated && mode_ == Mode::Off; }

    PhoneState snapshot() const {
        PhoneState s = memory_.record;
        s.lineBaud = mode_ == Mode::Halted ? 0 : listeningBaud();
        s.eeprom142b = memory_.eeprom.at(kUpdateRequestBlock).data;
        s.svn = memory_.version.svn;
        s.compileDate = memory_.version.compileDate;
        s.productType = memory_.version.productType;
        return s;
    }

    const Bytes& flash() const { return memory_.flash; }

    // PhoneControl
    void send(const Bytes& bytes) override {
        if (!link_ || !link_->hostOpen()) return;  // a closed port would keep stale bytes for the next opener
        Bytes out = bytes;
        line_->refreshBaud();
        if (!listensAt(line_->hostBaud()))
            for (std::uint8_t& b : out) b = garble(b);
        line_->paceOutput(out.size());
        link_->write(out.data(), out.size());
    }

    void reachPhase(const std::string& phase) override {
        auto& phases = memory_.record.phases;
        if (phases.empty() || phases.back() != phase) phases.push_back(phase);
    }

    void switchToBfb() override {
        bfb_.reset();
        setMode(Mode::Bfb);
        reachPhase("bfb");
    }

    void switchOff() override {
        rom_.reset();
        setMode(Mode::Off);
        reachPhase("off");
    }

    void rebootIntoLoader(std::uint32_t baud) override {
        rebootAt_ = SimClock::now();
        memory_.record.rebootBaud = baud;
        reachPhase("reboot");
        enterLoader(baud, true);
    }

    void startNormalSoftware() override {
        if (mode_ == Mode::Loader) {
            applyNewVersion();
            memory_.record.updated = true;
            reachPhase("restarted");
        } else if (memory_.software == Software::Blank) {
            return;  // nothing to start
        } else {
            reachPhase("at");
        }
        at_.reset();
        setMode(Mode::At);
    }

    void halt() override {
        setMode(Mode::Halted);
        reachPhase("halted");
    }

private:
    void setMode(Mode m) {
        mode_ = m;
        memory_.record.mode = modeName(m);
    }

    void enterLoader(std::uint32_t baud, bool afterReboot) {
        loaderBaud_ = baud;
        loaderAwake_ = !afterReboot;
        loader_.start();
        setMode(Mode::Loader);
    }

    void applyNewVersion() {
        SoftwareVersion& v = memory_.version;
        const auto& request = memory_.record.updateRequest;
        const bool fromRequest = request && request->size() >= 9 && (*request)[1] == 0xA7;
        if (scenario_.newSvn) v.svn = *scenario_.newSvn;
        else if (fromRequest) v.svn = (*request)[8];
        if (scenario_.newCompileDate) v.compileDate = *scenario_.newCompileDate;
        else if (fromRequest)
            v.compileDate = twoDigits((*request)[7]) + "." + twoDigits((*request)[6]) + "." + twoDigits((*request)[5]);
        if (scenario_.newProductType) v.productType = *scenario_.newProductType;
        else if (memory_.software == Software::Blank) v.productType = scenario_.productType;
        if (memory_.software == Software::Blank) {
            if (!scenario_.newSvn && !fromRequest) v.svn = scenario_.svn;
            if (!scenario_.newCompileDate && !fromRequest) v.compileDate = scenario_.compileDate;
            memory_.software = Software::Normal;
        }
    }

    std::uint32_t listeningBaud() const {
        switch (mode_) {
        case Mode::At: return scenario_.atBauds.front();
        case Mode::Bfb: return scenario_.bfbBaud;
        case Mode::Loader: return loaderBaud_;
        case Mode::Off: return kBootRomBaud;
        case Mode::Halted: return 0;
        }
        return 0;
    }

    bool listensAt(std::uint32_t hostBaud) const {
        if (mode_ == Mode::At)
            return std::find(scenario_.atBauds.begin(), scenario_.atBauds.end(), hostBaud) != scenario_.atBauds.end();
        return hostBaud == listeningBaud();
    }

    Scenario scenario_;
    PhoneMemory memory_;
    AtInterpreter at_;
    BfbService bfb_;
    BootRom rom_;
    UpdateLoader loader_;
    Mode mode_ = Mode::Off;
    std::uint32_t loaderBaud_ = 0;
    bool loaderAwake_ = true;
    Link* link_ = nullptr;
    Line* line_ = nullptr;
    SimClock::time_point lastInput_{};
    SimClock::time_point openedAt_{};
    SimClock::time_point rebootAt_{};
};

Phone::Phone(Scenario scenario) : core_(std::make_unique<PhoneCore>(std::move(scenario))) {}

Phone::~Phone() { stop(); }

void Phone::start(Link& link) {
    stop();
    stopping_ = false;
    running_ = true;
    thread_ = std::thread([this, &link] { serve(link); });
}

void Phone::stop() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    running_ = false;
}

bool Phone::running() const { return running_; }

bool Phone::done() const {
    std::lock_guard lock(mutex_);
    return core_->done();
}

void Phone::pressPowerKey() {
    std::lock_guard lock(mutex_);
    core_->pressPowerKey();
}

void Phone::setWireThrottle(bool on) { throttle_ = on; }

PhoneState Phone::state() const {
    std::lock_guard lock(mutex_);
    return core_->snapshot();
}

bool Phone::waitPhase(const std::string& phase, int timeoutMs) const {
    const auto end = SimClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const PhoneState s = state();
        if (std::find(s.phases.begin(), s.phases.end(), phase) != s.phases.end()) return true;
        if (SimClock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::vector<std::uint8_t> Phone::flash() const {
    std::lock_guard lock(mutex_);
    return core_->flash();
}

std::string Phone::flashDigest() const {
    std::lock_guard lock(mutex_);
    return sha1Hex(core_->flash());
}

void Phone::serve(Link& link) {
    Line line(link, throttle_);
    {
        std::lock_guard lock(mutex_);
        core_->attach(&link, &line);
    }
    bool wasOpen = false;
    std::uint8_t buffer[512];
    while (!stopping_) {
        line.setThrottle(throttle_);
        const bool open = link.hostOpen();
        if (!open) {
            if (wasOpen) {
                std::lock_guard lock(mutex_);
                core_->onLineClosed();
            }
            wasOpen = false;
            {
                std::lock_guard lock(mutex_);
                core_->tick(SimClock::now(), false);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        if (!wasOpen) {
            std::lock_guard lock(mutex_);
            core_->onLineOpened(SimClock::now());
            wasOpen = true;
        }
        const long n = link.read(buffer, sizeof buffer, 5);
        line.refreshBaud();  // the speed the host had when it wrote what was just read
        if (n > 0) {
            line.paceInput(static_cast<std::size_t>(n));
            std::lock_guard lock(mutex_);
            core_->onInput(buffer, static_cast<std::size_t>(n), SimClock::now());
        }
        std::lock_guard lock(mutex_);
        core_->tick(SimClock::now(), true);
    }
    std::lock_guard lock(mutex_);
    core_->attach(nullptr, nullptr);
}

}  // namespace sim
