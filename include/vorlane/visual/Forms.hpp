// Windowed controls, forms with deferred release, and the application loop.
#pragma once

#include <atomic>
#include <memory>

#include "vorlane/runtime/Classes.hpp"
#include "vorlane/runtime/Closure.hpp"
#include "vorlane/visual/Messages.hpp"

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

  // The window, created on the calling thread when there is none yet (or when the
  // old one ended with its thread).
  Messages::HWND GetHandle();
  bool HandleAllocated() const { return FHandle != nullptr; }

 protected:
  // Every message of the window passes here; the default dispatches it by number.
  virtual void WndProc(Messages::TMessage& message);
  // How many of this control's messages are being handled right now (nested
  // deliveries count once each); 0 outside any handler.
  int GetMessageDepth() const;

 private:
  struct TDispatchFrame;
  void MainWndProc(Messages::TMessage& message);

  Messages::HWND FHandle = nullptr;
  TDispatchFrame* FFrames = nullptr;  // innermost message being handled
};

class TCustomForm : public TWinControl {
 public:
  // CreateNew(owner, dummy): an empty form with no stored form data.
  TCustomForm(Classes::TComponent* owner, int dummy);
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  // Frees the form later, from the message queue, once the messages that are being
  // handled have returned. Safe to call from inside one of the form's own handlers,
  // and more than once. Creates the window first when it has none, so the release
  // always goes through the queue. A CM_RELEASE that arrives while one of the
  // form's handlers is still running (a handler that pumps messages itself) is put
  // back into the queue instead of freeing the form under that handler.
  void Release();

 private:
  void CMRelease(Messages::TMessage& message);
};

// Called for a framework exception that no handler caught.
using TExceptionEvent =
    Closure::TClosure<void(System::TObject* sender, const System::Exception& e)>;

// The application's message loop on the calling thread.
class TApplication {
 public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  void ProcessMessages();
  // Waits for the next message or source and handles it. Terminate from another
  // thread ends the wait.
  void HandleMessage();
  // Handles messages until Terminate is called; returns at once when it already
  // was. A System::Exception that a handler lets through goes to HandleException
  // and the loop goes on; any other exception leaves Run.
  void Run();
  // Ends Run after the current pass. Safe from any thread and from handlers.
  void Terminate();
  bool GetTerminated() const { return FTerminated.load(std::memory_order_acquire); }

  // Reports an exception that has nowhere else to go: to OnException when
  // assigned, otherwise as one line on standard error.
  void HandleException(System::TObject* sender, const System::Exception& e);
  TExceptionEvent GetOnException() const { return FOnException; }
  void SetOnException(TExceptionEvent handler) { FOnException = handler; }

 private:
  class TLoopScope;
  struct TWaitingLoop;  // the loop that Run or HandleMessage waits in, for Terminate

  std::atomic<bool> FTerminated{false};
  std::unique_ptr<TWaitingLoop> FWaiting;
  TExceptionEvent FOnException;
};

TApplication& Application();

}  // namespace vorlane::Forms
