#include "updlib/libif.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "flashlink/wseril1.h"
#include "platform/os/pty.h"
#include "updlib/error_registry.h"

namespace {

using updlib::VersionRecord;

std::uint8_t TotalErrors() {
    std::uint8_t total = 0;
    for (std::uint32_t slot = 0; slot < 4; ++slot) total = static_cast<std::uint8_t>(total + updlib::GetSlotErrorCount(slot));
    return total;
}

TEST(CheckInterfaceVersion, OnlyOneTwentyNineInitialises) {
    EXPECT_EQ(updlib::CheckInterfaceVersion(1, 29), 1);
    EXPECT_EQ(updlib::IsLibraryInitialised(), 1);
    EXPECT_EQ(updlib::CheckInterfaceVersion(1, 28), 0);
    EXPECT_EQ(updlib::IsLibraryInitialised(), 0);
    EXPECT_EQ(updlib::CheckInterfaceVersion(2, 29), 0);
    EXPECT_EQ(updlib::IsLibraryInitialised(), 0);
}

TEST(CheckInterfaceVersion, ResetsTheSlotsButNotTheBootstrapFlags) {
    updlib::SetSlotState(2, updlib::SLOT_READY);
    updlib::SetBootstrapFlag(2);
    updlib::SetConnectHook(nullptr);
    ASSERT_EQ(updlib::CheckInterfaceVersion(1, 29), 1);
    EXPECT_EQ(updlib::GetSlotState(2), updlib::SLOT_NONE);
    EXPECT_EQ(updlib::GetBootstrapFlag(2), 1u);
    EXPECT_EQ(updlib::GetConnectHook(), &updlib::ManualConnect);
    EXPECT_EQ(updlib::GetBootstrapParameters(2).count, 0u);
    updlib::ClearBootstrapFlag(2);
}

TEST(GetVersionRecord, BeforeTheHandshakeRecords600And0617) {
    updlib::CheckInterfaceVersion(1, 28);
    VersionRecord record;
    EXPECT_EQ(updlib::GetVersionRecord(record, 0), 0);
    for (int port = 0; port < 12; ++port) EXPECT_EQ(updlib::GetErrorNumber(port), 600);
    for (std::uint32_t slot = 0; slot < 4; ++slot) EXPECT_EQ(updlib::GetLastSlotError(slot).code, 0x0617);
}

TEST(GetVersionRecord, LibraryAndSerialLayer) {
    ASSERT_EQ(updlib::CheckInterfaceVersion(1, 29), 1);
    VersionRecord library;
    ASSERT_EQ(updlib::GetVersionRecord(library, 0), 1);
    EXPECT_STREQ(library.description, "Main-DLL for SW-Update");
    EXPECT_STREQ(library.buildDate, "Nov 18 2002");
    EXPECT_EQ(library.major, 2u);
    EXPECT_EQ(library.minor, 30u);
    EXPECT_NE(library.author[0], '\0');
    VersionRecord serial;
    ASSERT_EQ(updlib::GetVersionRecord(serial, 1), 1);
    EXPECT_STREQ(serial.description, "Serial Low-DLL");
    EXPECT_EQ(serial.major, 1u);
    EXPECT_EQ(serial.minor, 35u);
}

TEST(GetVersionRecord, WrongSizeFieldAndMissingComponents) {
    ASSERT_EQ(updlib::CheckInterfaceVersion(1, 29), 1);
    VersionRecord record;
    record.size = 139;
    const std::uint8_t before = TotalErrors();
    EXPECT_EQ(updlib::GetVersionRecord(record, 0), 0);
    EXPECT_EQ(TotalErrors(), before);  // nothing recorded for the library's own record
    EXPECT_EQ(updlib::GetVersionRecord(record, 1), 0);
    for (std::uint32_t slot = 0; slot < 4; ++slot) EXPECT_EQ(updlib::GetLastSlotError(slot).code, 0x0200);
    record.size = sizeof(VersionRecord);
    for (const int type : {2, 3, 4, -1}) EXPECT_EQ(updlib::GetVersionRecord(record, type), 0) << type;
}

struct LoaderCase {
    std::uint32_t mode;
    bool bootstrapFlag;
    int expected;
};

class UsesUpdateLoader : public testing::TestWithParam<LoaderCase> {};

TEST_P(UsesUpdateLoader, FollowsModeAndBootstrapFlag) {
    const LoaderCase& c = GetParam();
    EXPECT_EQ(updlib::SetUpdateMode(c.mode), 1);
    EXPECT_EQ(updlib::GetUpdateMode(), c.mode);
    for (std::uint32_t slot = 0; slot < 4; ++slot) {
        if (c.bootstrapFlag) updlib::SetBootstrapFlag(slot);
        else updlib::ClearBootstrapFlag(slot);
        EXPECT_EQ(updlib::UsesUpdateLoader(slot), c.expected) << "slot " << slot;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, UsesUpdateLoader,
                         testing::Values(LoaderCase{1, false, 1}, LoaderCase{1, true, 1}, LoaderCase{2, false, 1},
                                         LoaderCase{2, true, 0}, LoaderCase{0, false, 0}, LoaderCase{3, false, 0}),
                         [](const testing::TestParamInfo<LoaderCase>& info) {
                             return "Mode" + std::to_string(info.param.mode) + (info.param.bootstrapFlag ? "Bootstrap" : "");
                         });

int OtherHook(std::uint32_t*, int, int, std::uint32_t, updlib::ConnectProgressCallback) { return 0; }

TEST(CheckUpdatePossible, Mode1SetsTheManualConnectHook) {
    updlib::SetUpdateMode(updlib::kModeUpdateLoader);
    updlib::SetConnectHook(OtherHook);
    EXPECT_EQ(updlib::CheckUpdatePossible("VQ20", 0x21), 1);
    EXPECT_EQ(updlib::GetConnectHook(), &updlib::ManualConnect);
    updlib::SetUpdateMode(updlib::kModePerSlot);
    updlib::SetConnectHook(OtherHook);
    EXPECT_EQ(updlib::CheckUpdatePossible("VQ20", 0x21), 0);
    EXPECT_EQ(updlib::GetConnectHook(), &OtherHook);
}

TEST(SlotState, UsesTheLow16BitsOfTheSlotAndIgnoresOthers) {
    updlib::SetSlotState(0x00010001u, updlib::SLOT_MANUAL);
    EXPECT_EQ(updlib::GetSlotState(1), updlib::SLOT_MANUAL);
    updlib::SetSlotState(7, updlib::SLOT_READY);
    EXPECT_EQ(updlib::GetSlotState(7), updlib::SLOT_NONE);
    EXPECT_EQ(updlib::GetSlotStartRecord(4), nullptr);
    ASSERT_NE(updlib::GetSlotStartRecord(3), nullptr);
}

TEST(UpdateMutex, IsCreatedOnceAndReused) {
    os::NamedMutex* first = updlib::GetUpdateMutex();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(updlib::GetUpdateMutex(), first);
}

int g_calls[10];
int Connect(int, int, int) { return ++g_calls[0]; }
int TransmitStart(int, std::uint32_t) { return ++g_calls[1]; }
int TransmitProgress(int, std::uint32_t) { return ++g_calls[2]; }
int FlashCode(int, std::uint16_t, const char*) { return ++g_calls[3]; }
int Erase(int, std::uint16_t, std::uint16_t) { return ++g_calls[4]; }
int Total(int, std::uint32_t) { return ++g_calls[5]; }
int Transfer(int, std::uint32_t) { return ++g_calls[6]; }
int Success(int) { return ++g_calls[7]; }
int Failure(int) { return ++g_calls[8]; }
int Consistency(int, const updlib::SwInfo*, const updlib::SwInfo*, std::uint16_t) { return ++g_calls[9]; }
int SoftwareInfo(int, const updlib::SwInfo*, const updlib::SwInfo*) { return 1; }
int Precheck(int, int, int) { return 1; }
int TestProgress(int, int, int) { return 2; }

TEST(Callbacks, AreStoredInTheirOrder) {
    updlib::InstallCallbacks(Connect, TransmitStart, TransmitProgress, FlashCode, Erase, Total, Transfer, Success, Failure,
                             Consistency);
    EXPECT_TRUE(updlib::CallbacksInstalled());
    const updlib::ProcedureCallbacks c = updlib::GetProcedureCallbacks();
    std::memset(g_calls, 0, sizeof g_calls);
    c.onConnectProgress(0, 1, 1);
    c.onTransmitStart(0, 1);
    c.onTransmitProgress(0, 1);
    c.onFlashCode(0, 1, "");
    c.onEraseProgress(0, 1, 1);
    c.onTransferTotal(0, 1);
    c.onTransferProgress(0, 1);
    c.onUpdateSuccess(0);
    c.onUpdateFailure(0);
    c.onConsistencyProblem(0, nullptr, nullptr, 1);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(g_calls[i], 1) << "callback " << i + 1;

    updlib::InstallSoftwareInfoCallback(SoftwareInfo, updlib::kSoftwareInfoAtPrecheck);
    EXPECT_EQ(updlib::GetSoftwareInfoHook().callback, &SoftwareInfo);
    EXPECT_EQ(updlib::GetSoftwareInfoHook().timing, updlib::kSoftwareInfoAtPrecheck);
    updlib::InstallBfbCallbacks(Precheck, TestProgress);
    EXPECT_EQ(updlib::GetBfbCallbacks().onPrecheckProgress, &Precheck);
    EXPECT_EQ(updlib::GetBfbCallbacks().onTestProgress, &TestProgress);
}

// Ports on pseudo-terminals: COM1 and COM2 lead to a pty, COM5 to a device that is not there.
class Ports : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty1_.ok() && pty2_.ok());
        const std::string map = "COM1=" + pty1_.slavePath() + ",COM2=" + pty2_.slavePath() + ",COM5=/dev/vq-no-such-device";
        setenv("VQ_COMPORTS", map.c_str(), 1);
        ASSERT_EQ(updlib::CheckInterfaceVersion(1, 29), 1);
    }
    void TearDown() override {
        for (int port = 0; port < 12; ++port) flashlink::ComClose(port);
        unsetenv("VQ_COMPORTS");
    }
    os::PtyMaster pty1_;
    os::PtyMaster pty2_;
};

