// The joystick service core: controller numbers, thresholds, capture, message
// packing, scaling and result codes on top of the backends of JoystickDriver.hpp,
// and the joy* functions of vorlane/joystickapi.h.
//
// Locks, always taken in this order: FDriversMutex (starting, attaching and closing
// backends), then a backend's own locks, then FMutex (numbers, devices, captures),
// then a device's state lock (inside ReadState). FInstrMutex (faults and the call
// log) is taken alone. Messages are posted while FMutex is held, so that the
// messages of one device update stay together and in order, and nothing is posted
// for a capture once joyReleaseCapture has returned; ending a capture also drops
// the messages of it still queued (they carry the capture's tag). Timers are added
// and removed with no lock held: a timer callback takes FMutex.
//
// A capture holds a reference to its window's loop (TLoopRef), so the loop's
// object outlives its thread as long as the capture needs it: ending a capture
// from any thread may remove its timer, also after the window's thread has ended.
//
// Memory. Moves are posted as replacing messages: at most one move and one Z move
// of a capture wait in the queue, holding the newest position. Button messages are
// all kept. Posting never allocates while FMutex is held: when the window's queue
// is full, the messages are left unposted, the queue is grown after FMutex is
// released, and the update is reported again. A capture compares every update with
// what it last reported (not with the previous update), so messages left unposted,
// or changes made while the controller was unplugged, are reported with the next
// update and button downs and ups always balance.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "joystick/JoystickDriver.hpp"
#include "joystick/Scaling.hpp"
#include "joystick/Service.hpp"
#include "vorlane/JoystickBinding.hpp"
#include "vorlane/JoystickTesting.hpp"
#include "vorlane/VirtualJoystick.hpp"
#include "vorlane/joystickapi.h"
#include "vorlane/visual/Messages.hpp"

namespace vorlane::JoystickService {

using JoystickTesting::TCallRecord;
using JoystickTesting::TServiceCall;
using Messages::TLoopRef;
using Messages::TPostKind;
using Messages::TPostResult;
using Messages::TThreadLoop;

namespace {

constexpr UINT NumberCount = 16;
constexpr UINT PeriodMin = 10;
constexpr UINT PeriodMax = 1000;
constexpr UINT ThresholdMax = 65535;
constexpr std::uint32_t EventButtons = 0xFF;  // buttons 1 to 8
// Room a full queue is grown by: more than one update's messages.
constexpr std::size_t QueueRoom = 16;
// How often one update is reported again after growing a full queue.
constexpr int FullRetries = 3;

constexpr int AxisX = static_cast<int>(TAxis::X);
constexpr int AxisY = static_cast<int>(TAxis::Y);
constexpr int AxisZ = static_cast<int>(TAxis::Z);

class TCore;
class THost;

// The loops of ended captures, with their timers, to let go of once FMutex is
// released: removing a timer takes the loop's locks, and the last reference may
// free the loop. Each slot ends at most one capture while FMutex is held.
class TPendingLoops {
 public:
  void Add(TLoopRef loop, TThreadLoop::TId timer) {
    if (!loop || FCount == FItems.size()) return;
    FItems[FCount++] = TItem{std::move(loop), timer};
  }
  void Run() {
    for (std::size_t i = 0; i < FCount; ++i) {
      if (FItems[i].Timer != 0) FItems[i].Loop->RemoveTimer(FItems[i].Timer);
      FItems[i].Loop.Reset();
    }
    FCount = 0;
  }
  ~TPendingLoops() { Run(); }

 private:
  struct TItem {
    TLoopRef Loop;
    TThreadLoop::TId Timer = 0;
  };
  std::array<TItem, NumberCount> FItems{};
  std::size_t FCount = 0;
};

struct TCapture {
  bool Active = false;
  bool Changed = false;  // threshold mode
  Messages::HWND Window = nullptr;
  UINT Period = 0;
  TLoopRef Loop;                                  // the window's loop
  TThreadLoop::TId Timer = 0;                     // polling mode
  Messages::TMessageTag Tag = 0;                  // on every message posted; tells captures apart
  std::uint32_t LastX = 0, LastY = 0, LastZ = 0;  // last reported, calibrated
  std::uint32_t LastButtons = 0;                  // buttons 1 to 8
};

// What posting one update came to.
enum class TReport : std::uint8_t { Done, WindowGone, QueueFull };

// One controller number.
struct TSlot {
  TCore* Core = nullptr;
  UINT Number = 0;
  TJoystickDevice* Device = nullptr;  // attached now
  bool Kept = false;                  // kept for a device that was unplugged
  const THost* Owner = nullptr;       // the backend of the device attached or kept
  std::string Identity;
  TAxisRange Axes[AxisCount];
  THatKind Hat = THatKind::None;
  JOYCAPS2W Caps{};
  UINT Threshold = 0;
  TCapture Capture;

  void Tick();  // a polling capture's timer, on the window's thread
};

class THost final : public TDriverHost {
 public:
  THost(TCore& core, TJoystickDriver& driver) : FCore(core), FDriver(driver) {}
  int DeviceAdded(TJoystickDevice* device) override;
  void DeviceRemoved(TJoystickDevice* device) override;
  void DeviceDetached(TJoystickDevice* device) override;
  void DeviceChanged(TJoystickDevice* device, const TDeviceState& state) override;
  TJoystickDriver& Driver() const { return FDriver; }

