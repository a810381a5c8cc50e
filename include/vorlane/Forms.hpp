// Windowed controls, forms with deferred release, and the application loop.
#pragma once

#include "vorlane/Classes.hpp"
#include "vorlane/Messages.hpp"

namespace vorlane::Forms {

// A component with a window. The window is created on first use of GetHandle, on
// the calling thread, and destroyed with the control. Its messages are dispatched
// by number through the class's message table (TObject::Dispatch).
class TWinControl : public Classes::TComponent {
 public:
  explicit TWinControl(Classes::TComponent* owner);
  ~TWinControl() override;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  HWND GetHandle();
  bool HandleAllocated() const { return FHandle != nullptr; }

 protected:
  // Every message of the window passes here; the default dispatches it by number.
  virtual void WndProc(Messages::TMessage& message);

 private:
  HWND FHandle = nullptr;
};

class TCustomForm : public TWinControl {
 public:
  // CreateNew(owner, dummy): an empty form with no stored form data.
  TCustomForm(Classes::TComponent* owner, int dummy);
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  // Frees the form later, from the message queue, once the messages that are being
  // handled have returned. Safe to call from inside one of the form's own handlers.
  void Release();

 private:
  void CMRelease(Messages::TMessage& message);
};

// The application's message loop on the calling thread.
class TApplication {
 public:
  void ProcessMessages();
  // Waits for the next message or source and handles it.
  void HandleMessage();
  // Handles messages until Terminate is called.
  void Run();
  void Terminate();
  bool GetTerminated() const { return FTerminated; }

 private:
  bool FTerminated = false;
};

TApplication& Application();

}  // namespace vorlane::Forms
