#include "app/search_thread.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "app/callbacks.h"
#include "app/diag_log.h"
#include "app/error_presentation.h"
#include "app/wizard_globals.h"
#include "bfb/wbfbstat.h"
#include "platform/gui/wnd.h"
#include "platform/os/clock.h"
#include "platform/os/serial.h"
#include "ui/catalogue.h"
#include "updlib/libif.h"
#include "xbi/software_file.h"

namespace {

constexpr int kSlot = 0;
constexpr std::uint32_t kUpdateBaud = 115200;
constexpr std::uint32_t kAnswerWait = 2000;       // ms after each AT request
constexpr std::uint32_t kFailedOpenPause = 1000;  // ms
constexpr std::uint32_t kAfterSearchPause = 1000;
constexpr std::uint32_t kAfterManualCheck = 2000;
constexpr std::uint32_t kOutcomePoll = 500;
constexpr std::uint32_t kSuccessStep = 3333;  // three of them before the success screen
constexpr std::uint32_t kPresetTransferTotal = 62000;
constexpr std::uint32_t kAnswerSize = 200;

constexpr std::string_view kIdentityRequest = "AT+CGSN;I9\r\n";
constexpr std::string_view kSwitchRequest = "AT^KQWE=2\r\n";
constexpr std::uint32_t kLeastIdentityAnswer = 14;
constexpr std::uint32_t kLeastSwitchAnswer = 13;

void Log(const char* text) {
  if (g_bLogEnabled) AppendLog("%s", text);
}

bool Contains(std::string_view text, std::string_view word) { return text.find(word) != std::string_view::npos; }

bool IsExpectedMaker(std::string_view answer) {
  return Contains(answer, "Zelmora") || Contains(answer, "ZELMORA") || Contains(answer, "zelmora");
}

bool IsExpectedModel(std::string_view answer) { return Contains(answer, "VQ20") || Contains(answer, "VQ2X"); }

std::string VoltageText(std::uint16_t mV) {
  char text[32];
  std::snprintf(text, sizeof text, "%d.%03d V", mV / 1000, mV % 1000);
  return text;
}

int UpdateBaud(int port) { return updlib::TestPortSpeed(port, kUpdateBaud) != 0 ? kUpdateBaud : kProbeBaud; }

// The probe's own handle on the port, apart from the library's serial driver.
class ProbeLine {
 public:
  explicit ProbeLine(const char* name) : m_port(os::OpenSerialPort(name)) {}
  ~ProbeLine() {
    if (m_port != nullptr) os::CloseSerialPort(m_port);
  }
  ProbeLine(const ProbeLine&) = delete;
  ProbeLine& operator=(const ProbeLine&) = delete;

  bool IsOpen() const { return m_port != nullptr; }

  // The baud rate, 8 data bits, no parity, one stop bit; the rest as the port had it.
  void SetLine(int baud) {
    os::SerialSettings settings;
    os::GetSerialSettings(m_port, settings);
    settings.baudRate = static_cast<std::uint32_t>(baud);
    settings.byteSize = 8;
    settings.parity = os::kNoParity;
    settings.stopBits = os::kOneStopBit;
    os::SetSerialSettings(m_port, settings);
  }

  // Writes the request, waits for the answer and reads what came, at most 200 bytes. False when
  // fewer than least bytes came or the read failed.
  bool Ask(std::string_view request, std::uint32_t least, std::string& answer) {
    std::uint32_t written = 0;
    os::WriteSerial(m_port, request.data(), static_cast<std::uint32_t>(request.size()), &written);
    os::Sleep(kAnswerWait);
    std::uint32_t errors = 0;
    std::uint32_t waiting = 0;
    os::ClearSerialErrors(m_port, &errors, &waiting);
    if (waiting > kAnswerSize) waiting = kAnswerSize;
    if (waiting < least) return false;
    char buffer[kAnswerSize + 1] = {};
    std::uint32_t got = 0;
    if (!os::ReadSerial(m_port, buffer, waiting, &got)) return false;
    answer.assign(buffer, got);
    return true;
  }