TEST_F(Ports, TestPortSpeedOpensAndClosesAgain) {
    EXPECT_EQ(updlib::TestPortSpeed(0, 115200), 1);
    EXPECT_EQ(flashlink::ComOpen(0, 57600, flashlink::kComNoParity), 1);  // closed again, so it opens
}

TEST_F(Ports, TestPortSpeedLeavesAPortOpenThatThisProcessHolds) {
    ASSERT_EQ(flashlink::ComOpen(1, 57600, flashlink::kComNoParity), 1);
    EXPECT_EQ(updlib::TestPortSpeed(1, 115200), 0);
    EXPECT_EQ(flashlink::ComClose(1), 1);  // still open
}

TEST_F(Ports, TestPortSpeedOnAPortThatCannotOpenRecordsTheClose) {
    EXPECT_EQ(updlib::TestPortSpeed(4, 115200), 0);
    EXPECT_EQ(updlib::GetErrorNumber(4), 1);
    EXPECT_EQ(updlib::GetLastSlotError(0).code, 0x0103);
}

TEST_F(Ports, ManualConnectNeedsTheManualSlotState) {
    updlib::SetSlotState(0, updlib::SLOT_READY);
    std::uint32_t waitCode = 0;
    EXPECT_EQ(updlib::ManualConnect(&waitCode, 0, 0, 57600, nullptr), 0);
    EXPECT_EQ(updlib::GetErrorNumber(0), 1);
    const updlib::PortErrorRecord record = updlib::GetPortErrorRecord(0);
    EXPECT_STREQ(record.additionalInfo, "Cannot init manual update mode, precheck condition failed");
    EXPECT_EQ(waitCode, 0u);
    EXPECT_EQ(flashlink::ComOpen(0, 57600, flashlink::kComNoParity), 1);  // it was not opened
}

