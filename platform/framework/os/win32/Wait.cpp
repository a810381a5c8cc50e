// Waking and waiting on Windows: a manual-reset event for the wake event,
// MsgWaitForMultipleObjectsEx for the wait, which also watches the thread's message
// queue (every kind of message, also those that were there before the wait).
// Watched sources are waitable handles
// (events, processes, threads, console input...), ready while they are signalled.
// Waiting on an auto-reset event or a semaphore takes its signal: a source of that
// kind that Wait reports ready has been reset by the report, as a read resets a
// descriptor's readiness on POSIX.
#include <windows.h>

#include <algorithm>
#include <array>

#include "framework/os/win32/Win32.hpp"

namespace vorlane::Os {

namespace {

// One handle of the wait array is the wake event; the message queue takes the last
// place the system has.
static_assert(MaxWaitSources == MAXIMUM_WAIT_OBJECTS - 2);

// Milliseconds for the wait, rounded up so that a timer is never reached early
// (which would make the loop spin until it is due). INFINITE is reserved.
DWORD TimeoutMs(std::optional<std::chrono::nanoseconds> timeout) {
  if (!timeout) return INFINITE;
  const auto ns = std::max(timeout->count(), std::chrono::nanoseconds::rep{0});
  const auto ms = (ns + 999'999) / 1'000'000;
  return static_cast<DWORD>(std::min<decltype(ns)>(ms, INFINITE - 1));
}

TReadiness ReadinessOf(HANDLE handle) {
  switch (::WaitForSingleObject(handle, 0)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // an abandoned mutex is now owned: report it ready
      return TReadiness::Ready;
    case WAIT_TIMEOUT:
      return TReadiness::NotReady;
    default:
      return TReadiness::Invalid;  // closed or not waitable
  }
}

}  // namespace

std::optional<TNativeSource> SourceFromInteger(std::intptr_t value) {
  HANDLE handle = reinterpret_cast<HANDLE>(value);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return std::nullopt;
  return handle;
}

TWakeEvent::TWakeEvent() : FSource(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (FSource == nullptr) throw Win32::LastError("CreateEventW");
}

TWakeEvent::~TWakeEvent() {
  ::CloseHandle(FSource);
}

void TWakeEvent::Signal() noexcept {
  ::SetEvent(FSource);
}

void TWakeEvent::Clear() noexcept {
  ::ResetEvent(FSource);
}

TWaitResult Wait(TWakeEvent& wake, std::span<TWatchedSource> sources,
                 std::optional<std::chrono::nanoseconds> timeout) {
  if (sources.size() > MaxWaitSources)
    throw EOsError("MsgWaitForMultipleObjectsEx (at most 62 watched handles)",
                   Win32::ErrorCode(ERROR_INVALID_PARAMETER));
  // On the stack: the system's limit is small, and a thread-local with a destructor
  // is not safe in a DLL here (its emulated storage may go before the destructor).
  std::array<HANDLE, MAXIMUM_WAIT_OBJECTS> handles;
  const std::size_t used = sources.size() + 1;
  handles[0] = wake.Source();
  for (std::size_t i = 0; i < sources.size(); ++i) handles[i + 1] = sources[i].Source;

  const auto count = static_cast<DWORD>(used);
  const DWORD status = ::MsgWaitForMultipleObjectsEx(count, handles.data(), TimeoutMs(timeout),
                                                     QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  if (status == WAIT_FAILED) {
    const DWORD error = ::GetLastError();
    // One bad handle fails the whole wait; the per-handle look below finds which.
    // Any other failure, or a wake event gone bad, is the caller's to hear about.
    if (error != ERROR_INVALID_HANDLE || ReadinessOf(handles[0]) == TReadiness::Invalid)
      throw EOsError("MsgWaitForMultipleObjectsEx", Win32::ErrorCode(error));
  }
  // Several handles may be signalled at once; the wait names only the first, and
  // has already taken its signal, so that one is not looked at again.
  const std::size_t first =
      status >= WAIT_OBJECT_0 && status < WAIT_OBJECT_0 + used         ? status - WAIT_OBJECT_0
      : status >= WAIT_ABANDONED_0 && status < WAIT_ABANDONED_0 + used ? status - WAIT_ABANDONED_0
                                                                       : used;
  auto readiness = [&](std::size_t i) {
    return i == first ? TReadiness::Ready : ReadinessOf(handles[i]);
  };
  TWaitResult result;
  result.Messages = status == WAIT_OBJECT_0 + count;
  result.Woken = readiness(0) == TReadiness::Ready;
  for (std::size_t i = 0; i < sources.size(); ++i) sources[i].Readiness = readiness(i + 1);
  return result;
}

}  // namespace vorlane::Os