 private:
  TCore& FCore;
  TJoystickDriver& FDriver;
};

struct TDriverEntry {
  TJoystickDriver* Driver = nullptr;
  std::unique_ptr<TJoystickDriver> Owned;  // null for the virtual backend
  std::unique_ptr<THost> Host;
};

void CopyUnits(WCHAR* target, std::size_t capacity, std::u16string_view text) {
  const std::size_t count = std::min(capacity, text.size());
  std::copy_n(text.data(), count, target);
  std::fill(target + count, target + capacity, u'\0');
}

// --- Capability records ----------------------------------------------------------

// What joyGetDevCaps answers in szRegKey for the identifier (UINT_PTR)-1, as Windows does.
constexpr std::u16string_view ServiceRegKey = u"DINPUT.DLL";
constexpr UINT_PTR RegKeyOnly = ~UINT_PTR{0};

// The characters of Windows-1252's bytes 0x80 to 0x9F. The five bytes the code page
// leaves unassigned stand for the control characters of the same number, as in
// Windows' own table.
constexpr char16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char Cp1252Of(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (std::size_t i = 0; i < std::size(Cp1252High); ++i)
    if (Cp1252High[i] == c) return static_cast<char>(0x80 + i);
  return '?';
}

// A wide string field (ending at its first zero unit or its full length) as the
// same field in Windows-1252, zero-filled after the text. A surrogate pair is one
// character; a lone surrogate is one character Windows-1252 lacks.
template <std::size_t N>
void CopyAnsi(char (&target)[N], const WCHAR (&source)[N]) {
  std::size_t in = 0, out = 0;
  while (in < N && source[in] != u'\0') {
    const char16_t unit = source[in++];
    char32_t c = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF && in < N && source[in] >= 0xDC00 && source[in] <= 0xDFFF)
      c = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (source[in++] - 0xDC00);
    else if (unit >= 0xD800 && unit <= 0xDFFF)
      c = 0xFFFD;
    target[out++] = Cp1252Of(c);
  }
  std::fill(target + out, target + N, '\0');
}

JOYCAPS2A Ansi(const JOYCAPS2W& w) {
  JOYCAPS2A a{};
  a.wMid = w.wMid;
  a.wPid = w.wPid;
  CopyAnsi(a.szPname, w.szPname);
  a.wXmin = w.wXmin;
  a.wXmax = w.wXmax;
  a.wYmin = w.wYmin;
  a.wYmax = w.wYmax;
  a.wZmin = w.wZmin;
  a.wZmax = w.wZmax;
  a.wNumButtons = w.wNumButtons;
  a.wPeriodMin = w.wPeriodMin;
  a.wPeriodMax = w.wPeriodMax;
  a.wRmin = w.wRmin;
  a.wRmax = w.wRmax;
  a.wUmin = w.wUmin;
  a.wUmax = w.wUmax;
  a.wVmin = w.wVmin;
  a.wVmax = w.wVmax;
  a.wCaps = w.wCaps;
  a.wMaxAxes = w.wMaxAxes;
  a.wNumAxes = w.wNumAxes;
  a.wMaxButtons = w.wMaxButtons;
  CopyAnsi(a.szRegKey, w.szRegKey);
  CopyAnsi(a.szOEMVxD, w.szOEMVxD);
  a.ManufacturerGuid = w.ManufacturerGuid;
  a.ProductGuid = w.ProductGuid;
  a.NameGuid = w.NameGuid;
  return a;
}

LPARAM PackXY(std::uint32_t x, std::uint32_t y) {
  return static_cast<LPARAM>(static_cast<std::uintptr_t>((x & 0xFFFFu) | ((y & 0xFFFFu) << 16)));
}

std::uint32_t Distance(std::uint32_t a, std::uint32_t b) {
  return a > b ? a - b : b - a;
}

void Report(const std::string& text) {
  std::fprintf(stderr, "vorlane: %s\n", text.c_str());
}

class TCore {
 public:
  TCore() {
    for (UINT n = 0; n < NumberCount; ++n) {
      FSlots[n].Core = this;
      FSlots[n].Number = n;
    }
  }

  // --- Backends ------------------------------------------------------------------

  void Start() {
    if (FStarted.load(std::memory_order_acquire)) return;
    std::lock_guard lock(FDriversMutex);
    if (FStarted.load(std::memory_order_relaxed)) return;
    OpenLocked(VirtualDriver(), nullptr);
    OpenConfiguredLocked();
    FStarted.store(true, std::memory_order_release);
  }

  TJoystickDriver* Attach(std::unique_ptr<TJoystickDriver> driver) {
    if (!driver) return nullptr;
    Start();
    std::lock_guard lock(FDriversMutex);
    TJoystickDriver& d = *driver;
    return OpenLocked(d, std::move(driver)) ? &d : nullptr;
  }

  bool Detach(TJoystickDriver* driver) {
    if (driver == nullptr || driver == &VirtualDriver()) return false;
    std::lock_guard lock(FDriversMutex);
    auto it = std::find_if(FDrivers.begin(), FDrivers.end(),
                           [&](const TDriverEntry& e) { return e.Driver == driver; });
    if (it == FDrivers.end()) return false;
    CloseLocked(*it);
    FDrivers.erase(it);
    return true;
  }

  std::vector<std::string> DriverNames() {
    std::lock_guard lock(FDriversMutex);
    std::vector<std::string> names;
    for (const TDriverEntry& e : FDrivers) names.emplace_back(e.Driver->Name());
    return names;
  }

  void Reset() {
    {
      std::lock_guard lock(FDriversMutex);
      while (!FDrivers.empty()) {
        CloseLocked(FDrivers.back());
        FDrivers.pop_back();
      }
      TPendingLoops pending;
      {
        std::lock_guard core(FMutex);
        for (TSlot& slot : FSlots) {
          EndCapture(slot, pending);
          slot.Device = nullptr;
          slot.Kept = false;
          slot.Owner = nullptr;
          slot.Identity.clear();
          slot.Threshold = 0;
        }
      }
      pending.Run();
      FReportedBackendNames = false;
      FStarted.store(false, std::memory_order_release);
    }
    ClearFaults();
    StopLog(true);
  }

