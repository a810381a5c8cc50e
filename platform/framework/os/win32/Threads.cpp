// Threads' ends on Windows: one fiber-local storage slot whose callback the system
// runs on the ending thread, before it tells the libraries (DLL_THREAD_DETACH),
// whose run-time tears the emulated thread-locals down.
#include <windows.h>

#include "framework/os/win32/Win32.hpp"

namespace vorlane::Os {

namespace {

// The calling thread's hooks, newest first.
struct THook {
  TThreadEndHook OnEnd;
  void* Context;
  THook* Next;
};

void WINAPI RunHooks(void* value) {
  for (auto* hook = static_cast<THook*>(value); hook != nullptr;) {
    THook* next = hook->Next;
    hook->OnEnd(hook->Context);
    delete hook;
    hook = next;
  }
}

// Allocated once and kept for the life of the process: freeing it would run the
// hooks of every thread on the thread that frees it.
DWORD HookSlot() {
  static const DWORD slot = [] {
    const DWORD allocated = ::FlsAlloc(&RunHooks);
    if (allocated == FLS_OUT_OF_INDEXES) throw Win32::LastError("FlsAlloc");
    return allocated;
  }();
  return slot;
}

}  // namespace

void AtThreadEnd(TThreadEndHook onEnd, void* context) {
  const DWORD slot = HookSlot();
  auto* hook = new THook{onEnd, context, static_cast<THook*>(::FlsGetValue(slot))};
  if (!::FlsSetValue(slot, hook)) {
    delete hook;
    throw Win32::LastError("FlsSetValue");
  }
}

}  // namespace vorlane::Os
