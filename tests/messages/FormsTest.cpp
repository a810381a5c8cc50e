// Forms: windows made on demand, deferred release, and the application loop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "vorlane/runtime/TypInfo.hpp"
#include "vorlane/visual/Forms.hpp"

namespace vorlane::Forms {
namespace {

using Messages::HWND;
using Messages::TMessage;
using Messages::TThreadLoop;
using Messages::UINT;
using Messages::WM_USER;
using System::TObject;
using namespace std::chrono_literals;

constexpr UINT WM_RELEASE_AND_TOUCH = WM_USER + 1;
constexpr UINT WM_RELEASE_AND_PUMP = WM_USER + 2;
constexpr UINT WM_FREE_SELF = WM_USER + 3;
constexpr UINT WM_FAIL = WM_USER + 4;
constexpr UINT WM_TERMINATE = WM_USER + 5;

class TTestForm : public TCustomForm {
 public:
  explicit TTestForm(std::atomic<int>& destroyed)
      : TCustomForm(nullptr, 0), FDestroyed(destroyed) {}
  ~TTestForm() override {
    ++FDestroyed;
    if (ReleaseOnDestroy != nullptr) ReleaseOnDestroy->Release();
  }
  static const TypInfo::TClassInfo& StaticClass() {
    static const TypInfo::TMessageEntry messages[] = {
        TypInfo::MessageHandler<&TTestForm::WmReleaseAndTouch>(WM_RELEASE_AND_TOUCH),
        TypInfo::MessageHandler<&TTestForm::WmReleaseAndPump>(WM_RELEASE_AND_PUMP),
        TypInfo::MessageHandler<&TTestForm::WmFreeSelf>(WM_FREE_SELF),
        TypInfo::MessageHandler<&TTestForm::WmFail>(WM_FAIL),
        TypInfo::MessageHandler<&TTestForm::WmTerminate>(WM_TERMINATE),
    };
    static const TypInfo::TClassInfo info("TTestForm", &TCustomForm::StaticClass(),
                                          {.Messages = messages});
    return info;
  }
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  int Touched = 0;
  TCustomForm* ReleaseOnDestroy = nullptr;
  TApplication* App = nullptr;

 private:
  void WmReleaseAndTouch(TMessage&) {
    Release();
    ++Touched;  // the form is still whole after Release
  }
  void WmReleaseAndPump(TMessage&) {
    Release();
    // A handler that pumps messages itself must not see its form freed under it.
    for (int i = 0; i < 3; ++i) TThreadLoop::Current().ProcessMessages();
    ++Touched;
  }
  void WmFreeSelf(TMessage&) { TObject::Free(this); }
  void WmFail(TMessage&) { throw System::Exception(u"handler failed"); }
  void WmTerminate(TMessage&) { App->Terminate(); }

