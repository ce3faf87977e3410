#include "sim/bfb_service.h"

#include <algorithm>

namespace sim {

namespace {

constexpr std::uint8_t kPing = 0x02;
constexpr std::uint8_t kService = 0x0E;
constexpr std::uint8_t kEeprom = 0x14;
constexpr std::size_t kMaxPayload = 32;
// A frame that stops arriving for this long is dropped (the sender gave up).
constexpr auto kFrameGap = std::chrono::milliseconds(300);
// While the EEPROM is busy the phone repeats its "P" answer at this pace.
constexpr auto kBusyRepeat = std::chrono::milliseconds(1000);

constexpr std::uint8_t kBeginWrite = 0x11;
constexpr std::uint8_t kWritePart = 0x12;
constexpr std::uint8_t kEndWrite = 0x13;
constexpr std::uint8_t kReadPart = 0x14;
constexpr std::uint8_t kBeginRead = 0x15;
// Status answers of the block service (the first byte instead of the command code).
constexpr char kStatusNoWrite = '1';      // write part or end write without a begun write
constexpr char kStatusNoBlock = '2';      // the block does not exist
constexpr char kStatusOutOfBlock = '3';   // offset or length outside the block
constexpr char kStatusBadRequest = '4';   // request too short or too long

std::uint16_t le16(const Bytes& p, std::size_t at) {
    return static_cast<std::uint16_t>(p[at] | (p[at + 1] << 8));
}

void appendText(Bytes& out, const std::string& text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        out.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
}

const char* eepromPoint(std::uint8_t code) {
    switch (code) {
    case kBeginWrite: return "eeprom.begin_write";
    case kWritePart: return "eeprom.write_part";
    case kEndWrite: return "eeprom.end_write";
    case kBeginRead: return "eeprom.begin_read";
    case kReadPart: return "eeprom.read_part";
    default: return "eeprom.other";
    }
}

Bytes withCheck(Bytes payload) {
    payload.push_back(xorOf(payload.data(), payload.size()));
    return payload;
}

}  // namespace

Bytes bfbFrame(std::uint8_t type, const Bytes& payload) {
    const auto n = static_cast<std::uint8_t>(payload.size());
    Bytes f(3 + payload.size());
    f[0] = type;
    f[1] = n;
    f[2] = static_cast<std::uint8_t>(type ^ n);
    std::copy(payload.begin(), payload.end(), f.begin() + 3);
    return f;
}

BfbService::BfbService(PhoneMemory& memory, PhoneControl& control) : memory_(memory), control_(control) {}

void BfbService::reset() {
    input_.clear();
    pending_.reset();
    delayed_.clear();
}

void BfbService::sendFrame(std::uint8_t type, const Bytes& payload) { control_.send(bfbFrame(type, payload)); }

void BfbService::onByte(std::uint8_t byte, SimClock::time_point now) {
    if (!input_.empty() && now - lastByte_ > kFrameGap) input_.clear();
    lastByte_ = now;
    input_.push_back(byte);
    parse();
}

void BfbService::parse() {
    for (;;) {
        if (input_.size() < 3) return;
        const std::uint8_t type = input_[0];
        const std::uint8_t n = input_[1];
        if ((type ^ n) != input_[2] || n == 0 || n > kMaxPayload) {
            input_.erase(input_.begin());  // resynchronise on the next byte
            continue;
        }
        if (input_.size() < 3u + n) return;
        const Bytes payload(input_.begin() + 3, input_.begin() + 3 + n);
        input_.erase(input_.begin(), input_.begin() + 3 + n);
        onFrame(type, payload, lastByte_);
    }
}

// Sends an answer frame, damaged as a fault at `point` says.
void BfbService::sendAnswer(std::uint8_t type, Bytes payload, const std::string& point, std::uint32_t index) {
    auto fault = memory_.faults.take(point, index);
    if (!fault) {
        sendFrame(type, payload);
        return;
    }
    const std::string& a = fault->action;
    if (a == "wrong_length") {
        payload.push_back(0x00);
    } else if (a == "bad_value" && payload.size() > 1) {
        payload[1] ^= 0x01;
    } else if (a == "bad_header") {
        control_.send({type, static_cast<std::uint8_t>(payload.size()), static_cast<std::uint8_t>(~(type ^ payload.size()))});
    } else if (a == "length_33") {
        Bytes f{type, 33, static_cast<std::uint8_t>(type ^ 33)};
        f.resize(3 + 33, 0x00);
        control_.send(f);
        return;
    } else if (a == "no_answer") {
        ++memory_.record.counters.lostAnswers;
        return;
    }
    sendFrame(type, payload);
}

void BfbService::onFrame(std::uint8_t type, const Bytes& payload, SimClock::time_point now) {
    if (type == kPing) {
        if (payload.size() == 1 && payload[0] == 0x14) {
            ++memory_.record.counters.pings;
            sendAnswer(kPing, {0x14, 0xAA}, "bfb.ping", 0);
        }
    } else if (type == kService) {
        onService(payload);
    } else if (type == kEeprom) {
        onEeprom(payload, now);
    }
}

void BfbService::onService(const Bytes& p) {
    const SoftwareVersion& v = memory_.version;
    const Scenario& s = memory_.scenario;
    Bytes answer{p[0]};
    switch (p[0]) {
    case 0x02:
        answer.push_back(static_cast<std::uint8_t>(s.voltage & 0xFF));
        answer.push_back(static_cast<std::uint8_t>(s.voltage >> 8));
        break;
    case 0x03:
        answer.push_back(v.svn);
        answer.push_back(0);
        break;
    case 0x04:
        answer.push_back(0);
        break;
    case 0x07:
        appendText(answer, v.productType, 16);
        break;
    case 0x08:
        appendText(answer, v.compileDate, 8);
        break;
    case 0x20:
        if (p.size() < 6) return;
        answer.push_back(0);
        break;
    case 0x21:
        for (int i = 0; i < 4; ++i) answer.push_back(static_cast<std::uint8_t>(s.putCount >> (8 * i)));
        appendText(answer, s.directory, 16);
        break;
    default:
        return;  // unknown requests go unanswered
    }
    ++memory_.record.counters.serviceRequests;
    sendAnswer(kService, answer, "bfb.service", p[0]);
    if (p[0] == 0x04) {
        control_.switchOff();
    } else if (p[0] == 0x20) {
        const std::uint32_t baud = static_cast<std::uint32_t>(p[2] | (p[3] << 8) | (p[4] << 16)) |
                                   (static_cast<std::uint32_t>(p[5]) << 24);
        control_.rebootIntoLoader(baud);
    }
}

void BfbService::onEeprom(const Bytes& p, SimClock::time_point now) {
    if (p.size() < 2 || xorOf(p.data(), p.size() - 1) != p.back()) return;  // garbled: no answer
    const Bytes request(p.begin(), p.end() - 1);
    const std::uint16_t block = request.size() >= 3 ? le16(request, 1) : 0;
    auto fault = memory_.faults.take(eepromPoint(request[0]), block);
    Bytes answer = eepromAnswer(request);
    ++memory_.record.counters.eepromCommands;
    if (!fault) {
        sendFrame(kEeprom, withCheck(answer));
        return;
    }
    if (fault->action == "busy") {
        sendFrame(kEeprom, withCheck({'P'}));
        const auto end = now + std::chrono::milliseconds(fault->ms);
        for (auto t = now + kBusyRepeat; t < end; t += kBusyRepeat) delayed_.push_back({t, bfbFrame(kEeprom, withCheck({'P'}))});
        delayed_.push_back({end, bfbFrame(kEeprom, withCheck(answer))});
    } else if (fault->action == "status") {
        sendFrame(kEeprom, withCheck({static_cast<std::uint8_t>(fault->status)}));
    } else if (fault->action == "bad_check") {
        Bytes damaged = withCheck(answer);
        damaged.back() ^= 0xFF;
        sendFrame(kEeprom, damaged);
    } else {
        ++memory_.record.counters.lostAnswers;  // no_answer
    }
}

Bytes BfbService::eepromAnswer(const Bytes& r) {
    const std::uint8_t code = r[0];
    auto status = [](char c) { return Bytes{static_cast<std::uint8_t>(c)}; };
    if (r.size() < 3) return status(kStatusBadRequest);
    const std::uint16_t block = le16(r, 1);
    switch (code) {
    case kBeginWrite: {
        if (r.size() != 6) return status(kStatusBadRequest);
        const std::uint16_t length = le16(r, 3);
        if (length == 0 || length > 1024) return status(kStatusOutOfBlock);
        pending_ = PendingWrite{block, EepromBlock{r[5], Bytes(length, 0xFF)}};
        return {code};
    }
    case kWritePart: {
        if (r.size() < 6 || r.size() > 5 + 27) return status(kStatusBadRequest);
        if (!pending_ || pending_->block != block) return status(kStatusNoWrite);
        const std::uint16_t offset = le16(r, 3);
        const std::size_t count = r.size() - 5;
        Bytes& data = pending_->contents.data;
        if (offset + count > data.size()) return status(kStatusOutOfBlock);
        std::copy(r.begin() + 5, r.end(), data.begin() + offset);
        return {code};
    }
    case kEndWrite: {
        if (!pending_ || pending_->block != block) return status(kStatusNoWrite);
        memory_.eeprom[block] = pending_->contents;
        if (block == kUpdateRequestBlock) {
            memory_.record.updateRequest = pending_->contents.data;
            control_.reachPhase("update_request");
        }
        pending_.reset();
        return {code};
    }
    case kBeginRead: {
        const auto it = memory_.eeprom.find(block);
        if (it == memory_.eeprom.end()) return status(kStatusNoBlock);
        const auto length = static_cast<std::uint16_t>(it->second.data.size());
        return {code, static_cast<std::uint8_t>(length & 0xFF), static_cast<std::uint8_t>(length >> 8),
                it->second.value};
    }
    case kReadPart: {
        if (r.size() != 7) return status(kStatusBadRequest);
        const auto it = memory_.eeprom.find(block);
        if (it == memory_.eeprom.end()) return status(kStatusNoBlock);
        const std::uint16_t offset = le16(r, 3);
        const std::uint16_t count = le16(r, 5);
        if (count > kMaxPayload - 2 || offset + count > it->second.data.size()) return status(kStatusOutOfBlock);
        Bytes answer(1 + count);
        answer[0] = code;
        std::copy_n(it->second.data.begin() + offset, count, answer.begin() + 1);
        return answer;
    }
    default:
        return status(kStatusBadRequest);
    }
}

void BfbService::tick(SimClock::time_point now) {
    while (!delayed_.empty() && delayed_.front().at <= now) {
        control_.send(delayed_.front().frame);
        delayed_.pop_front();
    }
}

}  // namespace sim
