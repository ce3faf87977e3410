// The simulated phone's update loader, driven byte by byte in-process: block framing and answer
// bytes, the flash commands and their answers, erase, faults, signature negotiation and the hash
// check at the end of transmission.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/sha.h>

#include <cstdio>

#include "sim_host.h"

using namespace simtest;

namespace {

constexpr std::uint8_t kAck = 0x06;
constexpr std::uint8_t kNak = 0x15;

const char* kLoader = "start = loader\nloader_baud = 115200\nloader_ready_ms = 0\nerase_ms = 100\n";

std::string keysDir() { return std::string(SIM_SOURCE_DIR) + "/sim/keys"; }

// A phone in its update loader whose ready message has been read and acknowledged.
class Loader : public DirectHost {
public:
    explicit Loader(const std::string& extra = "") : DirectHost(std::string(kLoader) + extra) {
        link.hostSetBaud(115200);
        EXPECT_EQ(read(6), commandBlock(0x31, {}));
        send(Bytes{kAck});
    }

    // Sends a block and returns the one answer byte (0 when none came).
    std::uint8_t block(const Bytes& b, int timeoutMs = 1000) {
        send(b);
        const Bytes a = read(1, timeoutMs);
        return a.empty() ? 0 : a[0];
    }

    // A command the phone acknowledges and answers with a block of `answerParams` parameters.
    Bytes ask(std::uint8_t id, const Bytes& params, std::size_t answerParams, int timeoutMs = 2000) {
        EXPECT_EQ(block(commandBlock(id, params)), kAck);
        Bytes answer = read(answerParams + 6, timeoutMs);
        send(Bytes{kAck});
        return answer;
    }

    void eraseAll() {
        EXPECT_EQ(block(commandBlock(0x59, {})), kAck);
        Bytes got;
        for (;;) {  // progress blocks 5A (two parameters) until 5B (one)
            Bytes b = read(7, 3000);
            if (b.size() < 7) break;
            if (b[4] == 0x5A) {
                const Bytes rest = read(1);
                b.insert(b.end(), rest.begin(), rest.end());
            }
            send(Bytes{kAck});
            if (b[4] == 0x5B) {
                got = b;
                break;
            }
            EXPECT_EQ(b[4], 0x5A);
        }
        EXPECT_EQ(got, commandBlock(0x5B, {0x01}));
    }
};

Bytes pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(seed + i * 13);
    return b;
}

}  // namespace

TEST(SimLoaderFraming, ReadyMessageIsRepeatedUntilAcknowledged) {
    DirectHost host(kLoader);
    host.link.hostSetBaud(115200);
    EXPECT_EQ(host.read(6), commandBlock(0x31, {}));
    EXPECT_EQ(host.read(6, 2000), commandBlock(0x31, {}));
    host.send(Bytes{kAck, kAck});
    host.send(commandBlock(0xD0, {200}));
    EXPECT_EQ(host.read(1), Bytes{kAck});
    EXPECT_TRUE(host.drain(1200).empty());
}

TEST(SimLoaderFraming, ReadyMessageWaitsForTheLoaderSpeed) {
    DirectHost host(kLoader);
    host.link.hostSetBaud(57600);
    const Bytes wrong = host.drain(300);
    EXPECT_EQ(std::count(wrong.begin(), wrong.end(), 0xFF), 0);
}

TEST(SimLoaderFraming, BlocksAreRefusedOnABadCheckOrAnUnknownCommand) {
    Loader phone;
    Bytes bad = commandBlock(0xD0, {200});
    bad.back() ^= 0x01;
    EXPECT_EQ(phone.block(bad), kNak);
    EXPECT_EQ(phone.block(commandBlock(0x77, {})), kNak);
    EXPECT_EQ(phone.block(dataBlock(0xFFFFFF, {})), kNak) << "command block without identifier";
    EXPECT_EQ(phone.block(commandBlock(0xD0, {200})), kAck);
    EXPECT_EQ(phone.phone.state().counters.refusedBlocks, 3u);
}

