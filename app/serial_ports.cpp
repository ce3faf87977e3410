#include "app/serial_ports.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "app/diag_log.h"
#include "app/wizard_globals.h"
#include "platform/os/serial_map.h"

namespace {

constexpr std::uint32_t kNameCapacity = 20;
constexpr std::uint32_t kDataCapacity = 15;
constexpr std::uint32_t kMaxValuesRead = 50;

bool ContainsAny(const char* text, const char* a, const char* b, const char* c) {
  return std::strstr(text, a) != nullptr || std::strstr(text, b) != nullptr || std::strstr(text, c) != nullptr;
}

// The rest of the name is a number of `digits` characters whose value lies in that digit count's
// decade; `lowest` is the least value of one digit (1 for COM ports, 0 for serial devices).
bool IsPortNumber(const char* rest, int lowest) {
  const std::size_t length = std::strlen(rest);
  if (length < 1 || length > 5) return false;
  const int n = std::atoi(rest);
  static constexpr int kDecadeStart[] = {0, 10, 100, 1000, 10000};
  static constexpr int kDecadeEnd[] = {9, 99, 999, 9999, 99999};
  const int low = length == 1 ? lowest : kDecadeStart[length - 1];
  return n >= low && n <= kDecadeEnd[length - 1];
}

// One form of a port's value name: the text from p contains the marker and has a length in
// (minLength, maxLength]; then p moves past the prefix and the rest must be a port number.
bool MatchForm(const char*& p, const char* const markers[3], std::size_t prefix, std::size_t maxLength,
               int lowest) {
  const std::size_t length = std::strlen(p);
  if (!ContainsAny(p, markers[0], markers[1], markers[2]) || length > maxLength || length <= prefix) return false;
  p += prefix;
  return IsPortNumber(p, lowest);
}

}  // namespace

bool IsSerialPortEntry(const char* name, const char* data) {
  static const char* const kCom[] = {"COM", "Com", "com"};
  static const char* const kSerial[] = {"SERIAL", "Serial", "serial"};
  static const char* const kDevice[] = {"\\DEVICE\\SERIAL", "\\Device\\Serial", "\\device\\serial"};
  const char* p = name;
  bool valid = false;
  // The forms are tried one after the other on what the previous ones left; none clears valid.
  valid = MatchForm(p, kCom, 3, 8, 1) || valid;
  valid = MatchForm(p, kSerial, 6, 11, 0) || valid;
  valid = MatchForm(p, kDevice, 14, 19, 0) || valid;
  if (!valid || std::strstr(data, "COM") == nullptr) return false;

  for (int port = 0; port < kComPortCount; ++port) {
    if (std::string(data) != "COM" + std::to_string(port + 1)) continue;
    int expected = 0;
    if (!g_abPortAvailable[port].compare_exchange_strong(expected, 1)) continue;
    if (g_bLogEnabled) AppendLog("COM%d identified\r\n", port + 1);
    return true;
  }
  return false;
}

bool ScanSerialPorts() {
  g_nPortCount = 0;
  for (auto& flag : g_abPortAvailable) flag = 0;

  std::unique_ptr<char[]> name(new (std::nothrow) char[kNameCapacity]);
  std::unique_ptr<char[]> data(new (std::nothrow) char[kDataCapacity]);
  if (!name || !data) return false;

  os::OpenSerialDeviceMap();  // a missing map makes every enumeration fail, like a missing key
  long status = os::kMapSuccess;
  for (std::uint32_t index = 0; status != os::kMapNoMoreItems && g_nPortCount < kComPortCount && index < kMaxValuesRead;
       ++index) {
    std::uint32_t nameSize = kNameCapacity;
    std::uint32_t dataSize = kDataCapacity;
    name[0] = data[0] = '\0';
    status = os::EnumSerialDeviceMapValue(index, name.get(), &nameSize, data.get(), &dataSize);
    if (status != os::kMapSuccess && status != os::kMapMoreData) continue;
    // Cut values come terminated; make sure of it before they are examined as texts.
    name[kNameCapacity - 1] = data[kDataCapacity - 1] = '\0';
    if (g_bLogEnabled) AppendLog("%d.RegName: %s  Value:%s\r\n", static_cast<int>(index) + 1, name.get(), data.get());
    if (IsSerialPortEntry(name.get(), data.get())) ++g_nPortCount;
  }
  os::CloseSerialDeviceMap();
  return true;
}