  // At the end of the process: close the backends (their threads stop) and never
  // start again. Captures are left as they are: the thread loops may be gone.
  void Shutdown() {
    std::lock_guard lock(FDriversMutex);
    while (!FDrivers.empty()) {
      CloseLocked(FDrivers.back());
      FDrivers.pop_back();
    }
    FStarted.store(true, std::memory_order_release);
  }

  // --- What backends report ------------------------------------------------------

  int Added(const THost& host, TJoystickDevice* device) {
    if (device == nullptr) return -1;
    const TDeviceInfo& info = device->Info();
    TPendingLoops pending;
    int number = -1;
    bool full = false;
    {
      std::lock_guard lock(FMutex);
      if (TSlot* known = Find(device)) return static_cast<int>(known->Number);
      TSlot* chosen = nullptr;
      if (!info.Identity.empty())
        for (TSlot& slot : FSlots)
          if (slot.Kept && slot.Identity == info.Identity) {
            chosen = &slot;
            break;
          }
      // The lowest number neither attached nor kept, else the lowest only kept.
      for (int pass = 0; pass < 2 && chosen == nullptr; ++pass)
        for (TSlot& slot : FSlots)
          if (slot.Device == nullptr && (pass == 1 || !slot.Kept)) {
            chosen = &slot;
            break;
          }
      if (chosen == nullptr) return -1;
      TSlot& slot = *chosen;
      if (!(slot.Kept && slot.Identity == info.Identity)) EndCapture(slot, pending);
      slot.Device = device;
      slot.Kept = false;
      slot.Owner = &host;
      slot.Identity = info.Identity;
      Describe(slot, info);
      if (slot.Capture.Active) {
        // A capture that outlived the unplug reports what changed meanwhile.
        TDeviceState state;
        device->ReadState(state);
        full = Settle(slot, PostUpdate(slot, state), pending);
      }
      number = static_cast<int>(slot.Number);
    }
    pending.Run();
    if (full) {
      TDeviceState state;
      device->ReadState(state);
      Changed(device, state);
    }
    return number;
  }

  void Removed(const THost& host, TJoystickDevice* device) {
    std::lock_guard lock(FMutex);
    if (TSlot* slot = Find(device)) {
      slot->Device = nullptr;
      slot->Kept = true;
      slot->Owner = &host;
    }
  }

  void Detached(const THost& host, TJoystickDevice* device) {
    if (device == nullptr) return;
    TPendingLoops pending;
    {
      std::lock_guard lock(FMutex);
      TSlot* slot = Find(device);
      if (slot == nullptr) {
        const std::string& identity = device->Info().Identity;
        for (TSlot& s : FSlots)
          if (s.Kept && s.Owner == &host && s.Identity == identity) slot = &s;
      }
      if (slot == nullptr) return;
      EndCapture(*slot, pending);
      Forget(*slot);
    }
    pending.Run();
  }

  void Changed(TJoystickDevice* device, const TDeviceState& state) {
    for (int attempt = 0; attempt <= FullRetries; ++attempt) {
      TLoopRef full;
      {
        TPendingLoops pending;
        std::lock_guard lock(FMutex);
        TSlot* slot = Find(device);
        if (slot == nullptr || !slot->Capture.Active) return;
        if (!Settle(*slot, PostUpdate(*slot, state), pending)) return;
        full = slot->Capture.Loop;
      }
      // What was left unposted is reported again once the queue has room; also
      // by the next update, if the retries run out.
      full->Reserve(QueueRoom);
    }
  }

  // Numbers kept for a backend's devices are freed when it closes.
  void ForgetHost(const THost& host) {
    TPendingLoops pending;
    {
      std::lock_guard lock(FMutex);
      for (TSlot& slot : FSlots)
        if (slot.Owner == &host) {
          EndCapture(slot, pending);
          Forget(slot);
        }
    }
    pending.Run();
  }

  int NumberOf(const TJoystickDevice* device) {
    if (device == nullptr) return -1;
    std::lock_guard lock(FMutex);
    for (const TSlot& slot : FSlots)
      if (slot.Device == device) return static_cast<int>(slot.Number);
    const std::string& identity = device->Info().Identity;
    for (const TSlot& slot : FSlots)
      if (slot.Kept && !identity.empty() && slot.Identity == identity)
        return static_cast<int>(slot.Number);
    return -1;
  }

  std::vector<std::string> LeftOutOf(int number) {
    std::lock_guard lock(FMutex);
    for (const TSlot& slot : FSlots)
      if (slot.Device != nullptr && static_cast<int>(slot.Number) == number)
        return slot.Device->Info().LeftOut;
    return {};
  }

  // --- The API -------------------------------------------------------------------

  MMRESULT GetPos(UINT id, JOYINFO* info) {
    if (info == nullptr) return MMSYSERR_INVALPARAM;
    if (id >= NumberCount) return JOYERR_PARMS;
    std::lock_guard lock(FMutex);
    TSlot& slot = FSlots[id];
    if (slot.Device == nullptr) return JOYERR_UNPLUGGED;
    TDeviceState state;
    slot.Device->ReadState(state);
    info->wXpos = Scaling::Calibrated(slot.Axes[AxisX], state.Axes[AxisX]);
    info->wYpos = Scaling::Calibrated(slot.Axes[AxisY], state.Axes[AxisY]);
    info->wZpos = Scaling::Calibrated(slot.Axes[AxisZ], state.Axes[AxisZ]);
    info->wButtons = state.Buttons & 0xFu;
    return JOYERR_NOERROR;
  }

