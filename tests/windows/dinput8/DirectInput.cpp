// A scripted stand-in for dinput8.dll: IDirectInput8W and IDirectInputDevice8W over
// the controllers of a script (see README.md). The methods that Wine's winmm calls
// behave as DirectInput's do; the others answer E_NOTIMPL or DIERR_UNSUPPORTED.
#define DIRECTINPUT_VERSION 0x0800
#include <dinput.h>
#include <windows.h>

#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "DeviceScript.hpp"
#include "Session.hpp"

namespace vorlane::dinput {
namespace {

constexpr wchar_t kScriptVariable[] = L"VORLANE_DINPUT_SCRIPT";
constexpr wchar_t kTraceVariable[] = L"VORLANE_DINPUT_TRACE";
constexpr LONG kDefaultRangeMin = 0;
constexpr LONG kDefaultRangeMax = 65535;
constexpr DWORD kStateButtons = 48;  // device offset of the first button (as in DIJOYSTATE2)
constexpr DWORD kStatePov = 32;

// The predefined property ids (DIPROP_* are these numbers cast to GUID references).
constexpr std::uintptr_t kPropRange = 4;
constexpr std::uintptr_t kPropInstanceName = 13;
constexpr std::uintptr_t kPropProductName = 14;
constexpr std::uintptr_t kPropPhysicalRange = 18;
constexpr std::uintptr_t kPropLogicalRange = 19;
constexpr std::uintptr_t kPropVidPid = 24;

// {5649524C-414E-4500-8000-00000000000n}: one instance GUID per scripted device.
constexpr GUID kInstanceBase = {0x5649524c, 0x414e, 0x4500, {0x80, 0, 0, 0, 0, 0, 0, 0}};
// DirectInput's product GUIDs for HID devices: {PIDVID-0000-0000-0000-504944564944}.
constexpr GUID kProductBase = {0, 0, 0, {0, 0, 'P', 'I', 'D', 'V', 'I', 'D'}};

std::atomic<long> liveObjects{0};

std::wstring environment(const wchar_t* name) {
  DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return {};
  std::wstring value(size, L'\0');
  value.resize(GetEnvironmentVariableW(name, value.data(), size));
  return value;
}

void writeStderr(const std::string& text) {
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (!error || error == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(error, text.data(), DWORD(text.size()), &written, nullptr);
}

bool tracing() {
  static const bool on = !environment(kTraceVariable).empty();
  return on;
}

void trace(const char* format, ...) {
  if (!tracing()) return;
  char buffer[512];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  writeStderr(std::string("dinput8 stand-in: ") + buffer + "\n");
}

std::string narrow(const std::wstring& text) {
  int size =
      WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string result(std::size_t(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), int(text.size()), result.data(), size, nullptr,
                      nullptr);
  return result;
}

std::wstring widen(const std::string& text) {
  int size = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()), nullptr, 0);
  std::wstring result(std::size_t(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.c_str(), int(text.size()), result.data(), size);
  return result;
}

void copyName(WCHAR* target, std::size_t capacity, const std::wstring& name) {
  lstrcpynW(target, name.c_str(), int(capacity));
}

// The value a property id stands for: DIPROP_* are small integers cast to GUIDs.
std::uintptr_t propertyId(REFGUID guid) {
  return reinterpret_cast<std::uintptr_t>(&guid);
}

// The scaling of Wine's HID joysticks from the device's logical range to the
// application's range, with no dead zone and full saturation: each half of the
// logical range maps onto the matching half of the application's range.
LONG scaleAxis(LONG value, LONG logicalMin, LONG logicalMax, LONG rangeMin, LONG rangeMax) {
  LONG rangeCentre = rangeMin == 0 ? rangeMax >> 1 : LONG(std::lround((rangeMin + rangeMax) / 2.0));
  LONG logicalCentre =
      logicalMin == 0 ? logicalMax >> 1 : LONG(std::lround((logicalMin + logicalMax) / 2.0));
  LONG offset = value - logicalCentre;
  LONG low, high, outLow, outHigh;
  if (offset <= 0) {
    low = logicalMin - logicalCentre, high = 0, outLow = rangeMin, outHigh = rangeCentre;
  } else {
    low = 0, high = logicalMax - logicalCentre, outLow = rangeCentre, outHigh = rangeMax;
  }
  if (offset <= low) return outLow;
  if (offset >= high) return outHigh;
  return outLow + MulDiv(offset - low, outHigh - outLow, high - low);
}

struct AxisKindInfo {
  const GUID* guid;
  WORD usage;
  const wchar_t* name;
  DWORD offset;  // device offset, as in DIJOYSTATE2
};

AxisKindInfo axisInfo(AxisKind kind, int sliderIndex) {
  switch (kind) {
    case AxisKind::X:
      return {&GUID_XAxis, 0x30, L"X Axis", 0};
    case AxisKind::Y:
      return {&GUID_YAxis, 0x31, L"Y Axis", 4};
    case AxisKind::Z:
      return {&GUID_ZAxis, 0x32, L"Z Axis", 8};
    case AxisKind::Rx:
      return {&GUID_RxAxis, 0x33, L"X Rotation", 12};
    case AxisKind::Ry:
      return {&GUID_RyAxis, 0x34, L"Y Rotation", 16};
    case AxisKind::Rz:
      return {&GUID_RzAxis, 0x35, L"Z Rotation", 20};
    case AxisKind::Slider:
      break;
  }
  return {&GUID_Slider, 0x36, L"Slider", DWORD(24 + 4 * sliderIndex)};
}

// One control of a device as DirectInput describes it.
struct Control {
  enum class Kind { Axis, Pov, Button } kind;
  int index;  // the axis index in the script, 0 for the hat, the 0-based button
  DIDEVICEOBJECTINSTANCEW info;
};

std::vector<Control> describeControls(const ScriptedDevice& scripted) {
  std::vector<Control> controls;
  auto make = [](const GUID& type, DWORD offset, DWORD dwType, DWORD flags,
                 const std::wstring& name, WORD page, WORD usage) {
    DIDEVICEOBJECTINSTANCEW info{};
    info.dwSize = sizeof info;
    info.guidType = type;
    info.dwOfs = offset;
    info.dwType = dwType;
    info.dwFlags = flags;
    copyName(info.tszName, MAX_PATH, name);
    info.wUsagePage = page;
    info.wUsage = usage;
    return info;
  };
  int sliders = 0;
  for (std::size_t i = 0; i < scripted.axes.size(); ++i) {
    AxisKindInfo kind = axisInfo(scripted.axes[i].kind, sliders);
    if (scripted.axes[i].kind == AxisKind::Slider) ++sliders;
    controls.push_back({Control::Kind::Axis, int(i),
                        make(*kind.guid, kind.offset, DIDFT_ABSAXIS | DIDFT_MAKEINSTANCE(i),
                             DIDOI_ASPECTPOSITION, kind.name, 0x01, kind.usage)});
  }
  if (scripted.hat)
    controls.push_back({Control::Kind::Pov, 0,
                        make(GUID_POV, kStatePov, DIDFT_POV | DIDFT_MAKEINSTANCE(0), 0,
                             L"Hat Switch", 0x01, 0x39)});
  for (int b = 0; b < scripted.buttons; ++b)
    controls.push_back(
        {Control::Kind::Button, b,
         make(GUID_Button, kStateButtons + DWORD(b), DIDFT_PSHBUTTON | DIDFT_MAKEINSTANCE(b), 0,
              L"Button " + std::to_wstring(b), 0x09, WORD(b + 1))});
  return controls;
}

DIDEVICEINSTANCEW describeDevice(const ScriptedDevice& scripted, int index) {
  DIDEVICEINSTANCEW info{};
  info.dwSize = sizeof info;
  info.guidInstance = kInstanceBase;
  info.guidInstance.Data4[7] = BYTE(index);
  info.guidProduct = kProductBase;
  info.guidProduct.Data1 = MAKELONG(scripted.vendor, scripted.product);
  info.dwDevType = DI8DEVTYPE_JOYSTICK | (DI8DEVTYPEJOYSTICK_STANDARD << 8) | DIDEVTYPE_HID;
  std::wstring name = widen(scripted.name);
  copyName(info.tszInstanceName, MAX_PATH, name);
  copyName(info.tszProductName, MAX_PATH, name);
  info.wUsagePage = 0x01;
  info.wUsage = 0x04;  // joystick
  return info;
}

// The IUnknown part of the stand-in's objects: a reference count starting at one
// and the interfaces an object answers to besides IUnknown.
template <typename Interface>
class ComObject : public Interface {
 public:
  ComObject() { ++liveObjects; }
  virtual ~ComObject() { --liveObjects; }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  STDMETHODIMP_(ULONG) AddRef() override { return ULONG(++references_); }
  STDMETHODIMP_(ULONG) Release() override {
    long left = --references_;
    if (left == 0) delete this;
    return ULONG(left);
  }

