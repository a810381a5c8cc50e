// Windowed controls, forms with deferred release, and the application loop.
#include "vorlane/visual/Forms.hpp"

#include <cstdio>
#include <mutex>
#include <string>

#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::Forms {

using Messages::CM_RELEASE;
using Messages::TMessage;

// --- TWinControl ----------------------------------------------------------------

// One message being handled by a control, on the stack of MainWndProc. The
// control's destructor marks every such frame, so that MainWndProc does not touch
// a control that one of its handlers has freed.
struct TWinControl::TDispatchFrame {
  TDispatchFrame* Outer;
  bool Destroyed = false;
};

TWinControl::TWinControl(Classes::TComponent* owner) : TComponent(owner) {}

TWinControl::~TWinControl() {
  for (TDispatchFrame* frame = FFrames; frame != nullptr; frame = frame->Outer)
    frame->Destroyed = true;
  Messages::DeallocateHWnd(FHandle);
}

const TypInfo::TClassInfo& TWinControl::StaticClass() {
  static const TypInfo::TClassInfo info("TWinControl", &TComponent::StaticClass(),
                                        {.Create = &Classes::CreateComponent<TWinControl>});
  return info;
}

Messages::HWND TWinControl::GetHandle() {
  // A window whose thread has ended is gone: make a new one on this thread.
  if (FHandle != nullptr && !Messages::IsWindow(FHandle)) FHandle = nullptr;
  if (FHandle == nullptr)
    FHandle = Messages::AllocateHWnd(Messages::TWndMethod::Bind<&TWinControl::MainWndProc>(this));
  return FHandle;
}

void TWinControl::WndProc(TMessage& message) {
  Dispatch(&message);
}

int TWinControl::GetMessageDepth() const {
  int depth = 0;
  for (const TDispatchFrame* frame = FFrames; frame != nullptr; frame = frame->Outer) ++depth;
  return depth;
}

void TWinControl::MainWndProc(TMessage& message) {
  TDispatchFrame frame{FFrames};
  FFrames = &frame;
  struct TPop {
    TWinControl* Control;
    TDispatchFrame* Frame;
    ~TPop() {
      if (!Frame->Destroyed) Control->FFrames = Frame->Outer;
    }
  } pop{this, &frame};
  WndProc(message);
}

// --- TCustomForm ----------------------------------------------------------------

TCustomForm::TCustomForm(Classes::TComponent* owner, int /*dummy*/) : TWinControl(owner) {}

const TypInfo::TClassInfo& TCustomForm::StaticClass() {
  static const TypInfo::TMessageEntry messages[] = {
      TypInfo::MessageHandler<&TCustomForm::CMRelease>(CM_RELEASE),
  };
  static const TypInfo::TClassInfo info(
      "TCustomForm", &TWinControl::StaticClass(),
      {.Messages = messages, .Create = [](Classes::TComponent* owner) -> Classes::TComponent* {
         return new TCustomForm(owner, 0);
       }});
  return info;
}

void TCustomForm::Release() {
  if (!Messages::PostMessage(GetHandle(), CM_RELEASE, 0, 0))
    throw Messages::EMessageError(u"TCustomForm::Release: the form's window has gone");
}

void TCustomForm::CMRelease(TMessage& /*message*/) {
  // This delivery is one level; a deeper one means that a handler of this form is
  // still running further up the stack (it pumped messages): try again later.
  if (GetMessageDepth() > 1) {
    Messages::PostMessage(GetHandle(), CM_RELEASE, 0, 0);
    return;
  }
  TObject::Free(this);
}

// --- TApplication ---------------------------------------------------------------

struct TApplication::TWaitingLoop {
  std::mutex Lock;                        // guards Loop against Terminate
  Messages::TThreadLoop* Loop = nullptr;  // the loop Run or HandleMessage waits in
};

TApplication::TApplication() : FWaiting(std::make_unique<TWaitingLoop>()) {}
TApplication::~TApplication() = default;

// Publishes the loop that Run or HandleMessage waits in, so that Terminate from
// another thread can wake it.
class TApplication::TLoopScope {
 public:
  TLoopScope(TApplication& application, Messages::TThreadLoop& loop)
      : FWaiting(*application.FWaiting) {
    std::lock_guard lock(FWaiting.Lock);
    FPrevious = FWaiting.Loop;
    FWaiting.Loop = &loop;
  }
  ~TLoopScope() {
    std::lock_guard lock(FWaiting.Lock);
    FWaiting.Loop = FPrevious;
  }
  TLoopScope(const TLoopScope&) = delete;
  TLoopScope& operator=(const TLoopScope&) = delete;

 private:
  TWaitingLoop& FWaiting;
  Messages::TThreadLoop* FPrevious;
};

void TApplication::ProcessMessages() {
  Messages::TThreadLoop::Current().ProcessMessages();
}

void TApplication::HandleMessage() {
  Messages::TThreadLoop& loop = Messages::TThreadLoop::Current();
  TLoopScope scope(*this, loop);
  if (GetTerminated()) {
    loop.ProcessMessages();  // Terminate came first: do not wait for it to wake us
    return;
  }
  loop.HandleMessage(-1);
}

void TApplication::Run() {
  Messages::TThreadLoop& loop = Messages::TThreadLoop::Current();
  TLoopScope scope(*this, loop);
  while (!GetTerminated()) {
    try {
      loop.HandleMessage(-1);
    } catch (const System::Exception& e) {
      HandleException(nullptr, e);
    }
  }
}

void TApplication::Terminate() {
  FTerminated.store(true, std::memory_order_release);
  std::lock_guard lock(FWaiting->Lock);
  if (FWaiting->Loop != nullptr) FWaiting->Loop->Wake();
}

void TApplication::HandleException(System::TObject* sender, const System::Exception& e) {
  if (FOnException) {
    FOnException(sender, e);
    return;
  }
  const std::string className = System::StringToUtf8(e.ClassName());
  std::fprintf(stderr, "%s: %s\n", className.c_str(), e.what());
}

TApplication& Application() {
  static TApplication application;
  return application;
}

}  // namespace vorlane::Forms
