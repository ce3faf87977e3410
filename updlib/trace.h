// The library's trace: lines filtered by level and category, sent to the debugger output and to
// per-slot trace files. Every setting is off at start, so the trace stays silent unless a
// developer turns it on with SetTraceSettings.
//
// All operations may be called from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace updlib {

// Trace levels.
constexpr int kTraceMainSteps = 1;
constexpr int kTraceDetails = 2;
constexpr int kTraceMostDetailed = 3;

// Trace categories, one bit each.
constexpr std::uint16_t kTraceProcedure = 0x1;  // update procedure, flash commands, signatures
constexpr std::uint16_t kTraceXbi = 0x2;        // XBI reading and data heap
constexpr std::uint16_t kTraceSerial = 0x4;     // serial port and block framing
constexpr std::uint16_t kTraceBfb = 0x8;        // BFB link

constexpr std::size_t kTraceLineSize = 200;  // including the terminator; longer lines are cut

// Binds a port key (the zero-based port number) to the trace slot table row of a slot (0..3).
void BindTraceSlot(std::int32_t portKey, int slot);
// The first slot 0..3 whose row holds the port key; 0 when none does.
int FindTraceSlot(std::int32_t portKey);

// Writes one trace line for the slot (low 16 bits used) at a level and categories.
void TraceLog(std::uint32_t slot, int level, std::uint16_t categories, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

struct TraceSettings {
    bool debuggerOutput = false;
    bool fileOutput = false;
    int debuggerLevelLimit = 0;
    int fileLevelLimit = 0;
    std::uint16_t debuggerCategories = 0;
    std::uint16_t fileCategories = 0;
};

void SetTraceSettings(const TraceSettings& settings);
TraceSettings GetTraceSettings();
// Opens (appending) the trace file of a slot, replacing one already open; false on failure.
bool OpenTraceFile(int slot, const char* path);
void CloseTraceFile(int slot);

}  // namespace updlib
