#include "sim/update_loader.h"

#include <algorithm>

namespace sim {

namespace {

// Answer bytes to a host block.
constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;
constexpr std::uint8_t kBusy = 0x9B;
constexpr std::uint8_t kDamagedAck = 0x16;  // what a fault sends instead of 0x06

constexpr std::uint32_t kCommandAddress = 0xFFFFFF;
constexpr std::size_t kMaxData = 64;

// Messages of the phone.
constexpr std::uint8_t kStatusAfterEnd = 0x00;
constexpr std::uint8_t kErrorReport = 0x18;
constexpr std::uint8_t kFlashSize = 0x22;
constexpr std::uint8_t kReady = 0x31;
constexpr std::uint8_t kFlashCode = 0x33;
constexpr std::uint8_t kEraseRange = 0x54;
constexpr std::uint8_t kBlockErased = 0x56;
constexpr std::uint8_t kEraseProgress = 0x5A;
constexpr std::uint8_t kEraseEnd = 0x5B;
constexpr std::uint8_t kNegotiationAnswer = 0x61;
constexpr std::uint8_t kCompressionAnswer = 0x81;
constexpr std::uint8_t kNewSplitAnswer = 0xB9;
constexpr std::uint8_t kSwVersion = 0xC3;
constexpr std::uint8_t kSplitAnswer1 = 0xC9;
constexpr std::uint8_t kSplitAnswer2 = 0xCA;
constexpr std::uint8_t kLanguageAnswer = 0xCF;

constexpr std::uint8_t kEraseDidNotErase = 0xAA;
constexpr std::uint8_t kErasedAll = 0x01;

// End-of-transmission status (first parameter of 0x00).
constexpr std::uint8_t kEndOk = 0x00;
constexpr std::uint8_t kEndHashMismatch = 0x01;
constexpr std::uint8_t kEndNotSigned = 0x02;

// A block that stops arriving for this long is dropped (line noise or a sender that gave up).
constexpr auto kBlockGap = std::chrono::milliseconds(500);
// The ready message is repeated at this pace until the host acknowledges one: a message sent
// while the host only tested the port never reaches the update procedure.
constexpr auto kReadyRepeat = std::chrono::milliseconds(1000);
// An unasked block waits for the host's next block (it then goes out before the answer byte),
// or for this much quiet when the host waits without sending.
constexpr auto kDeferQuiet = std::chrono::milliseconds(50);

std::uint16_t le16(const Bytes& p, std::size_t at) {
    return static_cast<std::uint16_t>(p[at] | (p[at + 1] << 8));
}

std::uint32_t be32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

void putBe32(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

void appendField(Bytes& out, const std::string& text, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        out.push_back(i < text.size() ? static_cast<std::uint8_t>(text[i]) : 0);
}

}  // namespace

Bytes commandBlock(std::uint8_t id, const Bytes& params) {
    Bytes b(6 + params.size());
    b[0] = b[1] = b[2] = 0xFF;
    b[3] = static_cast<std::uint8_t>(params.size() + 1);
    b[4] = id;
    std::copy(params.begin(), params.end(), b.begin() + 5);
    b.back() = xorOf(b.data(), b.size() - 1);
    return b;
}

UpdateLoader::UpdateLoader(PhoneMemory& memory, PhoneControl& control)
    : memory_(memory), control_(control), flash_(memory.flash), keys_(memory.scenario.keyPath()) {}

void UpdateLoader::start() {
    flash_.protectAll();
    forgetHost();
    negotiation_.reset();
    restartWhenAcknowledged_ = false;
}

void UpdateLoader::onLineClosed() {
    if (restartWhenAcknowledged_) {
        restartWhenAcknowledged_ = false;
        control_.startNormalSoftware();
        return;
    }
    // The host is gone: the loader waits for the next one and greets it again.
    forgetHost();
}

void UpdateLoader::forgetHost() {
    input_.clear();
    openSince_.reset();
    lastReady_.reset();
    hostSeen_ = false;
    pendingAcks_ = 0;
    deferred_.clear();
    timed_.clear();
}

void UpdateLoader::at(SimClock::time_point when, std::function<void()> action) {
    timed_.push_back({when, std::move(action)});
}

void UpdateLoader::tick(SimClock::time_point now, bool lineOpen) {
    if (!lineOpen) return;
    if (!openSince_) openSince_ = now;
    if (!hostSeen_ && now - *openSince_ >= std::chrono::milliseconds(memory_.scenario.loaderReadyMs) &&
        (!lastReady_ || now - *lastReady_ >= kReadyRepeat)) {
        lastReady_ = now;
        sendBlock(kReady, {});
        control_.reachPhase("loader_ready");
    }
    if (!deferred_.empty() && now - lastByte_ >= kDeferQuiet && input_.empty()) flushDeferred();
    // Timed actions may add timed actions: take the due ones out first.
    std::vector<Timed> due;
    for (auto it = timed_.begin(); it != timed_.end();) {
        if (it->at <= now) {
            due.push_back(std::move(*it));
            it = timed_.erase(it);
        } else {
            ++it;
        }
    }
    std::stable_sort(due.begin(), due.end(), [](const Timed& a, const Timed& b) { return a.at < b.at; });
    for (Timed& t : due) t.action();
}

void UpdateLoader::onByte(std::uint8_t byte, SimClock::time_point now) {
    if (!input_.empty() && now - lastByte_ > kBlockGap) input_.clear();
    lastByte_ = now;
    input_.push_back(byte);
    parse(now);
}

void UpdateLoader::parse(SimClock::time_point now) {
    while (!input_.empty()) {
        if (pendingAcks_ > 0 && input_.front() == kAck) {
            input_.erase(input_.begin());
            if (--pendingAcks_ == 0 && restartWhenAcknowledged_) {
                restartWhenAcknowledged_ = false;
                control_.startNormalSoftware();
                return;
            }
            continue;
        }
        if (input_.size() < 4) return;
        const std::size_t n = input_[3];
        if (n > kMaxData) {
            input_.erase(input_.begin());  // not a block start: resynchronise
            continue;
        }
        if (input_.size() < n + 5) return;
        const Bytes block(input_.begin(), input_.begin() + static_cast<long>(n + 5));
        input_.erase(input_.begin(), input_.begin() + static_cast<long>(n + 5));
        hostSeen_ = true;
        if (xorOf(block.data(), n + 4) != block[n + 4]) {
            ++memory_.record.counters.refusedBlocks;
            answer(kNak);
            continue;
        }
        const std::uint32_t address = (static_cast<std::uint32_t>(block[0]) << 16) | (block[1] << 8) | block[2];
        onBlock(address, Bytes(block.begin() + 4, block.begin() + 4 + static_cast<long>(n)), now);
        if (memory_.record.mode == "halted") return;
    }
}

void UpdateLoader::onBlock(std::uint32_t address, const Bytes& data, SimClock::time_point now) {
    if (address == kCommandAddress) {
        if (data.empty()) {
            ++memory_.record.counters.refusedBlocks;
            answer(kNak);
            return;
        }
        const Bytes params(data.begin() + 1, data.end());
        const std::uint8_t id = data[0];
        if (applyAnswerFault("loader.command", id, now, [&] { onCommand(id, params, now); })) return;
        onCommand(id, params, now);
        return;
    }
    const std::uint32_t number = memory_.record.counters.dataBlocks + 1;
    if (applyAnswerFault("loader.block", number, now, [&] { onDataBlock(address, data); })) return;
    onDataBlock(address, data);
}

// Faults that change the answer to a host block. Returns true when the fault took the block over.
// For busy, lost and damaged answers the block is still taken in; what it would have sent is held
// back and then sent late (busy) or dropped (the host sends the block again and gets it then).
bool UpdateLoader::applyAnswerFault(const std::string& point, std::uint32_t index, SimClock::time_point now,
                                    const std::function<void()>& process) {
    auto fault = memory_.faults.take(point, index);
    if (!fault) return false;
    Counters& c = memory_.record.counters;
    const std::string& action = fault->action;
    if (action == "refuse") {
        ++c.refusedBlocks;
        answer(kNak);
        return true;
    }
    if (action == "error_report") {
        reportError(fault->bytes);
        return true;
    }
    if (action == "cut") {
        control_.reachPhase("cut");
        control_.halt();
        return true;
    }
    if (action != "busy" && action != "lose_answer" && action != "corrupt_answer") return false;
    holding_ = true;
    heldAnswer_.reset();
    heldBlocks_.clear();
    process();
    holding_ = false;
    if (action == "busy") {
        ++c.busyAnswers;
        flushDeferred();
        control_.send({kBusy});
        at(now + std::chrono::milliseconds(fault->ms), [this, byte = heldAnswer_, blocks = heldBlocks_] {
            if (byte) control_.send({*byte});
            for (const Bytes& b : blocks) {
                control_.send(b);
                ++pendingAcks_;
            }
        });
    } else if (action == "lose_answer") {
        ++c.lostAnswers;
    } else {
        ++c.corruptedAnswers;
        flushDeferred();
        control_.send({kDamagedAck});
    }
    return true;
}

void UpdateLoader::answer(std::uint8_t byte) {
    if (holding_) {
        heldAnswer_ = byte;
        return;
    }
    flushDeferred();
    control_.send({byte});
}

void UpdateLoader::sendBlock(std::uint8_t id, const Bytes& params) {
    if (holding_) {
        heldBlocks_.push_back(commandBlock(id, params));
        return;
    }
    control_.send(commandBlock(id, params));
    ++pendingAcks_;
}

void UpdateLoader::deferBlock(std::uint8_t id, const Bytes& params) { deferred_.push_back(commandBlock(id, params)); }

void UpdateLoader::flushDeferred() {
    for (const Bytes& b : deferred_) {
        control_.send(b);
        ++pendingAcks_;
    }
    deferred_.clear();
}

void UpdateLoader::reportError(const Bytes& bytes) {
    control_.reachPhase("error_report");
    sendBlock(kErrorReport, bytes);
    control_.halt();
}

void UpdateLoader::onDataBlock(std::uint32_t address, const Bytes& data) {
    Counters& c = memory_.record.counters;
    if (!flash_.write(address, data.data(), data.size())) {
        ++c.refusedWrites;
        ++c.refusedBlocks;
        answer(kNak);
        return;
    }
    if (c.dataBlocks++ == 0) control_.reachPhase("transfer");
    answer(kAck);
}

void UpdateLoader::onCommand(std::uint8_t id, const Bytes& p, SimClock::time_point now) {
    const Scenario& s = memory_.scenario;
    auto ack = [this] {
        ++memory_.record.counters.commandBlocks;
        answer(kAck);
    };
    auto refuse = [this] {
        ++memory_.record.counters.refusedBlocks;
        answer(kNak);
    };
    auto needs = [&](std::size_t count) {
        if (p.size() >= count) return true;
        refuse();
        return false;
    };
    switch (id) {
    case 0x04:  // end of transmission
        ack();
        onEndOfTransmission();
        return;
    case 0x21:  // flash size
        ack();
        sendBlock(kFlashSize, {static_cast<std::uint8_t>(s.flashMbit & 0xFF), static_cast<std::uint8_t>(s.flashMbit >> 8)});
        return;
    case 0x32:  // flash code
        if (!needs(1)) return;
        ack();
        sendBlock(kFlashCode, {static_cast<std::uint8_t>(s.flashKnown ? 1 : 2), static_cast<std::uint8_t>(s.flashCode & 0xFF),
                               static_cast<std::uint8_t>(s.flashCode >> 8)});
        return;
    case 0x53: {  // erase areas: which blocks does a range cover
        if (!needs(8)) return;
        ack();
        const std::uint32_t start = be32(&p[0]);
        const std::uint32_t end = be32(&p[4]);
        if (start > end || end >= flash_.size())
            sendBlock(kEraseRange, {0xFF, 0, 0});
        else
            sendBlock(kEraseRange, {0, static_cast<std::uint8_t>(start / FlashMemory::kBlockSize),
                                    static_cast<std::uint8_t>(end / FlashMemory::kBlockSize)});
        return;
    }
    case 0x55: {  // erase one block
        if (!needs(1)) return;
        if (!flash_.erase(p[0])) {
            refuse();
            return;
        }
        ++memory_.record.counters.erasedBlocks;
        control_.reachPhase("erased");
        ack();
        deferBlock(kBlockErased, {p[0]});
        return;
    }
    case 0x57:  // enable writing one block
        if (!needs(2) || !flash_.enableWrite(le16(p, 0))) {
            if (p.size() >= 2) refuse();
            return;
        }
        ack();
        return;
    case 0x58:  // enable writing the whole flash
        flash_.enableWriteAll();
        ack();
        return;
    case 0x59:  // erase with the new concept
        ack();
        onEraseNewConcept(now);
        return;
    case 0x60:
        if (!needs(1)) return;
        onNegotiation(p);
        return;
    case 0x80:  // compression info
        if (!needs(10)) return;
        ack();
        sendBlock(kCompressionAnswer, {1});
        return;
    case 0xB8:  // new split info
        if (!needs(12)) return;
        ack();
        sendBlock(kNewSplitAnswer, {0});
        return;
    case 0xC2: {  // software version
        ack();
        Bytes v;
        appendField(v, memory_.version.compileDate, 8);
        appendField(v, s.compileTime, 8);
        appendField(v, memory_.version.productType, 16);
        v.push_back(memory_.version.svn);
        sendBlock(kSwVersion, v);
        return;
    }
    case 0xC8: {  // split info: the phone's split ID
        if (!needs(8)) return;
        ack();
        Bytes first(p.begin(), p.begin() + 4);
        putBe32(first, 0);
        sendBlock(kSplitAnswer1, first);
        sendBlock(kSplitAnswer2, {0});
        return;
    }
    case 0xCE:  // language group info
        if (!needs(16)) return;
        ack();
        sendBlock(kLanguageAnswer, {0});
        return;
    case 0x94:  // additional info: start, part, end
    case 0x95:
    case 0x96:
    case 0xA0:  // parameter for the loader
    case 0xD0:  // block time-out
    case 0xD2:  // byte time-out
        ack();
        return;
    case 0xF0:  // switch off
        ack();
        control_.switchOff();
        return;
    default:
        refuse();
        return;
    }
}

void UpdateLoader::onEraseNewConcept(SimClock::time_point now) {
    const Scenario& s = memory_.scenario;
    if (!s.newConceptErase) {
        sendBlock(kEraseEnd, {kEraseDidNotErase});
        return;
    }
    const auto step = std::chrono::milliseconds(s.eraseMs) / (s.eraseReports + 1);
    const auto total = static_cast<std::uint8_t>(s.eraseReports);
    auto fault = memory_.faults.take("loader.erase");
    for (std::uint32_t i = 1; i <= s.eraseReports; ++i) {
        if (fault && i > s.eraseReports / 2) break;
        at(now + step * i, [this, total, i] { sendBlock(kEraseProgress, {total, static_cast<std::uint8_t>(i)}); });
    }
    const auto end = now + std::chrono::milliseconds(s.eraseMs);
    if (fault && fault->action == "error_report") {
        const Bytes report = fault->bytes;
        at(now + std::chrono::milliseconds(s.eraseMs / 2), [this, report] { reportError(report); });
        return;
    }
    at(end, [this] {
        flash_.eraseAll();
        memory_.record.counters.erasedBlocks += flash_.blockCount();
        control_.reachPhase("erased");
        sendBlock(kEraseEnd, {kErasedAll});
    });
}

void UpdateLoader::onNegotiation(const Bytes& p) {
    auto ack = [this] {
        ++memory_.record.counters.commandBlocks;
        answer(kAck);
    };
    const Scenario& s = memory_.scenario;
    switch (p[0]) {
    case 0x01: {  // start: the hash list's description
        if (p.size() < 6) break;
        ack();
        negotiation_ = Negotiation{};
        negotiation_->hashKind = p[1];
        negotiation_->entryCount = le16(p, 2);
        negotiation_->entrySize = le16(p, 4);
        control_.reachPhase("signature_requested");
        if (s.signature == SignatureMode::None) {
            sendBlock(kNegotiationAnswer, {0x01});
        } else if (s.signature == SignatureMode::Error) {
            sendBlock(kNegotiationAnswer, {0x03});
        } else {
            Bytes request{0x02, 0x00};
            putBe32(request, s.keyId);
            sendBlock(kNegotiationAnswer, request);
        }
        return;
    }
    case 0x02:  // the signature follows (01) or there is none (00)
        if (p.size() < 2 || !negotiation_) break;
        ack();
        if (p[1] == 0x01 && p.size() >= 8) negotiation_->signature.assign(le16(p, 6), 0);
        return;
    case 0x03:
    case 0x04:
    case 0x05:
    case 0x06:
        if (p.size() < 3 || !negotiation_) break;
        ack();
        ++memory_.record.counters.signatureBlocks;
        onSignaturePart(p[0] >= 0x05, p[0] == 0x04 || p[0] == 0x06, p);
        return;
    case 0x07:  // start hashing
        ack();
        control_.reachPhase("hashing");
        return;
    default:
        break;
    }
    ++memory_.record.counters.refusedBlocks;
    answer(kNak);
}

void UpdateLoader::onSignaturePart(bool hashList, bool last, const Bytes& p) {
    Negotiation& n = *negotiation_;
    const std::uint16_t offset = le16(p, 1);
    Bytes& target = hashList ? n.hashList : n.signature;
    const std::size_t end = offset + (p.size() - 3);
    if (hashList && target.size() < end) target.resize(end);  // the hash list's length is learnt as it comes
    if (end <= target.size()) std::copy(p.begin() + 3, p.end(), target.begin() + offset);
    if (!last) return;
    PhoneState& r = memory_.record;
    if (!hashList) {
        const bool ok = checkSignature() && !memory_.faults.take("loader.signature");
        r.signature = ok ? "accepted" : "rejected";
        control_.reachPhase(ok ? "signature_accepted" : "signature_rejected");
        sendBlock(kNegotiationAnswer, {static_cast<std::uint8_t>(ok ? 0x04 : 0x05)});
        return;
    }
    n.hashListAccepted = checkHashList() && !memory_.faults.take("loader.hashlist");
    r.hashList = n.hashListAccepted ? "accepted" : "rejected";
    control_.reachPhase(n.hashListAccepted ? "hashlist_accepted" : "hashlist_rejected");
    sendBlock(kNegotiationAnswer, {static_cast<std::uint8_t>(n.hashListAccepted ? 0x06 : 0x07)});
}

bool UpdateLoader::checkSignature() {
    negotiation_->digest = keys_.recoverDigest(negotiation_->signature);
    return negotiation_->digest.has_value();
}

bool UpdateLoader::checkHashList() const {
    const Negotiation& n = *negotiation_;
    if (!n.digest || n.hashKind != 1 || n.entrySize != 28) return false;
    if (n.hashList.size() != static_cast<std::size_t>(n.entryCount) * n.entrySize) return false;
    return sha1(n.hashList.data(), n.hashList.size()) == *n.digest;
}

std::optional<std::size_t> UpdateLoader::firstHashMismatch() const {
    const Bytes& list = negotiation_->hashList;
    const Bytes& cells = memory_.flash;
    for (std::size_t i = 0; i + 28 <= list.size(); i += 28) {
        const std::uint32_t start = be32(&list[i]);
        const std::uint32_t length = be32(&list[i + 4]);
        const bool inside = start <= cells.size() && length <= cells.size() - start;
        if (!inside || sha1(cells.data() + start, length) != Bytes(list.begin() + static_cast<long>(i) + 8,
                                                                    list.begin() + static_cast<long>(i) + 28))
            return i / 28;
    }
    return std::nullopt;
}

void UpdateLoader::onEndOfTransmission() {
    PhoneState& r = memory_.record;
    control_.reachPhase("end_of_transmission");
    const bool negotiated = negotiation_ && negotiation_->hashListAccepted;
    std::uint8_t status = kEndOk;
    std::uint16_t entries = 0;
    std::uint16_t bad = 0xFFFF;
    if (negotiated) {
        entries = negotiation_->entryCount;
        if (auto mismatch = firstHashMismatch()) {
            status = kEndHashMismatch;
            bad = static_cast<std::uint16_t>(*mismatch);
        }
        r.hashCheck = status == kEndOk ? "passed" : "failed";
    } else if (memory_.scenario.signature == SignatureMode::Enforced) {
        status = kEndNotSigned;
    }
    sendBlock(kStatusAfterEnd, {status, static_cast<std::uint8_t>(entries & 0xFF), static_cast<std::uint8_t>(entries >> 8),
                                static_cast<std::uint8_t>(bad & 0xFF), static_cast<std::uint8_t>(bad >> 8)});
    if (status == kEndOk) {
        control_.reachPhase("verified");
        restartWhenAcknowledged_ = true;
    } else {
        control_.reachPhase("verify_failed");
    }
}

}  // namespace sim