  MMRESULT GetPosEx(UINT id, JOYINFOEX* info) {
    if (info == nullptr) return MMSYSERR_INVALPARAM;
    if (id >= NumberCount || info->dwSize < sizeof(JOYINFOEX)) return JOYERR_PARMS;
    const DWORD flags = info->dwFlags;
    std::lock_guard lock(FMutex);
    TSlot& slot = FSlots[id];
    if (slot.Device == nullptr) return JOYERR_UNPLUGGED;
    TDeviceState state;
    slot.Device->ReadState(state);
    DWORD* const fields[AxisCount] = {&info->dwXpos, &info->dwYpos, &info->dwZpos,
                                      &info->dwRpos, &info->dwUpos, &info->dwVpos};
    for (int a = 0; a < AxisCount; ++a) {
      if ((flags & (JOY_RETURNX << a)) == 0) continue;
      const TAxisRange& range = slot.Axes[a];
      if (flags & JOY_RETURNRAWDATA)
        *fields[a] = Scaling::Raw(range, state.Axes[a]);
      else if (flags & JOY_RETURNCENTERED)
        *fields[a] = Scaling::Centered(range, state.Axes[a]);
      else
        *fields[a] = Scaling::Calibrated(range, state.Axes[a]);
    }
    if (flags & JOY_RETURNBUTTONS) {
      info->dwButtons = state.Buttons;
      info->dwButtonNumber = state.ButtonsHeld;
    }
    const std::uint32_t pov = slot.Hat == THatKind::None ? PovCentered : state.Pov;
    if (flags & JOY_RETURNPOVCTS)
      info->dwPOV = Scaling::PovContinuous(pov);
    else if (flags & JOY_RETURNPOV)
      info->dwPOV = Scaling::PovDiscrete(pov);
    return JOYERR_NOERROR;
  }

  // The identifier's checks of joyGetDevCaps (the record and its size are checked
  // before): the full wide record, the registry key alone for (UINT_PTR)-1.
  MMRESULT GetDevCaps(UINT_PTR id, JOYCAPS2W& caps) {
    if (id == RegKeyOnly) {
      caps = JOYCAPS2W{};
      CopyUnits(caps.szRegKey, MAXPNAMELEN, ServiceRegKey);
      return JOYERR_NOERROR;
    }
    if (id >= NumberCount) return JOYERR_PARMS;
    std::lock_guard lock(FMutex);
    const TSlot& slot = FSlots[id];
    if (slot.Device == nullptr) return JOYERR_UNPLUGGED;
    caps = slot.Caps;
    return JOYERR_NOERROR;
  }

  MMRESULT GetThreshold(UINT id, UINT* threshold) {
    if (threshold == nullptr) return MMSYSERR_INVALPARAM;
    if (id >= NumberCount) return JOYERR_PARMS;
    std::lock_guard lock(FMutex);
    *threshold = FSlots[id].Threshold;
    return JOYERR_NOERROR;
  }

  MMRESULT SetThreshold(UINT id, UINT threshold) {
    if (id >= NumberCount) return JOYERR_PARMS;
    if (threshold > ThresholdMax) return MMSYSERR_INVALPARAM;
    std::lock_guard lock(FMutex);
    FSlots[id].Threshold = threshold;
    return JOYERR_NOERROR;
  }

  MMRESULT SetCapture(Messages::HWND window, UINT id, UINT period, BOOL changed) {
    if (window == nullptr) return JOYERR_PARMS;
    // Held from here on: the window's thread may end at any moment.
    TLoopRef loop = TThreadLoop::PinOfWindow(window);
    if (!loop) return JOYERR_NOCANDO;
    if (id >= NumberCount) return JOYERR_PARMS;
    const UINT clamped = std::clamp(period == 0 ? PeriodMin : period, PeriodMin, PeriodMax);
    TSlot& slot = FSlots[id];
    TPendingLoops pending;
    Messages::TMessageTag tag = 0;
    {
      std::lock_guard lock(FMutex);
      if (slot.Device == nullptr) return JOYERR_UNPLUGGED;
      if (slot.Capture.Active) {
        if (Messages::IsWindow(slot.Capture.Window)) return JOYERR_NOCANDO;
        EndCapture(slot, pending);  // its window is gone: released
      }
      TCapture& capture = slot.Capture;
      capture.Active = true;
      capture.Changed = changed != FALSE;
      capture.Window = window;
      capture.Period = clamped;
      capture.Loop = loop;
      capture.Tag = tag = Messages::NewMessageTag();
      TDeviceState state;
      slot.Device->ReadState(state);
      SetReference(slot, state);
    }
    pending.Run();
    if (changed != FALSE) return JOYERR_NOERROR;
    // Polling: the timer is added with no lock held, then tied to the capture if
    // that is still the same one. (A loop whose thread has ended adds none.)
    const TThreadLoop::TId timer =
        loop->AddTimer(clamped, Closure::TClosure<void()>::Bind<&TSlot::Tick>(&slot));
    {
      std::lock_guard lock(FMutex);
      if (slot.Capture.Active && slot.Capture.Tag == tag) {
        slot.Capture.Timer = timer;
        return JOYERR_NOERROR;
      }
    }
    loop->RemoveTimer(timer);
    return JOYERR_NOERROR;
  }

  MMRESULT ReleaseCapture(UINT id) {
    if (id >= NumberCount) return JOYERR_PARMS;
    TPendingLoops pending;
    {
      std::lock_guard lock(FMutex);
      EndCapture(FSlots[id], pending);
    }
    pending.Run();
    return JOYERR_NOERROR;
  }

