// The simulated phone's normal software, driven byte by byte in-process: AT interpreter, BFB
// frames and service requests, EEPROM block service, boot ROM wake-up, line fidelity.
#include <gtest/gtest.h>

#include "sim/boot_rom.h"
#include "sim_host.h"

using namespace simtest;

namespace {

const Bytes kPing = frame(0x02, {0x14});
const Bytes kPingAnswer = {0x02, 0x02, 0x00, 0x14, 0xAA};

// What the updater's probe does with the answer: the IMEI is what follows the first empty line.
std::string imeiOf(const std::string& answer) {
    const auto blank = answer.find("\r\n\r\n");
    return blank == std::string::npos ? "" : answer.substr(blank + 4, 15);
}

void switchToBfb(DirectHost& host) {
    host.send("at^kqwe=1\r");
    ASSERT_NE(asText(host.drain()).find("OK\r"), std::string::npos);
}

}  // namespace

TEST(SimNormalSoftware, IdentityAnswerCarriesMakerModelAndImeiBehindTheFirstEmptyLine) {
    DirectHost host("");
    host.send("AT+CGSN;I9\r\n");
    const std::string answer = asText(host.drain());
    EXPECT_GE(answer.size(), 14u);
    EXPECT_NE(answer.find("Zelmora"), std::string::npos);
    EXPECT_NE(answer.find("VQ20"), std::string::npos);
    EXPECT_EQ(imeiOf(answer), "351234567890123");
    EXPECT_EQ(answer.find("ERROR"), std::string::npos);
}

TEST(SimNormalSoftware, LockedInterpreterAnswersErrorUntilTheSwitchRequest) {
    DirectHost host("at_mode = locked\nmodel = VQ2X\n");
    host.send("AT+CGSN;I9\r\n");
    const std::string first = asText(host.drain());
    EXPECT_GE(first.size(), 14u);
    EXPECT_NE(first.find("ERROR"), std::string::npos);
    host.send("AT^KQWE=2\r\n");
    const std::string unlock = asText(host.drain());
    EXPECT_GE(unlock.size(), 13u);
    EXPECT_NE(unlock.find("OK"), std::string::npos);
    host.send("AT+CGSN;I9\r\n");
    const std::string second = asText(host.drain());
    EXPECT_NE(second.find("VQ2X"), std::string::npos);
    EXPECT_EQ(second.find("ERROR"), std::string::npos);
}

TEST(SimNormalSoftware, CommandAfterLongLineNoiseIsUnderstood) {
    DirectHost host("");
    host.send(std::string(300, 'x') + "AT+CGSN;I9\r\n");
    EXPECT_NE(asText(host.drain()).find("351234567890123"), std::string::npos);
}

TEST(SimNormalSoftware, SilentInterpreterFaultAnswersNothing) {
    DirectHost host("fault at no_answer\n");
    host.send("AT+CGSN;I9\r\n");
    EXPECT_TRUE(host.drain().empty());
}

