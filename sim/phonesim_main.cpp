// phonesim: a simulated phone on a pseudo-terminal.
//   phonesim --link PATH [--scenario FILE] [--flash-dump FILE] [--report FILE] [--wire-speed]
// PATH becomes a symlink to the pty's slave, whose path is printed on the first line of stdout.
// Serves until SIGTERM/SIGINT or until the scenario says it is done; SIGUSR1 presses the power key.
// Each phase the phone reaches is written to stderr as "phonesim: PHASE".
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>

#include "platform/os/pty.h"
#include "sim/link.h"
#include "sim/phone.h"
#include "sim/report.h"
#include "sim/scenario.h"

namespace {

std::atomic<bool> g_stop{false};
std::atomic<bool> g_powerKey{false};

void onStop(int) { g_stop = true; }
void onPowerKey(int) { g_powerKey = true; }

struct Options {
    std::string link;
    std::string scenario;
    std::string flashDump;
    std::string report;
    bool wireSpeed = false;
};

int usage() {
    std::fprintf(stderr,
                 "usage: phonesim --link PATH [--scenario FILE] [--flash-dump FILE] [--report FILE] [--wire-speed]\n");
    return 2;
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        if (a == "--link") { if (!value(o.link)) return false; }
        else if (a == "--scenario") { if (!value(o.scenario)) return false; }
        else if (a == "--flash-dump") { if (!value(o.flashDump)) return false; }
        else if (a == "--report") { if (!value(o.report)) return false; }
        else if (a == "--wire-speed") o.wireSpeed = true;
        else return false;
    }
    if (o.report.empty() && !o.link.empty()) o.report = o.link + ".report.json";
    return !o.link.empty();
}

// PATH may be replaced only when it is a symlink (a previous run's) or absent.
bool linkSlave(const std::string& path, const std::string& slave) {
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            std::fprintf(stderr, "phonesim: %s exists and is not a symlink\n", path.c_str());
            return false;
        }
        unlink(path.c_str());
    }
    if (symlink(slave.c_str(), path.c_str()) != 0) {
        std::fprintf(stderr, "phonesim: cannot create %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

bool dumpFlash(const std::string& path, const std::vector<std::uint8_t>& flash) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(flash.data()), static_cast<std::streamsize>(flash.size()));
    return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) return usage();

    sim::ScenarioResult loaded = o.scenario.empty() ? sim::parseScenario("") : sim::loadScenario(o.scenario);
    if (!loaded.scenario) {
        std::fprintf(stderr, "phonesim: %s\n", loaded.error.c_str());
        return 2;
    }
    const std::string name = loaded.scenario->name;

    os::PtyMaster pty;
    if (!pty.ok()) {
        std::fprintf(stderr, "phonesim: cannot open a pseudo-terminal\n");
        return 1;
    }
    if (!linkSlave(o.link, pty.slavePath())) return 1;

    std::signal(SIGTERM, onStop);
    std::signal(SIGINT, onStop);
    std::signal(SIGUSR1, onPowerKey);

    sim::PtyLink link(pty);
    sim::Phone phone(*loaded.scenario);
    phone.setWireThrottle(o.wireSpeed);
    phone.start(link);
    std::printf("%s\n", pty.slavePath().c_str());
    std::fflush(stdout);

    std::size_t reported = static_cast<std::size_t>(-1);
    while (!g_stop && !phone.done()) {
        if (g_powerKey.exchange(false)) phone.pressPowerKey();
        const std::vector<std::string> phases = phone.state().phases;
        if (phases.size() != reported) {  // keep the report current: a killed run still leaves one
            for (std::size_t i = reported == static_cast<std::size_t>(-1) ? 0 : reported; i < phases.size(); ++i)
                std::fprintf(stderr, "phonesim: %s\n", phases[i].c_str());
            reported = phases.size();
            sim::writeReport(o.report, sim::reportJson(phone, name, pty.slavePath()));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    phone.stop();
    bool ok = sim::writeReport(o.report, sim::reportJson(phone, name, pty.slavePath()));
    if (!o.flashDump.empty()) ok = dumpFlash(o.flashDump, phone.flash()) && ok;
    unlink(o.link.c_str());
    return ok ? 0 : 1;
}