  void Tick(TSlot& slot) {
    TThreadLoop* const here = &TThreadLoop::Current();
    bool full = false;
    {
      TPendingLoops pending;
      std::lock_guard lock(FMutex);
      TCapture& capture = slot.Capture;
      if (!capture.Active || capture.Changed || capture.Loop.Get() != here ||
          slot.Device == nullptr)
        return;
      TDeviceState state;
      slot.Device->ReadState(state);
      full = Settle(slot, PostPoll(slot, state), pending);  // the next period posts again
    }
    if (full) here->Reserve(QueueRoom);
  }

  // --- Faults and the call log ---------------------------------------------------

  bool Instrumented() const { return FInstrumented.load(std::memory_order_acquire); }

  bool Refused(TServiceCall call, UINT id, MMRESULT& code) {
    std::lock_guard lock(FInstrMutex);
    for (auto it = FFaults.begin(); it != FFaults.end(); ++it) {
      if (it->Call != call ||
          (it->Controller != JoystickTesting::AnyController && it->Controller != id))
        continue;
      code = it->Code;
      if (it->Remaining > 0 && --it->Remaining == 0) {
        FFaults.erase(it);
        UpdateInstrumented();
      }
      return true;
    }
    return false;
  }

  void AddFault(TServiceCall call, UINT id, MMRESULT code, int times) {
    if (times == 0) return;
    std::lock_guard lock(FInstrMutex);
    FFaults.push_back({call, id, code, times < 0 ? -1 : times});
    UpdateInstrumented();
  }

  void ClearFaults() {
    std::lock_guard lock(FInstrMutex);
    FFaults.clear();
    UpdateInstrumented();
  }

  void Log(const TCallRecord& record) {
    std::lock_guard lock(FInstrMutex);
    if (FLogging) FLog.push_back(record);
  }

  void StartLog() {
    std::lock_guard lock(FInstrMutex);
    FLog.clear();
    FLogging = true;
    UpdateInstrumented();
  }

  void StopLog(bool clear) {
    std::lock_guard lock(FInstrMutex);
    FLogging = false;
    if (clear) FLog.clear();
    UpdateInstrumented();
  }

  std::vector<TCallRecord> GetLog() {
    std::lock_guard lock(FInstrMutex);
    return FLog;
  }

 private:
  struct TFault {
    TServiceCall Call;
    UINT Controller;
    MMRESULT Code;
    int Remaining;  // -1: unlimited
  };

  void UpdateInstrumented() {
    FInstrumented.store(FLogging || !FFaults.empty(), std::memory_order_release);
  }

  // FDriversMutex held. The service owns `owned` (when given) from here on.
  bool OpenLocked(TJoystickDriver& driver, std::unique_ptr<TJoystickDriver> owned) {
    TDriverEntry entry;
    entry.Driver = &driver;
    entry.Owned = std::move(owned);
    entry.Host = std::make_unique<THost>(*this, driver);
    FDrivers.push_back(std::move(entry));
    try {
      driver.Open(*FDrivers.back().Host);
      return true;
    } catch (const std::exception& e) {
      Report(std::string("joystick backend '") + driver.Name() + "' failed to start: " + e.what());
    } catch (...) {
      Report(std::string("joystick backend '") + driver.Name() + "' failed to start");
    }
    CloseLocked(FDrivers.back());
    FDrivers.pop_back();
    return false;
  }

  // FDriversMutex held. Closes the backend and frees what was kept for it; the
  // caller removes the entry.
  void CloseLocked(TDriverEntry& entry) {
    try {
      entry.Driver->Close();
    } catch (const std::exception& e) {
      Report(std::string("joystick backend '") + entry.Driver->Name() +
             "' failed to close: " + e.what());
    } catch (...) {
      Report(std::string("joystick backend '") + entry.Driver->Name() + "' failed to close");
    }
    ForgetHost(*entry.Host);
  }

  // FDriversMutex held: the backends chosen by the environment.
  void OpenConfiguredLocked() {
    bool evdev = true;
    if (const char* value = std::getenv("VORLANE_JOYSTICK_BACKENDS"); value && *value) {
      evdev = false;
      std::string list = value;
      std::size_t begin = 0;
      while (begin <= list.size()) {
        std::size_t end = list.find(',', begin);
        if (end == std::string::npos) end = list.size();
        std::string name = list.substr(begin, end - begin);
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        if (name == "evdev")
          evdev = true;
        else if (name != "virtual" && !name.empty() && !FReportedBackendNames) {
          Report("VORLANE_JOYSTICK_BACKENDS: unknown backend '" + name +
                 "' ignored (known: evdev, virtual)");
          FReportedBackendNames = true;
        }
        begin = end + 1;
      }
    }
    if (const char* value = std::getenv("VORLANE_JOYSTICK_DEVICES"); value && *value) {
      std::vector<std::string> paths;
      std::string list = value;
      std::size_t begin = 0;
      while (begin <= list.size()) {
        std::size_t end = list.find(':', begin);
        if (end == std::string::npos) end = list.size();
        if (end > begin) paths.push_back(list.substr(begin, end - begin));
        begin = end + 1;
      }
      if (!paths.empty()) {
        std::unique_ptr<TJoystickDriver> replay;
        try {
          replay = MakeReplayDriver(paths);
          if (!replay)
            Report("VORLANE_JOYSTICK_DEVICES: recorded devices are not supported by this build");
        } catch (const std::exception& e) {
          Report(std::string("VORLANE_JOYSTICK_DEVICES: ") + e.what());
        }
        // The reference is taken first: the argument's move may happen before *replay.
        if (TJoystickDriver* opened = replay.get()) OpenLocked(*opened, std::move(replay));
      }
    }
    if (evdev) {
      std::unique_ptr<TJoystickDriver> driver;
      try {
        driver = MakeEvdevDriver();
      } catch (const std::exception& e) {
        Report(std::string("joystick backend 'evdev' failed to start: ") + e.what());
      }
      if (TJoystickDriver* opened = driver.get()) OpenLocked(*opened, std::move(driver));
    }
  }

