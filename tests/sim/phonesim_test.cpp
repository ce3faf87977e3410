// phonesim as a process on a pseudo-terminal, driven through the platform's serial port like the
// updater drives a phone: the identity request and a BFB ping, and a scripted host going through
// AT, BFB, the reboot and the update loader to a verified flash digest.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/sha.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/os/serial.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kAck = 0x06;

std::string sourceDir() { return SIM_SOURCE_DIR; }

std::uint8_t xorOf(const Bytes& b) {
    std::uint8_t x = 0;
    for (std::uint8_t v : b) x ^= v;
    return x;
}

Bytes frame(std::uint8_t type, const Bytes& payload) {
    const auto n = static_cast<std::uint8_t>(payload.size());
    Bytes f{type, n, static_cast<std::uint8_t>(type ^ n)};
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

Bytes eepromFrame(Bytes payload) {
    payload.push_back(xorOf(payload));
    return frame(0x14, payload);
}

Bytes block(std::uint32_t address, const Bytes& data) {
    Bytes b{static_cast<std::uint8_t>(address >> 16), static_cast<std::uint8_t>(address >> 8),
            static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(data.size())};
    b.insert(b.end(), data.begin(), data.end());
    b.push_back(xorOf(b));
    return b;
}

Bytes command(std::uint8_t id, const Bytes& params) {
    Bytes data{id};
    data.insert(data.end(), params.begin(), params.end());
    return block(0xFFFFFF, data);
}

// A running phonesim with its link symlink in a temporary directory.
class PhonesimProcess {
public:
    explicit PhonesimProcess(const std::string& scenario) {
        dir_ = std::filesystem::temp_directory_path() / ("phonesim-test-" + std::to_string(getpid()));
        std::filesystem::create_directories(dir_);
        link_ = (dir_ / "COM1").string();
        report_ = (dir_ / "report.json").string();
        int out[2];
        EXPECT_EQ(pipe(out), 0);
        pid_ = fork();
        if (pid_ == 0) {
            dup2(out[1], 1);
            close(out[0]);
            const std::string scn = sourceDir() + "/sim/scenarios/" + scenario;
            execl(PHONESIM_PATH, "phonesim", "--link", link_.c_str(), "--scenario", scn.c_str(), "--report",
                  report_.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(out[1]);
        std::string line;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') line.push_back(c);
        close(out[0]);
        slave_ = line;
    }
    ~PhonesimProcess() {
        stop();
        std::filesystem::remove_all(dir_);
    }
    // Ends the process; its exit status (0 when it wrote its report).
    int stop() {
        if (pid_ <= 0) return status_;
        kill(pid_, SIGTERM);
        int st = 0;
        waitpid(pid_, &st, 0);
        pid_ = -1;
        status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
        return status_;
    }
    std::string report() const {
        std::ifstream in(report_);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    const std::string& link() const { return link_; }
    const std::string& slave() const { return slave_; }

private:
    std::filesystem::path dir_;
    std::string link_;
    std::string report_;
    std::string slave_;
    pid_t pid_ = -1;
    int status_ = -1;
};

// The host's end through the platform's serial port layer.
class SerialHost {
public:
    SerialHost(const std::string& path, std::uint32_t baud) : port_(os::OpenSerialDevice(path.c_str())) {
        EXPECT_NE(port_, nullptr) << path;
        if (!port_) return;
        os::SerialSettings s;
        os::GetSerialSettings(port_, s);
        s.baudRate = baud;
        s.byteSize = 8;
        s.parity = os::kNoParity;
        s.stopBits = os::kOneStopBit;
        EXPECT_TRUE(os::SetSerialSettings(port_, s));
    }
    ~SerialHost() {
        if (port_) os::CloseSerialPort(port_);
    }
    bool ok() const { return port_ != nullptr; }
    void write(const Bytes& b) {
        std::uint32_t n = 0;
        EXPECT_TRUE(os::WriteSerial(port_, b.data(), static_cast<std::uint32_t>(b.size()), &n));
    }
    void write(const std::string& t) { write(Bytes(t.begin(), t.end())); }
    // Up to `count` bytes, waiting at most timeoutMs.
    Bytes read(std::size_t count, std::uint32_t timeoutMs = 2000) {
        os::SerialTimeouts t;
        t.readTotalConstant = timeoutMs;
        os::SetSerialTimeouts(port_, t);
        Bytes b(count);
        std::uint32_t got = 0;
        os::ReadSerial(port_, b.data(), static_cast<std::uint32_t>(count), &got);
        b.resize(got);
        return b;
    }
    std::string readText(std::uint32_t waitMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
        const Bytes b = read(200, 50);
        return std::string(b.begin(), b.end());
    }
    std::uint8_t sendBlock(const Bytes& b, std::uint32_t timeoutMs = 2000) {
        write(b);
        const Bytes a = read(1, timeoutMs);
        return a.empty() ? 0 : a[0];
    }
    // A command acknowledged and answered with a block of `params` parameters (acknowledged too).
    Bytes ask(std::uint8_t id, const Bytes& p, std::size_t params, std::uint32_t timeoutMs = 2000) {
        EXPECT_EQ(sendBlock(command(id, p)), kAck) << "command " << int(id);
        Bytes answer = read(params + 6, timeoutMs);
        write(Bytes{kAck});
        return answer;
    }

private:
    os::SerialPort* port_;
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace

TEST(SimPhonesim, AnswersTheIdentityRequestAndABfbPingOnItsPty) {
    PhonesimProcess sim("default.scn");
    ASSERT_FALSE(sim.slave().empty());
    EXPECT_EQ(std::filesystem::read_symlink(sim.link()).string(), sim.slave());
    {  // the phone reads the host's speed from the pty: at 115200 it understands nothing
        SerialHost host(sim.link(), 115200);
        host.write("AT+CGSN;I9\r\n");
        EXPECT_FALSE(contains(host.readText(500), "Zelmora"));
    }
    {
        SerialHost host(sim.link(), 57600);
        ASSERT_TRUE(host.ok());
        host.write("AT+CGSN;I9\r\n");
        const std::string answer = host.readText(500);
        EXPECT_TRUE(contains(answer, "Zelmora")) << answer;
        EXPECT_TRUE(contains(answer, "VQ20")) << answer;
        host.write("at^kqwe=1\r");
        EXPECT_TRUE(contains(host.readText(500), "OK\r"));
        host.write(frame(0x02, {0x14}));
        EXPECT_EQ(host.read(5), (Bytes{0x02, 0x02, 0x00, 0x14, 0xAA}));
    }
    EXPECT_EQ(sim.stop(), 0);
    const std::string report = sim.report();
    EXPECT_TRUE(contains(report, "\"phases\": [\"at\", \"identity\", \"bfb\"]")) << report;
    EXPECT_TRUE(contains(report, "\"pings\": 1")) << report;
    EXPECT_FALSE(std::filesystem::exists(sim.link())) << "the link is removed at the end";
}

namespace {

Bytes sha1(const Bytes& data) {
    Bytes d(SHA_DIGEST_LENGTH);
    SHA1(data.data(), data.size(), d.data());
    return d;
}

std::string hex(const Bytes& b) {
    std::string s;
    char t[3];
    for (std::uint8_t v : b) {
        std::snprintf(t, sizeof t, "%02x", v);
        s += t;
    }
    return s;
}

Bytes sign(const Bytes& data) {
    const std::string pem = sourceDir() + "/sim/keys/phone-key-5a4d0001.pem";
    FILE* f = std::fopen(pem.c_str(), "r");
    EXPECT_NE(f, nullptr);
    if (!f) return {};
    EVP_PKEY* key = PEM_read_PrivateKey(f, nullptr, nullptr, nullptr);
    std::fclose(f);
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    std::size_t size = 0;
    EVP_DigestSignInit(ctx, nullptr, EVP_sha1(), nullptr, key);
    EVP_DigestSign(ctx, nullptr, &size, data.data(), data.size());
    Bytes sig(size);
    EVP_DigestSign(ctx, sig.data(), &size, data.data(), data.size());
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(key);
    return sig;
}

void sendParts(SerialHost& host, const Bytes& data, std::uint8_t more, std::uint8_t last) {
    for (std::size_t off = 0; off < data.size(); off += 60) {
        Bytes p{static_cast<std::uint8_t>(off + 60 >= data.size() ? last : more), static_cast<std::uint8_t>(off),
                static_cast<std::uint8_t>(off >> 8)};
        p.insert(p.end(), data.begin() + static_cast<long>(off),
                 data.begin() + static_cast<long>(std::min(data.size(), off + 60)));
        EXPECT_EQ(host.sendBlock(command(0x60, p)), kAck);
    }
}

// Switches the normal software into BFB mode as the updater does when a ping goes unanswered.
void enterBfb(SerialHost& host) {
    host.write("at^kqwe=1\r");
    EXPECT_TRUE(contains(host.readText(500), "OK\r"));
}

Bytes ask(SerialHost& host, const Bytes& request, std::size_t answerSize) {
    host.write(request);
    return host.read(answerSize);
}

}  // namespace

TEST(SimPhonesim, ScriptedHostUpdatesThePhoneThroughAtBfbRebootAndLoaderToAVerifiedFlash) {
    PhonesimProcess sim("default.scn");
    ASSERT_FALSE(sim.slave().empty());

    // The image: 600 blocks of 64 bytes from address 0, then the hash list over it in 64 KiB runs.
    constexpr std::size_t kImage = 600 * 64;
    Bytes image(kImage);
    for (std::size_t i = 0; i < kImage; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + (i >> 9));
    Bytes hashList;
    for (std::size_t start = 0; start < kImage; start += 0x10000) {
        const std::size_t len = std::min<std::size_t>(0x10000, kImage - start);
        for (std::uint32_t v : {static_cast<std::uint32_t>(start), static_cast<std::uint32_t>(len)})
            for (int s = 24; s >= 0; s -= 8) hashList.push_back(static_cast<std::uint8_t>(v >> s));
        const Bytes d = sha1(Bytes(image.begin() + static_cast<long>(start), image.begin() + static_cast<long>(start + len)));
        hashList.insert(hashList.end(), d.begin(), d.end());
    }
    const Bytes signature = sign(hashList);

    {  // AT probe
        SerialHost host(sim.link(), 57600);
        host.write("AT+CGSN;I9\r\n");
        EXPECT_TRUE(contains(host.readText(300), "Zelmora"));
    }
    {  // BFB precheck: voltage, update request, reboot into the loader at 115200
        SerialHost host(sim.link(), 57600);
        enterBfb(host);
        EXPECT_EQ(ask(host, frame(0x02, {0x14}), 5), (Bytes{0x02, 0x02, 0x00, 0x14, 0xAA}));
        EXPECT_EQ(ask(host, frame(0x0E, {0x02}), 6), frame(0x0E, {0x02, 0xA0, 0x0F}));
        Bytes request(64, 0xFF);
        const Bytes head = {0xFF, 0xA7, 10, 20, 30, 7, 12, 24, 0x23, 0x01, 0x02, 2, 30};
        std::copy(head.begin(), head.end(), request.begin());
        request[63] = 0;
        request[63] = xorOf(request);
        EXPECT_EQ(ask(host, eepromFrame({0x11, 0x2B, 0x14, 64, 0, 0xFF}), 5), eepromFrame({0x11}));
        for (std::uint8_t off = 0; off < 64; off += 20) {
            Bytes part{0x12, 0x2B, 0x14, off, 0};
            part.insert(part.end(), request.begin() + off, request.begin() + std::min(64, off + 20));
            EXPECT_EQ(ask(host, eepromFrame(part), 5), eepromFrame({0x12}));
        }
        EXPECT_EQ(ask(host, eepromFrame({0x13, 0x2B, 0x14}), 5), eepromFrame({0x13}));
        EXPECT_EQ(ask(host, frame(0x0E, {0x20, 0x00, 0x00, 0xC2, 0x01, 0x00}), 5), frame(0x0E, {0x20, 0x00}));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    {  // the update loader
        SerialHost host(sim.link(), 115200);
        EXPECT_EQ(host.read(6, 5000), command(0x31, {}));
        host.write(Bytes{kAck});
        EXPECT_EQ(host.ask(0x60, {0x01, 0x01, static_cast<std::uint8_t>(hashList.size() / 28), 0, 28, 0}, 6),
                  command(0x61, {0x02, 0x00, 0x5A, 0x4D, 0x00, 0x01}));
        EXPECT_EQ(host.sendBlock(command(0x60, {0x02, 0x01, 0x5A, 0x4D, 0x00, 0x01, 128, 0})), kAck);
        sendParts(host, signature, 3, 4);
        EXPECT_EQ(host.read(7, 6000), command(0x61, {0x04}));
        host.write(Bytes{kAck});
        sendParts(host, hashList, 5, 6);
        EXPECT_EQ(host.read(7, 10000), command(0x61, {0x06}));
        host.write(Bytes{kAck});
        EXPECT_EQ(host.ask(0x32, {0x01}, 3), command(0x33, {0x01, 0x19, 0x88}));
        EXPECT_EQ(host.ask(0x21, {}, 2), command(0x22, {32, 0}));
        EXPECT_EQ(host.ask(0xC2, {}, 33).size(), 39u);
        EXPECT_EQ(host.sendBlock(command(0xD0, {200})), kAck);
        EXPECT_EQ(host.sendBlock(command(0xD2, {30})), kAck);
        EXPECT_EQ(host.sendBlock(command(0x59, {})), kAck);
        for (;;) {
            Bytes b = host.read(7, 5000);
            ASSERT_EQ(b.size(), 7u);
            if (b[4] == 0x5A) b.push_back(host.read(1)[0]);
            host.write(Bytes{kAck});
            if (b[4] == 0x5B) break;
        }
        EXPECT_EQ(host.sendBlock(command(0xA0, {0, 0})), kAck);
        EXPECT_EQ(host.sendBlock(command(0x60, {0x07})), kAck);
        for (std::size_t off = 0; off < kImage; off += 64) {
            const Bytes data(image.begin() + static_cast<long>(off), image.begin() + static_cast<long>(off + 64));
            ASSERT_EQ(host.sendBlock(block(static_cast<std::uint32_t>(off), data), 5000), kAck) << off;
        }
        const Bytes end = host.ask(0x04, {}, 5, 10000);
        ASSERT_EQ(end.size(), 11u);
        EXPECT_EQ(end[5], 0x00) << "hash check passed";
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    {  // final BFB test of the new software: it answers after the switch into BFB, then goes off
        SerialHost host(sim.link(), 57600);
        EXPECT_TRUE(ask(host, frame(0x02, {0x14}), 5).empty()) << "restarted in AT mode";
        enterBfb(host);
        EXPECT_EQ(ask(host, frame(0x0E, {0x03}), 6), frame(0x0E, {0x03, 0x23, 0x00})) << "the new SVN";
        EXPECT_EQ(ask(host, frame(0x0E, {0x04}), 5), frame(0x0E, {0x04, 0x00}));
    }
    EXPECT_EQ(sim.stop(), 0);

    Bytes flash(32 * 131072, 0xFF);
    std::copy(image.begin(), image.end(), flash.begin());
    const std::string report = sim.report();
    EXPECT_TRUE(contains(report, "\"flash_sha1\": \"" + hex(sha1(flash)) + "\"")) << report;
    EXPECT_TRUE(contains(report, "\"updated\": true")) << report;
    EXPECT_TRUE(contains(report, "\"hash_check\": \"passed\"")) << report;
    EXPECT_TRUE(contains(report, "\"reboot_baud\": 115200")) << report;
    EXPECT_TRUE(contains(report, "\"data_blocks\": 600")) << report;
    EXPECT_TRUE(contains(report,
                         "\"phases\": [\"at\", \"identity\", \"bfb\", \"update_request\", \"reboot\", \"loader_ready\", "
                         "\"signature_requested\", \"signature_accepted\", \"hashlist_accepted\", \"erased\", "
                         "\"hashing\", \"transfer\", \"end_of_transmission\", \"verified\", \"restarted\", \"bfb\", "
                         "\"off\"]"))
        << report;
}
