// In-process named mutexes ("mvx_mutex"): handles opened by name share one mutex. The mutex belongs
// to the thread that waited for it and may be taken again by that thread (each wait needs its own
// release). It lives while some handle to it is open.
#pragma once

#include <cstdint>

namespace os {

class NamedMutex;  // one handle; closed by CloseNamedMutex

constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

enum class WaitResult { Acquired, TimedOut, Failed };

// Creates the mutex of this name, or opens it when it exists (then initialOwner is ignored).
// nullptr when name is null or empty.
NamedMutex* CreateNamedMutex(const char* name, bool initialOwner);
// Opens an existing mutex; nullptr when none of that name exists.
NamedMutex* OpenNamedMutex(const char* name);
// Waits at most timeoutMs (kInfinite: without limit) to own the mutex.
WaitResult WaitNamedMutex(NamedMutex* mutex, std::uint32_t timeoutMs);
// False when the calling thread does not own it.
bool ReleaseNamedMutex(NamedMutex* mutex);
// Closes the handle (a mutex still owned by the caller is released). False for a null handle.
bool CloseNamedMutex(NamedMutex* mutex);

}  // namespace os