  // FMutex held.
  TSlot* Find(const TJoystickDevice* device) {
    if (device == nullptr) return nullptr;
    for (TSlot& slot : FSlots)
      if (slot.Device == device) return &slot;
    return nullptr;
  }

  // FMutex held. The number is free again; its threshold stays.
  static void Forget(TSlot& slot) {
    slot.Device = nullptr;
    slot.Kept = false;
    slot.Owner = nullptr;
    slot.Identity.clear();
  }

  // FMutex held. Fixed facts of an arriving device, and its capability record.
  static void Describe(TSlot& slot, const TDeviceInfo& info) {
    std::copy(std::begin(info.Axes), std::end(info.Axes), std::begin(slot.Axes));
    slot.Hat = info.Hat;
    JOYCAPS2W& caps = slot.Caps;
    caps = JOYCAPS2W{};
    caps.wMid = info.Vendor;
    caps.wPid = info.Product;
    CopyUnits(caps.szPname, MAXPNAMELEN, info.Name);
    UINT* const ranges[AxisCount][2] = {{&caps.wXmin, &caps.wXmax}, {&caps.wYmin, &caps.wYmax},
                                        {&caps.wZmin, &caps.wZmax}, {&caps.wRmin, &caps.wRmax},
                                        {&caps.wUmin, &caps.wUmax}, {&caps.wVmin, &caps.wVmax}};
    for (int a = 0; a < AxisCount; ++a) {
      *ranges[a][0] = 0;
      *ranges[a][1] = Scaling::CalibratedMax;
      if (info.Axes[a].Present) ++caps.wNumAxes;
    }
    caps.wNumButtons = std::min<std::uint32_t>(info.ButtonCount, 32);
    caps.wPeriodMin = PeriodMin;
    caps.wPeriodMax = PeriodMax;
    if (info.Axes[AxisZ].Present) caps.wCaps |= JOYCAPS_HASZ;
    if (info.Axes[static_cast<int>(TAxis::R)].Present) caps.wCaps |= JOYCAPS_HASR;
    if (info.Axes[static_cast<int>(TAxis::U)].Present) caps.wCaps |= JOYCAPS_HASU;
    if (info.Axes[static_cast<int>(TAxis::V)].Present) caps.wCaps |= JOYCAPS_HASV;
    if (info.Hat == THatKind::Discrete) caps.wCaps |= JOYCAPS_HASPOV | JOYCAPS_POV4DIR;
    if (info.Hat == THatKind::Continuous) caps.wCaps |= JOYCAPS_HASPOV | JOYCAPS_POVCTS;
    caps.wMaxAxes = AxisCount;
    caps.wMaxButtons = 32;
    CopyUnits(caps.szRegKey, MAXPNAMELEN, info.RegKey);
    CopyUnits(caps.szOEMVxD, MAX_JOYSTICKOEMVXDNAME, info.Driver);
    caps.ManufacturerGuid = info.ManufacturerGuid;
    caps.ProductGuid = info.ProductGuid;
    caps.NameGuid = info.NameGuid;
  }

  // FMutex held. The capture compares the next update with this state.
  static void SetReference(TSlot& slot, const TDeviceState& state) {
    TCapture& capture = slot.Capture;
    capture.LastX = Scaling::Calibrated(slot.Axes[AxisX], state.Axes[AxisX]);
    capture.LastY = Scaling::Calibrated(slot.Axes[AxisY], state.Axes[AxisY]);
    capture.LastZ = Scaling::Calibrated(slot.Axes[AxisZ], state.Axes[AxisZ]);
    capture.LastButtons = state.Buttons & EventButtons;
  }

  // FMutex held. Ends a capture: drops its queued messages; its loop and timer go
  // into `pending`.
  static void EndCapture(TSlot& slot, TPendingLoops& pending) {
    TCapture& capture = slot.Capture;
    if (!capture.Active) return;
    if (capture.Loop) capture.Loop->DiscardTagged(capture.Tag);
    pending.Add(std::move(capture.Loop), capture.Timer);
    capture = TCapture{};
  }

  // FMutex held. Ends the capture when its window is gone; true when the queue
  // was full and what was left unposted waits for room.
  static bool Settle(TSlot& slot, TReport report, TPendingLoops& pending) {
    if (report == TReport::WindowGone) EndCapture(slot, pending);
    return report == TReport::QueueFull;
  }

  static TReport Post(const TSlot& slot, UINT first, UINT second, WPARAM wParam, LPARAM lParam,
                      TPostKind kind) {
    const TCapture& capture = slot.Capture;
    switch (Messages::PostTaggedMessage(capture.Window, slot.Number == 0 ? first : second, wParam,
                                        lParam, capture.Tag, kind)) {
      case TPostResult::Posted:
        return TReport::Done;
      case TPostResult::NoWindow:
        return TReport::WindowGone;
      case TPostResult::QueueFull:
        break;
    }
    return TReport::QueueFull;
  }

