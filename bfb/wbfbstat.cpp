#include "bfb/wbfbstat.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <source_location>

#include "bfb/bfb_block.h"
#include "bfb/bfb_mode.h"
#include "bfb/bfb_port.h"
#include "bfb/bfb_service.h"
#include "bfb/put_count.h"
#include "bfb/update_request.h"
#include "platform/os/clock.h"
#include "updlib/error_registry.h"
#include "updlib/libif.h"
#include "updlib/trace.h"
#include "xbi/software_file.h"

namespace bfb {
namespace {

constexpr char kModule[] = "wbfbstat";
constexpr std::uint32_t kBfbBaud = 57600;
constexpr std::uint32_t kSettleMs = 1500;        // the phone's BFB software settles after the first answer
constexpr std::uint32_t kSwitchOffPollMs = 500;  // between pings while the phone switches off
constexpr std::uint32_t kTestPauseMs = 300;
constexpr int kPrecheckSteps = 7;
constexpr int kTestSteps = 5;

// Error numbers of the port record, and the codes beside them.
constexpr std::int32_t kNumCallbacksMissing = 100;
constexpr std::int32_t kNumCannotOpen = 101;
constexpr std::int32_t kNumNoPing = 102;
constexpr std::int32_t kNumSwitchOnFailed = 103;
constexpr std::int32_t kNumRequestRefused = 104;
constexpr std::int32_t kNumWrongSwType = 105;
constexpr std::int32_t kErrCallbacksMissing = 0x0500;
constexpr std::int32_t kErrCannotOpen = 0x0501;
constexpr std::int32_t kErrSwitchOnFailed = 0x0502;
constexpr std::int32_t kErrNoPing = 0x0503;
constexpr std::int32_t kErrWrongSwType = 0x0504;
constexpr std::int32_t kErrRequestRefused = 0x0505;

void Trace(int slot, const char* line) {
    updlib::TraceLog(static_cast<std::uint32_t>(slot), updlib::kTraceMainSteps, updlib::kTraceBfb, "%s", line);
}

void TraceBanner(int slot) {
    constexpr char kStars[] = "********************************************************\n";
    const auto slotIndex = static_cast<std::uint32_t>(slot);
    const os::LocalTime now = os::GetLocalTime();
    updlib::TraceLog(slotIndex, updlib::kTraceDetails, updlib::kTraceBfb, "%s", kStars);
    updlib::TraceLog(slotIndex, updlib::kTraceDetails, updlib::kTraceBfb, "%s", "Starting new Update \n");
    updlib::TraceLog(slotIndex, updlib::kTraceDetails, updlib::kTraceBfb, "on : %02d.%02d.%04d , %02d:%02d:%02d\n",
                     now.day, now.month, now.year, now.hour, now.minute, now.second);
    updlib::TraceLog(slotIndex, updlib::kTraceDetails, updlib::kTraceBfb, "%s", kStars);
}

void RecordFailure(int slot, int port, std::int32_t number, std::int32_t code,
                   std::source_location where = std::source_location::current()) {
    updlib::SetErrorNumber(port, number, kModule, static_cast<int>(where.line()));
    updlib::AddError(static_cast<std::uint32_t>(slot), code, "");
}

// Copies the characters of a phone answer into a field of the SW info record, cut to leave room
// for the terminator.
template <std::size_t N, std::size_t M>
void CopyIntoField(char (&field)[N], const char (&answer)[M]) {
    const std::size_t count = std::min(N - 1, M);
    std::memcpy(field, answer, count);
    field[count] = '\0';
}

// ---- The precheck's state machine --------------------------------------------------------------

enum class State { Open, Ping, NextPing, SwitchOn, ThirdPing, Settle, Voltage, WaitOff, Ready, Failed };

class Precheck {
public:
    Precheck(int slot, int port, std::uint32_t rebootBaud, updlib::StepProgressCallback progress)
        : slot_(slot), slotIndex_(static_cast<std::uint32_t>(slot)), port_(port), rebootBaud_(rebootBaud),
          progress_(progress) {}

    // Runs from Open to Ready or Failed; the port is closed at the end.
    bool run(std::uint16_t& voltage) {
        State state = State::Open;
        while (state != State::Ready && state != State::Failed) state = step(state, voltage);
        Trace(slot_, "BFB : Closing comport\n");
        WComClose(handle_);
        return state == State::Ready;
    }

private:
    State step(State state, std::uint16_t& voltage) {
        switch (state) {
            case State::Open: return open();
            case State::Ping: return ping();
            case State::NextPing: return nextPing();
            case State::SwitchOn: return switchOn();
            case State::ThirdPing: return thirdPing();
            case State::Settle:
                os::Sleep(kSettleMs);
                return State::Voltage;
            case State::Voltage: return readVoltage(voltage);
            case State::WaitOff: return waitOff();
            case State::Ready:
            case State::Failed: break;
        }
        return state;
    }

