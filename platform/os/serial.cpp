#include "platform/os/serial.h"

#include <asm/termbits.h>
#include <dirent.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>

#include "platform/os/serial_map.h"

namespace os {

class SerialPort {
public:
    explicit SerialPort(int fd) : fd(fd) {}
    int fd;
    SerialSettings settings;
    SerialTimeouts timeouts;
    serial_icounter_struct errorCounts{};  // line error counters at the last ClearSerialErrors
};

namespace {

using Clock = std::chrono::steady_clock;

std::uint32_t OpenErrorFor(int error) {
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case ENOTDIR:
            return kErrorFileNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
            return kErrorAccessDenied;
        case EBUSY:
        case EWOULDBLOCK:
            return kErrorSharingViolation;
        default:
            return kErrorGenFailure;
    }
}

bool Fail(std::uint32_t error) {
    SetLastError(error);
    return false;
}

bool GetTermios(int fd, termios2& tio) {
    return ioctl(fd, TCGETS2, &tio) == 0;
}

// Raw line, receiver on, modem status lines ignored; reads are driven by poll, so VMIN/VTIME are 0.
void MakeRaw(termios2& tio) {
    tio.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
}

tcflag_t ByteSizeFlag(std::uint8_t byteSize) {
    switch (byteSize) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

tcflag_t ParityFlags(std::uint8_t parity) {
    switch (parity) {
        case kOddParity:
            return PARENB | PARODD;
        case kEvenParity:
            return PARENB;
        case kMarkParity:
            return PARENB | PARODD | CMSPAR;
        case kSpaceParity:
            return PARENB | CMSPAR;
        default:
            return 0;
    }
}

bool ValidSettings(const SerialSettings& s) {
    return s.baudRate != 0 && s.byteSize >= 5 && s.byteSize <= 8 && s.parity <= kSpaceParity &&
           s.stopBits <= kTwoStopBits;
}

void WriteLineFields(const SerialSettings& s, termios2& tio) {
    const std::uint32_t rtsControl = (s.flags & dcb::kRtsControlMask) >> dcb::kRtsControlShift;
    tio.c_cflag &= ~(CBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    tio.c_cflag |= BOTHER | ByteSizeFlag(s.byteSize) | ParityFlags(s.parity);
    if (s.stopBits != kOneStopBit) tio.c_cflag |= CSTOPB;
    if ((s.flags & dcb::kOutxCtsFlow) != 0 || rtsControl == 2) tio.c_cflag |= CRTSCTS;
    tio.c_cflag &= ~(CBAUD << IBSHIFT);  // the input rate follows the output rate
    tio.c_ispeed = s.baudRate;
    tio.c_ospeed = s.baudRate;
    tio.c_iflag &= ~(INPCK | IXON | IXOFF);
    if ((s.flags & dcb::kParityCheck) != 0) tio.c_iflag |= INPCK;
    if ((s.flags & dcb::kOutX) != 0) tio.c_iflag |= IXON;
    if ((s.flags & dcb::kInX) != 0) tio.c_iflag |= IXOFF;
    tio.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
    tio.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
}

// A device without modem lines (a pseudo-terminal) has nothing to raise or drop.
bool SetModemLine(int fd, int line, bool raised) {
    if (ioctl(fd, raised ? TIOCMBIS : TIOCMBIC, &line) == 0) return true;
    return errno == ENOTTY || errno == EINVAL;
}

// Control field values: 0 disabled (dropped), 1 enabled (raised), 2 handshake, 3 toggle (raised).
bool ApplyModemControl(int fd, std::uint32_t flags) {
    const std::uint32_t dtr = (flags & dcb::kDtrControlMask) >> dcb::kDtrControlShift;
    const std::uint32_t rts = (flags & dcb::kRtsControlMask) >> dcb::kRtsControlShift;
    return SetModemLine(fd, TIOCM_DTR, dtr != 0) && SetModemLine(fd, TIOCM_RTS, rts != 0);
}

std::uint32_t BytesWaiting(int fd) {
    int count = 0;
    return ioctl(fd, FIONREAD, &count) == 0 && count > 0 ? static_cast<std::uint32_t>(count) : 0;
}

enum class Ready { TimedOut, Ready, HungUp, Failed };

// Waits for the descriptor; timeoutMs < 0 waits without limit.
Ready WaitFor(int fd, short events, int timeoutMs) {
    for (;;) {
        pollfd wait{fd, events, 0};
        const int ready = poll(&wait, 1, timeoutMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return Ready::Failed;
        if (ready == 0) return Ready::TimedOut;
        if ((wait.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return Ready::HungUp;
        return Ready::Ready;
    }
}

int MsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
}

std::string DevicePathFor(const char* comNameOrPath) {
    if (comNameOrPath == nullptr) return {};
    const std::string name = comNameOrPath;
    return name.find('/') != std::string::npos ? name : ResolveSerialDevice(comNameOrPath);
}

struct Holder {
    int pid;
    std::string program;
};

std::vector<Holder> HoldersOf(const std::string& devicePath) {
    std::vector<Holder> holders;
    struct stat device {};
    if (devicePath.empty() || stat(devicePath.c_str(), &device) != 0) return holders;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return holders;
    while (const dirent* entry = readdir(proc)) {
        const int pid = std::atoi(entry->d_name);
        if (pid <= 0 || pid == getpid()) continue;
        const std::string fdDirectory = "/proc/" + std::to_string(pid) + "/fd";
        DIR* fds = opendir(fdDirectory.c_str());
        if (fds == nullptr) continue;
        bool holds = false;
        while (const dirent* fd = readdir(fds)) {
            struct stat target {};
            if (fd->d_name[0] == '.') continue;
            if (stat((fdDirectory + "/" + fd->d_name).c_str(), &target) == 0 &&
                S_ISCHR(target.st_mode) && target.st_rdev == device.st_rdev) {
                holds = true;
                break;
            }
        }
        closedir(fds);
        if (!holds) continue;
        std::string program;
        std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/comm"), program);
        holders.push_back({pid, program});
    }
    closedir(proc);
    return holders;
}

std::string Join(const std::vector<Holder>& holders) {
    std::string text;
    for (const auto& holder : holders) {
        if (!text.empty()) text += ", ";
        text += holder.program + " (pid " + std::to_string(holder.pid) + ")";
    }
    return text;
}

std::string PortLabel(const char* comNameOrPath, const std::string& path) {
    const std::string name = comNameOrPath != nullptr ? comNameOrPath : "";
    return path.empty() || path == name ? name : name + " (" + path + ")";
}

}  // namespace

SerialPort* OpenSerialDevice(const char* devicePath) {
    if (devicePath == nullptr || *devicePath == '\0') {
        SetLastError(kErrorFileNotFound);
        return nullptr;
    }
    const int fd = ::open(devicePath, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        SetLastError(OpenErrorFor(errno));
        return nullptr;
    }
    auto refuse = [fd](std::uint32_t error) -> SerialPort* {
        ::close(fd);
        SetLastError(error);
        return nullptr;
    };
    termios2 tio{};
    if (!GetTermios(fd, tio)) return refuse(kErrorGenFailure);  // not a terminal device
    // TIOCEXCL keeps out other openers except root; the lock keeps out root openers that lock too.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) return refuse(OpenErrorFor(errno));
    if (ioctl(fd, TIOCEXCL) != 0) return refuse(kErrorGenFailure);
    MakeRaw(tio);
    if (ioctl(fd, TCSETS2, &tio) != 0) {
        ioctl(fd, TIOCNXCL);
        return refuse(kErrorGenFailure);
    }
    ioctl(fd, TCFLSH, TCIOFLUSH);  // a fresh open starts with empty queues
    auto* port = new SerialPort(fd);
    port->settings.baudRate = tio.c_ospeed;  // the raw line: 8 data bits, no parity, one stop bit
    port->settings.flags = dcb::kBinary;
    port->settings.xonChar = static_cast<char>(tio.c_cc[VSTART]);
    port->settings.xoffChar = static_cast<char>(tio.c_cc[VSTOP]);
    ioctl(fd, TIOCGICOUNT, &port->errorCounts);
    SetLastError(kErrorSuccess);
    return port;
}

SerialPort* OpenSerialPort(const char* comName) {
    const std::string path = ResolveSerialDevice(comName);
    if (path.empty()) {
        SetLastError(kErrorFileNotFound);
        return nullptr;
    }
    return OpenSerialDevice(path.c_str());
}

bool CloseSerialPort(SerialPort* port) {
    if (port == nullptr) return Fail(kErrorInvalidHandle);
    ioctl(port->fd,
          TIOCNXCL);  // the exclusive mode would outlive us on a pty whose master stays open
    const bool closed = ::close(port->fd) == 0;
    delete port;
    return closed || Fail(kErrorGenFailure);
}

std::string DescribeSerialOpenFailure(const char* comNameOrPath, std::uint32_t lastError) {
    const std::string path = DevicePathFor(comNameOrPath);
    const std::string label = PortLabel(comNameOrPath, path);
    switch (lastError) {
        case kErrorFileNotFound:
            return label +
                   ": no such serial port. Connect the cable, or name the device in VQ_COMPORTS "
                   "(for example COM1=/dev/ttyUSB0).";
        case kErrorAccessDenied:
            return label +
                   ": no permission to open the serial port. Add the user to the group dialout "
                   "(sudo usermod -aG dialout $USER) and log in again.";
        case kErrorSharingViolation: {
            const std::string holders = Join(HoldersOf(path));
            return label + ": the serial port is in use" +
                   (holders.empty() ? std::string() : " by " + holders) +
                   ". ModemManager or another program may hold it; close that program, or stop "
                   "ModemManager "
                   "(sudo systemctl stop ModemManager) while updating.";
        }
        default:
            return label + ": the serial port cannot be opened (error " +
                   std::to_string(lastError) + ").";
    }
}

std::string DescribeSerialPortHolders(const char* comNameOrPath) {
    return Join(HoldersOf(DevicePathFor(comNameOrPath)));
}

bool GetSerialSettings(SerialPort* port, SerialSettings& out) {
    if (port == nullptr) return Fail(kErrorInvalidHandle);
    out = port->settings;
    return true;
}

bool SetSerialSettings(SerialPort* port, const SerialSettings& settings) {
    if (port == nullptr) return Fail(kErrorInvalidHandle);
    if (!ValidSettings(settings)) return Fail(kErrorInvalidParameter);
    termios2 tio{};
    if (!GetTermios(port->fd, tio)) return Fail(kErrorGenFailure);
    WriteLineFields(settings, tio);
    if (ioctl(port->fd, TCSETS2, &tio) != 0) return Fail(kErrorGenFailure);
    port->settings = settings;
    return ApplyModemControl(port->fd, settings.flags) || Fail(kErrorGenFailure);
}

bool GetSerialTimeouts(SerialPort* port, SerialTimeouts& out) {
    if (port == nullptr) return Fail(kErrorInvalidHandle);
    out = port->timeouts;
    return true;
}

bool SetSerialTimeouts(SerialPort* port, const SerialTimeouts& timeouts) {
    if (port == nullptr) return Fail(kErrorInvalidHandle);
    port->timeouts = timeouts;
    return true;
}

bool SetRts(SerialPort* port, bool raised) {
    if (port == nullptr) return Fail(kErrorInvalidHandle);
    return SetModemLine(port->fd, TIOCM_RTS, raised) || Fail(kErrorGenFailure);
}

bool SetDtr(SerialPort* port, bool raised) {
    if (port == nullptr) return Fail(kErrorInvalidHandle);
    return SetModemLine(port->fd, TIOCM_DTR, raised) || Fail(kErrorGenFailure);
}

bool PurgeSerial(SerialPort* port, std::uint32_t purgeFlags) {
    if (port == nullptr) return Fail(kErrorInvalidHandle);
    const bool input = (purgeFlags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    const bool output = (purgeFlags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    if (!input && !output) return true;
    const int queue = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
    return ioctl(port->fd, TCFLSH, queue) == 0 || Fail(kErrorGenFailure);
}

bool ClearSerialErrors(SerialPort* port, std::uint32_t* errors, std::uint32_t* bytesWaiting) {
    if (port == nullptr) return Fail(kErrorInvalidHandle);
    std::uint32_t bits = 0;
    serial_icounter_struct now{};
    // Only a real UART counts line errors; other devices report none.
    if (ioctl(port->fd, TIOCGICOUNT, &now) == 0) {
        const serial_icounter_struct& before = port->errorCounts;
        if (now.buf_overrun != before.buf_overrun) bits |= kSerialRxOverrun;
        if (now.overrun != before.overrun) bits |= kSerialOverrun;
        if (now.parity != before.parity) bits |= kSerialParity;
        if (now.frame != before.frame) bits |= kSerialFrame;
        if (now.brk != before.brk) bits |= kSerialBreak;
        port->errorCounts = now;
    }
    if (errors != nullptr) *errors = bits;
    if (bytesWaiting != nullptr) *bytesWaiting = BytesWaiting(port->fd);
    return true;
}

bool ReadSerial(SerialPort* port, void* buffer, std::uint32_t count, std::uint32_t* got) {
    if (got != nullptr) *got = 0;
    if (port == nullptr) return Fail(kErrorInvalidHandle);
    const SerialTimeouts& t = port->timeouts;
    const bool atOnce = t.readInterval == kReadReturnAtOnce && t.readTotalMultiplier == 0 &&
                        t.readTotalConstant == 0;
    const bool bounded = t.readTotalMultiplier != 0 || t.readTotalConstant != 0;
    const bool gapLimited = t.readInterval != 0 && t.readInterval != kReadReturnAtOnce;
    const std::uint64_t totalMs =
        std::uint64_t{t.readTotalMultiplier} * count + t.readTotalConstant;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(totalMs);
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::uint32_t have = 0;
    bool hungUp = false;
    bool failed = false;
    Clock::time_point lastByte{};
    while (have < count) {
        const ssize_t n = ::read(port->fd, bytes + have, count - have);
        if (n > 0) {
            have += static_cast<std::uint32_t>(n);
            lastByte = Clock::now();
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // A raw tty reads 0 bytes when none are waiting; after a hang-up that means the end.
        failed = (n < 0 && errno != EAGAIN) || hungUp;
        if (failed || atOnce) break;
        int waitMs = bounded ? MsUntil(deadline) : -1;
        if (gapLimited && have > 0) {
            const int gapLeft = MsUntil(lastByte + std::chrono::milliseconds(t.readInterval));
            waitMs = waitMs < 0 ? gapLeft : std::min(waitMs, gapLeft);
        }
        if (waitMs == 0) break;
        const Ready ready = WaitFor(port->fd, POLLIN, waitMs);
        if (ready == Ready::TimedOut) break;
        hungUp = ready != Ready::Ready;
    }
    if (got != nullptr) *got = have;
    return !failed || Fail(kErrorGenFailure);
}

bool WriteSerial(SerialPort* port, const void* data, std::uint32_t count, std::uint32_t* written) {
    if (written != nullptr) *written = 0;
    if (port == nullptr) return Fail(kErrorInvalidHandle);
    const SerialTimeouts& t = port->timeouts;
    const bool bounded = t.writeTotalMultiplier != 0 || t.writeTotalConstant != 0;
    const Clock::time_point deadline =
        Clock::now() + std::chrono::milliseconds(std::uint64_t{t.writeTotalMultiplier} * count +
                                                 t.writeTotalConstant);
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::uint32_t put = 0;
    while (put < count) {
        const ssize_t n = ::write(port->fd, bytes + put, count - put);
        if (n > 0) {
            put += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) {
            if (written != nullptr) *written = put;
            return Fail(kErrorGenFailure);
        }
        const int waitMs = bounded ? MsUntil(deadline) : -1;
        if (waitMs == 0) break;
        const Ready ready = WaitFor(port->fd, POLLOUT, waitMs);
        if (ready == Ready::TimedOut) break;
        if (ready != Ready::Ready) {
            if (written != nullptr) *written = put;
            return Fail(kErrorGenFailure);
        }
    }
    if (written != nullptr) *written = put;
    return true;
}

}  // namespace os
