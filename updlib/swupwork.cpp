#include "updlib/swupwork.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "flashlink/wseril1.h"
#include "flashlink/wseril2.h"
#include "flashlink/wseril3.h"
#include "platform/os/clock.h"
#include "platform/os/named_mutex.h"
#include "platform/os/thread.h"
#include "updlib/error_registry.h"
#include "updlib/trace.h"
#include "updlib/wmob_err.h"
#include "xbi/heaplib.h"
#include "xbi/software_file.h"

namespace updlib {
namespace {

namespace fl = flashlink;

constexpr const char* kModule = "swupwork";

// Waits for the phone's first message, by how the phone was connected.
constexpr std::uint32_t kFirstWaitAfterReboot = 30000;
constexpr std::uint32_t kFirstWaitConnected = 3000;
// Waits for the answers of the update loader.
constexpr std::uint32_t kIdentifyAnswerMs = 2000;
constexpr std::uint32_t kSplitAnswerMs = 5000;
constexpr std::uint32_t kCompressionAnswerMs = 5000;
constexpr std::uint32_t kLanguageGroupAnswerMs = 5000;
constexpr std::uint32_t kNewSplitAnswerMs = 5000;
constexpr std::uint32_t kStatusAfterEndMs = 10000;
constexpr std::uint32_t kImageBlockAnswerMs = 5000;
constexpr std::uint32_t kBgjBlockAnswerMs = 1000;

// Line time-outs the loader is told before the flash is touched, and before a host question.
constexpr std::uint32_t kBlockTimeout = 200;
constexpr std::uint32_t kByteTimeout = 30;
constexpr std::uint32_t kBlockTimeoutProductQuestion = 2000;

constexpr std::uint32_t kMbitBytes = 131072;
constexpr std::uint32_t kBgjInvalidOffset = 0x1FC;
constexpr std::uint32_t kBgjProjectClass = 5;  // the project class whose files carry a BGJ

// Consistency reasons asked of the host.
constexpr std::uint16_t kReasonProductType = 1;
constexpr std::uint16_t kReasonOlderVersion = 2;
constexpr std::uint16_t kReasonOlderDate = 4;
constexpr std::uint16_t kReasonOlderDateAndVersion = 6;

// Offsets in the parameters of the version answer 0xC3.
constexpr std::size_t kVersionDate = 0;
constexpr std::size_t kVersionTime = 8;
constexpr std::size_t kVersionProductType = 16;
constexpr std::size_t kVersionSvn = 32;
constexpr std::size_t kDateChars = 8;
constexpr std::size_t kProductTypeChars = 16;

// Connect hook out values.
constexpr std::uint32_t kConnectWait3000 = 1;
constexpr std::uint32_t kConnectRefused = 0;
constexpr std::uint32_t kConnectNotAnswered = 2;
constexpr std::uint32_t kConnectWait30000 = 3;

// Project names of the phone maker whose split parts are write-enabled in whole 64 KB blocks.
constexpr std::array<std::string_view, 8> k64kProjects = {
    "VQ20", "VQ2X", "VQ21", "VQ22", "VQ25", "VQ30", "VQ35", "VQ40",
};
constexpr std::uint32_t k64k = 0x10000;

// Status of the phone's data block after the end of transmission: 0 when its final check passed.
constexpr std::uint8_t kFinalCheckPassed = 0x00;
constexpr std::int32_t kCodeFinalCheckFailed = 0x0409;

std::string_view FieldText(const char* field, std::size_t size) {
    return {field, strnlen(field, size)};
}

// The decimal number of the digits behind "SVN: ".
std::uint16_t SvnNumber(const SwInfo& info) {
    const std::string_view svn = FieldText(info.svn, sizeof info.svn);
    constexpr std::string_view kPrefix = "SVN: ";
    if (svn.substr(0, kPrefix.size()) != kPrefix) return 0;
    std::uint32_t value = 0;
    for (char c : svn.substr(kPrefix.size())) {
        if (c < '0' || c > '9') break;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return static_cast<std::uint16_t>(value);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

// Moves image behind the command blocks it starts with and lowers remaining by their size. Works
// on the run's own copy of the data position, so that slots sending the same file at the same
// time do not move each other's position.
void SkipLeadingCommandBlocks(const std::uint8_t*& image, std::uint32_t& remaining) {
    while (remaining >= xbi::kBlockOverhead && image[0] == 0xFF && image[1] == 0xFF &&
           image[2] == 0xFF) {
        const std::uint32_t size = image[3] + static_cast<std::uint32_t>(xbi::kBlockOverhead);
        if (size > remaining) break;
        image += size;
        remaining -= size;
    }
}

// One run of the update procedure on one slot.
class UpdateRun {
public:
    explicit UpdateRun(const SlotStartRecord& record)
        : slot_(record.slot),
          port_(record.port),
          baud_(record.baud),
          callbacks_(GetProcedureCallbacks()),
          header_(xbi::GetXbiHeader()),
          image_(xbi::GetHeapData()),
          remaining_(xbi::GetDataBytesToSend()) {}

    void Run();

private:
    // Endings of a failed run.
    void EndE1();
    void EndE2();
    void EndSuccess();
    // Closes the port when this run opened it: closing a port that is not open would record
    // 0x0103 over the error that ended the run.
    void ClosePort();

    bool Start();
    bool Connect();
    bool MeetLoader();
    bool Identify();
    bool CheckFit();
    bool AskConsistency(std::uint16_t reason, std::uint32_t blockTimeout);
    bool PrepareFlash();
    bool EnableSplitBlocks();
    bool Erase();
    bool SendParameters();
    bool Transfer();
    void Finish();

    bool Wait(std::uint8_t id, std::uint32_t ms, fl::CmdBlockBuffer& into) {
        return fl::WaitForCmdBlock(port_, &into, id, ms) != 0;
    }
    void Number(std::int32_t number, int line) { SetErrorNumber(port_, number, kModule, line); }
    template <typename... Args>
    void Add(std::int32_t code, const char* types = "", const Args&... args) {
        AddError(slot_, code, types, args...);
    }
    void Trace(int level, const char* text) {
        TraceLog(slot_, level, kTraceProcedure, "%s", text);
    }

    int slot_;
    int port_;
    std::uint32_t baud_;
    ProcedureCallbacks callbacks_;
    const xbi::XbiHeader& header_;
    const std::uint8_t* image_;
    std::uint32_t remaining_;

    fl::CmdBlockBuffer answer_;
    fl::CmdBlockBuffer secondAnswer_;
    SwInfo fileInfo_{};
    SwInfo phoneInfo_{};
    std::uint32_t signatureState_ = fl::kSignatureNotTaken;
    std::uint32_t firstWait_ = kFirstWaitAfterReboot;
    bool portOpen_ = false;
};

void UpdateRun::ClosePort() {
    if (portOpen_) fl::ComClose(port_);
    portOpen_ = false;
}

void UpdateRun::EndE1() {
    if (callbacks_.onUpdateFailure) callbacks_.onUpdateFailure(slot_);
    ClosePort();
}

void UpdateRun::EndE2() {
    fl::SendSwitchOff(port_);
    ClosePort();
    if (callbacks_.onUpdateFailure) callbacks_.onUpdateFailure(slot_);
}

void UpdateRun::EndSuccess() {
    ClosePort();
    if (callbacks_.onUpdateSuccess) callbacks_.onUpdateSuccess(slot_);
}

void UpdateRun::Run() {
    if (remaining_ == 0) {  // no software loaded
        EndSuccess();
        return;
    }
    if (!Start() || !Connect()) return;
    if (!MeetLoader() || !Identify() || !CheckFit() || !PrepareFlash()) return;
    if (!Erase() || !SendParameters() || !Transfer()) return;
    Finish();
}

bool UpdateRun::Start() {
    BindTraceSlot(port_, slot_);
    SetAdditionalErrorInfo(port_, "Error opening Mutex");
    os::NamedMutex* mutex = os::OpenNamedMutex("mvx_mutex");
    if (mutex == nullptr) {
        Add(0x0618, "d", port_ + 1);
        EndE1();
        return false;
    }
    os::CloseNamedMutex(mutex);  // StartUpdateSlot keeps the mutex alive; it is taken by its handle
    fl::RegisterCmdBlockHandler(kMobileErrorMessage, DecodeMobileError);
    Number(51, __LINE__);
    SetAdditionalErrorInfo(port_, "Cant connect to Mobile with BootstrapLoader on Com %d", port_ + 1);
    return true;
}

bool UpdateRun::Connect() {
    if (GetSlotState(static_cast<std::uint32_t>(slot_)) == SLOT_READY) {
        TraceLog(slot_, kTraceDetails, kTraceSerial, "Opening Comport %d with Speed %ld\n",
                 port_ + 1, static_cast<long>(baud_));
        firstWait_ = kFirstWaitAfterReboot;
        if (!fl::ComOpen(port_, baud_, fl::kComNoParity)) {
            TraceLog(slot_, kTraceDetails, kTraceSerial, "Not possible to open Comport\n");
            Number(1, __LINE__);
            SetAdditionalErrorInfo(port_, "Opening Comport %d with Speed %d Baud not possible",
                                   port_ + 1, static_cast<int>(baud_));
            Add(0x0604, "dd", port_ + 1, baud_);
            if (callbacks_.onUpdateFailure) callbacks_.onUpdateFailure(slot_);
            return false;
        }
        portOpen_ = true;
        return true;
    }
    if (!UsesUpdateLoader(static_cast<std::uint32_t>(slot_))) {
        // The bootstrap loader component of mode 2 is not part of this system.
        EndE1();
        return false;
    }

    os::SetCurrentThreadPriority(os::ThreadPriority::Highest);
    os::NamedMutex* mutex = GetUpdateMutex();
    os::WaitNamedMutex(mutex, os::kInfinite);
    std::uint32_t waitCode = 0;
    const ConnectHook hook = GetConnectHook();
    const int connected = hook != nullptr
                              ? hook(&waitCode, slot_, port_, baud_, callbacks_.onConnectProgress)
                              : 0;
    os::ReleaseNamedMutex(mutex);
    portOpen_ = connected != 0;
    if (!connected) {
        Add(0x0616, "d", port_ + 1);
        EndE1();
        return false;
    }
    os::SetCurrentThreadPriority(os::ThreadPriority::AboveNormal);
    switch (waitCode) {
        case kConnectWait3000: firstWait_ = kFirstWaitConnected; return true;
        case kConnectWait30000: firstWait_ = kFirstWaitAfterReboot; return true;
        case kConnectRefused: Add(0x061E); break;
        case kConnectNotAnswered: Add(0x061F); break;
        default: Add(0x0616, "d", port_ + 1); break;
    }
    EndE1();
    return false;
}

bool UpdateRun::MeetLoader() {
    if (!Wait(fl::kMsgLoaderReady, firstWait_, answer_)) {
        Add(0x061B);
        EndE1();
        return false;
    }
    os::Sleep(10);
    if (header_.mapInfoComplete) {
        fl::SendAdditionalInfo(port_, header_.mapInfo.data(),
                               static_cast<std::uint16_t>(header_.mapInfo.size()));
    }
    os::Sleep(10);
    if (UsesUpdateLoader(static_cast<std::uint32_t>(slot_))) {
        const fl::SignatureSource file{xbi::GetHashList, xbi::FindSignature};
        if (!fl::NegotiateSignature(port_, signatureState_, file)) {
            EndE2();
            return false;
        }
    }
    return true;
}

bool UpdateRun::Identify() {
    Trace(kTraceDetails, "Requesting Flash-Code\n");
    fl::RequestFlashCode(port_, static_cast<std::uint8_t>(header_.flashCodeRequest));
    Number(53, __LINE__);
    if (!Wait(fl::kMsgFlashCode, kIdentifyAnswerMs, answer_)) {
        Add(0x0605);
        EndE2();
        return false;
    }
    const std::uint8_t* p = answer_.params;
    TraceLog(slot_, kTraceDetails, kTraceProcedure, "Received Flash-Code %02X%02X\n", p[2], p[1]);
    if (p[0] != 1) {
        Number(59, __LINE__);
        SetAdditionalErrorInfo(port_, "Unknown Flashcode %02X%02X", p[2], p[1]);
        Add(0x0606, "XX", p[2], p[1]);
        EndE2();
        return false;
    }
    if (callbacks_.onFlashCode) {
        callbacks_.onFlashCode(slot_, static_cast<std::uint16_t>(p[1] + 256 * p[2]), "");
    }

    Trace(kTraceDetails, "Requesting Flash-Size\n");
    fl::RequestFlashSize(port_);
    if (!Wait(fl::kMsgFlashSize, kIdentifyAnswerMs, answer_)) {
        Number(54, __LINE__);
        Add(0x0607);
        EndE2();
        return false;
    }
    const std::uint32_t mbit = answer_.params[0] + 256u * answer_.params[1];
    TraceLog(slot_, kTraceDetails, kTraceProcedure, "Received Flash-Size :%d MBit \n",
             static_cast<int>(mbit));
    const std::uint32_t capacity = mbit * kMbitBytes;
    if (capacity < header_.softwareSize) {
        Number(55, __LINE__);
        SetAdditionalErrorInfo(port_,
                               "Error : you are trying to update a SW for %ld Bytes into a Mobile "
                               "with only space for %ld Bytes !",
                               static_cast<long>(header_.softwareSize), static_cast<long>(capacity));
        Add(0x0608, "dd", header_.softwareSize, capacity);
        EndE2();
        return false;
    }

    Trace(kTraceDetails, "Requesting SW-Version\n");
    fl::RequestSwVersion(port_);
    if (!Wait(fl::kMsgSwVersion, kIdentifyAnswerMs, answer_)) {
        Add(0x061D);
        EndE2();
        return false;
    }
    char asText[sizeof answer_.params + 1] = {};
    std::memcpy(asText, answer_.params, answer_.count);
    TraceLog(slot_, kTraceDetails, kTraceProcedure, "Received SW-Version-Data : %s\n", asText);
    MakeMobileSwInfo(phoneInfo_, answer_.params);
    return true;
}

bool UpdateRun::AskConsistency(std::uint16_t reason, std::uint32_t blockTimeout) {
    fl::SendBlockTimeout(port_, blockTimeout);
    return callbacks_.onConsistencyProblem != nullptr &&
           callbacks_.onConsistencyProblem(slot_, &phoneInfo_, &fileInfo_, reason) != 0;
}

bool UpdateRun::CheckFit() {
    if (header_.swType == xbi::kSwDiffFile) {
        if (CheckDiffDate(port_, header_, answer_.params)) return true;
        EndE2();
        return false;
    }
    xbi::FillSwInfo(fileInfo_);
    const SoftwareInfoHook info = GetSoftwareInfoHook();
    if (info.callback != nullptr && info.timing == kSoftwareInfoAtUpdate &&
        info.callback(slot_, &phoneInfo_, &fileInfo_) == 0) {
        EndE2();
        return false;
    }

    const std::uint16_t fileSvn = SvnNumber(fileInfo_);
    const std::uint16_t phoneSvn = SvnNumber(phoneInfo_);
    const std::string_view fileType = FieldText(fileInfo_.productType, kProductTypeChars);
    const std::string_view phoneType = FieldText(phoneInfo_.productType, kProductTypeChars);
    const std::string_view fileSvnText = FieldText(fileInfo_.svn, sizeof fileInfo_.svn);
    const std::string_view phoneSvnText = FieldText(phoneInfo_.svn, sizeof phoneInfo_.svn);
    const std::string_view fileDate = FieldText(fileInfo_.compileDate, kDateChars);
    const std::string_view phoneDate = FieldText(phoneInfo_.compileDate, kDateChars);
    const std::string fileTypeText(fileType), phoneTypeText(phoneType);
    const std::string fileSvnStr(fileSvnText), phoneSvnStr(phoneSvnText);
    const std::string fileDateStr(fileDate), phoneDateStr(phoneDate);

    if (fileType != phoneType && !AskConsistency(kReasonProductType, kBlockTimeoutProductQuestion)) {
        SetAdditionalErrorInfo(port_, "Error : Update of %s SW not possible into a %s !",
                               fileTypeText.c_str(), phoneTypeText.c_str());
        Add(0x060A, "ss", fileTypeText, phoneTypeText);
        EndE2();
        return false;
    }
    if (IsDateOlder(fileDateStr.c_str(), phoneDateStr.c_str())) {
        const std::uint16_t reason =
            fileSvn < phoneSvn ? kReasonOlderDateAndVersion : kReasonOlderDate;
        if (!AskConsistency(reason, kBlockTimeout)) {
            SetAdditionalErrorInfo(port_,
                                   "Error : SW-Date and Version are incompatible, Mobile: %s Date: "
                                   "%s <=> File: %s Date: %s  !",
                                   phoneSvnStr.c_str(), phoneDateStr.c_str(), fileSvnStr.c_str(),
                                   fileDateStr.c_str());
            Add(0x060B, "ssss", phoneSvnStr, phoneDateStr, fileSvnStr, fileDateStr);
            EndE2();
            return false;
        }
    } else if (fileSvn < phoneSvn && !AskConsistency(kReasonOlderVersion, kBlockTimeout)) {
        SetAdditionalErrorInfo(port_, "Error : SW-Version is incompatible, Mobile: %s <=> File: %s !",
                               phoneSvnStr.c_str(), fileSvnStr.c_str());
        Add(0x060C, "ss", phoneSvnStr, fileSvnStr);
        EndE2();
        return false;
    }
    return true;
}

bool UpdateRun::PrepareFlash() {
    TraceLog(slot_, kTraceDetails, kTraceProcedure, "Sending Block-Timeout-Val %d \n",
             static_cast<int>(kBlockTimeout));
    fl::SendBlockTimeout(port_, kBlockTimeout);
    TraceLog(slot_, kTraceDetails, kTraceProcedure, "Sending Byte-Timeout-Val %d \n",
             static_cast<int>(kByteTimeout));
    fl::SendByteTimeout(port_, kByteTimeout);
    os::Sleep(10);

    const std::uint32_t type = header_.swType;
    if (type == xbi::kSwLangOnly || type == xbi::kSwCodeAndLang ||
        type == xbi::kSwExtendedNewSplit) {
        fl::SendSplitInfo(port_, header_.splitBase - header_.softwareSize + 0x1000000);
        if (!Wait(fl::kMsgSplitAnswer1, kSplitAnswerMs, answer_) ||
            !Wait(fl::kMsgSplitAnswer2, kSplitAnswerMs, secondAnswer_)) {
            Number(62, __LINE__);
            Add(0x060D);
            EndE2();
            return false;
        }
        const std::uint8_t* p = answer_.params;
        const std::uint32_t phoneSplitId = (std::uint32_t{p[4]} << 24) | (std::uint32_t{p[5]} << 16) |
                                           (std::uint32_t{p[6]} << 8) | p[7];
        if (phoneSplitId != header_.splitId) {
            TraceLog(slot_, kTraceDetails, kTraceProcedure,
                     "SW in Mobile, Split-ID %08X  ID in Header %08X\n", phoneSplitId,
                     header_.splitId);
            Number(63, __LINE__);
            Add(0x060E);
            EndE2();
            return false;
        }
        if (type == xbi::kSwExtendedNewSplit && header_.eraseList.empty()) {
            if (!EnableSplitBlocks()) return false;
        } else {
            fl::EnableFlashWriteAll(port_);
        }
    }
    if (type == xbi::kSwLangOnly) return true;

    if ((type == xbi::kSwMobSw || type == xbi::kSwCodeOnly) &&
        signatureState_ <= fl::kSignatureNotNeeded && !InvalidateBgj(port_, header_.projectClass)) {
        Trace(kTraceDetails, "Can not invalidate BGJ");
        Number(66, __LINE__);
        Add(0x061C);
        EndE2();
        return false;
    }
    return true;
}

bool UpdateRun::EnableSplitBlocks() {
    const bool widen = IsIn64kTable(FieldText(header_.projectName, sizeof header_.projectName));
    std::vector<fl::EraseArea> areas;
    std::vector<fl::BlockRange> ranges;
    try {
        areas.reserve(header_.splitList.size());
    } catch (const std::bad_alloc&) {
        Trace(kTraceMostDetailed, "malloc error...");
        EndE2();
        return false;
    }
    for (const xbi::SplitElement& element : header_.splitList) {
        fl::EraseArea area{element.start, element.end};
        if (widen) {
            area.start -= area.start % k64k;
            area.end = area.end - area.end % k64k + (k64k - 1);
        }
        areas.push_back(area);
    }
    std::uint16_t count = 0;
    if (!fl::RequestEraseAreas(port_, ranges, areas, &count)) {
        EndE2();
        return false;
    }
    for (const fl::BlockRange& range : ranges) {
        for (std::uint32_t block = range.first; block <= range.last; ++block) {
            TraceLog(slot_, kTraceDetails, kTraceProcedure, "Sending Update-Block: %d \n",
                     static_cast<int>(block));
            if (!fl::EnableFlashWriteBlock(port_, static_cast<std::uint16_t>(block))) {
                Number(206, __LINE__);
                Add(0x0610);
                EndE2();
                return false;
            }
        }
    }
    return true;
}

bool UpdateRun::Erase() {
    if (header_.swType == xbi::kSwLangOnly) return true;
    if (UsesUpdateLoader(static_cast<std::uint32_t>(slot_))) {
        if (fl::EraseWithNewConcept(port_, slot_, callbacks_.onEraseProgress) == 1) {
            SkipLeadingCommandBlocks(image_, remaining_);
        }
        return true;
    }
    if (header_.eraseList.empty()) return true;
    std::vector<fl::EraseArea> areas;
    for (const xbi::EraseRange& range : header_.eraseList) areas.push_back({range.start, range.end});
    std::vector<fl::BlockRange> ranges;
    std::uint16_t count = 0;
    if (!fl::RequestEraseAreas(port_, ranges, areas, &count) ||
        !fl::EraseBlocks(port_, ranges, slot_, count, callbacks_.onEraseProgress)) {
        EndE2();
        return false;
    }
    return true;
}

bool UpdateRun::SendParameters() {
    os::Sleep(100);
    fl::SendParameterA0(port_, static_cast<std::uint16_t>(header_.parameterA0));
    if (header_.compressionType != 3) return true;
    fl::SendCompressionInfo(port_, static_cast<std::uint16_t>(header_.compressionValue1),
                            static_cast<std::uint8_t>(header_.compressionValue2),
                            static_cast<std::uint8_t>(header_.compressionValue3),
                            header_.compressionValues4To6[0], header_.compressionValues4To6[1],
                            header_.compressionValues4To6[2]);
    if (!Wait(fl::kMsgCompressionAnswer, kCompressionAnswerMs, answer_)) {
        Number(60, __LINE__);
        Add(0x0611);
        EndE2();
        return false;
    }
    if (answer_.params[0] != 1) {
        Number(61, __LINE__);
        Add(0x0619);
        EndE1();
        return false;
    }
    return true;
}

bool UpdateRun::Transfer() {
    Number(56, __LINE__);
    if (callbacks_.onTransferTotal) callbacks_.onTransferTotal(slot_, remaining_);
    Trace(kTraceMostDetailed, "Starting SW-Transmittion\n");
    if (image_ == nullptr) {
        Add(0x061A);
        EndE2();
        return false;
    }
    if (!fl::StartHashing(port_, signatureState_) ||
        !fl::SendImage(port_, image_, remaining_, kImageBlockAnswerMs, slot_,
                       callbacks_.onTransferProgress)) {
        EndE2();
        return false;
    }
    return true;
}

void UpdateRun::Finish() {
    const std::uint32_t type = header_.swType;
    if (type == xbi::kSwLangOnly || type == xbi::kSwCodeAndLang) {
        std::uint32_t groups[4];
        std::memcpy(groups, header_.languageGroup, sizeof groups);
        fl::SendLanguageGroupInfo(port_, groups);
        if (!Wait(fl::kMsgLanguageGroupAnswer, kLanguageGroupAnswerMs, answer_)) {
            Number(64, __LINE__);
            Add(0x0612);
            EndE2();
            return;
        }
        EndSuccess();
        return;
    }
    if (type == xbi::kSwExtendedNewSplit) {
        for (const xbi::SplitElement& element : header_.splitList) {
            fl::SendNewSplitInfo(port_, element.start, element.end, element.third);
            if (!Wait(fl::kMsgNewSplitAnswer, kNewSplitAnswerMs, answer_)) {
                Number(65, __LINE__);
                Add(0x0613);
                EndE2();
                return;
            }
        }
        fl::SendSwitchOff(port_);
        EndSuccess();
        return;
    }
    fl::SendEndOfTransmission(port_);
    Number(57, __LINE__);
    if (!Wait(fl::kMsgStatusAfterEnd, kStatusAfterEndMs, answer_)) {
        Add(0x0614);
        EndE2();
        return;
    }
    // The phone's final check of the flashed software (hash entries): a failed check is no success.
    if (answer_.count > 0 && answer_.params[0] != kFinalCheckPassed) {
        SetAdditionalErrorInfo(port_, "check-sum-error final test");
        Add(kCodeFinalCheckFailed);
        EndE2();
        return;
    }
    EndSuccess();
}

}  // namespace

void UpdateSlotThread(SlotStartRecord record) {
    UpdateRun run(record);
    run.Run();
}

void MakeMobileSwInfo(SwInfo& out, const std::uint8_t* p) {
    out = SwInfo{};
    std::memcpy(out.productType, p + kVersionProductType, kProductTypeChars);
    std::snprintf(out.svn, sizeof out.svn, "SVN: %X", p[kVersionSvn]);
    std::memcpy(out.compileDate, p + kVersionDate, kDateChars);
    std::memcpy(out.compileTime, p + kVersionTime, kDateChars);
}

int IsDateOlder(const char* a, const char* b) {
    const auto year = [](const char* date) {
        const int digits = (date[6] - '0') * 10 + (date[7] - '0');
        return digits < 90 ? digits + 2000 : digits + 1900;
    };
    const int yearA = year(a);
    const int yearB = year(b);
    if (yearA != yearB) return yearA < yearB ? 1 : 0;
    for (const int at : {3, 4, 0, 1}) {  // month, then day, character by character
        const auto x = static_cast<unsigned char>(a[at]);
        const auto y = static_cast<unsigned char>(b[at]);
        if (x != y) return x < y ? 1 : 0;
    }
    return 0;
}

int CheckDiffDate(int port, const xbi::XbiHeader& header, const std::uint8_t* p) {
    const auto slot = static_cast<std::uint32_t>(FindTraceSlot(port));
    char phoneDate[kDateChars + 1] = {};
    std::memcpy(phoneDate, p + kVersionDate, kDateChars);
    TraceLog(slot, kTraceDetails, kTraceProcedure, "SW in Mobile, Time : %s XBI-Info-Old-Date : %s \n",
             phoneDate, header.oldDate);
    bool noDate = true;
    for (std::size_t i = 0; i < kDateChars; ++i) noDate = noDate && p[kVersionDate + i] == 0xFF;
    if (noDate) {
        SetErrorNumber(port, 500, kModule, __LINE__);
        SetAdditionalErrorInfo(port, "No Date/Time-Info available, impossible to DIFF-Swup");
        AddError(slot, 0x0600, "");
        return 0;
    }
    if (std::memcmp(p + kVersionDate, header.oldDate, kDateChars) != 0) {
        SetErrorNumber(port, 501, kModule, __LINE__);
        SetAdditionalErrorInfo(port, "Wrong Date/Time for DIFF-SWUP ! XDI must fit exactly to SW in Mobile");
        AddError(slot, 0x0601, "");
        return 0;
    }
    if (std::memcmp(p + kVersionTime, header.oldTime, kDateChars) != 0) {
        SetErrorNumber(port, 501, kModule, __LINE__);
        SetAdditionalErrorInfo(port, "Wrong Date/Time for DIFF-SWUP ! XDI must fit exactly to SW in Moibile");
        AddError(slot, 0x0601, "");
        return 0;
    }
    return 1;
}

int InvalidateBgj(int port, std::uint32_t projectClass) {
    const std::uint32_t bgj = xbi::GetXbiHeader().bgjAddress;
    if (bgj == 0 || projectClass != kBgjProjectClass) return 1;
    if (!fl::EnableFlashWriteAll(port)) return 0;
    TraceLog(static_cast<std::uint32_t>(FindTraceSlot(port)), kTraceMainSteps, kTraceProcedure,
             "Invalidate BGJ\n");
    const std::uint32_t address = bgj + kBgjInvalidOffset;
    std::uint8_t block[6] = {static_cast<std::uint8_t>(address >> 16),
                             static_cast<std::uint8_t>(address >> 8),
                             static_cast<std::uint8_t>(address), 1, 0x00, 0};
    for (int i = 0; i < 5; ++i) block[5] ^= block[i];
    std::uint32_t sent = 0;
    return fl::SendBlock(port, block, kBgjBlockAnswerMs, &sent);
}

bool IsIn64kTable(std::string_view projectName) {
    for (std::string_view name : k64kProjects) {
        if (EqualsIgnoringCase(name, projectName)) return true;
    }
    return false;
}

}  // namespace updlib
