// Whole updates of simulated phones over real pseudo-terminals: the phone starts in its update
// loader (as after the BFB precheck's reboot), the library runs the update procedure of a slot and
// reports through its callbacks. Each row names a phone scenario, a software file and the outcome:
// the callback (exactly one), the newest error code of the slot and the port's error number.
// The error lists are process-wide: CTest runs every case in a process of its own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/pty.h"
#include "sim/link.h"
#include "sim/phone.h"
#include "sim/scenario.h"
#include "tools/xbimake/xbi_writer.h"
#include "updlib/error_registry.h"
#include "updlib/libif.h"
#include "updlib/trace.h"
#include "xbi/software_file.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kBaud = 115200;
constexpr std::uint32_t kLoadAddress = 0x10000;
constexpr std::uint32_t kImageBytes = 40 * 1024;
constexpr std::uint32_t kFlashBlock = 0x10000;
constexpr std::uint32_t kSmallFlashBytes = 4 * 131072;  // small-flash.scn: 4 MBit

std::string SourceDir() {
    const char* dir = std::getenv("VQ_SOURCE_DIR");
    return dir != nullptr ? dir : ".";
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A phone scenario (this test's own, or one the simulator ships), started in its update loader at
// the update's speed.
sim::Scenario LoaderScenario(const std::string& name) {
    const fs::path own = fs::path(SourceDir()) / "tests" / "update" / "scenarios" / (name + ".scn");
    const fs::path shipped = fs::path(SourceDir()) / "sim" / "scenarios" / (name + ".scn");
    const fs::path file = fs::exists(own) ? own : shipped;
    EXPECT_TRUE(fs::exists(file)) << file;
    const std::string text = "start = loader\nloader_baud = 115200\n" + ReadText(file);
    sim::ScenarioResult result = sim::parseScenario(text);
    EXPECT_TRUE(result.scenario.has_value()) << name << ": " << result.error;
    return result.scenario.value_or(sim::Scenario{});
}

Bytes TestImage() {
    Bytes image(kImageBytes);
    std::mt19937 random(20051215);
    for (auto& b : image) b = static_cast<std::uint8_t>(random());
    return image;
}

// ---- Software files ----------------------------------------------------------------------------

enum class Signing {
    kSignedWithHashList,
    kNone,
    kWrongHashList,  // signed, but its one entry does not match the image
};

// What the image carries in front of its data blocks.
enum class Lead {
    kNone,
    kEraseCommands,   // 55 b b for each flash block of the image: the phone's classic erase
    kUnknownCommand,  // a command the phone refuses: sent, it would end the transfer
};

struct SoftwareFile {
    std::uint32_t swType = 0;
    Signing signing = Signing::kSignedWithHashList;
    Lead lead = Lead::kNone;
    std::uint32_t softwareSize = kImageBytes;
    std::uint32_t projectClass = 3;
    std::uint32_t bgjAddress = 0;
};

std::string Description(const SoftwareFile& file, const fs::path& imagePath) {
    std::ostringstream d;
    d << "[header]\nformat_version = 95\nlibrary_version = 230\nproject_name = VQ20\n"
      << "product_type = VQ20\nsvn = 0x22\ncompile = 15.06.05 12:00:00\n"
      << "flash_code_request = 1\nsw_type = " << file.swType << "\nproject_class = "
      << file.projectClass << "\nsoftware_size = " << file.softwareSize << "\n";
    if (file.bgjAddress != 0) d << "bgj_address = " << file.bgjAddress << "\n";
    if (file.swType == 4 || file.swType == 5 || file.swType == 7) {
        // Software parts that must fit the phone's split (the simulated phone's split ID is 0).
        d << "split = 0x7FFE0, 0\nlanguage_groups = 1, 2, 3, 4\n"
          << "split_element = 0x10000, 0x1A000, 0, 0, 0, CODE\n";
    }
    d << "[data]\nload_address = " << kLoadAddress << "\nimage = " << imagePath.string() << "\n";
    if (file.lead == Lead::kEraseCommands) {
        for (std::uint32_t b = kLoadAddress / kFlashBlock; b <= (kLoadAddress + kImageBytes - 1) / kFlashBlock; ++b) {
            char line[32];
            std::snprintf(line, sizeof line, "command = 55 %02X %02X\n", b, b);
            d << line;
        }
    }
    if (file.lead == Lead::kUnknownCommand) d << "command = 7E\n";
    if (file.signing != Signing::kNone) {
        d << "[hash_area]\npresent = 1\n";
        if (file.signing == Signing::kWrongHashList) d << "list = 00010000 00000040" << std::string(40, '0') << "\n";
        d << "[signature]\nkey_id = 0x5A4D0001\nprivate_key = sim/keys/phone-key-5a4d0001.pem\n";
    }
    return d.str();
}

// The codes of a slot's error list, oldest first, for failure messages.
std::string ErrorList(std::uint32_t slot) {
    std::ostringstream list;
    list << std::hex;
    for (std::size_t i = 0; i < updlib::GetSlotErrorCount(slot); ++i) {
        list << " 0x" << updlib::GetSlotErrorEntry(slot, i).code;
    }
    return "error list:" + list.str();
}

// ---- Host callbacks ----------------------------------------------------------------------------

struct SlotOutcome {
    std::atomic<int> successes{0};
    std::atomic<int> failures{0};
    std::atomic<int> lastReason{0};
};

SlotOutcome g_outcomes[updlib::kSlotCount];
std::atomic<int> g_consistencyAnswer{0};

int OnSuccess(int slot) {
    ++g_outcomes[slot].successes;
    return 1;
}
int OnFailure(int slot) {
    ++g_outcomes[slot].failures;
    return 1;
}
int OnConsistency(int slot, const updlib::SwInfo*, const updlib::SwInfo*, std::uint16_t reason) {
    g_outcomes[slot].lastReason = reason;
    return g_consistencyAnswer.load();
}

// ---- A simulated phone on a pty ----------------------------------------------------------------

struct SimulatedPhone {
    explicit SimulatedPhone(const sim::Scenario& scenario) : link(pty), phone(scenario) {
        phone.start(link);
    }
    ~SimulatedPhone() { phone.stop(); }
    os::PtyMaster pty;
    sim::PtyLink link;
    sim::Phone phone;
};

// The flash as it must read after a successful update: erased by the new-concept erase (or the
// blocks the image's erase commands name, over old software reading 0x00), then the image.
Bytes ExpectedFlash(const Bytes& image, bool phoneErases, Lead lead, std::uint32_t flashBytes) {
    Bytes flash(flashBytes, phoneErases ? 0xFF : 0x00);
    if (!phoneErases && lead == Lead::kEraseCommands) {
        for (std::uint32_t b = kLoadAddress / kFlashBlock; b <= (kLoadAddress + kImageBytes - 1) / kFlashBlock; ++b) {
            std::fill_n(flash.begin() + b * kFlashBlock, kFlashBlock, std::uint8_t{0xFF});
        }
    }
    for (std::size_t i = 0; i < image.size(); ++i) flash[kLoadAddress + i] &= image[i];
    return flash;
}

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::random_device seed;
        dir_ = fs::temp_directory_path() / ("vq-update-test-" + std::to_string(seed()));
        fs::create_directories(dir_);
        image_ = TestImage();
        std::ofstream(dir_ / "image.bin", std::ios::binary)
            .write(reinterpret_cast<const char*>(image_.data()), static_cast<std::streamsize>(image_.size()));
        if (std::getenv("VQ_UPDATE_TRACE") != nullptr) {  // the library's trace on stderr
            updlib::TraceSettings trace;
            trace.debuggerOutput = true;
            trace.debuggerLevelLimit = 3;
            trace.debuggerCategories = 0xFF;
            updlib::SetTraceSettings(trace);
        }
        for (SlotOutcome& o : g_outcomes) {
            o.successes = 0;
            o.failures = 0;
            o.lastReason = 0;
        }
    }
    void TearDown() override {
        unsetenv("VQ_COMPORTS");
        xbi::ReleaseSoftwareFile();
        fs::remove_all(dir_);
    }

    // Builds the file with xbimake and reads it into the library as the host does.
    void Load(const SoftwareFile& file) {
        std::string error;
        auto data = xbimake::BuildXbi(Description(file, dir_ / "image.bin"), SourceDir(), error);
        ASSERT_TRUE(data.has_value()) << error;
        xbi_ = std::move(*data);
        xbi::ReleaseSoftwareFile();
        ASSERT_EQ(updlib::CheckInterfaceVersion(updlib::kInterfaceMajor, updlib::kInterfaceMinor), 1);
        updlib::SetUpdateMode(updlib::kModeUpdateLoader);
        xbi::SwInfo info{};
        ASSERT_EQ(xbi::ReadSoftwareFile(info, xbi_.data(), static_cast<std::uint32_t>(xbi_.size())), 1);
        updlib::InstallCallbacks(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                 OnSuccess, OnFailure, OnConsistency);
    }

    static void MapPorts(const std::vector<SimulatedPhone*>& phones) {
        std::string map;
        for (std::size_t i = 0; i < phones.size(); ++i) {
            if (!map.empty()) map += ",";
            map += "COM" + std::to_string(i + 1) + "=" + phones[i]->pty.slavePath();
        }
        setenv("VQ_COMPORTS", map.c_str(), 1);
    }

    static void StartSlot(int slot, int port) {
        updlib::SetSlotState(static_cast<std::uint32_t>(slot), updlib::SLOT_READY);
        ASSERT_EQ(updlib::StartUpdateSlot(static_cast<std::uint32_t>(slot), port, kBaud), 1);
    }

    // Waits for the slot's outcome and for its thread to end.
    static void AwaitEnd(int slot) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (std::chrono::steady_clock::now() < deadline &&
               (g_outcomes[slot].successes + g_outcomes[slot].failures == 0 ||
                updlib::IsUpdateSlotRunning(static_cast<std::uint32_t>(slot)))) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_FALSE(updlib::IsUpdateSlotRunning(static_cast<std::uint32_t>(slot)));
    }

    fs::path dir_;
    Bytes image_;
    Bytes xbi_;
};

