#include "platform/os/pty.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

extern "C" {
// From <stdlib.h>; declared here because <asm/termbits.h> and <termios.h> cannot be included
// together.
int posix_openpt(int flags);
int grantpt(int fd);
int unlockpt(int fd);
int ptsname_r(int fd, char* buffer, size_t size);
}

namespace os {
namespace {

bool MakeRaw(int fd) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) return false;
    tio.c_iflag = 0;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag &= ~(CSIZE | PARENB | CRTSCTS);
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

int OpenSlave(const std::string& path) {
    return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

}  // namespace

PtyMaster::PtyMaster() {
    const int fd = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    char name[128];
    if (grantpt(fd) != 0 || unlockpt(fd) != 0 || ptsname_r(fd, name, sizeof name) != 0) {
        ::close(fd);
        return;
    }
    // The slave keeps its settings after this first open is closed again.
    const int slave = OpenSlave(name);
    const bool raw = slave >= 0 && MakeRaw(slave);
    if (slave >= 0) ::close(slave);
    if (!raw) {
        ::close(fd);
        return;
    }
    fd_ = fd;
    slavePath_ = name;
}

PtyMaster::~PtyMaster() {
    if (fd_ >= 0) ::close(fd_);
}

bool PtyMaster::ok() const {
    return fd_ >= 0;
}

const std::string& PtyMaster::slavePath() const {
    return slavePath_;
}

long PtyMaster::read(void* buffer, std::size_t size, int timeoutMs) {
    if (fd_ < 0) return -1;
    if (size == 0) return 0;
    pollfd wait{fd_, POLLIN, 0};
    int ready;
    do {
        ready = poll(&wait, 1, timeoutMs);
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) return -1;
    if (ready == 0) return 0;
    const ssize_t got = ::read(fd_, buffer, size);
    if (got < 0) return errno == EAGAIN ? 0 : -1;
    return got;
}

bool PtyMaster::write(const void* data, std::size_t size) {
    if (fd_ < 0) return false;
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(fd_, next, size);
        if (put < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN) return false;
            pollfd wait{fd_, POLLOUT, 0};
            if (poll(&wait, 1, -1) < 0 && errno != EINTR) return false;
            continue;
        }
        next += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

std::uint32_t PtyMaster::slaveBaudRate() const {
    struct termios2 tio {};
    if (fd_ < 0 || ioctl(fd_, TCGETS2, &tio) != 0) return 0;
    return tio.c_ospeed;
}

bool PtyMaster::slaveOpen() const {
    if (fd_ < 0) return false;
    pollfd probe{fd_, 0, 0};
    return poll(&probe, 1, 0) >= 0 && (probe.revents & POLLHUP) == 0;
}

void PtyMaster::flush() {
    if (fd_ < 0) return;
    ioctl(fd_, TCFLSH, TCIOFLUSH);  // what the slave wrote
    // What the master wrote waits in the slave's input queue; only a slave descriptor reaches it.
    const int slave = OpenSlave(slavePath_);
    if (slave < 0) return;
    ioctl(slave, TCFLSH, TCIFLUSH);
    ::close(slave);
}

}  // namespace os
