// The phone's end of the cable. Two kinds: a pseudo-terminal master (the updater opens the slave as
// its serial port) and an in-process cable whose host end a test drives directly.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

namespace os {
class PtyMaster;
}

namespace sim {

class Link {
public:
    virtual ~Link();
    // Bytes from the host, waiting at most timeoutMs for the first; 0 on time-out or closed line.
    virtual long read(std::uint8_t* buffer, std::size_t size, int timeoutMs) = 0;
    virtual bool write(const std::uint8_t* data, std::size_t size) = 0;
    virtual std::uint32_t hostBaud() const = 0;  // the speed the host's side is set to
    virtual bool hostOpen() const = 0;           // whether the host holds its end open
};

// Serves the slave of a pty: the host's speed is what the slave programmed last.
class PtyLink : public Link {
public:
    explicit PtyLink(os::PtyMaster& pty);
    long read(std::uint8_t* buffer, std::size_t size, int timeoutMs) override;
    bool write(const std::uint8_t* data, std::size_t size) override;
    std::uint32_t hostBaud() const override;
    bool hostOpen() const override;

private:
    os::PtyMaster& pty_;
};

// An in-process cable. The host end starts open at 57600 baud; closing it drops what the phone sent
// and the host has not read, as closing a real port does.
class DirectLink : public Link {
public:
    long read(std::uint8_t* buffer, std::size_t size, int timeoutMs) override;
    bool write(const std::uint8_t* data, std::size_t size) override;
    std::uint32_t hostBaud() const override;
    bool hostOpen() const override;

    // The host's end.
    void hostSetOpen(bool open);
    void hostSetBaud(std::uint32_t baud);
    void hostWrite(const std::vector<std::uint8_t>& bytes);
    // Waits at most timeoutMs for the first byte, then takes what is waiting (at most maxBytes).
    std::vector<std::uint8_t> hostRead(std::size_t maxBytes, int timeoutMs);
    // Collects bytes until `count` have arrived or timeoutMs have passed in all.
    std::vector<std::uint8_t> hostReadExactly(std::size_t count, int timeoutMs);

private:
    mutable std::mutex mutex_;
    std::condition_variable toPhoneReady_;
    std::condition_variable toHostReady_;
    std::deque<std::uint8_t> toPhone_;
    std::deque<std::uint8_t> toHost_;
    std::uint32_t baud_ = 57600;
    bool open_ = true;
};

}  // namespace sim