// ---- The table ---------------------------------------------------------------------------------

struct Case {
    const char* name;
    const char* scenario;  // in sim/scenarios, started in the loader
    SoftwareFile file;
    int consistencyAnswer;
    bool success;
    std::int32_t code;         // newest error of the slot
    std::int32_t errorNumber;  // of the port
    int reason;                // consistency reason asked, 0 for none
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

constexpr SoftwareFile kSigned0{};
constexpr SoftwareFile kPlain0{0, Signing::kNone, Lead::kNone, kImageBytes, 5, 0x20000};
constexpr SoftwareFile kSigned3{3, Signing::kSignedWithHashList};
constexpr SoftwareFile kPlain3{3, Signing::kNone};

const Case kCases[] = {
    // Full updates; a clean run records no error and ends at the end of transmission (57).
    {"SwType0Signed", "default", kSigned0, 0, true, 0, 57, 0},
    {"SwType0WithoutSignatureInvalidatesBgj", "default", kPlain0, 0, true, 0, 57, 0},
    {"SwType3Signed", "default", kSigned3, 0, true, 0, 57, 0},
    {"SwType3WithoutSignature", "default", kPlain3, 0, true, 0, 57, 0},
    // Software parts of a split: split ID check, write enable (block by block for type 7, whose
    // project VQ20 widens the split to whole 64 KB blocks), language group or new split info.
    {"SwType4LanguageOnly", "default", {4, Signing::kNone}, 0, true, 0, 56, 0},
    {"SwType5CodeAndLanguage", "default", {5, Signing::kSignedWithHashList}, 0, true, 0, 56, 0},
    {"SwType7ExtendedNewSplit", "default", {7, Signing::kSignedWithHashList}, 0, true, 0, 56, 0},
    // The phone erased: the image's leading command blocks are not sent (this one it would refuse).
    {"ErasedPhoneSkipsLeadingCommands", "default", {0, Signing::kSignedWithHashList, Lead::kUnknownCommand}, 0, true, 0, 57, 0},
    // The phone did not erase (0xAA): the image goes out from its first byte and erases the blocks.
    {"NotErasedPhoneGetsWholeImage", "erase-not-done", {0, Signing::kSignedWithHashList, Lead::kEraseCommands}, 0, true, 0, 57, 0},
    {"FlashExactlyBigEnough", "small-flash", {0, Signing::kSignedWithHashList, Lead::kNone, kSmallFlashBytes}, 0, true, 0, 57, 0},
    {"FlashOneByteTooSmall", "small-flash", {0, Signing::kSignedWithHashList, Lead::kNone, kSmallFlashBytes + 1}, 0, false, 0x0608, 55, 0},
    {"UnknownFlashCode", "unknown-flash", kSigned0, 0, false, 0x0606, 59, 0},
    {"ProductTypeRefused", "wrong-product", kSigned0, 0, false, 0x060A, 53, 1},
    {"ProductTypeAccepted", "wrong-product", kSigned0, 1, true, 0, 57, 1},
    {"OlderDateRefused", "newer-date", kSigned0, 0, false, 0x060B, 53, 4},
    {"OlderDateAccepted", "newer-date", kSigned0, 1, true, 0, 57, 4},
    {"OlderDateAndVersionRefused", "newer-svn-and-date", kSigned0, 0, false, 0x060B, 53, 6},
    {"OlderVersionRefused", "newer-svn", kSigned0, 0, false, 0x060C, 53, 2},
    {"OlderVersionAccepted", "newer-svn", kSigned0, 1, true, 0, 57, 2},
    // The erase report is recorded (0x0406, then 0x0300), the phone stops and the run ends at the
    // hashing start, whose five unanswered attempts are the newest error.
    {"PhoneErrorDuringErase", "error-report-erase", kSigned0, 0, false, 0x0208, 56, 0},
    {"PhoneErrorDuringTransfer", "error-report-transfer", kSigned0, 0, false, 0x0208, 400, 0},
    {"Refused4TimesThenAcknowledged", "refuse-4", kSigned0, 0, true, 0, 57, 0},
    {"Refused5Times", "refuse-5", kSigned0, 0, false, 0x0208, 56, 0},
    // 0x9B, then silence past the 5 s answer wait: no rewrite, no failure; the time-out stays
    // recorded although the block went through.
    {"BusyThenSilence", "busy-silence", kSigned0, 0, true, 0x0205, 57, 0},
    {"LineCutMidTransfer", "cut-line", kSigned0, 0, false, 0x0208, 56, 0},
    // The phone's final check after the end of transmission fails: no success.
    {"FinalHashCheckFailed", "default", {0, Signing::kWrongHashList}, 0, false, 0x0409, 57, 0},
    {"UnnegotiatedUpdateRefused", "signature-enforced", kPlain0, 0, false, 0x0409, 57, 0},
    {"SignatureRefused", "signature-refused", kSigned0, 0, false, 0x0308, 51, 0},
    {"HashListRefused", "hashlist-refused", kSigned0, 0, false, 0x0308, 51, 0},
};

class UpdateCaseTest : public UpdateTest, public ::testing::WithParamInterface<Case> {};

TEST_P(UpdateCaseTest, EndsWithExpectedOutcome) {
    const Case& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(Load(c.file));
    g_consistencyAnswer = c.consistencyAnswer;
    const sim::Scenario scenario = LoaderScenario(c.scenario);
    SimulatedPhone phone(scenario);
    MapPorts({&phone});

    ASSERT_NO_FATAL_FAILURE(StartSlot(0, 0));
    AwaitEnd(0);

    EXPECT_EQ(g_outcomes[0].successes.load(), c.success ? 1 : 0);
    EXPECT_EQ(g_outcomes[0].failures.load(), c.success ? 0 : 1);
    EXPECT_EQ(updlib::GetLastSlotError(0).code, c.code) << ErrorList(0);
    EXPECT_EQ(updlib::GetErrorNumber(0), c.errorNumber);
    EXPECT_EQ(g_outcomes[0].lastReason.load(), c.reason);
    if (c.success) {
        const bool erased = scenario.newConceptErase && c.file.swType != 4;  // type 4 is not erased
        const Bytes expected = ExpectedFlash(image_, erased, c.file.lead,
                                             scenario.flashMbit * 131072u);
        EXPECT_EQ(phone.phone.flashDigest(), sim::sha1Hex(expected));
        const sim::PhoneState state = phone.phone.state();
        const bool signedFile = c.file.signing == Signing::kSignedWithHashList;
        EXPECT_EQ(state.signature, signedFile ? "accepted" : "none");
        // Split parts end without the end of transmission, where the phone checks the hashes.
        const bool endOfTransmission = c.file.swType != 4 && c.file.swType != 5 && c.file.swType != 7;
        EXPECT_EQ(state.hashCheck, signedFile && endOfTransmission ? "passed" : "none");
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, UpdateCaseTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

// Four slots update four phones on four ports at the same time, each with its own outcome, error
// list and port record.
TEST_F(UpdateTest, FourSlotsUpdateFourPhonesAtOnce) {
    struct Slot {
        const char* scenario;
        bool success;
        std::int32_t code;
        std::int32_t errorNumber;
    };
    const Slot slots[updlib::kSlotCount] = {
        {"default", true, 0, 57},
        {"refuse-5", false, 0x0208, 56},
        {"newer-svn", true, 0, 57},  // the consistency callback answers 1
        {"unknown-flash", false, 0x0606, 59},
    };
    ASSERT_NO_FATAL_FAILURE(Load(kSigned0));
    g_consistencyAnswer = 1;
    std::vector<sim::Scenario> scenarios;
    std::vector<std::unique_ptr<SimulatedPhone>> phones;
    std::vector<SimulatedPhone*> ports;
    for (const Slot& slot : slots) {
        scenarios.push_back(LoaderScenario(slot.scenario));
        phones.push_back(std::make_unique<SimulatedPhone>(scenarios.back()));
        ports.push_back(phones.back().get());
    }
    MapPorts(ports);

    for (int i = 0; i < updlib::kSlotCount; ++i) ASSERT_NO_FATAL_FAILURE(StartSlot(i, i));
    EXPECT_EQ(updlib::StartUpdateSlot(1, 1, kBaud), 0) << "a running slot is not started twice";
    for (int i = 0; i < updlib::kSlotCount; ++i) AwaitEnd(i);

    for (int i = 0; i < updlib::kSlotCount; ++i) {
        SCOPED_TRACE(slots[i].scenario);
        const auto slot = static_cast<std::uint32_t>(i);
        EXPECT_EQ(g_outcomes[i].successes.load(), slots[i].success ? 1 : 0);
        EXPECT_EQ(g_outcomes[i].failures.load(), slots[i].success ? 0 : 1);
        EXPECT_EQ(updlib::GetLastSlotError(slot).code, slots[i].code) << ErrorList(slot);
        EXPECT_EQ(updlib::GetErrorNumber(i), slots[i].errorNumber);
        if (slots[i].success) {
            EXPECT_EQ(phones[static_cast<std::size_t>(i)]->phone.flashDigest(),
                      sim::sha1Hex(ExpectedFlash(image_, true, Lead::kNone, scenarios[static_cast<std::size_t>(i)].flashMbit * 131072u)));
        }
    }
}

}  // namespace