TEST(SimNormalSoftware, SwitchToBfbByKqweOrByTheTwoPartFallbackAt19200) {
    struct Case {
        const char* name;
        const char* scenario;
        std::uint32_t commandBaud;
        std::vector<std::string> writes;  // with a pause between them
    };
    const Case cases[] = {
        {"kqwe", "", 57600, {"at^kqwe=1\r"}},
        {"kqwe while locked", "at_mode = locked\n", 57600, {"at^kqwe=1\r"}},
        {"fallback", "kqwe1 = no\nat_bauds = 19200 57600\n", 19200, {"at^kbf", "b=1\r"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DirectHost host(c.scenario);
        host.link.hostSetBaud(c.commandBaud);
        std::string last;
        for (const std::string& w : c.writes) {
            host.send(w);
            last = asText(host.drain());
            EXPECT_FALSE(last.empty()) << "each part is echoed";
        }
        EXPECT_NE(last.find("OK\r"), std::string::npos);
        host.link.hostSetBaud(57600);
        host.send(kPing);
        EXPECT_EQ(host.read(5), kPingAnswer);
    }
}

TEST(SimNormalSoftware, PhoneWithoutKqweRefusesItAndStaysInAtMode) {
    DirectHost host("kqwe1 = no\n");
    host.send("at^kqwe=1\r");
    const std::string answer = asText(host.drain());
    EXPECT_EQ(answer.find("OK\r"), std::string::npos);
    EXPECT_NE(answer.find("ERROR"), std::string::npos);
    host.send(kPing);
    EXPECT_TRUE(host.drain().empty());
}

TEST(SimLineFidelity, PingAtTheWrongSpeedGetsNoUsableAnswer) {
    DirectHost host("");
    switchToBfb(host);
    for (std::uint32_t wrong : {19200u, 38400u, 115200u}) {
        SCOPED_TRACE(wrong);
        host.link.hostSetBaud(wrong);
        host.send(kPing);
        const Bytes got = host.drain();
        for (std::size_t i = 0; i + 3 <= got.size(); ++i)
            EXPECT_NE(got[i] ^ got[i + 1], got[i + 2]) << "a frame header at " << i;
    }
    host.link.hostSetBaud(57600);
    host.send(kPing);
    EXPECT_EQ(host.read(5), kPingAnswer);
}

TEST(SimLineFidelity, AtRequestAtTheWrongSpeedIsNotUnderstood) {
    DirectHost host("");
    host.link.hostSetBaud(115200);
    host.send("AT+CGSN;I9\r\n");
    EXPECT_EQ(asText(host.drain()).find("Zelmora"), std::string::npos);
}

TEST(SimBfb, PingIsAnsweredAfterLineNoiseAndABrokenHeader) {
    DirectHost host("");
    switchToBfb(host);
    Bytes noisy{0x00, 0x02, 0x01, 0x07};  // a header whose check is wrong
    noisy.insert(noisy.end(), kPing.begin(), kPing.end());
    host.send(noisy);
    EXPECT_EQ(host.read(5), kPingAnswer);
    EXPECT_EQ(host.phone.state().counters.pings, 1u);
}

TEST(SimBfb, PingAnswerFaults) {
    Bytes length33{0x02, 33, 0x02 ^ 33};
    length33.resize(36, 0x00);
    Bytes badHeaderFirst{0x02, 0x02, 0xFF};
    badHeaderFirst.insert(badHeaderFirst.end(), kPingAnswer.begin(), kPingAnswer.end());
    struct Case {
        const char* fault;
        Bytes answer;
    };
    const Case cases[] = {
        {"wrong_length", {0x02, 0x03, 0x01, 0x14, 0xAA, 0x00}},
        {"bad_value", {0x02, 0x02, 0x00, 0x14, 0xAB}},
        {"bad_header", badHeaderFirst},
        {"length_33", length33},
        {"no_answer", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        DirectHost host(std::string("fault bfb.ping ") + c.fault + "\n");
        switchToBfb(host);
        host.send(kPing);
        EXPECT_EQ(host.drain(), c.answer);
        host.send(kPing);
        EXPECT_EQ(host.read(5), kPingAnswer) << "the fault struck once";
    }
}

TEST(SimBfb, ServiceRequestsAnswerTheScenarioValues) {
    DirectHost host(
        "voltage = 3649\nsvn = 31\nproduct_type = VQ2X\ncompile_date = 01.02.06\nput_count = 70000\n"
        "directory = vq2x_build\n");
    switchToBfb(host);
    const Bytes productType = {'V', 'Q', '2', 'X', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes putCount = {0x21, 0x70, 0x11, 0x01, 0x00};
    const std::string dir = "vq2x_build";
    putCount.insert(putCount.end(), dir.begin(), dir.end());
    putCount.resize(5 + 16, 0);
    struct Case {
        Bytes request;
        Bytes answer;
    };
    const Case cases[] = {
        {{0x02}, {0x02, 0x41, 0x0E}},  // 3649 mV
        {{0x03}, {0x03, 0x31, 0x00}},
        {{0x07}, [&] { Bytes a{0x07}; a.insert(a.end(), productType.begin(), productType.end()); return a; }()},
        {{0x08}, {0x08, '0', '1', '.', '0', '2', '.', '0', '6'}},
        {{0x21}, putCount},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.request[0]));
        host.send(frame(0x0E, c.request));
        EXPECT_EQ(host.read(3 + c.answer.size()), frame(0x0E, c.answer));
    }
}

TEST(SimBfb, CustomerRebootWithoutACloseGreetsOnceTheLoaderIsUp) {
    DirectHost host("loader_ready_ms = 20\n");
    switchToBfb(host);
    host.send(frame(0x0E, {0x20, 0x00, 0x00, 0xC2, 0x01, 0x00}));
    EXPECT_EQ(host.read(5), frame(0x0E, {0x20, 0x00}));
    host.link.hostSetBaud(115200);  // reopened faster than the phone could see the close
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(host.read(6, 2000), commandBlock(0x31, {}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(400));
}

TEST(SimBfb, CustomerRebootAnswersThenTheLoaderGreetsAtTheRequestedSpeedAfterTheClose) {
    DirectHost host("loader_ready_ms = 20\n");
    switchToBfb(host);
    host.send(frame(0x0E, {0x20, 0x00, 0x00, 0xC2, 0x01, 0x00}));  // 115200
    EXPECT_EQ(host.read(5), frame(0x0E, {0x20, 0x00}));
    EXPECT_TRUE(host.drain(300).empty()) << "nothing into the BFB port before it closes";
    host.link.hostSetOpen(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    host.link.hostSetBaud(115200);
    host.link.hostSetOpen(true);
    EXPECT_EQ(host.read(6), commandBlock(0x31, {}));
    const sim::PhoneState s = host.phone.state();
    EXPECT_EQ(s.mode, "loader");
    EXPECT_EQ(s.lineBaud, 115200u);
    EXPECT_EQ(s.rebootBaud, 115200u);
}

TEST(SimBfb, SwitchOffAnswersThenThePhoneIsSilent) {
    DirectHost host("");
    switchToBfb(host);
    host.send(frame(0x0E, {0x04}));
    EXPECT_EQ(host.read(5), frame(0x0E, {0x04, 0x00}));
    host.send(kPing);
    EXPECT_TRUE(host.drain().empty());
    EXPECT_EQ(host.phone.state().mode, "off");
}

namespace {

// Writes `data` into `block` as the updater's block service does: begin, parts of 20, end.
void writeBlock(DirectHost& host, std::uint16_t block, const Bytes& data) {
    const auto lo = static_cast<std::uint8_t>(block & 0xFF);
    const auto hi = static_cast<std::uint8_t>(block >> 8);
    const auto n = static_cast<std::uint8_t>(data.size());
    host.send(eepromFrame({0x11, lo, hi, n, 0, data[0]}));
    ASSERT_EQ(host.read(5), eepromFrame({0x11}));
    for (std::size_t off = 0; off < data.size(); off += 20) {
        Bytes part{0x12, lo, hi, static_cast<std::uint8_t>(off), 0};
        part.insert(part.end(), data.begin() + off, data.begin() + std::min(data.size(), off + 20));
        host.send(eepromFrame(part));
        ASSERT_EQ(host.read(5), eepromFrame({0x12}));
    }
    host.send(eepromFrame({0x13, lo, hi}));
    ASSERT_EQ(host.read(5), eepromFrame({0x13}));
}

Bytes requestRecord() {
    Bytes r(64, 0xFF);
    r[1] = 0xA7;
    for (int i = 2; i < 22; ++i) r[i] = static_cast<std::uint8_t>(i * 7);
    r[63] = 0;
    r[63] = xorOf(r);
    return r;
}

}  // namespace

TEST(SimEeprom, UpdateRequestWrittenInPartsReadsBackInPartsOf20) {
    DirectHost host("");
    switchToBfb(host);
    const Bytes record = requestRecord();
    writeBlock(host, 0x142B, record);

    host.send(eepromFrame({0x15, 0x2B, 0x14}));
    EXPECT_EQ(host.read(8), eepromFrame({0x15, 64, 0, 0xFF}));
    Bytes back;
    for (std::uint8_t off : {0, 20, 40, 60}) {
        const std::uint8_t count = off == 60 ? 4 : 20;
        host.send(eepromFrame({0x14, 0x2B, 0x14, off, 0, count, 0}));
        const Bytes answer = host.read(3 + 1 + count + 1u);
        ASSERT_EQ(answer.size(), 3u + 1 + count + 1u);
        EXPECT_EQ(answer[3], 0x14);
        EXPECT_EQ(xorOf(Bytes(answer.begin() + 3, answer.end())), 0) << "check byte";
        back.insert(back.end(), answer.begin() + 4, answer.end() - 1);
    }
    EXPECT_EQ(back, record);
    const sim::PhoneState s = host.phone.state();
    EXPECT_EQ(s.updateRequest, record);
    EXPECT_EQ(s.eeprom142b, record);
}

TEST(SimEeprom, StatusAnswersForRequestsThePhoneCannotServe) {
    DirectHost host("");
    switchToBfb(host);
    struct Case {
        const char* name;
        Bytes request;
        char status;
    };
    const Case cases[] = {
        {"unknown block", {0x15, 0x00, 0x10}, '2'},
        {"part without begin", {0x12, 0x2B, 0x14, 0, 0, 1}, '1'},
        {"read beyond the block", {0x14, 0x2B, 0x14, 60, 0, 8, 0}, '3'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.send(eepromFrame(c.request));
        EXPECT_EQ(host.read(5), eepromFrame({static_cast<std::uint8_t>(c.status)}));
    }
}

TEST(SimEeprom, FaultsBusyStatusAndBadCheck) {
    DirectHost host(
        "fault eeprom.begin_write busy ms=1500\n"
        "fault eeprom.begin_read status=2\n"
        "fault eeprom.read_part bad_check\n");
    switchToBfb(host);
    const auto start = std::chrono::steady_clock::now();
    host.send(eepromFrame({0x11, 0x2B, 0x14, 64, 0, 0xFF}));
    EXPECT_EQ(host.read(5), eepromFrame({'P'}));
    EXPECT_EQ(host.read(5, 1500), eepromFrame({'P'})) << "repeated while busy";
    EXPECT_EQ(host.read(5, 2000), eepromFrame({0x11}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1400));

    host.send(eepromFrame({0x15, 0x2B, 0x14}));
    EXPECT_EQ(host.read(5), eepromFrame({'2'}));
    host.send(eepromFrame({0x15, 0x2B, 0x14}));
    EXPECT_EQ(host.read(8), eepromFrame({0x15, 64, 0, 0xFF})) << "the status came once";

    host.send(eepromFrame({0x14, 0x2B, 0x14, 0, 0, 2, 0}));
    const Bytes bad = host.read(7);
    ASSERT_EQ(bad.size(), 7u);
    EXPECT_NE(xorOf(Bytes(bad.begin() + 3, bad.end())), 0);
    host.send(eepromFrame({0x14, 0x2B, 0x14, 0, 0, 2, 0}));
    EXPECT_EQ(host.read(7), eepromFrame({0x14, 0xFF, 0xFF}));
}

TEST(SimBootRom, WakeUpAt19200AndTheBootProgramStartsTheNormalSoftware) {
    DirectHost host("");
    switchToBfb(host);
    host.send(frame(0x0E, {0x04}));
    host.read(5);
    host.link.hostSetBaud(19200);
    host.send(Bytes{0x55});
    EXPECT_EQ(host.read(1), Bytes{0xA0});

    Bytes wrong = sim::BootRom::expectedProgram();
    wrong[0x32] = 0xFF;  // a placeholder not set
    Bytes send{104};
    send.insert(send.end(), wrong.begin(), wrong.end());
    send.push_back(xorOf(wrong));
    host.send(send);
    EXPECT_TRUE(host.drain().empty()) << "a wrong program is not taken";

    host.send(Bytes{0x55});
    EXPECT_EQ(host.read(1), Bytes{0xA0});
    const Bytes& program = sim::BootRom::expectedProgram();
    send = Bytes{104};
    send.insert(send.end(), program.begin(), program.end());
    send.push_back(xorOf(program));
    host.send(send);
    EXPECT_EQ(host.read(1), Bytes{0xA5});
    EXPECT_EQ(host.phone.state().mode, "at");
}

TEST(SimBootRom, WakeUpAtAnotherSpeedGetsNoAnswer) {
    DirectHost host("software = blank\n");
    host.link.hostSetBaud(57600);
    host.send(Bytes{0x55, 0x55, 0x55});
    const Bytes got = host.drain();
    EXPECT_EQ(std::count(got.begin(), got.end(), 0xA0), 0);
}

TEST(SimBlankPhone, SilentUntilTheUpdaterWaitsAt115200ThenItsLoaderGreets) {
    DirectHost host("software = blank\nloader_ready_ms = 0\n");
    host.send("AT+CGSN;I9\r\n");
    host.send(kPing);
    host.send("at^kqwe=1\r");
    const auto start = std::chrono::steady_clock::now();  // the quiet second starts here
    EXPECT_TRUE(host.drain(300).empty());
    host.link.hostSetBaud(115200);
    EXPECT_EQ(host.read(6, 3000), (Bytes{0xFF, 0xFF, 0xFF, 0x01, 0x31, 0xCF}));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    const sim::PhoneState s = host.phone.state();
    EXPECT_EQ(s.mode, "loader");
    EXPECT_EQ(s.productType, std::string(16, '\xFF'));
}

TEST(SimBlankPhone, PowerKeyStartsTheLoaderAtOnce) {
    DirectHost host("software = blank\npower_on = key\nloader_ready_ms = 0\n");
    host.link.hostSetBaud(115200);
    EXPECT_TRUE(host.drain(1300).empty()) << "the line alone does not start it";
    host.phone.pressPowerKey();
    EXPECT_EQ(host.read(6, 500), (Bytes{0xFF, 0xFF, 0xFF, 0x01, 0x31, 0xCF}));
}