  // FMutex held. Reports a device update against what the capture last reported,
  // in order: move, Z move, button down, button up. What is posted becomes the new
  // last report; what is not is reported by a later update.
  static TReport PostUpdate(TSlot& slot, const TDeviceState& state) {
    TCapture& capture = slot.Capture;
    const std::uint32_t x = Scaling::Calibrated(slot.Axes[AxisX], state.Axes[AxisX]);
    const std::uint32_t y = Scaling::Calibrated(slot.Axes[AxisY], state.Axes[AxisY]);
    const std::uint32_t buttons = state.Buttons & EventButtons;
    TReport report = TReport::Done;
    if (capture.Changed) {
      const UINT threshold = slot.Threshold;
      if (Distance(x, capture.LastX) > threshold || Distance(y, capture.LastY) > threshold) {
        report = Post(slot, MM_JOY1MOVE, MM_JOY2MOVE, buttons, PackXY(x, y), TPostKind::Replace);
        if (report != TReport::Done) return report;
        capture.LastX = x;
        capture.LastY = y;
      }
      if (slot.Axes[AxisZ].Present) {
        const std::uint32_t z = Scaling::Calibrated(slot.Axes[AxisZ], state.Axes[AxisZ]);
        if (Distance(z, capture.LastZ) > threshold) {
          report = Post(slot, MM_JOY1ZMOVE, MM_JOY2ZMOVE, buttons, z, TPostKind::Replace);
          if (report != TReport::Done) return report;
          capture.LastZ = z;
        }
      }
    }
    const std::uint32_t down = buttons & ~capture.LastButtons;
    if (down != 0) {
      report = Post(slot, MM_JOY1BUTTONDOWN, MM_JOY2BUTTONDOWN, buttons | (down << 8), PackXY(x, y),
                    TPostKind::Keep);
      if (report != TReport::Done) return report;
      capture.LastButtons |= down;
    }
    const std::uint32_t up = capture.LastButtons & ~buttons;
    if (up != 0) {
      report = Post(slot, MM_JOY1BUTTONUP, MM_JOY2BUTTONUP, buttons | (up << 8), PackXY(x, y),
                    TPostKind::Keep);
      if (report != TReport::Done) return report;
      capture.LastButtons &= ~up;
    }
    return TReport::Done;
  }

  // FMutex held. A polling capture's messages of one period.
  static TReport PostPoll(TSlot& slot, const TDeviceState& state) {
    const std::uint32_t x = Scaling::Calibrated(slot.Axes[AxisX], state.Axes[AxisX]);
    const std::uint32_t y = Scaling::Calibrated(slot.Axes[AxisY], state.Axes[AxisY]);
    const std::uint32_t buttons = state.Buttons & EventButtons;
    TReport report =
        Post(slot, MM_JOY1MOVE, MM_JOY2MOVE, buttons, PackXY(x, y), TPostKind::Replace);
    if (report != TReport::Done || !slot.Axes[AxisZ].Present) return report;
    const std::uint32_t z = Scaling::Calibrated(slot.Axes[AxisZ], state.Axes[AxisZ]);
    return Post(slot, MM_JOY1ZMOVE, MM_JOY2ZMOVE, buttons, z, TPostKind::Replace);
  }

  std::mutex FDriversMutex;
  std::vector<TDriverEntry> FDrivers;
  std::atomic<bool> FStarted{false};
  bool FReportedBackendNames = false;

  std::mutex FMutex;
  TSlot FSlots[NumberCount];

  std::mutex FInstrMutex;
  std::atomic<bool> FInstrumented{false};
  std::vector<TFault> FFaults;
  bool FLogging = false;
  std::vector<TCallRecord> FLog;
};

// The core is never destroyed: captures, timers and backend threads may still
// reach it while static objects are being destroyed. Its backends are closed at
// the end of the process by TShutdown.
TCore& Core() {
  alignas(TCore) static unsigned char storage[sizeof(TCore)];
  static TCore* const core = new (storage) TCore;
  return *core;
}

struct TShutdown {
  TShutdown() { Core(); }
  ~TShutdown() { Core().Shutdown(); }
};
const TShutdown atExit;

void TSlot::Tick() {
  Core->Tick(*this);
}

int THost::DeviceAdded(TJoystickDevice* device) {
  return FCore.Added(*this, device);
}
void THost::DeviceRemoved(TJoystickDevice* device) {
  FCore.Removed(*this, device);
}
void THost::DeviceDetached(TJoystickDevice* device) {
  FCore.Detached(*this, device);
}
void THost::DeviceChanged(TJoystickDevice* device, const TDeviceState& state) {
  FCore.Changed(device, state);
}

// The call log's record of a joyGetDevCaps call.
TCallRecord DevCapsRecord(TServiceCall call, UINT_PTR id, const void* caps, UINT size) {
  return {.Call = call,
          .Controller = id > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<UINT>(id),
          .NullRecord = caps == nullptr,
          .Size = size};
}

// joyGetDevCapsW and joyGetDevCapsA: the record, its size and the identifier, in the
// order of vorlane/joystickapi.h; `Store` writes the wide record to the caller's.
template <class Store>
MMRESULT GetDevCaps(UINT_PTR id, const void* caps, UINT size, UINT small, UINT large,
                    Store&& store) {
  if (caps == nullptr) return MMSYSERR_INVALPARAM;
  if (size != small && size != large) return JOYERR_PARMS;
  JOYCAPS2W wide;
  const MMRESULT result = Core().GetDevCaps(id, wide);
  if (result == JOYERR_NOERROR) store(wide);
  return result;
}

// Runs one API call: starts the service, applies a fault, records the call. The
// entry points are C functions (winmm's, on Windows): nothing may pass out of them,
// so what the service raises (no memory, a system call that failed while it starts)
// becomes the system's answer for it.
template <class F>
MMRESULT Call(TCallRecord record, F&& body) noexcept {
  try {
    TCore& core = Core();
    core.Start();
    if (!core.Instrumented()) return body(record);
    MMRESULT result;
    if (!core.Refused(record.Call, record.Controller, result)) result = body(record);
    record.Result = result;
    core.Log(record);
    return result;
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  } catch (...) {
    return MMSYSERR_ERROR;
  }
}

}  // namespace