TEST_F(Ports, ManualConnectOpensAt115200) {
    updlib::SetSlotState(0, updlib::SLOT_MANUAL);
    std::uint32_t waitCode = 0;
    EXPECT_EQ(updlib::ManualConnect(&waitCode, 0, 0, 57600, nullptr), 1);
    EXPECT_EQ(waitCode, 3u);
    EXPECT_EQ(pty1_.slaveBaudRate(), 115200u);
}

TEST_F(Ports, ManualConnectReportsAPortThatCannotOpen) {
    updlib::SetSlotState(2, updlib::SLOT_MANUAL);
    std::uint32_t waitCode = 0;
    EXPECT_EQ(updlib::ManualConnect(&waitCode, 2, 4, 57600, nullptr), 0);
    EXPECT_EQ(updlib::GetErrorNumber(4), 1);
    EXPECT_STREQ(updlib::GetPortErrorRecord(4).additionalInfo, "Opening Comport 5 with Speed 115200 Baud not possible");
    const updlib::ErrorEntry entry = updlib::GetLastSlotError(2);
    EXPECT_EQ(entry.code, 0x0A00);
    EXPECT_STREQ(entry.argTypes, "dd");
    EXPECT_EQ(entry.intArgs[0], 5);
    EXPECT_EQ(entry.intArgs[1], 115200);
}

}  // namespace
