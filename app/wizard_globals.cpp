#include "app/wizard_globals.h"

std::atomic<int> g_nWizardState{STATE_INIT};
std::atomic<float> g_fProgress{0};
std::atomic<int> g_bRedraw{0};
std::atomic<bool> g_bManualMode{false};
std::atomic<bool> g_bSwInfoValid{false};
std::atomic<bool> g_bBlinkOn{false};
std::string g_strTemp;

xbi::SwInfo g_SwInfoPackage{};
std::atomic<int> g_nPortCount{0};
std::array<std::atomic<int>, kComPortCount> g_abPortAvailable{};

std::atomic<int> g_nPortIndex{0};
std::atomic<int> g_nBaudRate{0};
std::atomic<std::uint16_t> g_wVoltage{0};

std::atomic<int> g_nProgressPhase{0};
std::atomic<std::uint16_t> g_wEraseTotal{0};
std::atomic<std::uint16_t> g_wEraseDone{0};
std::atomic<std::uint32_t> g_dwTransferTotal{0};
std::atomic<std::uint32_t> g_dwTransferDone{0};
std::atomic<int> g_bUpdateDone{0};
std::atomic<int> g_bUpdateFailed{0};

bool IsProtectedState(int state) {
  switch (state) {
    case STATE_INIT:
    case STATE_FOUND:
    case STATE_ERASE:
    case STATE_TRANSFER:
    case STATE_TEST:
      return true;
    default:
      return false;
  }
}

std::array<bool, kComPortCount> AvailablePorts() {
  std::array<bool, kComPortCount> ports{};
  for (int i = 0; i < kComPortCount; ++i) ports[i] = g_abPortAvailable[i].load() != 0;
  return ports;
}