void Start() {
  Core().Start();
}
TJoystickDriver* AttachDriver(std::unique_ptr<TJoystickDriver> driver) {
  return Core().Attach(std::move(driver));
}
bool DetachDriver(TJoystickDriver* driver) {
  return Core().Detach(driver);
}
std::vector<std::string> GetDriverNames() {
  return Core().DriverNames();
}
int NumberOf(const TJoystickDevice* device) {
  return Core().NumberOf(device);
}
std::vector<std::string> LeftOutOf(int number) {
  return Core().LeftOutOf(number);
}
void AddFault(TServiceCall call, UINT controller, MMRESULT code, int times) {
  Core().AddFault(call, controller, code, times);
}
void ClearFaults() {
  Core().ClearFaults();
}
void StartCallLog() {
  Core().StartLog();
}
std::vector<TCallRecord> GetCallLog() {
  return Core().GetLog();
}
void StopCallLog(bool clear) {
  Core().StopLog(clear);
}
void ResetForTesting() {
  Core().Reset();
}

}  // namespace vorlane::JoystickService

using vorlane::JoystickService::Ansi;
using vorlane::JoystickService::Call;
using vorlane::JoystickService::Core;
using vorlane::JoystickService::DevCapsRecord;
using vorlane::JoystickService::GetDevCaps;
using vorlane::JoystickTesting::TCallRecord;
using vorlane::JoystickTesting::TServiceCall;

extern "C" {

UINT WINAPI joyGetNumDevs(void) {
  return Call({.Call = TServiceCall::GetNumDevs}, [](TCallRecord& r) {
    r.Result = 16;
    return r.Result;
  });
}

MMRESULT WINAPI joyGetPos(UINT uJoyID, LPJOYINFO pji) {
  return Call({.Call = TServiceCall::GetPos, .Controller = uJoyID, .NullRecord = pji == nullptr},
              [&](TCallRecord&) { return Core().GetPos(uJoyID, pji); });
}

MMRESULT WINAPI joyGetPosEx(UINT uJoyID, LPJOYINFOEX pji) {
  TCallRecord record{.Call = TServiceCall::GetPosEx, .Controller = uJoyID};
  if (pji == nullptr) {
    record.NullRecord = true;
  } else {
    record.Size = pji->dwSize;
    record.Flags = pji->dwFlags;
  }
  return Call(record, [&](TCallRecord&) { return Core().GetPosEx(uJoyID, pji); });
}

MMRESULT WINAPI joyGetDevCapsW(UINT_PTR uJoyID, LPJOYCAPSW pjc, UINT cbjc) {
  return Call(DevCapsRecord(TServiceCall::GetDevCaps, uJoyID, pjc, cbjc), [&](TCallRecord&) {
    return GetDevCaps(uJoyID, pjc, cbjc, sizeof(JOYCAPSW), sizeof(JOYCAPS2W),
                      [&](const JOYCAPS2W& caps) { std::memcpy(pjc, &caps, cbjc); });
  });
}

MMRESULT WINAPI joyGetDevCapsA(UINT_PTR uJoyID, LPJOYCAPSA pjc, UINT cbjc) {
  return Call(DevCapsRecord(TServiceCall::GetDevCapsA, uJoyID, pjc, cbjc), [&](TCallRecord&) {
    return GetDevCaps(uJoyID, pjc, cbjc, sizeof(JOYCAPSA), sizeof(JOYCAPS2A),
                      [&](const JOYCAPS2W& caps) {
                        const JOYCAPS2A ansi = Ansi(caps);
                        std::memcpy(pjc, &ansi, cbjc);
                      });
  });
}

MMRESULT WINAPI joyGetThreshold(UINT uJoyID, UINT* puThreshold) {
  return Call({.Call = TServiceCall::GetThreshold,
               .Controller = uJoyID,
               .NullRecord = puThreshold == nullptr},
              [&](TCallRecord& r) {
                const MMRESULT result = Core().GetThreshold(uJoyID, puThreshold);
                if (result == JOYERR_NOERROR) r.Threshold = *puThreshold;
                return result;
              });
}

MMRESULT WINAPI joySetThreshold(UINT uJoyID, UINT uThreshold) {
  return Call({.Call = TServiceCall::SetThreshold, .Controller = uJoyID, .Threshold = uThreshold},
              [&](TCallRecord&) { return Core().SetThreshold(uJoyID, uThreshold); });
}

MMRESULT WINAPI joySetCapture(HWND hwnd, UINT uJoyID, UINT uPeriod, BOOL fChanged) {
  return Call({.Call = TServiceCall::SetCapture,
               .Controller = uJoyID,
               .Period = uPeriod,
               .Changed = fChanged,
               .Window = hwnd},
              [&](TCallRecord&) {
                // The C API's window handle (the system's type on Windows) names a
                // window of the framework.
                return Core().SetCapture(reinterpret_cast<vorlane::Messages::HWND>(hwnd), uJoyID,
                                         uPeriod, fChanged);
              });
}

MMRESULT WINAPI joyReleaseCapture(UINT uJoyID) {
  return Call({.Call = TServiceCall::ReleaseCapture, .Controller = uJoyID},
              [&](TCallRecord&) { return Core().ReleaseCapture(uJoyID); });
}

}  // extern "C"

namespace vorlane::JoystickBinding {

const TServiceFunctions& VorlaneService() {
  static constexpr TServiceFunctions functions{
      .GetNumDevs = &joyGetNumDevs,
      .GetPos = &joyGetPos,
      .GetPosEx = &joyGetPosEx,
      .GetDevCapsW = &joyGetDevCapsW,
      .GetThreshold = &joyGetThreshold,
      .SetThreshold = &joySetThreshold,
      .SetCapture = &joySetCapture,
      .ReleaseCapture = &joyReleaseCapture,
  };
  return functions;
}

}  // namespace vorlane::JoystickBinding