 private:
  os::SerialPort* m_port;
};

void LogAnswer(const char* header, const std::string& answer) {
  if (!g_bLogEnabled) return;
  AppendLog("%s", header);
  AppendLogText(answer);
}

void LogImei(std::string_view answer) {
  const std::size_t blank = answer.find("\r\n\r\n");
  if (blank == std::string_view::npos || !g_bLogEnabled) return;
  const std::string imei(answer.substr(blank + 4, 15));
  AppendLog("IMEI: %s\r\n", imei.c_str());
}

unsigned Post(void* view, WPARAM phase, LPARAM result) {
  ::PostMessage(static_cast<HWND>(view), WM_WORKER_RESULT, phase, result);
  return 0;
}

// A library failure: its text on the first line, the second as given, the software file given
// back.
unsigned FailWithLibraryError(void* view, WPARAM phase, LPARAM result, const std::string& line2) {
  ShowLibraryError(kSlot);
  g_strErrorLine2 = line2;
  xbi::ReleaseSoftwareFile();
  return Post(view, phase, result);
}

unsigned StartUpdate(void* view, bool logBaud) {
  g_nProgressPhase = 0;
  g_dwTransferTotal = kPresetTransferTotal;
  if (logBaud && g_bLogEnabled) AppendLog("Begin transmission with %dBaud.\r\n", g_nBaudRate.load());
  InstallProcedureCallbacks();
  if (updlib::StartUpdateSlot(kSlot, g_nPortIndex, static_cast<std::uint32_t>(g_nBaudRate.load())) == 0) {
    return FailWithLibraryError(view, 4, 1, {});
  }
  do {
    os::Sleep(kOutcomePoll);
  } while (g_bUpdateFailed == 0 && g_bUpdateDone == 0);
  if (g_bUpdateFailed != 0) return FailWithLibraryError(view, 6, 1, {});

  g_fProgress = 98;
  if (bfb::BfbTestNewSoftware(kSlot, g_nPortIndex) != 1) return FailWithLibraryError(view, 7, 1, {});
  Log("Update success!!!\r\n");
  xbi::ReleaseSoftwareFile();
  os::Sleep(kSuccessStep);
  g_fProgress = 99;
  os::Sleep(kSuccessStep);
  g_fProgress = 100;
  os::Sleep(kSuccessStep);
  g_nWizardState = STATE_RESULT;
  return Post(view, 8, 0);
}

unsigned ManualStart(void* view) {
  g_nBaudRate = UpdateBaud(g_nPortIndex);
  std::uint16_t voltage = 0;
  Log(bfb::BfbPrecheck(kSlot, g_nPortIndex, &voltage, kUpdateBaud) != 0 ? "Pre Check Success!\r\n"
                                                                        : "Pre Check No Success!\r\n");
  os::Sleep(kAfterManualCheck);
  g_nWizardState = STATE_PRESS_ON_OFF;
  g_bRedraw = 1;
  return StartUpdate(view, true);
}

void LogSearchOutcome(bool found) {
  if (!g_bLogEnabled) return;
  if (g_wVoltage != 0) {
    AppendLog("Mobile found at COM%d with %dBaud.\r\nMobile Voltage: %dmV.\r\n\r\n", g_nPortIndex + 1,
              g_nBaudRate.load(), g_wVoltage.load());
  } else if (found) {
    AppendLog("Mobile found at COM%d with %dBaud.\r\n", g_nPortIndex + 1, g_nBaudRate.load());
  } else {
    AppendLog("No Mobile found!\r\n");
  }
}

unsigned AutomaticStart(void* view) {
  g_wVoltage = 0;
  g_fProgress = 0;
  g_wEraseTotal = 0;
  g_dwTransferTotal = 0;
  bool found = false;
  const float step = 100.0f / static_cast<float>(g_nPortCount > 0 ? g_nPortCount.load() : 1);
  Log("Looking for mobile.\r\n");
  for (int index = 0; index < kComPortCount; ++index) {
    if (g_abPortAvailable[index] == 0 || found) continue;
    found = ProbePort(index, kProbeBaud);
    g_fProgress = g_fProgress + step;
  }
  if (found) {
    std::uint16_t voltage = 0;
    const int checked = bfb::BfbPrecheck(kSlot, g_nPortIndex, &voltage, UpdateBaud(g_nPortIndex));
    g_wVoltage = voltage;
    if (checked == 0) return FailWithLibraryError(view, 3, 3, VoltageText(voltage));
  }
  g_fProgress = 100;
  LogSearchOutcome(found);
  os::Sleep(kAfterSearchPause);
  if (g_wVoltage == 0) {
    g_strErrorLine1.Clear();
    g_strErrorLine2.Clear();
    return Post(view, 3, 1);  // the software file stays loaded for the manual start
  }
  if (g_wVoltage < kLeastVoltage) {
    g_strErrorLine1 = g_strErrBatteryLow;
    g_strErrorLine2 = VoltageText(g_wVoltage);
    xbi::ReleaseSoftwareFile();
    return Post(view, 3, 2);
  }
  g_nBaudRate = UpdateBaud(g_nPortIndex);
  g_nWizardState = STATE_FOUND;
  g_bRedraw = 1;
  return StartUpdate(view, true);
}

}  // namespace

bool ProbePort(int index, int baud) {
  g_nPortIndex = index;
  g_nBaudRate = baud;
  if (index < 0 || index >= kComPortCount) return false;
  const std::string name = "COM" + std::to_string(index + 1);
  if (g_bLogEnabled) AppendLog("AT Request with %d at %s\r\n", baud, name.c_str());
  if (updlib::TestPortSpeed(index, static_cast<std::uint32_t>(baud)) == 0) {
    os::Sleep(kFailedOpenPause);
    return false;
  }
  Log("COM Port and Speed OK\r\n");
  ProbeLine line(name.c_str());
  if (!line.IsOpen()) {
    os::Sleep(kFailedOpenPause);
    return false;
  }
  line.SetLine(baud);
  std::string answer;
  if (!line.Ask(kIdentityRequest, kLeastIdentityAnswer, answer)) return false;
  Log("\r\nAnswer - OK\r\n");
  LogAnswer("Answer of AT request:\r\n", answer);
  if (Contains(answer, "ERROR")) {
    if (!line.Ask(kSwitchRequest, kLeastSwitchAnswer, answer)) return false;
    LogAnswer("\r\nAnswer of AT^KQWE=2 request:\r\n", answer);
    if (!line.Ask(kIdentityRequest, kLeastIdentityAnswer, answer)) return false;
    LogAnswer("Answer of AT request:\r\n", answer);
  }
  if (!IsExpectedMaker(answer)) return false;
  if (!IsExpectedModel(answer)) {
    Log("No correct answer of AT request!!\r\n");
    return false;
  }
  LogImei(answer);
  return true;
}

unsigned SearchThreadProc(void* viewWindowHandle) {
  return g_bManualMode ? ManualStart(viewWindowHandle) : AutomaticStart(viewWindowHandle);
}