  std::atomic<int>& FDestroyed;
};

bool Pass() {
  return TThreadLoop::Current().ProcessMessages();
}

TEST(Forms, HandleIsMadeOnFirstUseAndDestroyedWithTheForm) {
  std::atomic<int> destroyed{0};
  auto* form = new TTestForm(destroyed);
  EXPECT_FALSE(form->HandleAllocated());
  HWND h = form->GetHandle();
  EXPECT_TRUE(Messages::IsWindow(h));
  EXPECT_EQ(form->GetHandle(), h);
  EXPECT_EQ(TThreadLoop::OfWindow(h), &TThreadLoop::Current());
  TObject::Free(form);
  EXPECT_FALSE(Messages::IsWindow(h));
}

TEST(Forms, ReleaseFromInsideAHandlerFreesAfterItReturns) {
  std::atomic<int> destroyed{0};
  auto* form = new TTestForm(destroyed);
  Messages::PostMessage(form->GetHandle(), WM_RELEASE_AND_TOUCH, 0, 0);
  EXPECT_TRUE(Pass());
  EXPECT_EQ(destroyed, 0);  // the release waits for the next pass
  EXPECT_EQ(form->Touched, 1);
  EXPECT_TRUE(Pass());
  EXPECT_EQ(destroyed, 1);
}

TEST(Forms, ReleaseIsHeldBackWhileAHandlerOfTheFormPumpsMessages) {
  std::atomic<int> destroyed{0};
  auto* form = new TTestForm(destroyed);
  HWND h = form->GetHandle();
  EXPECT_EQ(Messages::SendMessage(h, WM_RELEASE_AND_PUMP, 0, 0), 0);
  EXPECT_EQ(destroyed, 0);
  EXPECT_EQ(form->Touched, 1);
  EXPECT_TRUE(Pass());
  EXPECT_EQ(destroyed, 1);
  EXPECT_FALSE(Messages::IsWindow(h));
}

TEST(Forms, HandlerMayFreeItsOwnForm) {
  std::atomic<int> destroyed{0};
  auto* form = new TTestForm(destroyed);
  Messages::SendMessage(form->GetHandle(), WM_FREE_SELF, 0, 0);
  EXPECT_EQ(destroyed, 1);
}

TEST(Forms, ReleaseWithoutAHandleGoesThroughTheQueue) {
  std::atomic<int> destroyed{0};
  auto* form = new TTestForm(destroyed);
  form->Release();
  EXPECT_TRUE(form->HandleAllocated());
  EXPECT_EQ(destroyed, 0);
  EXPECT_TRUE(Pass());
  EXPECT_EQ(destroyed, 1);
}

TEST(Forms, ReleasedTwiceOrFreedFirstIsFreedOnce) {
  std::atomic<int> destroyed{0};
  auto* twice = new TTestForm(destroyed);
  twice->Release();
  twice->Release();
  auto* freed = new TTestForm(destroyed);
  freed->Release();
  TObject::Free(freed);  // its queued release finds no window
  EXPECT_EQ(destroyed, 1);
  Pass();
  Pass();
  EXPECT_EQ(destroyed, 2);
}

TEST(Forms, PendingReleasesAreCarriedOutWhenTheThreadEnds) {
  std::atomic<int> destroyed{0};
  std::thread([&] {
    auto* first = new TTestForm(destroyed);
    auto* second = new TTestForm(destroyed);
    first->ReleaseOnDestroy = second;  // freeing the first releases the second
    first->Release();
    Messages::PostMessage(first->GetHandle(), WM_FAIL, 0, 0);  // dropped, not dispatched
  }).join();
  EXPECT_EQ(destroyed, 2);
}

TEST(Forms, HandleIsMadeAgainAfterItsThreadEnded) {
  std::atomic<int> destroyed{0};
  auto* form = new TTestForm(destroyed);
  HWND old = nullptr;
  std::thread([&] { old = form->GetHandle(); }).join();
  EXPECT_FALSE(Messages::IsWindow(old));
  HWND fresh = form->GetHandle();
  EXPECT_NE(fresh, old);
  EXPECT_EQ(TThreadLoop::OfWindow(fresh), &TThreadLoop::Current());
  form->Release();
  Pass();
  EXPECT_EQ(destroyed, 1);
}

TEST(Application, RunUntilTerminatedFromAHandler) {
  std::thread([] {
    TApplication app;
    std::atomic<int> destroyed{0};
    TTestForm form(destroyed);
    form.App = &app;
    Messages::PostMessage(form.GetHandle(), WM_TERMINATE, 0, 0);
    app.Run();
    EXPECT_TRUE(app.GetTerminated());
    app.Run();  // already terminated: returns at once
  }).join();
}

TEST(Application, TerminateFromAnotherThreadWakesRun) {
  std::thread([] {
    TApplication app;
    std::thread terminator([&app] {
      std::this_thread::sleep_for(30ms);
      app.Terminate();
    });
    app.Run();  // sleeps with nothing to do until Terminate wakes it
    EXPECT_TRUE(app.GetTerminated());
    terminator.join();
  }).join();
}

TEST(Application, HandlerExceptionsGoToOnExceptionAndRunGoesOn) {
  std::thread([] {
    TApplication app;
    std::atomic<int> destroyed{0};
    TTestForm form(destroyed);
    form.App = &app;
    int reported = 0;
    System::String message;
    auto onException = [&](System::TObject*, const System::Exception& e) {
      ++reported;
      message = e.GetMessage();
    };
    app.SetOnException(TExceptionEvent::Of(onException));
    Messages::PostMessage(form.GetHandle(), WM_FAIL, 0, 0);
    Messages::PostMessage(form.GetHandle(), WM_TERMINATE, 0, 0);
    app.Run();
    EXPECT_EQ(reported, 1);
    EXPECT_EQ(message, u"handler failed");
  }).join();
}

TEST(Forms, VirtualConstructorMakesAnEmptyForm) {
  EXPECT_TRUE(TCustomForm::StaticClass().InheritsFrom(TWinControl::StaticClass()));
  EXPECT_TRUE(TWinControl::StaticClass().InheritsFrom(Classes::TComponent::StaticClass()));
  Classes::TComponent* made = TCustomForm::StaticClass().Members.Create(nullptr);
  EXPECT_EQ(&made->ClassType(), &TCustomForm::StaticClass());
  TObject::Free(made);
}

}  // namespace
}  // namespace vorlane::Forms