 protected:
  HRESULT answer(REFIID iid, void** out, std::initializer_list<const IID*> interfaces) {
    if (!out) return E_POINTER;
    bool known = IsEqualGUID(iid, IID_IUnknown);
    for (const IID* candidate : interfaces) known = known || IsEqualGUID(iid, *candidate);
    if (!known) {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *out = static_cast<Interface*>(this);
    return S_OK;
  }

 private:
  std::atomic<long> references_{1};
};

class Device final : public ComObject<IDirectInputDevice8W> {
 public:
  Device(std::shared_ptr<Session> session, int index)
      : session_(std::move(session)),
        index_(index),
        device_(session_->script().devices[std::size_t(index)]),
        instance_(describeDevice(device_, index)),
        controls_(describeControls(device_)),
        ranges_(device_.axes.size(), {kDefaultRangeMin, kDefaultRangeMax}) {}
  ~Device() override { session_->notify(this, index_, nullptr); }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    return answer(iid, out,
                  {&IID_IDirectInputDevice8W, &IID_IDirectInputDevice7W, &IID_IDirectInputDevice2W,
                   &IID_IDirectInputDeviceW});
  }

  // IDirectInputDevice
  STDMETHODIMP GetCapabilities(LPDIDEVCAPS caps) override {
    trace("device %d: GetCapabilities", index_);
    if (!caps) return E_POINTER;
    if (caps->dwSize != sizeof(DIDEVCAPS_DX3) && caps->dwSize != sizeof(DIDEVCAPS))
      return DIERR_INVALIDPARAM;
    DIDEVCAPS full{};
    full.dwSize = caps->dwSize;
    full.dwFlags = session_->state(index_).attached ? DIDC_ATTACHED : 0;
    full.dwDevType = instance_.dwDevType;
    full.dwAxes = DWORD(device_.axes.size());
    full.dwButtons = DWORD(device_.buttons);
    full.dwPOVs = device_.hat ? 1 : 0;
    std::memcpy(caps, &full, caps->dwSize);
    return DI_OK;
  }