    void progress(int step) { progress_(slot_, kPrecheckSteps, step); }

    State fail(std::int32_t number, std::int32_t code, std::source_location where = std::source_location::current()) {
        RecordFailure(slot_, port_, number, code, where);
        return State::Failed;
    }

    State open() {
        Trace(slot_, "BFB : opening comport\n");
        handle_ = WComOpen(port_, kBfbBaud);
        if (handle_ == kInvalidBfbHandle) return fail(kNumCannotOpen, kErrCannotOpen);
        progress(1);
        return State::Ping;
    }

    State ping() {
        Trace(slot_, "BFB : pinging mobile\n");
        if (BfbPing(handle_)) return State::Settle;
        Trace(slot_, "BFB : setting BFB-Mode\n");
        SetBfbMode(handle_);
        return State::NextPing;
    }

    State nextPing() {
        Trace(slot_, "BFB : next ping \n");
        progress(2);
        if (BfbPing(handle_)) return State::Settle;
        if (!updlib::UsesUpdateLoader(slotIndex_)) return State::SwitchOn;
        updlib::SetSlotState(slotIndex_, updlib::SLOT_MANUAL);
        return fail(kNumNoPing, kErrNoPing);
    }

    State switchOn() {
        Trace(slot_, "BFB : switching on mobile\n");
        progress(3);
        if (WMobileOn(handle_)) return State::ThirdPing;
        updlib::SetSlotState(slotIndex_, updlib::SLOT_SWITCH_ON_FAILED);
        return fail(kNumSwitchOnFailed, kErrSwitchOnFailed);
    }

    State thirdPing() {
        Trace(slot_, "BFB : 3d ping\n");
        progress(4);
        if (BfbPing(handle_)) return State::Settle;
        Trace(slot_, "BFB : setting BFB-Mode\n");
        SetBfbMode(handle_);
        if (BfbPing(handle_)) return State::Settle;
        return fail(kNumNoPing, kErrNoPing);
    }

    State readVoltage(std::uint16_t& voltage) {
        Trace(slot_, "BFB : getting voltage\n");
        progress(5);
        voltage = BfbGetVoltage(handle_);
        const updlib::SoftwareInfoHook hook = updlib::GetSoftwareInfoHook();
        if (hook.timing == updlib::kSoftwareInfoAtPrecheck && hook.callback != nullptr) {
            Trace(slot_, "BFB : early consistence check\n");
            progress(6);
            if (!earlyCheck(hook.callback)) return State::Failed;
        }
        const bool ownLoader = updlib::GetUpdateMode() == updlib::kModePerSlot ? putCountCheck() : true;
        if (!updlib::UsesUpdateLoader(slotIndex_)) {
            Trace(slot_, "BFB : switching mobile off\n");
            BfbSwitchOff(handle_);
            return State::WaitOff;
        }
        if (!ownLoader) {
            updlib::SetBootstrapFlag(slotIndex_);
            if (updlib::UsesUpdateLoader(slotIndex_)) return fail(kNumRequestRefused, kErrRequestRefused);
            BfbSwitchOff(handle_);
            return State::WaitOff;
        }
        Trace(slot_, "BFB : starting new Update-Concept\n");
        if (!writeUpdateRequest()) return fail(kNumRequestRefused, kErrRequestRefused);
        if (!BfbRequestCustomerReboot(handle_, rebootBaud_)) return fail(kNumRequestRefused, kErrRequestRefused);
        updlib::SetSlotState(slotIndex_, updlib::SLOT_READY);
        progress(7);
        updlib::ClearBootstrapFlag(slotIndex_);
        return State::Ready;
    }

    State waitOff() {
        Trace(slot_, "BFB : pinging and waiting for switching off\n");
        if (BfbPing(handle_)) {
            os::Sleep(kSwitchOffPollMs);
            return State::WaitOff;
        }
        Trace(slot_, "BFB : now ready\n");
        progress(7);
        updlib::SetSlotState(slotIndex_, updlib::SLOT_READY);
        return State::Ready;
    }

    // The phone's software data against the file's, judged by the host.
    bool earlyCheck(updlib::SoftwareInfoCallback check) {
        xbi::SwInfo file{};
        xbi::FillSwInfo(file);
        xbi::SwInfo phone{};
        Trace(slot_, "BFB : getting SVN\n");
        const std::uint8_t svn = BfbGetSvn(handle_);
        std::snprintf(phone.svn, sizeof phone.svn, "SVN: %02X", static_cast<unsigned>(svn));
        Trace(slot_, "BFB : getting product type\n");
        char productType[kProductTypeSize];
        if (BfbGetProductType(handle_, productType)) CopyIntoField(phone.productType, productType);
        Trace(slot_, "BFB : getting compile date\n");
        char compileDate[kCompileDateSize];
        if (BfbGetCompileDate(handle_, compileDate)) CopyIntoField(phone.compileDate, compileDate);
        return check(slot_, &phone, &file) != 0;
    }

