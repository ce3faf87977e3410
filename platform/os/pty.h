// The master side of a pseudo-terminal: stands in for the far end of a serial cable (the phone
// simulator, tests). The slave path is what a port opener uses as its device.
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
    // (0 on time-out), -1 on error (for example when no one holds the slave open: see slaveOpen()).
    long read(void* buffer, std::size_t size, int timeoutMs);
    // Writes all bytes; false on error.
    bool write(const void* data, std::size_t size);
    // The line speed the slave side programmed last (any rate, standard or not).
    std::uint32_t slaveBaudRate() const;
    // Whether some process holds the slave open now.
    bool slaveOpen() const;
    // Drops what is waiting in both directions.
    void flush();

private:
    int fd_ = -1;
    int slaveKeeper_ = -1;
    std::string slavePath_;
};

}  // namespace os