TEST(SimLoaderCommands, AnswersOfTheFlashCommands) {
    Loader phone("flash_code = 1234\nflash_mbit = 16\nsvn = 22\nproduct_type = VQ20\n"
                 "compile_date = 15.06.05\ncompile_time = 12:34:56\n");
    struct Case {
        const char* name;
        std::uint8_t id;
        Bytes params;
        Bytes answer;
    };
    Bytes version = text("15.06.0512:34:56VQ20");
    version.resize(32, 0);
    version.push_back(0x22);
    const Case cases[] = {
        {"flash code", 0x32, {0x01}, commandBlock(0x33, {0x01, 0x34, 0x12})},
        {"flash size", 0x21, {}, commandBlock(0x22, {16, 0})},
        {"sw version", 0xC2, {}, commandBlock(0xC3, version)},
        {"erase range", 0x53, {0, 1, 0, 0, 0, 1, 0xFF, 0xFF}, commandBlock(0x54, {0, 1, 1})},
        {"erase range 4..7", 0x53, {0, 4, 0, 0, 0, 7, 0xFF, 0xFF}, commandBlock(0x54, {0, 4, 7})},
        {"erase range outside", 0x53, {0, 0x20, 0, 0, 0, 0x20, 0xFF, 0xFF}, commandBlock(0x54, {0xFF, 0, 0})},
        {"compression", 0x80, Bytes(10, 0), commandBlock(0x81, {1})},
        {"language group", 0xCE, Bytes(16, 0), commandBlock(0xCF, {0})},
        {"new split", 0xB8, Bytes(12, 0), commandBlock(0xB9, {0})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(phone.ask(c.id, c.params, c.answer.size() - 6), c.answer);
    }
    for (std::uint8_t id : {0xD0, 0xD2, 0xA0, 0x94, 0x95, 0x96, 0x58}) {
        SCOPED_TRACE(static_cast<int>(id));
        EXPECT_EQ(phone.block(commandBlock(id, {1, 0})), kAck);
    }
    EXPECT_TRUE(phone.drain().empty()) << "acknowledgement only";
}

TEST(SimLoaderCommands, UnknownFlashAndSplitAnswers) {
    Loader phone("flash_known = no\n");
    EXPECT_EQ(phone.ask(0x32, {0x01}, 3)[5], 2);
    EXPECT_EQ(phone.block(commandBlock(0xC8, {0, 0, 0, 1, 0, 0, 0, 5})), kAck);
    EXPECT_EQ(phone.read(14), commandBlock(0xC9, {0, 0, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(phone.read(7), commandBlock(0xCA, {0}));
}

TEST(SimLoaderFlash, DataIsRefusedBeforeEraseAndOutsideTheFlashAndWrittenAfterTheNewConceptErase) {
    Loader phone("flash_mbit = 4\nerase_reports = 3\n");
    const Bytes data = pattern(64, 1);
    EXPECT_EQ(phone.block(dataBlock(0x010000, data)), kNak) << "not erased";
    phone.eraseAll();
    EXPECT_EQ(phone.block(dataBlock(0x010000, data)), kAck);
    EXPECT_EQ(phone.block(dataBlock(0x07FFC0, data)), kAck) << "the last 64 bytes of 4 MBit";
    EXPECT_EQ(phone.block(dataBlock(0x07FFC1, data)), kNak) << "one byte beyond";
    const Bytes flash = phone.phone.flash();
    ASSERT_EQ(flash.size(), 4u * 131072);
    EXPECT_EQ(Bytes(flash.begin() + 0x10000, flash.begin() + 0x10040), data);
    EXPECT_EQ(flash[0x10040], 0xFF);
    const sim::PhoneState s = phone.phone.state();
    EXPECT_EQ(s.counters.dataBlocks, 2u);
    EXPECT_EQ(s.counters.refusedWrites, 2u);
    EXPECT_EQ(phone.phone.flashDigest(), sim::sha1Hex(flash));
}

TEST(SimLoaderFlash, NewConceptEraseReportsProgressInOrder) {
    Loader phone("erase_reports = 3\n");
    EXPECT_EQ(phone.block(commandBlock(0x59, {})), kAck);
    for (std::uint8_t i = 1; i <= 3; ++i) {
        EXPECT_EQ(phone.read(8), commandBlock(0x5A, {3, i}));
        phone.send(Bytes{kAck});
    }
    EXPECT_EQ(phone.read(7), commandBlock(0x5B, {0x01}));
}

TEST(SimLoaderFlash, ClassicEraseWhenTheNewConceptDidNotErase) {
    Loader phone("new_concept_erase = no\n");
    EXPECT_EQ(phone.ask(0x59, {}, 1), commandBlock(0x5B, {0xAA}));
    EXPECT_EQ(phone.block(commandBlock(0x55, {3, 3})), kAck);
    EXPECT_EQ(phone.read(7), commandBlock(0x56, {3})) << "sent when the host waits";
    phone.send(Bytes{kAck});
    EXPECT_EQ(phone.block(dataBlock(0x030000, {1, 2})), kAck);
    EXPECT_EQ(phone.block(dataBlock(0x040000, {1, 2})), kNak);
    EXPECT_EQ(phone.block(commandBlock(0x57, {4, 0})), kAck);
    EXPECT_EQ(phone.block(dataBlock(0x040000, {0xF0})), kAck);
    EXPECT_EQ(phone.phone.flash()[0x040000], 0x00) << "written over old software without erase";
}

TEST(SimLoaderFlash, EraseReportInsideAnImageGoesOutBeforeTheNextAnswer) {
    Loader phone("new_concept_erase = no\n");
    phone.send(commandBlock(0x55, {2, 2}));
    phone.send(dataBlock(0x020000, {7}));  // at once, as an image is sent
    Bytes expected{kAck};
    const Bytes erased = commandBlock(0x56, {2});
    expected.insert(expected.end(), erased.begin(), erased.end());
    EXPECT_EQ(phone.read(1 + 7), expected);
    phone.send(Bytes{kAck});
    EXPECT_EQ(phone.read(1), Bytes{kAck});
    EXPECT_EQ(phone.phone.flash()[0x020000], 7);
}

TEST(SimLoaderFaults, AnswerFaultsOnTheSecondDataBlock) {
    struct Case {
        const char* fault;
        Bytes firstAnswers;  // to the first sending of block 2
        bool resendAcknowledged;
    };
    const Case cases[] = {
        {"refuse count=2", {kNak}, true},
        {"busy ms=1000", {0x9B}, true},
        {"lose_answer", {}, true},
        {"corrupt_answer", {0x16}, true},
        {"cut", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        Loader phone(std::string("fault loader.block:2 ") + c.fault + "\n");
        phone.eraseAll();
        EXPECT_EQ(phone.block(dataBlock(0, {1})), kAck);
        phone.send(dataBlock(1, {2}));
        EXPECT_EQ(phone.drain(), c.firstAnswers);
        if (std::string(c.fault) == "busy ms=1000") {
            EXPECT_EQ(phone.read(1, 1500), Bytes{kAck}) << "acknowledged after the busy time";
            continue;
        }
        if (std::string(c.fault) == "refuse count=2") {
            EXPECT_EQ(phone.block(dataBlock(1, {2})), kNak);
        }
        EXPECT_EQ(phone.block(dataBlock(1, {2}), c.resendAcknowledged ? 2000 : 300), c.resendAcknowledged ? kAck : 0);
        EXPECT_EQ(phone.phone.flash()[1], c.resendAcknowledged ? 2 : 0xFF);
    }
}

TEST(SimLoaderFaults, ErrorReportDuringTransferThenSilence) {
    Loader phone("fault loader.block:1 error_report bytes=70 05 12 34 56\n");
    phone.eraseAll();
    phone.send(dataBlock(0, {1}));
    EXPECT_EQ(phone.read(11), commandBlock(0x18, {0x70, 0x05, 0x12, 0x34, 0x56}));
    phone.send(Bytes{kAck});
    phone.send(dataBlock(0, {1}));
    EXPECT_TRUE(phone.drain().empty());
    EXPECT_EQ(phone.phone.state().mode, "halted");
}

TEST(SimLoaderFaults, ErrorReportDuringTheErase) {
    Loader phone("fault loader.erase error_report bytes=60 03 05\nerase_reports = 4\n");
    EXPECT_EQ(phone.block(commandBlock(0x59, {})), kAck);
    Bytes got = phone.drain(300);
    const Bytes report = commandBlock(0x18, {0x60, 0x03, 0x05});
    ASSERT_GE(got.size(), report.size());
    EXPECT_EQ(Bytes(got.end() - static_cast<long>(report.size()), got.end()), report);
    EXPECT_EQ(std::search(got.begin(), got.end(), report.begin(), report.end()) - got.begin(),
              static_cast<long>(got.size() - report.size()))
        << "progress first, then the report, no end of erase";
}

TEST(SimLoaderFaults, CommandAnswerLostOnce) {
    Loader phone("fault loader.command:0x32 lose_answer\n");
    EXPECT_EQ(phone.block(commandBlock(0x32, {1}), 300), 0) << "acknowledgement lost";
    EXPECT_EQ(phone.ask(0x32, {1}, 3), commandBlock(0x33, {1, 0x19, 0x88}));
}

namespace {

Bytes sign(const std::string& pemPath, const Bytes& data) {
    FILE* f = std::fopen(pemPath.c_str(), "r");
    EXPECT_NE(f, nullptr) << pemPath;
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

void putBe32(Bytes& out, std::uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<std::uint8_t>(v >> s));
}

Bytes hashEntry(std::uint32_t start, const Bytes& contents) {
    Bytes e;
    putBe32(e, start);
    putBe32(e, static_cast<std::uint32_t>(contents.size()));
    Bytes digest(SHA_DIGEST_LENGTH);
    SHA1(contents.data(), contents.size(), digest.data());
    e.insert(e.end(), digest.begin(), digest.end());
    return e;
}

// The prebuilt parts of the negotiation: 0x60, sub-command, offset (LE), up to 60 bytes.
void sendParts(Loader& phone, const Bytes& data, std::uint8_t more, std::uint8_t last) {
    for (std::size_t off = 0; off < data.size(); off += 60) {
        const bool isLast = off + 60 >= data.size();
        Bytes p{static_cast<std::uint8_t>(isLast ? last : more), static_cast<std::uint8_t>(off & 0xFF),
                static_cast<std::uint8_t>(off >> 8)};
        p.insert(p.end(), data.begin() + static_cast<long>(off),
                 data.begin() + static_cast<long>(std::min(data.size(), off + 60)));
        EXPECT_EQ(phone.block(commandBlock(0x60, p)), kAck);
    }
}

struct Negotiated {
    std::uint8_t signatureAnswer = 0;
    std::uint8_t hashListAnswer = 0;
};

// Offers a hash list of `entries`, answers the key request with `signature` and sends the list.
Negotiated negotiate(Loader& phone, const Bytes& hashList, const Bytes& signature) {
    const auto count = static_cast<std::uint8_t>(hashList.size() / 28);
    Bytes request = phone.ask(0x60, {0x01, 0x01, count, 0, 28, 0}, 6);
    EXPECT_EQ(request, commandBlock(0x61, {0x02, 0x00, 0x5A, 0x4D, 0x00, 0x01}));
    EXPECT_EQ(phone.block(commandBlock(0x60, {0x02, 0x01, 0x5A, 0x4D, 0x00, 0x01,
                                              static_cast<std::uint8_t>(signature.size()), 0})),
              kAck);
    Negotiated n;
    sendParts(phone, signature, 3, 4);
    Bytes answer = phone.read(7, 3000);
    phone.send(Bytes{kAck});
    if (answer.size() == 7) n.signatureAnswer = answer[5];
    if (n.signatureAnswer != 0x04) return n;
    sendParts(phone, hashList, 5, 6);
    answer = phone.read(7, 3000);
    phone.send(Bytes{kAck});
    if (answer.size() == 7) n.hashListAnswer = answer[5];
    return n;
}

}  // namespace

TEST(SimLoaderSignature, NegotiationChecksSignatureAndHashListAndTheEndChecksTheFlash) {
    const Bytes first = pattern(64, 3);
    const Bytes second = pattern(40, 9);
    Bytes hashList = hashEntry(0x000000, first);
    const Bytes secondEntry = hashEntry(0x010000, second);
    hashList.insert(hashList.end(), secondEntry.begin(), secondEntry.end());
    const std::string key1 = keysDir() + "/phone-key-5a4d0001.pem";
    const std::string key2 = keysDir() + "/phone-key-5a4d0002.pem";
    Bytes tampered = hashList;
    tampered[30] ^= 1;

    struct Case {
        const char* name;
        const char* extra;
        Bytes list;
        Bytes signature;
        Bytes flashedSecond;
        std::uint8_t signatureAnswer;
        std::uint8_t hashListAnswer;
        std::uint8_t endStatus;
    };
    const Case cases[] = {
        {"good", "", hashList, sign(key1, hashList), second, 0x04, 0x06, 0x00},
        {"signed with another key", "", hashList, sign(key2, hashList), second, 0x05, 0, 0},
        {"hash list not the signed one", "", tampered, sign(key1, hashList), second, 0x04, 0x07, 0},
        {"flash differs from the list", "", hashList, sign(key1, hashList), pattern(40, 10), 0x04, 0x06, 0x01},
        {"refusal fault", "fault loader.hashlist refuse\n", hashList, sign(key1, hashList), second, 0x04, 0x07, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Loader phone(c.extra);
        const Negotiated n = negotiate(phone, c.list, c.signature);
        EXPECT_EQ(n.signatureAnswer, c.signatureAnswer);
        EXPECT_EQ(n.hashListAnswer, c.hashListAnswer);
        if (n.hashListAnswer != 0x06) continue;
        EXPECT_EQ(phone.block(commandBlock(0x60, {0x07})), kAck);
        phone.eraseAll();
        EXPECT_EQ(phone.block(dataBlock(0x000000, first)), kAck);
        EXPECT_EQ(phone.block(dataBlock(0x010000, c.flashedSecond)), kAck);
        const Bytes status = phone.ask(0x04, {}, 5);
        ASSERT_EQ(status.size(), 11u);
        EXPECT_EQ(status[4], 0x00);
        EXPECT_EQ(status[5], c.endStatus);
        EXPECT_EQ(status[6], 2) << "entries checked";
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const sim::PhoneState s = phone.phone.state();
        EXPECT_EQ(s.hashCheck, c.endStatus == 0 ? "passed" : "failed");
        EXPECT_EQ(s.updated, c.endStatus == 0);
        EXPECT_EQ(s.mode, c.endStatus == 0 ? "at" : "loader");
    }
}

TEST(SimLoaderSignature, PhoneThatNeedsNoSignatureOrReportsAnError) {
    for (auto [mode, answer] : {std::pair{"none", 0x01}, std::pair{"error", 0x03}}) {
        SCOPED_TRACE(mode);
        Loader phone(std::string("signature = ") + mode + "\n");
        EXPECT_EQ(phone.ask(0x60, {0x01, 0x01, 1, 0, 28, 0}, 1), commandBlock(0x61, {static_cast<std::uint8_t>(answer)}));
    }
}

TEST(SimLoaderEnd, EndOfTransmissionRestartsTheNormalSoftwareWithTheRequestedVersion) {
    // An update request as the updater writes it: 10:20:30 on 24.12.07, SVN 0x31.
    Bytes request(64, 0xFF);
    const Bytes head = {0xFF, 0xA7, 10, 20, 30, 7, 12, 24, 0x31, 0x01, 0x02, 2, 30};
    std::copy(head.begin(), head.end(), request.begin());
    request[63] = 0;
    request[63] = xorOf(request);
    std::string hex;
    for (std::uint8_t b : request) {
        char t[4];
        std::snprintf(t, sizeof t, "%02X ", b);
        hex += t;
    }
    DirectHost host("loader_ready_ms = 0\neeprom_142b = " + hex + "\n");
    host.send("at^kqwe=1\r");
    host.drain();
    // Write the request as the precheck does, so the phone knows it was asked to update.
    host.send(eepromFrame({0x11, 0x2B, 0x14, 64, 0, 0xFF}));
    host.read(5);
    for (std::uint8_t off = 0; off < 64; off += 20) {
        Bytes part{0x12, 0x2B, 0x14, off, 0};
        part.insert(part.end(), request.begin() + off, request.begin() + std::min<int>(64, off + 20));
        host.send(eepromFrame(part));
        host.read(5);
    }
    host.send(eepromFrame({0x13, 0x2B, 0x14}));
    host.read(5);
    host.send(frame(0x0E, {0x20, 0x00, 0x00, 0xC2, 0x01, 0x00}));
    host.read(5);
    host.link.hostSetOpen(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    host.link.hostSetBaud(115200);
    host.link.hostSetOpen(true);
    EXPECT_EQ(host.read(6), commandBlock(0x31, {}));
    host.send(Bytes{kAck});
    host.send(commandBlock(0x04, {}));
    EXPECT_EQ(host.read(1), Bytes{kAck});
    EXPECT_EQ(host.read(11), commandBlock(0x00, {0x00, 0, 0, 0xFF, 0xFF}));
    host.send(Bytes{kAck});
    ASSERT_TRUE(host.waitPhase("restarted"));
    const sim::PhoneState s = host.phone.state();
    EXPECT_EQ(s.svn, 0x31);
    EXPECT_EQ(s.compileDate, "24.12.07");
    EXPECT_EQ(s.mode, "at");
    const std::vector<std::string> expected = {"at", "bfb", "update_request", "reboot", "loader_ready",
                                               "end_of_transmission", "verified", "restarted"};
    EXPECT_EQ(s.phases, expected);
}

TEST(SimLoaderEnd, PhoneThatEnforcesSignaturesRefusesAnUnnegotiatedUpdate) {
    for (auto [mode, status] : {std::pair{"requested", 0x00}, std::pair{"enforced", 0x02}}) {
        SCOPED_TRACE(mode);
        Loader phone(std::string("signature = ") + mode + "\n");
        phone.eraseAll();
        EXPECT_EQ(phone.block(dataBlock(0, {1, 2, 3})), kAck);
        const Bytes end = phone.ask(0x04, {}, 5);
        ASSERT_EQ(end.size(), 11u);
        EXPECT_EQ(end[5], status);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(phone.phone.state().updated, status == 0x00);
    }
}

TEST(SimLoaderEnd, BlankPhoneRunsNormalSoftwareAfterItsUpdate) {
    DirectHost host("software = blank\npower_on = key\nloader_ready_ms = 0\n");
    host.link.hostSetBaud(115200);
    host.phone.pressPowerKey();
    EXPECT_EQ(host.read(6), commandBlock(0x31, {}));
    host.send(Bytes{kAck});
    host.send(commandBlock(0x04, {}));
    EXPECT_EQ(host.read(1), Bytes{kAck});
    EXPECT_EQ(host.read(11), commandBlock(0x00, {0x00, 0, 0, 0xFF, 0xFF})) << "passed, nothing to check";
    host.send(Bytes{kAck});
    ASSERT_TRUE(host.waitPhase("restarted"));
    host.link.hostSetBaud(57600);
    host.send("at^kqwe=1\r");
    EXPECT_NE(asText(host.drain()).find("OK\r"), std::string::npos);
    host.send(Bytes{0x02, 0x01, 0x03, 0x14});
    EXPECT_EQ(host.read(5), (Bytes{0x02, 0x02, 0x00, 0x14, 0xAA}));
    EXPECT_EQ(host.phone.state().productType, "VQ20");
}
