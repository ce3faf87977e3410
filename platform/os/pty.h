// The master side of a pseudo-terminal: stands in for the far end of a serial cable (the phone
// simulator, tests). The slave path is what a port opener uses as its device.
//
// How a Linux pty behaves (measured): the slave keeps its line settings while the master is open,
// also between two opens of the slave, so the constructor sets it raw once and closes it again.
// The master then sees a hang-up whenever no one holds the slave open, and its reads fail; what the
// slave wrote before closing is still read first. Bytes written to the master while the slave is
// closed wait for the next opener, as a real line would not keep them. The master reports the
// rate the slave programmed (also a non-standard one), but not its parity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace os {

class PtyMaster {
public:
    PtyMaster();  // opens a new pty; the slave is set raw. ok() tells whether it worked
    ~PtyMaster();
    PtyMaster(const PtyMaster&) = delete;
    PtyMaster& operator=(const PtyMaster&) = delete;

    bool ok() const;
    const std::string& slavePath() const;

    // Reads what is waiting, waiting at most timeoutMs for the first byte; returns the count
    // (0 on time-out), -1 on error. When no one holds the slave open and nothing is left to read,
    // it returns -1 at once (see slaveOpen()).
    long read(void* buffer, std::size_t size, int timeoutMs);
    // Writes all bytes; false on error. While the slave is closed they wait for its next opener.
    bool write(const void* data, std::size_t size);
    // The line speed the slave side programmed last (any rate, standard or not); 0 on error.
    std::uint32_t slaveBaudRate() const;
    // Whether some process holds the slave open now.
    bool slaveOpen() const;
    // Drops what is waiting in both directions.
    void flush();

private:
    int fd_ = -1;
    std::string slavePath_;
};

}  // namespace os
