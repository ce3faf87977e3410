#include "updlib/trace.h"

#include <array>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "platform/os/clock.h"
#include "platform/os/debug_output.h"

namespace updlib {
namespace {

// Port keys of the trace slot table, one row per slot.
std::array<std::atomic<std::int32_t>, 4> g_slotPortKeys{};

// Whether any output is on, read before taking the lock so that the silent trace costs nothing.
std::atomic<bool> g_anyOutputOn{false};

struct TraceState {
    std::mutex lock;
    TraceSettings settings;
    std::array<std::FILE*, 4> files{};
    char lastCharWritten = '\n';  // one for all trace files
};

TraceState& State() {
    static TraceState state;
    return state;
}

bool Passes(int level, std::uint16_t categories, int levelLimit, std::uint16_t mask) {
    return level <= levelLimit && (categories & mask) == categories;
}

void WriteToFile(TraceState& state, std::FILE* file, const char* line) {
    if (state.lastCharWritten == '\r' || state.lastCharWritten == '\n') {
        const os::LocalTime now = os::GetLocalTime();
        std::fprintf(file, "%02d:%02d:%02d:%03d : ", now.hour, now.minute, now.second,
                     now.milliseconds);
    }
    const std::size_t length = std::strlen(line);
    if (length > 0) state.lastCharWritten = line[length - 1];
    std::fputs(line, file);
    std::fflush(file);
}

}  // namespace

void BindTraceSlot(std::int32_t portKey, int slot) {
    if (slot < 0 || slot >= static_cast<int>(g_slotPortKeys.size())) return;
    g_slotPortKeys[static_cast<std::size_t>(slot)].store(portKey);
}

int FindTraceSlot(std::int32_t portKey) {
    for (std::size_t slot = 0; slot < g_slotPortKeys.size(); ++slot) {
        if (g_slotPortKeys[slot].load() == portKey) return static_cast<int>(slot);
    }
    return 0;
}

void TraceLog(std::uint32_t slot, int level, std::uint16_t categories, const char* format, ...) {
    if (!g_anyOutputOn.load() || format == nullptr) return;

    char line[kTraceLineSize];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);  // cuts a longer line
    va_end(args);

    TraceState& state = State();
    const std::lock_guard guard(state.lock);
    const TraceSettings& s = state.settings;
    if (s.debuggerOutput && Passes(level, categories, s.debuggerLevelLimit, s.debuggerCategories)) {
        os::OutputDebugString(line);
    }
    const std::size_t row = slot & 0xFFFFu;
    if (s.fileOutput && Passes(level, categories, s.fileLevelLimit, s.fileCategories) &&
        row < state.files.size() && state.files[row] != nullptr) {
        WriteToFile(state, state.files[row], line);
    }
}

void SetTraceSettings(const TraceSettings& settings) {
    TraceState& state = State();
    const std::lock_guard guard(state.lock);
    state.settings = settings;
    g_anyOutputOn.store(settings.debuggerOutput || settings.fileOutput);
}

TraceSettings GetTraceSettings() {
    TraceState& state = State();
    const std::lock_guard guard(state.lock);
    return state.settings;
}

bool OpenTraceFile(int slot, const char* path) {
    TraceState& state = State();
    if (slot < 0 || slot >= static_cast<int>(state.files.size()) || path == nullptr) return false;
    std::FILE* file = std::fopen(path, "a");
    if (file == nullptr) return false;
    const std::lock_guard guard(state.lock);
    std::FILE*& row = state.files[static_cast<std::size_t>(slot)];
    if (row != nullptr) std::fclose(row);
    row = file;
    return true;
}

void CloseTraceFile(int slot) {
    TraceState& state = State();
    if (slot < 0 || slot >= static_cast<int>(state.files.size())) return;
    const std::lock_guard guard(state.lock);
    std::FILE*& row = state.files[static_cast<std::size_t>(slot)];
    if (row != nullptr) std::fclose(row);
    row = nullptr;
}

}  // namespace updlib