    bool putCountCheck() {
        std::uint32_t putCount = 0;
        char directory[kDirectorySize + 1] = {};
        if (!BfbGetPutCount(handle_, &putCount, directory)) return false;
        updlib::TraceLog(slotIndex_, updlib::kTraceMainSteps, updlib::kTraceBfb, "BFB : Directory: %s putcount : %ld\n",
                         directory, static_cast<long>(putCount));
        return PutCountAllowsUpdateLoader(directory, putCount);
    }

    bool writeUpdateRequest() {
        UpdateRequest previous{};
        std::uint16_t length = 0;
        std::uint8_t value = 0;
        const bool valid = BfbReadBlock(handle_, kUpdateRequestBlock, &length, &value, previous) &&
                           IsValidUpdateRequest(previous, length);
        if (valid && BfbGetBlockStatus() != 0) return false;
        const UpdateRequest record = BuildUpdateRequest(xbi::GetXbiHeader(), valid ? &previous : nullptr);
        return BfbWriteBlock(handle_, kUpdateRequestBlock, kUpdateRequestSize, record[0], record.data()) != 0;
    }

    const int slot_;
    const std::uint32_t slotIndex_;
    const int port_;
    const std::uint32_t rebootBaud_;
    const updlib::StepProgressCallback progress_;
    BfbHandle handle_ = kInvalidBfbHandle;
};

// Steps 1 to 4 of the test on the open port.
bool TestOpenPort(int slot, int port, BfbHandle handle, updlib::StepProgressCallback progress) {
    progress(slot, kTestSteps, 1);
    if (!updlib::UsesUpdateLoader(static_cast<std::uint32_t>(slot)) && !WMobileOn(handle)) {
        RecordFailure(slot, port, kNumSwitchOnFailed, kErrSwitchOnFailed);
        return false;
    }
    os::Sleep(kTestPauseMs);
    progress(slot, kTestSteps, 2);
    if (!BfbPing(handle)) {
        SetBfbMode(handle);
        os::Sleep(kTestPauseMs);
        progress(slot, kTestSteps, 3);
        if (!BfbPing(handle)) {
            RecordFailure(slot, port, kNumNoPing, kErrNoPing);
            return false;
        }
    }
    os::Sleep(kTestPauseMs);
    progress(slot, kTestSteps, 4);
    BfbSwitchOff(handle);
    return true;
}

bool SwTypeTakesNewConcept(std::uint32_t swType) { return swType == xbi::kSwMobSw || swType == xbi::kSwCodeOnly; }

}  // namespace

int BfbPrecheck(int slot, int port, std::uint16_t* voltage, std::uint32_t rebootBaud) {
    *voltage = 0;
    const updlib::StepProgressCallback progress = updlib::GetBfbCallbacks().onPrecheckProgress;
    if (progress == nullptr) {
        RecordFailure(slot, port, kNumCallbacksMissing, kErrCallbacksMissing);
        return 0;
    }
    const auto slotIndex = static_cast<std::uint32_t>(slot);
    updlib::SetSlotState(slotIndex, updlib::SLOT_PRECHECK);
    TraceBanner(slot);
    updlib::ClearBootstrapFlag(slotIndex);
    if (!SwTypeTakesNewConcept(xbi::GetXbiHeader().swType)) {
        if (updlib::GetUpdateMode() == updlib::kModeUpdateLoader) {
            RecordFailure(slot, port, kNumWrongSwType, kErrWrongSwType);
            return 0;
        }
        if (updlib::GetUpdateMode() == updlib::kModePerSlot) updlib::SetBootstrapFlag(slotIndex);
    }
    Precheck precheck(slot, port, rebootBaud, progress);
    if (precheck.run(*voltage)) {
        Trace(slot, "BFB : ready and true\n");
        return 1;
    }
    Trace(slot, "BFB : ready and false\n");
    return 0;
}

int BfbTestNewSoftware(int slot, int port) {
    const updlib::StepProgressCallback progress = updlib::GetBfbCallbacks().onTestProgress;
    if (progress == nullptr) {
        RecordFailure(slot, port, kNumCallbacksMissing, kErrCallbacksMissing);
        return 0;
    }
    const BfbHandle handle = WComOpen(port, kBfbBaud);
    bool passed = false;
    if (handle == kInvalidBfbHandle) {
        RecordFailure(slot, port, kNumCannotOpen, kErrCannotOpen);
    } else {
        passed = TestOpenPort(slot, port, handle, progress);
    }
    progress(slot, kTestSteps, 5);
    if (handle != kInvalidBfbHandle) WComClose(handle);
    return passed ? 1 : 0;
}

}  // namespace bfb