  STDMETHODIMP EnumObjects(LPDIENUMDEVICEOBJECTSCALLBACKW callback, LPVOID context,
                           DWORD flags) override {
    trace("device %d: EnumObjects(flags %#lx)", index_, flags);
    if (!callback) return DIERR_INVALIDPARAM;
    if (flags & ~DWORD(DIDFT_AXIS | DIDFT_POV | DIDFT_BUTTON | DIDFT_NODATA | DIDFT_COLLECTION))
      return DIERR_INVALIDPARAM;
    for (Control::Kind kind : {Control::Kind::Axis, Control::Kind::Pov, Control::Kind::Button}) {
      DWORD typeBits = kind == Control::Kind::Axis  ? DWORD(DIDFT_AXIS)
                       : kind == Control::Kind::Pov ? DWORD(DIDFT_POV)
                                                    : DWORD(DIDFT_BUTTON);
      if (flags != DIDFT_ALL && !(flags & typeBits)) continue;
      for (std::size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i].kind != kind) continue;
        DIDEVICEOBJECTINSTANCEW info = reported(i);
        if (callback(&info, context) != DIENUM_CONTINUE) return DI_OK;
      }
    }
    return DI_OK;
  }

  STDMETHODIMP GetProperty(REFGUID guid, LPDIPROPHEADER header) override {
    std::uintptr_t id = propertyId(guid);
    trace("device %d: GetProperty(%u, how %lu, obj %#lx)", index_, unsigned(id),
          header ? header->dwHow : 0, header ? header->dwObj : 0);
    if (!header || header->dwHeaderSize != sizeof(DIPROPHEADER)) return DIERR_INVALIDPARAM;
    if (id > 0xffff) return DIERR_UNSUPPORTED;
    switch (id) {
      case kPropVidPid: {
        if (header->dwSize != sizeof(DIPROPDWORD)) return DIERR_INVALIDPARAM;
        if (header->dwHow != DIPH_DEVICE) return DIERR_UNSUPPORTED;
        if (header->dwObj) return DIERR_INVALIDPARAM;
        reinterpret_cast<DIPROPDWORD*>(header)->dwData = MAKELONG(device_.vendor, device_.product);
        return DI_OK;
      }
      case kPropProductName:
      case kPropInstanceName: {
        if (header->dwSize != sizeof(DIPROPSTRING)) return DIERR_INVALIDPARAM;
        if (header->dwHow != DIPH_DEVICE) return DIERR_UNSUPPORTED;
        if (header->dwObj) return DIERR_INVALIDPARAM;
        copyName(reinterpret_cast<DIPROPSTRING*>(header)->wsz, MAX_PATH, instance_.tszProductName);
        return DI_OK;
      }
      case kPropRange:
      case kPropLogicalRange:
      case kPropPhysicalRange: {
        if (header->dwSize != sizeof(DIPROPRANGE)) return DIERR_INVALIDPARAM;
        if (header->dwHow == DIPH_DEVICE) return DIERR_UNSUPPORTED;
        std::optional<std::size_t> control = find(header->dwObj, header->dwHow);
        if (!control) return DIERR_NOTFOUND;
        if (controls_[*control].kind != Control::Kind::Axis) return DIERR_UNSUPPORTED;
        std::size_t axis = std::size_t(controls_[*control].index);
        auto* range = reinterpret_cast<DIPROPRANGE*>(header);
        if (id == kPropRange) {
          range->lMin = ranges_[axis].first;
          range->lMax = ranges_[axis].second;
        } else {
          range->lMin = device_.axes[axis].min;
          range->lMax = device_.axes[axis].max;
        }
        return DI_OK;
      }
    }
    return DIERR_UNSUPPORTED;
  }

