// Speed of the flash link's image transfer.
//
// (a) Over a pty without throttling: SendImage of 64-byte data blocks against a peer that answers
//     every block with 0x06, beside a minimal raw exchange of the same 69-byte block and 1-byte
//     answer through the serial layer over the same pty pair (the limit of this machine).
// (b) Against the phone simulator with its wire throttling at 115200 baud: the transfer time of a
//     1 MB image beside the stop-and-wait limit (69 bytes out, 1 back per block, 10 bits a byte).
//
// Both run at the highest priority the OS allows (the simulator's thread inherits it), so that
// other work on the machine disturbs the figures as little as it can.
//
//   flash_bench [blocks for (a), default 20000] [image bytes for (b), default 1048576]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "flashlink/wseril1.h"
#include "flashlink/wseril2.h"
#include "flashlink/wseril3.h"
#include "platform/os/pty.h"
#include "platform/os/serial.h"
#include "platform/os/thread.h"
#include "sim/link.h"
#include "sim/phone.h"
#include "sim/scenario.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 0;  // COM1
constexpr std::uint32_t kBaud = 115200;
constexpr std::uint32_t kBlockAnswerMs = 5000;
constexpr std::size_t kBlockBytes = 69;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// An image of data blocks of 64 bytes from address 0.
Bytes MakeImage(std::size_t blocks) {
    Bytes image;
    image.reserve(blocks * kBlockBytes);
    for (std::size_t i = 0; i < blocks; ++i) {
        const std::uint32_t address = static_cast<std::uint32_t>(i * 64);
        const std::size_t start = image.size();
        image.push_back(static_cast<std::uint8_t>(address >> 16));
        image.push_back(static_cast<std::uint8_t>(address >> 8));
        image.push_back(static_cast<std::uint8_t>(address));
        image.push_back(64);
        for (int b = 0; b < 64; ++b) image.push_back(static_cast<std::uint8_t>(i * 7 + b));
        std::uint8_t check = 0;
        for (std::size_t k = start; k < image.size(); ++k) check ^= image[k];
        image.push_back(check);
    }
    return image;
}

// The far end for (a): answers every complete block with 0x06.
class AckPeer {
public:
    explicit AckPeer(os::PtyMaster& pty) : pty_(pty), thread_([this] { Serve(); }) {}
    ~AckPeer() {
        stop_ = true;
        thread_.join();
    }

private:
    void Serve() {
        Bytes pending;
        std::uint8_t buffer[4096];
        const std::uint8_t ack = 0x06;
        while (!stop_) {
            const long n = pty_.read(buffer, sizeof buffer, 50);
            if (n <= 0) continue;
            pending.insert(pending.end(), buffer, buffer + n);
            std::size_t used = 0;
            while (pending.size() - used >= 4 && pending.size() - used >= pending[used + 3] + 5u) {
                used += pending[used + 3] + 5u;
                pty_.write(&ack, 1);
            }
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(used));
        }
    }

    os::PtyMaster& pty_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

double RawBlocksPerSecond(const std::string& device, const Bytes& image, std::size_t blocks) {
    os::SerialPort* port = os::OpenSerialDevice(device.c_str());
    if (port == nullptr) return 0;
    os::SerialTimeouts timeouts;
    timeouts.readTotalConstant = kBlockAnswerMs;
    os::SetSerialTimeouts(port, timeouts);
    const auto start = Clock::now();
    std::size_t done = 0;
    for (; done < blocks; ++done) {
        std::uint32_t written = 0;
        std::uint32_t got = 0;
        std::uint8_t answer = 0;
        os::WriteSerial(port, image.data() + done * kBlockBytes, kBlockBytes, &written);
        if (!os::ReadSerial(port, &answer, 1, &got) || got != 1 || answer != 0x06) break;
    }
    const double seconds = SecondsSince(start);
    os::CloseSerialPort(port);
    return static_cast<double>(done) / seconds;
}

double ImageBlocksPerSecond(const Bytes& image, std::size_t blocks) {
    if (!flashlink::ComOpen(kPort, kBaud, flashlink::kComNoParity)) return 0;
    const auto start = Clock::now();
    const int sent = flashlink::SendImage(kPort, image.data(), static_cast<std::uint32_t>(image.size()),
                                          kBlockAnswerMs, 0, nullptr);
    const double seconds = SecondsSince(start);
    flashlink::ComClose(kPort);
    return sent ? static_cast<double>(blocks) / seconds : 0;
}

void BenchUnthrottled(std::size_t blocks) {
    os::PtyMaster pty;
    setenv("VQ_COMPORTS", ("COM1=" + pty.slavePath()).c_str(), 1);
    const Bytes image = MakeImage(blocks);
    AckPeer peer(pty);
    const double raw = RawBlocksPerSecond(pty.slavePath(), image, blocks);
    const double ours = ImageBlocksPerSecond(image, blocks);
    std::printf("(a) %zu blocks over a pty without throttling\n", blocks);
    std::printf("    raw exchange (69 bytes out, 1 back): %10.0f blocks/s\n", raw);
    std::printf("    SendImage:                           %10.0f blocks/s  (%.1f %% of raw)\n", ours,
                raw > 0 ? 100.0 * ours / raw : 0.0);
}

void BenchThrottled(std::size_t imageBytes) {
    os::PtyMaster pty;
    setenv("VQ_COMPORTS", ("COM1=" + pty.slavePath()).c_str(), 1);
    sim::ScenarioResult scenario = sim::parseScenario("start = loader\nloader_baud = 115200\n");
    if (!scenario.scenario) {
        std::printf("(b) scenario: %s\n", scenario.error.c_str());
        return;
    }
    sim::PtyLink link(pty);
    sim::Phone phone(*scenario.scenario);
    phone.setWireThrottle(true);
    phone.start(link);

    const std::size_t blocks = imageBytes / 64;
    const Bytes image = MakeImage(blocks);
    flashlink::CmdBlockBuffer ready;
    if (!flashlink::ComOpen(kPort, kBaud, flashlink::kComNoParity) ||
        !flashlink::WaitForCmdBlock(kPort, &ready, flashlink::kMsgLoaderReady, 30000) ||
        !flashlink::EnableFlashWriteAll(kPort)) {
        std::printf("(b) the simulated phone's loader did not answer\n");
        phone.stop();
        return;
    }
    const auto start = Clock::now();
    const int sent = flashlink::SendImage(kPort, image.data(), static_cast<std::uint32_t>(image.size()),
                                          kBlockAnswerMs, 0, nullptr);
    const double seconds = SecondsSince(start);
    flashlink::ComClose(kPort);
    phone.stop();

    const double limit = static_cast<double>(blocks) * (kBlockBytes + 1) * 10.0 / kBaud;
    std::printf("(b) %zu bytes (%zu blocks) at 115200 baud with wire throttling: %s\n", imageBytes,
                blocks, sent ? "sent" : "FAILED");
    std::printf("    stop-and-wait limit: %8.2f s\n", limit);
    std::printf("    SendImage:           %8.2f s  (%.1f %% of the limit's speed)\n", seconds,
                100.0 * limit / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t blocks = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 20000;
    const std::size_t imageBytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1048576;
    os::SetCurrentThreadPriority(os::ThreadPriority::TimeCritical);
    BenchUnthrottled(blocks);
    BenchThrottled(imageBytes);
    return 0;
}