  STDMETHODIMP SetProperty(REFGUID guid, LPCDIPROPHEADER header) override {
    std::uintptr_t id = propertyId(guid);
    trace("device %d: SetProperty(%u)", index_, unsigned(id));
    if (!header || header->dwHeaderSize != sizeof(DIPROPHEADER)) return DIERR_INVALIDPARAM;
    if (id == kPropVidPid || id == kPropLogicalRange || id == kPropPhysicalRange)
      return DIERR_READONLY;
    if (id != kPropRange) return DIERR_UNSUPPORTED;
    if (header->dwSize != sizeof(DIPROPRANGE)) return DIERR_INVALIDPARAM;
    const auto* range = reinterpret_cast<const DIPROPRANGE*>(header);
    if (range->lMin > range->lMax) return DIERR_INVALIDPARAM;
    if (header->dwHow == DIPH_DEVICE) {
      if (header->dwObj) return DIERR_INVALIDPARAM;
      for (auto& axisRange : ranges_) axisRange = {range->lMin, range->lMax};
      return DI_OK;
    }
    std::optional<std::size_t> control = find(header->dwObj, header->dwHow);
    if (!control) return DIERR_NOTFOUND;
    if (controls_[*control].kind != Control::Kind::Axis) return DIERR_UNSUPPORTED;
    ranges_[std::size_t(controls_[*control].index)] = {range->lMin, range->lMax};
    return DI_OK;
  }

  STDMETHODIMP Acquire() override {
    trace("device %d: Acquire", index_);
    if (acquired_) return DI_NOEFFECT;
    if (!format_) return DIERR_INVALIDPARAM;
    if ((cooperation_ & DISCL_FOREGROUND) && window_ != GetForegroundWindow())
      return DIERR_OTHERAPPHASPRIO;
    DeviceState state = session_->state(index_);
    if (!state.attached) return DIERR_UNPLUGGED;
    acquired_ = true;
    acquiredUnplugs_ = state.unplugs;
    session_->start();
    session_->notify(this, index_, event_);
    return DI_OK;
  }

  STDMETHODIMP Unacquire() override {
    trace("device %d: Unacquire", index_);
    if (!acquired_) return DI_NOEFFECT;
    acquired_ = false;
    session_->notify(this, index_, nullptr);
    return DI_OK;
  }

  STDMETHODIMP GetDeviceState(DWORD size, LPVOID data) override {
    if (!data) return DIERR_INVALIDPARAM;
    DeviceState state = session_->state(index_);
    if (acquired_ && lost(state)) return DIERR_INPUTLOST;
    if (!acquired_) return DIERR_NOTACQUIRED;
    if (!format_ || size != format_->dataSize) return DIERR_INVALIDPARAM;
    auto* bytes = static_cast<BYTE*>(data);
    std::memset(bytes, 0, size);
    auto putLong = [bytes](DWORD offset, LONG value) { std::memcpy(bytes + offset, &value, 4); };
    for (DWORD offset : format_->unmatchedPovs) putLong(offset, -1);
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      LONG offset = format_->offsets[i];
      if (offset < 0) continue;
      const Control& control = controls_[i];
      std::size_t n = std::size_t(control.index);
      switch (control.kind) {
        case Control::Kind::Axis:
          putLong(DWORD(offset), scaleAxis(state.axes[n], device_.axes[n].min, device_.axes[n].max,
                                           ranges_[n].first, ranges_[n].second));
          break;
        case Control::Kind::Pov:
          putLong(DWORD(offset), state.hat);
          break;
        case Control::Kind::Button:
          bytes[offset] = state.buttons[n] ? 0x80 : 0;
          break;
      }
    }
    return DI_OK;
  }

  STDMETHODIMP GetDeviceData(DWORD, LPDIDEVICEOBJECTDATA, LPDWORD, DWORD) override {
    // No buffer size can be set (DIPROP_BUFFERSIZE is not supported), so the
    // device is never buffered.
    return DIERR_NOTBUFFERED;
  }

  STDMETHODIMP SetDataFormat(LPCDIDATAFORMAT format) override {
    trace("device %d: SetDataFormat(%lu objects, %lu bytes, flags %#lx)", index_,
          format ? format->dwNumObjs : 0, format ? format->dwDataSize : 0,
          format ? format->dwFlags : 0);
    if (!format) return E_POINTER;
    if (format->dwSize != sizeof(DIDATAFORMAT) || format->dwObjSize != sizeof(DIOBJECTDATAFORMAT))
      return DIERR_INVALIDPARAM;
    if (acquired_) return DIERR_ACQUIRED;
    if (format->dwFlags & DIDF_RELAXIS) return DIERR_UNSUPPORTED;
    if (format->dwNumObjs && !format->rgodf) return DIERR_INVALIDPARAM;
    UserFormat user;
    user.dataSize = format->dwDataSize;
    user.offsets.assign(controls_.size(), -1);
    for (DWORD i = 0; i < format->dwNumObjs; ++i) {
      const DIOBJECTDATAFORMAT& wanted = format->rgodf[i];
      DWORD width = (DIDFT_GETTYPE(wanted.dwType) & DIDFT_BUTTON) ? 1 : 4;
      if (wanted.dwOfs > format->dwDataSize || format->dwDataSize - wanted.dwOfs < width)
        return DIERR_INVALIDPARAM;
      std::optional<std::size_t> match = matchControl(wanted, user);
      if (match) {
        user.offsets[*match] = LONG(wanted.dwOfs);
        continue;
      }
      if (!(wanted.dwType & DIDFT_OPTIONAL)) return DIERR_INVALIDPARAM;
      if (DIDFT_GETTYPE(wanted.dwType) & DIDFT_POV) user.unmatchedPovs.push_back(wanted.dwOfs);
    }
    format_ = std::move(user);
    return DI_OK;
  }

  STDMETHODIMP SetEventNotification(HANDLE event) override {
    trace("device %d: SetEventNotification(%p)", index_, event);
    if (acquired_) return DIERR_ACQUIRED;
    event_ = event;
    return DI_OK;
  }

  STDMETHODIMP SetCooperativeLevel(HWND window, DWORD flags) override {
    trace("device %d: SetCooperativeLevel(%p, %#lx)", index_, static_cast<void*>(window), flags);
    DWORD access = flags & (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE);
    DWORD ground = flags & (DISCL_FOREGROUND | DISCL_BACKGROUND);
    if (access == 0 || access == (DISCL_EXCLUSIVE | DISCL_NONEXCLUSIVE) || ground == 0 ||
        ground == (DISCL_FOREGROUND | DISCL_BACKGROUND))
      return DIERR_INVALIDPARAM;
    if (window && (GetWindowLongW(window, GWL_STYLE) & WS_CHILD)) return E_HANDLE;
    if (!window && flags == (DISCL_NONEXCLUSIVE | DISCL_BACKGROUND)) window = GetDesktopWindow();
    if (!IsWindow(window)) return E_HANDLE;
    if (acquired_) return DIERR_ACQUIRED;
    window_ = window;
    cooperation_ = flags;
    return DI_OK;
  }

  STDMETHODIMP GetObjectInfo(LPDIDEVICEOBJECTINSTANCEW instance, DWORD object, DWORD how) override {
    trace("device %d: GetObjectInfo(obj %#lx, how %lu)", index_, object, how);
    if (!instance) return E_POINTER;
    DWORD size = instance->dwSize;
    if (size != sizeof(DIDEVICEOBJECTINSTANCE_DX3W) && size != sizeof(DIDEVICEOBJECTINSTANCEW))
      return DIERR_INVALIDPARAM;
    if (how == DIPH_DEVICE) return DIERR_INVALIDPARAM;
    if (how > DIPH_BYUSAGE) return DIERR_INVALIDPARAM;
    std::optional<std::size_t> control = find(object, how);
    if (!control) return DIERR_NOTFOUND;
    DIDEVICEOBJECTINSTANCEW info = reported(*control);
    std::memcpy(instance, &info, size);
    instance->dwSize = size;
    return DI_OK;
  }

  STDMETHODIMP GetDeviceInfo(LPDIDEVICEINSTANCEW instance) override {
    trace("device %d: GetDeviceInfo", index_);
    if (!instance) return E_POINTER;
    DWORD size = instance->dwSize;
    if (size != sizeof(DIDEVICEINSTANCE_DX3W) && size != sizeof(DIDEVICEINSTANCEW))
      return DIERR_INVALIDPARAM;
    std::memcpy(instance, &instance_, size);
    instance->dwSize = size;
    return DI_OK;
  }

  STDMETHODIMP RunControlPanel(HWND, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Initialize(HINSTANCE, DWORD, REFGUID) override { return E_NOTIMPL; }

  // IDirectInputDevice2
  STDMETHODIMP CreateEffect(REFGUID, LPCDIEFFECT, LPDIRECTINPUTEFFECT* effect, LPUNKNOWN) override {
    if (effect) *effect = nullptr;
    return DIERR_UNSUPPORTED;
  }
  STDMETHODIMP EnumEffects(LPDIENUMEFFECTSCALLBACKW, LPVOID, DWORD) override {
    return DIERR_UNSUPPORTED;
  }
  STDMETHODIMP GetEffectInfo(LPDIEFFECTINFOW, REFGUID) override { return DIERR_UNSUPPORTED; }
  STDMETHODIMP GetForceFeedbackState(LPDWORD) override { return DIERR_UNSUPPORTED; }
  STDMETHODIMP SendForceFeedbackCommand(DWORD) override { return DIERR_UNSUPPORTED; }
  STDMETHODIMP EnumCreatedEffectObjects(LPDIENUMCREATEDEFFECTOBJECTSCALLBACK, LPVOID,
                                        DWORD) override {
    return DIERR_UNSUPPORTED;
  }
  STDMETHODIMP Escape(LPDIEFFESCAPE) override { return DIERR_UNSUPPORTED; }
  STDMETHODIMP Poll() override {
    DeviceState state = session_->state(index_);
    if (!acquired_) return DIERR_NOTACQUIRED;
    if (lost(state)) return DIERR_INPUTLOST;
    return DI_NOEFFECT;  // the state is always current: nothing needs polling
  }
  STDMETHODIMP SendDeviceData(DWORD, LPCDIDEVICEOBJECTDATA, LPDWORD, DWORD) override {
    return DIERR_UNSUPPORTED;
  }

  // IDirectInputDevice7
  STDMETHODIMP EnumEffectsInFile(LPCWSTR, LPDIENUMEFFECTSINFILECALLBACK, LPVOID, DWORD) override {
    return DIERR_UNSUPPORTED;
  }
  STDMETHODIMP WriteEffectToFile(LPCWSTR, DWORD, LPDIFILEEFFECT, DWORD) override {
    return DIERR_UNSUPPORTED;
  }

  // IDirectInputDevice8
  STDMETHODIMP BuildActionMap(LPDIACTIONFORMATW, LPCWSTR, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP SetActionMap(LPDIACTIONFORMATW, LPCWSTR, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetImageInfo(LPDIDEVICEIMAGEINFOHEADERW) override { return E_NOTIMPL; }

 private:
  struct UserFormat {
    DWORD dataSize = 0;
    std::vector<LONG> offsets;         // per control: its offset in the data, or -1
    std::vector<DWORD> unmatchedPovs;  // optional POVs the device lacks: reported centred
  };

  // Once acquired, a device that went away stays lost until it is acquired again.
  bool lost(const DeviceState& state) const {
    return !state.attached || state.unplugs != acquiredUnplugs_;
  }

  // The first control not yet matched that fits a data-format entry: same GUID
  // (when the entry names one), same instance (unless any) and a common type.
  std::optional<std::size_t> matchControl(const DIOBJECTDATAFORMAT& wanted,
                                          const UserFormat& user) const {
    DWORD instance = DIDFT_GETINSTANCE(wanted.dwType);
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      if (user.offsets[i] >= 0) continue;
      const DIDEVICEOBJECTINSTANCEW& info = controls_[i].info;
      if (wanted.pguid && !IsEqualGUID(*wanted.pguid, info.guidType)) continue;
      if (instance != DIDFT_GETINSTANCE(DIDFT_ANYINSTANCE) &&
          instance != DIDFT_GETINSTANCE(info.dwType))
        continue;
      if (!(DIDFT_GETTYPE(wanted.dwType) & DIDFT_GETTYPE(info.dwType))) continue;
      return i;
    }
    return std::nullopt;
  }

  // The control named by (object, how): an offset in the data format, an object
  // id (type and instance) or a HID usage.
  std::optional<std::size_t> find(DWORD object, DWORD how) const {
    for (std::size_t i = 0; i < controls_.size(); ++i) {
      const DIDEVICEOBJECTINSTANCEW& info = controls_[i].info;
      switch (how) {
        case DIPH_BYOFFSET:
          if (format_ && format_->offsets[i] >= 0 && DWORD(format_->offsets[i]) == object) return i;
          break;
        case DIPH_BYID:
          if ((info.dwType & 0x00ffffff) == (object & 0x00ffffff)) return i;
          break;
        case DIPH_BYUSAGE:
          if (DWORD(MAKELONG(info.wUsage, info.wUsagePage)) == object) return i;
          break;
      }
    }
    return std::nullopt;
  }

  // A control's description, with its offset in the current data format.
  DIDEVICEOBJECTINSTANCEW reported(std::size_t control) const {
    DIDEVICEOBJECTINSTANCEW info = controls_[control].info;
    if (format_ && format_->offsets[control] >= 0) info.dwOfs = DWORD(format_->offsets[control]);
    return info;
  }

  const std::shared_ptr<Session> session_;
  const int index_;
  const ScriptedDevice& device_;
  const DIDEVICEINSTANCEW instance_;
  const std::vector<Control> controls_;
  std::vector<std::pair<LONG, LONG>> ranges_;  // the application's range of each axis
  std::optional<UserFormat> format_;
  HANDLE event_ = nullptr;
  HWND window_ = nullptr;
  DWORD cooperation_ = 0;
  bool acquired_ = false;
  std::uint32_t acquiredUnplugs_ = 0;
};

class DirectInput final : public ComObject<IDirectInput8W> {
 public:
  explicit DirectInput(std::shared_ptr<Session> session) : session_(std::move(session)) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    return answer(iid, out, {&IID_IDirectInput8W});
  }

  STDMETHODIMP CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8W* device, LPUNKNOWN outer) override {
    trace("CreateDevice");
    if (!device) return E_POINTER;
    *device = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    std::optional<int> index = deviceIndex(guid);
    if (!index || !session_->state(*index).attached) return DIERR_DEVICENOTREG;
    *device = new Device(session_, *index);
    return DI_OK;
  }

  STDMETHODIMP EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKW callback, LPVOID context,
                           DWORD flags) override {
    trace("EnumDevices(type %#lx, flags %#lx)", type, flags);
    if (!callback) return DIERR_INVALIDPARAM;
    if (type > DI8DEVTYPE_SUPPLEMENTAL || (type > DI8DEVCLASS_GAMECTRL && type < DI8DEVTYPE_DEVICE))
      return DIERR_INVALIDPARAM;
    if (flags & ~DWORD(DIEDFL_ATTACHEDONLY | DIEDFL_FORCEFEEDBACK | DIEDFL_INCLUDEALIASES |
                       DIEDFL_INCLUDEPHANTOMS | DIEDFL_INCLUDEHIDDEN))
      return DIERR_INVALIDPARAM;
    bool wanted =
        type == DI8DEVCLASS_ALL || type == DI8DEVCLASS_GAMECTRL || type == DI8DEVTYPE_JOYSTICK;
    if (!wanted || (flags & DIEDFL_FORCEFEEDBACK)) return DI_OK;
    const auto& devices = session_->script().devices;
    for (std::size_t i = 0; i < devices.size(); ++i) {
      // A device that is not plugged in is a phantom.
      if (!session_->state(int(i)).attached && !(flags & DIEDFL_INCLUDEPHANTOMS)) continue;
      DIDEVICEINSTANCEW info = describeDevice(devices[i], int(i));
      if (callback(&info, context) != DIENUM_CONTINUE) break;
    }
    return DI_OK;
  }

  STDMETHODIMP GetDeviceStatus(REFGUID guid) override {
    std::optional<int> index = deviceIndex(guid);
    if (!index) return DIERR_DEVICENOTREG;
    return session_->state(*index).attached ? DI_OK : DI_NOTATTACHED;
  }

  STDMETHODIMP RunControlPanel(HWND, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP Initialize(HINSTANCE, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP FindDevice(REFGUID, LPCWSTR, LPGUID) override { return E_NOTIMPL; }
  STDMETHODIMP EnumDevicesBySemantics(LPCWSTR, LPDIACTIONFORMATW, LPDIENUMDEVICESBYSEMANTICSCBW,
                                      LPVOID, DWORD) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP ConfigureDevices(LPDICONFIGUREDEVICESCALLBACK, LPDICONFIGUREDEVICESPARAMSW, DWORD,
                                LPVOID) override {
    return E_NOTIMPL;
  }

 private:
  std::optional<int> deviceIndex(REFGUID guid) const {
    const auto& devices = session_->script().devices;
    for (std::size_t i = 0; i < devices.size(); ++i)
      if (IsEqualGUID(guid, describeDevice(devices[i], int(i)).guidInstance)) return int(i);
    return std::nullopt;
  }

  const std::shared_ptr<Session> session_;
};

// Reads and parses the script named by the environment; no variable means no
// devices. Problems are written to stderr, naming the file and the line.
HRESULT loadScript(DeviceScript& script) {
  std::wstring path = environment(kScriptVariable);
  if (path.empty()) return DI_OK;
  std::string where = narrow(path);
  std::ifstream file(path.c_str(), std::ios::binary);
  std::ostringstream text;
  if (file) text << file.rdbuf();
  if (!file || file.bad()) {
    writeStderr("dinput8 stand-in: " + where + ": cannot read the script named by " +
                "VORLANE_DINPUT_SCRIPT\n");
    return DIERR_NOTFOUND;
  }
  try {
    script = parseScript(text.str());
  } catch (const ScriptError& error) {
    writeStderr("dinput8 stand-in: " + where + ":" + std::to_string(error.line()) + ": " +
                error.what() + "\n");
    return DIERR_INVALIDPARAM;
  }
  return DI_OK;
}

}  // namespace
}  // namespace vorlane::dinput

extern "C" {

HRESULT WINAPI DirectInput8Create(HINSTANCE instance, DWORD version, REFIID iid, void** out,
                                  IUnknown* outer) {
  using namespace vorlane::dinput;
  trace("DirectInput8Create(version %#lx)", version);
  if (!out) return DIERR_INVALIDPARAM;
  *out = nullptr;
  if (!instance) return DIERR_INVALIDPARAM;
  if (version < 0x0800) return DIERR_OLDDIRECTINPUTVERSION;
  if (version > 0x0800) return DIERR_BETADIRECTINPUTVERSION;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (!IsEqualGUID(iid, IID_IDirectInput8W) && !IsEqualGUID(iid, IID_IUnknown))
    return DIERR_NOINTERFACE;
  DeviceScript script;
  if (HRESULT result = loadScript(script); FAILED(result)) return result;
  try {
    *out =
        static_cast<IDirectInput8W*>(new DirectInput(std::make_shared<Session>(std::move(script))));
  } catch (const std::bad_alloc&) {
    return DIERR_OUTOFMEMORY;
  }
  return DI_OK;
}

HRESULT WINAPI DllCanUnloadNow() {
  return vorlane::dinput::liveObjects == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID, REFIID, void** out) {
  if (out) *out = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT WINAPI DllRegisterServer() {
  return E_NOTIMPL;
}
HRESULT WINAPI DllUnregisterServer() {
  return E_NOTIMPL;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}

}  // extern "C"
