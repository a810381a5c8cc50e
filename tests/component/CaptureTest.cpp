#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Support.hpp"
#include "vorlane/runtime/FormData.hpp"

namespace vorlane::Joystick::testing {
namespace {

using ::testing::ElementsAre;

// A form-like root whose published methods stored form data can name.
class TTestRoot : public Classes::TComponent {
 public:
  using TComponent::TComponent;
  static const TypInfo::TClassInfo& StaticClass();
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

  void JoystickMove(TObject* sender, TButtons pressed, Integer x, Integer y) {
    Recorder.Move(sender, pressed, x, y);
  }
  TEventRecorder Recorder;
};

const TypInfo::TClassInfo& TTestRoot::StaticClass() {
  static const TypInfo::TMethodInfo methods[] = {
      TypInfo::PublishedMethod<&TTestRoot::JoystickMove>("JoystickMove")};
  static const TypInfo::TClassInfo info(
      "TTestRoot", &TComponent::StaticClass(),
      {.Methods = methods, .Create = &Classes::CreateComponent<TTestRoot>});
  return info;
}

class JoystickCapture : public ServiceTest {
 protected:
  // A captured component on `pad` with every handler bound to `FRecorder`.
  std::unique_ptr<TJoystick> Captured(const VirtualJoystick::TVirtualController& pad) {
    auto joystick = std::make_unique<TJoystick>(nullptr);
    joystick->SetController(static_cast<Integer>(pad.GetNumber()));
    FRecorder.BindAll(*joystick);
    joystick->SetActive(true);
    EXPECT_NE(joystick->GetJoystickForm(), nullptr);
    return joystick;
  }

  // Delivers one message to the component's capture window, as the service would.
  static void Deliver(TJoystick& joystick, UINT msg, WPARAM wParam, LPARAM lParam) {
    ASSERT_NE(joystick.GetJoystickForm(), nullptr);
    Messages::SendMessage(joystick.GetJoystickForm()->GetHandle(), msg, wParam, lParam);
  }

  TEventRecorder FRecorder;
};

// --- The capture rule ------------------------------------------------------------

TEST_F(JoystickCapture, ActiveWithoutHandlerCapturesNothing) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  JoystickTesting::StartCallLog();
  joystick.SetActive(true);
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
  EXPECT_TRUE(CallsOf(TServiceCall::SetCapture).empty());
  EXPECT_TRUE(CallsOf(TServiceCall::SetThreshold).empty());
}

TEST_F(JoystickCapture, FirstHandlerCapturesAndLastHandlerReleases) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  joystick.SetActive(true);
  joystick.SetOnMove(TMoveEvent::Bind<&TEventRecorder::Move>(&FRecorder));
  ASSERT_NE(joystick.GetJoystickForm(), nullptr);
  joystick.SetOnMoveZ(TMoveZEvent::Bind<&TEventRecorder::MoveZ>(&FRecorder));
  joystick.SetOnMove(nullptr);
  EXPECT_NE(joystick.GetJoystickForm(), nullptr) << "OnMoveZ still assigned";
  JoystickTesting::StartCallLog();
  joystick.SetOnMoveZ(nullptr);
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
  EXPECT_THAT(CallTrail(), ElementsAre("joyReleaseCapture(0)"));
}

TEST_F(JoystickCapture, HandlerOnInactiveComponentIsOnlyStored) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  JoystickTesting::StartCallLog();
  joystick.SetOnMove(TMoveEvent::Bind<&TEventRecorder::Move>(&FRecorder));
  EXPECT_TRUE(joystick.GetOnMove().Assigned());
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
  EXPECT_TRUE(JoystickTesting::GetCallLog().empty());
}

TEST_F(JoystickCapture, DesignerNeverCaptures) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  joystick.SetDesigning(true);
  FRecorder.BindAll(joystick);
  joystick.SetActive(true);
  EXPECT_TRUE(joystick.GetActive());
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
}

TEST_F(JoystickCapture, CaptureUsesTheSettingsOfTheMoment) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  joystick.SetPollingPeriod(40);
  joystick.SetEventMode(emPolling);
  JoystickTesting::StartCallLog();
  auto captured = Captured(pad);  // a second component, threshold mode, period 0
  auto calls = CallsOf(TServiceCall::SetCapture);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Period, 0u);
  EXPECT_EQ(calls[0].Changed, ~BOOL{0});
  EXPECT_EQ(reinterpret_cast<Messages::HWND>(calls[0].Window),
            captured->GetJoystickForm()->GetHandle());
  captured.reset();

  JoystickTesting::StartCallLog();
  joystick.SetOnMove(TMoveEvent::Bind<&TEventRecorder::Move>(&FRecorder));
  joystick.SetActive(true);
  calls = CallsOf(TServiceCall::SetCapture);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Period, 40u);
  EXPECT_EQ(calls[0].Changed, BOOL{0});
}

TEST_F(JoystickCapture, ActiveFalseReleasesAndJoystickFormIsNil) {
  VirtualJoystick::TVirtualController pad;
  auto joystick = Captured(pad);
  joystick->SetActive(false);
  EXPECT_EQ(joystick->GetJoystickForm(), nullptr);
  // The controller is free for another capture.
  auto other = Captured(pad);
  EXPECT_NE(other->GetJoystickForm(), nullptr);
}

// --- Failures ----------------------------------------------------------------------

TEST_F(JoystickCapture, RefusedCaptureResetsActive) {
  TJoystick joystick(nullptr);
  joystick.SetController(5);  // nothing attached there
  FRecorder.BindAll(joystick);
  try {
    joystick.SetActive(true);
    FAIL();
  } catch (const EJoystickError& e) {
    EXPECT_EQ(e.ErrorCode, JOYERR_UNPLUGGED);
  }
  EXPECT_FALSE(joystick.GetActive());
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
}

TEST_F(JoystickCapture, RefusedCaptureFromAHandlerKeepsActiveAndTheHandler) {
  TJoystick joystick(nullptr);
  joystick.SetController(5);
  joystick.SetActive(true);
  EXPECT_THROW(joystick.SetOnMove(TMoveEvent::Bind<&TEventRecorder::Move>(&FRecorder)),
               EJoystickError);
  EXPECT_TRUE(joystick.GetActive());
  EXPECT_TRUE(joystick.GetOnMove().Assigned());
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
  // The rule runs again on the next write and succeeds once the controller exists.
  VirtualJoystick::TVirtualController pads[6];
  joystick.SetActive(true);
  EXPECT_NE(joystick.GetJoystickForm(), nullptr);
}

TEST_F(JoystickCapture, RefusedReleaseStillDropsTheWindow) {
  VirtualJoystick::TVirtualController pad;
  auto joystick = Captured(pad);
  JoystickTesting::RefuseCall(TServiceCall::ReleaseCapture, JoystickTesting::AnyController,
                              JOYERR_NOCANDO, 1);
  EXPECT_THROW(joystick->SetActive(false), EJoystickError);
  EXPECT_FALSE(joystick->GetActive());
  EXPECT_EQ(joystick->GetJoystickForm(), nullptr);
}

TEST_F(JoystickCapture, RefusedThresholdWhenSwitchingOnLeavesNothingCaptured) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  joystick.SetThreshold(50);  // inactive: stored only
  JoystickTesting::RefuseCall(TServiceCall::SetThreshold, JoystickTesting::AnyController,
                              JOYERR_NOCANDO, 1);
  joystick.SetOnMove(TMoveEvent::Bind<&TEventRecorder::Move>(&FRecorder));
  EXPECT_THROW(joystick.SetActive(true), EJoystickError);
  // Active is reset, so the capture made before the refusal is dropped too.
  EXPECT_FALSE(joystick.GetActive());
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
}

TEST_F(JoystickCapture, RefusedThresholdFromAHandlerKeepsTheCapture) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  joystick.SetActive(true);
  JoystickTesting::RefuseCall(TServiceCall::GetThreshold, JoystickTesting::AnyController,
                              JOYERR_NOCANDO, 1);
  EXPECT_THROW(joystick.SetOnMove(TMoveEvent::Bind<&TEventRecorder::Move>(&FRecorder)),
               EJoystickError);
  EXPECT_TRUE(joystick.GetActive());
  EXPECT_NE(joystick.GetJoystickForm(), nullptr);
}

class TErrorSink {
 public:
  void Handle(TObject* sender, const System::Exception& e) {
    Sender = sender;
    Messages.push_back(e.GetMessage());
  }
  TObject* Sender = nullptr;
  std::vector<String> Messages;
};

TEST_F(JoystickCapture, RefusedReleaseDuringDestructionIsReportedNotThrown) {
  VirtualJoystick::TVirtualController pad;
  TErrorSink sink;
  auto& app = Forms::Application();
  const auto previous = app.GetOnException();
  app.SetOnException(Forms::TExceptionEvent::Bind<&TErrorSink::Handle>(&sink));
  {
    auto joystick = Captured(pad);
    JoystickTesting::RefuseCall(TServiceCall::ReleaseCapture, JoystickTesting::AnyController,
                                JOYERR_NOCANDO, 1);
  }
  app.SetOnException(previous);
  ASSERT_EQ(sink.Messages.size(), 1u);
  EXPECT_EQ(sink.Messages[0],
            u"Cannot capture joystick input because a required service (such "
            u"as a Windows timer) is unavailable.");
  DrainMessages();  // the released window is freed from the queue
}

TEST_F(JoystickCapture, DestructionReleasesTheCapture) {
  VirtualJoystick::TVirtualController pad;
  auto joystick = Captured(pad);
  JoystickTesting::StartCallLog();
  joystick.reset();
  EXPECT_THAT(CallTrail(), ElementsAre("joyReleaseCapture(0)"));
}

// --- Renewal -------------------------------------------------------------------------

TEST_F(JoystickCapture, ControllerChangeReleasesTheOldBeforeCapturingTheNew) {
  VirtualJoystick::TVirtualController pad0, pad1;
  auto joystick = Captured(pad0);
  TJoystickForm* before = joystick->GetJoystickForm();
  JoystickTesting::StartCallLog();
  joystick->SetController(1);
  EXPECT_THAT(CallTrail(),
              ElementsAre("joyReleaseCapture(0)", "joySetCapture(1)", "joyGetThreshold(1)"));
  EXPECT_NE(joystick->GetJoystickForm(), nullptr);
  EXPECT_NE(joystick->GetJoystickForm(), before);
}

TEST_F(JoystickCapture, SameControllerChangesNothing) {
  VirtualJoystick::TVirtualController pad;
  auto joystick = Captured(pad);
  TJoystickForm* before = joystick->GetJoystickForm();
  JoystickTesting::StartCallLog();
  joystick->SetController(0);
  EXPECT_TRUE(JoystickTesting::GetCallLog().empty());
  EXPECT_EQ(joystick->GetJoystickForm(), before);
}

TEST_F(JoystickCapture, RefusedRecaptureKeepsTheNewControllerAndActive) {
  VirtualJoystick::TVirtualController pad;
  auto joystick = Captured(pad);
  EXPECT_THROW(joystick->SetController(7), EJoystickError);
  EXPECT_EQ(joystick->GetController(), 7);
  EXPECT_TRUE(joystick->GetActive());
  EXPECT_EQ(joystick->GetJoystickForm(), nullptr);
}

TEST_F(JoystickCapture, RefusedReleaseBeforeRecaptureKeepsTheOldController) {
  VirtualJoystick::TVirtualController pad0, pad1;
  auto joystick = Captured(pad0);
  JoystickTesting::RefuseCall(TServiceCall::ReleaseCapture, JoystickTesting::AnyController,
                              JOYERR_NOCANDO, 1);
  EXPECT_THROW(joystick->SetController(1), EJoystickError);
  EXPECT_EQ(joystick->GetController(), 0);
  EXPECT_EQ(joystick->GetJoystickForm(), nullptr);

  // The service still holds controller 0 for the released window until that window
  // is gone; once the queue has freed it, the controller can be captured again.
  EXPECT_THROW(joystick->SetActive(true), EJoystickError);
  DrainMessages();
  joystick->SetActive(true);
  ASSERT_NE(joystick->GetJoystickForm(), nullptr);
  JoystickTesting::RefuseCall(TServiceCall::ReleaseCapture, JoystickTesting::AnyController,
                              JOYERR_NOCANDO, 1);
  EXPECT_THROW(joystick->SetEventMode(emPolling), EJoystickError);
  EXPECT_EQ(joystick->GetEventMode(), emPolling);
}

TEST_F(JoystickCapture, PollingPeriodRecapturesOnlyInPollingMode) {
  VirtualJoystick::TVirtualController pad;
  auto joystick = Captured(pad);
  JoystickTesting::StartCallLog();
  joystick->SetPollingPeriod(20);
  EXPECT_TRUE(JoystickTesting::GetCallLog().empty());

  joystick->SetEventMode(emPolling);
  EXPECT_THAT(CallTrail(),
              ElementsAre("joyReleaseCapture(0)", "joySetCapture(0)", "joyGetThreshold(0)"));
  EXPECT_EQ(CallsOf(TServiceCall::SetCapture)[0].Period, 20u);
  JoystickTesting::StartCallLog();
  joystick->SetPollingPeriod(30);
  const auto calls = CallsOf(TServiceCall::SetCapture);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Period, 30u);
}

TEST_F(JoystickCapture, EventModeWhileNotCapturingIsOnlyStored) {
  TJoystick joystick(nullptr);
  JoystickTesting::StartCallLog();
  joystick.SetEventMode(emPolling);
  EXPECT_EQ(joystick.GetEventMode(), emPolling);
  EXPECT_TRUE(JoystickTesting::GetCallLog().empty());
}

// --- Loading --------------------------------------------------------------------------

constexpr const char* ActiveForm = R"(object Root: TTestRoot
  object Joystick1: TJoystick
    Active = True
    Controller = CONTROLLER
    Threshold = 20
    OnMove = JoystickMove
  end
end
)";

std::string FormFor(int controller) {
  std::string text = ActiveForm;
  text.replace(text.find("CONTROLLER"), 10, std::to_string(controller));
  return text;
}

TEST_F(JoystickCapture, LoadingCapturesOnlyInLoaded) {
  VirtualJoystick::TVirtualController pad;
  TTestRoot root(nullptr);
  JoystickTesting::StartCallLog();
  FormData::ReadComponent(FormFor(0), &root);
  auto* joystick = System::As<TJoystick>(root.GetComponents(0));
  EXPECT_TRUE(joystick->GetActive());
  EXPECT_NE(joystick->GetJoystickForm(), nullptr);
  // Reading asks for the threshold; the capture and the threshold come after.
  const auto trail = CallTrail();
  ASSERT_GE(trail.size(), 3u);
  EXPECT_EQ(trail[0], "joyGetThreshold(0)");
  EXPECT_EQ(std::count(trail.begin(), trail.end(), "joySetCapture(0)"), 1);
  EXPECT_EQ(joystick->GetThreshold(), 20);

  pad.SetAxis(TAxis::X, 0);
  EXPECT_TRUE(PumpUntil([&] { return !root.Recorder.Lines.empty(); }));
  EXPECT_EQ(root.Recorder.LastSender, joystick);
}

TEST_F(JoystickCapture, LoadingWithARefusedCaptureRaisesFromLoaded) {
  TTestRoot root(nullptr);
  EXPECT_THROW(FormData::ReadComponent(FormFor(4), &root), EJoystickError);
  ASSERT_EQ(root.GetComponentCount(), 1);
  auto* joystick = System::As<TJoystick>(root.GetComponents(0));
  EXPECT_TRUE(joystick->GetActive());
  EXPECT_EQ(joystick->GetJoystickForm(), nullptr);
}

// --- Decoding ---------------------------------------------------------------------------

TEST_F(JoystickCapture, ButtonMessagesDecodeChangedAndPressed) {
  VirtualJoystick::TVirtualController pad;
  auto joystick = Captured(pad);
  FRecorder.Lines.clear();
  Deliver(*joystick, MM_JOY1BUTTONDOWN, 0x0101, 0x00020001);
  Deliver(*joystick, MM_JOY1BUTTONDOWN, 0xFFFF0203, 0);
  Deliver(*joystick, MM_JOY1BUTTONUP, 0x0102, 0xFFFF0000);
  EXPECT_THAT(FRecorder.Lines, ElementsAre("down changed=0x1 pressed=0x1 x=1 y=2",
                                           "down changed=0x2 pressed=0x3 x=0 y=0",
                                           "up changed=0x1 pressed=0x2 x=0 y=65535"));
  EXPECT_EQ(FRecorder.LastSender, joystick.get());
}

TEST_F(JoystickCapture, MoveMessagesTakePressedFromTheLowByteOnly) {
  VirtualJoystick::TVirtualController pad;
  auto joystick = Captured(pad);
  FRecorder.Lines.clear();
  Deliver(*joystick, MM_JOY1MOVE, 0xFFFFFF81, static_cast<LPARAM>(0xFFFF0000u));
  Deliver(*joystick, MM_JOY1ZMOVE, 0x00000004, static_cast<LPARAM>(0xABCD1234u));
  EXPECT_THAT(FRecorder.Lines,
              ElementsAre("move pressed=0x81 x=0 y=65535", "movez pressed=0x4 z=4660"));
}

TEST_F(JoystickCapture, SecondJoystickMessagesAreTreatedAlike) {
  VirtualJoystick::TVirtualController pad;
  auto joystick = Captured(pad);
  FRecorder.Lines.clear();
  for (UINT msg : {MM_JOY1MOVE, MM_JOY2MOVE}) Deliver(*joystick, msg, 1, 0x00050006);
  for (UINT msg : {MM_JOY1ZMOVE, MM_JOY2ZMOVE}) Deliver(*joystick, msg, 1, 7);
  for (UINT msg : {MM_JOY1BUTTONDOWN, MM_JOY2BUTTONDOWN}) Deliver(*joystick, msg, 0x101, 0);
  for (UINT msg : {MM_JOY1BUTTONUP, MM_JOY2BUTTONUP}) Deliver(*joystick, msg, 0x100, 0);
  ASSERT_EQ(FRecorder.Lines.size(), 8u);
  for (size_t i = 0; i < 8; i += 2) EXPECT_EQ(FRecorder.Lines[i], FRecorder.Lines[i + 1]);
}

TEST_F(JoystickCapture, UnassignedHandlersDropTheirMessages) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  joystick.SetOnMove(TMoveEvent::Bind<&TEventRecorder::Move>(&FRecorder));
  joystick.SetActive(true);
  ASSERT_NE(joystick.GetJoystickForm(), nullptr);
  Deliver(joystick, MM_JOY1BUTTONDOWN, 0x101, 0);
  Deliver(joystick, MM_JOY1BUTTONUP, 0x100, 0);
  Deliver(joystick, MM_JOY1ZMOVE, 0, 0);
  EXPECT_TRUE(FRecorder.Lines.empty());
}

int g_plainCalls = 0;
void PlainMoveZ(TObject*, TButtons, Integer) {
  ++g_plainCalls;
}

TEST_F(JoystickCapture, HandlersMayBeLambdasOrPlainFunctions) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  int lambdaCalls = 0;
  Integer lastX = -1;
  auto onMove = [&](TObject*, TButtons, Integer x, Integer) {
    ++lambdaCalls;
    lastX = x;
  };
  joystick.SetOnMove(TMoveEvent::Of(onMove));
  joystick.SetOnMoveZ(TMoveZEvent(&PlainMoveZ));
  joystick.SetActive(true);
  g_plainCalls = 0;
  Deliver(joystick, MM_JOY1MOVE, 0, 9);
  Deliver(joystick, MM_JOY1ZMOVE, 0, 9);
  EXPECT_EQ(lambdaCalls, 1);
  EXPECT_EQ(lastX, 9);
  EXPECT_EQ(g_plainCalls, 1);
  joystick.SetOnMoveZ(TMoveZEvent(nullptr));
  EXPECT_FALSE(joystick.GetOnMoveZ().Assigned());
}

// --- Changing the component from inside its own event ------------------------------------

struct TSwitchOff {
  TJoystick* Joystick = nullptr;
  int Calls = 0;
  void Move(TObject*, TButtons, Integer, Integer) {
    ++Calls;
    Joystick->SetActive(false);
  }
};

TEST_F(JoystickCapture, HandlerMaySwitchTheComponentOff) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  TSwitchOff handler{&joystick};
  joystick.SetOnMove(TMoveEvent::Bind<&TSwitchOff::Move>(&handler));
  joystick.SetActive(true);
  Deliver(joystick, MM_JOY1MOVE, 0, 0);
  EXPECT_EQ(handler.Calls, 1);
  EXPECT_FALSE(joystick.GetActive());
  EXPECT_EQ(joystick.GetJoystickForm(), nullptr);
  DrainMessages();  // the window that delivered the message is freed now, not before
}

TEST_F(JoystickCapture, SwitchingOffInsideOnMoveDropsTheRestOfThatUpdate) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  TSwitchOff handler{&joystick};
  joystick.SetOnButtonDown(TButtonDownEvent::Bind<&TEventRecorder::ButtonDown>(&FRecorder));
  joystick.SetOnMove(TMoveEvent::Bind<&TSwitchOff::Move>(&handler));
  joystick.SetActive(true);
  pad.Update([](VirtualJoystick::TBatch& b) {  // one update: a move, then a button down
    b.SetAxis(TAxis::X, 0);
    b.SetButton(1, true);
  });
  DrainMessages();
  EXPECT_EQ(handler.Calls, 1);
  EXPECT_TRUE(FRecorder.Lines.empty());
}

TEST_F(JoystickCapture, NothingMadeBeforeSwitchingOffArrivesAfterIt) {
  VirtualJoystick::TVirtualController pad;
  auto joystick = Captured(pad);
  FRecorder.Lines.clear();
  pad.SetAxis(TAxis::X, 0);
  pad.SetButton(1, true);
  joystick->SetActive(false);
  DrainMessages();
  EXPECT_TRUE(FRecorder.Lines.empty());
  // Switched on again, the component reports from the state of that moment.
  joystick->SetActive(true);
  pad.SetButton(1, false);
  EXPECT_TRUE(PumpUntil([&] { return !FRecorder.Lines.empty(); }));
  EXPECT_THAT(FRecorder.Lines, ElementsAre("up changed=0x1 pressed=0x0 x=0 y=32767"));
}

struct TSelfDestruct {
  TJoystick* Joystick = nullptr;
  int Calls = 0;
  void Move(TObject*, TButtons, Integer, Integer) {
    ++Calls;
    delete Joystick;
    Joystick = nullptr;
  }
};

TEST_F(JoystickCapture, HandlerMayDestroyTheComponent) {
  VirtualJoystick::TVirtualController pad;
  auto* joystick = new TJoystick(nullptr);
  TSelfDestruct handler{joystick};
  joystick->SetOnMove(TMoveEvent::Bind<&TSelfDestruct::Move>(&handler));
  joystick->SetActive(true);
  const Messages::HWND window = joystick->GetJoystickForm()->GetHandle();
  // Two moves queued: the first destroys the component, the second must reach nobody.
  Messages::PostMessage(window, MM_JOY1MOVE, 0, 0);
  Messages::PostMessage(window, MM_JOY1MOVE, 0, 0);
  DrainMessages();
  EXPECT_EQ(handler.Calls, 1);
  EXPECT_EQ(handler.Joystick, nullptr);
}

TEST_F(JoystickCapture, ReleasedWindowDoesNotDeliverToADestroyedComponent) {
  VirtualJoystick::TVirtualController pad;
  auto joystick = Captured(pad);
  const Messages::HWND window = joystick->GetJoystickForm()->GetHandle();
  FRecorder.Lines.clear();
  Messages::PostMessage(window, MM_JOY1MOVE, 0, 0);  // queued before the release
  joystick.reset();
  DrainMessages();
  EXPECT_TRUE(FRecorder.Lines.empty());
  EXPECT_FALSE(Messages::IsWindow(window));
}

// --- End to end ----------------------------------------------------------------------------

TEST_F(JoystickCapture, ThresholdModeDeliversMovesAndButtonsFromAnotherThread) {
  VirtualJoystick::TDescription description;
  description.WithAxis(TAxis::Z);
  VirtualJoystick::TVirtualController pad(description);
  auto joystick = Captured(pad);
  joystick->SetThreshold(1000);
  FRecorder.Lines.clear();

  std::thread mover([&] {
    pad.SetAxis(TAxis::X, 32767 + 500);  // within the threshold: no message
    pad.Update([](VirtualJoystick::TBatch& b) {
      b.SetAxis(TAxis::X, 0);
      b.SetAxis(TAxis::Y, 65535);
    });
    pad.SetAxis(TAxis::Z, 65535);
    pad.SetButton(1, true);
    pad.SetButton(2, true);
    pad.SetButton(1, false);
  });
  mover.join();
  EXPECT_TRUE(PumpUntil([&] { return FRecorder.Lines.size() >= 5; }));
  DrainMessages();
  EXPECT_THAT(FRecorder.Lines,
              ElementsAre("move pressed=0x0 x=0 y=65535", "movez pressed=0x0 z=65535",
                          "down changed=0x1 pressed=0x1 x=0 y=65535",
                          "down changed=0x2 pressed=0x3 x=0 y=65535",
                          "up changed=0x1 pressed=0x2 x=0 y=65535"));
}

TEST_F(JoystickCapture, PollingModeDeliversMovesEveryPeriod) {
  VirtualJoystick::TVirtualController pad;
  TJoystick joystick(nullptr);
  joystick.SetEventMode(emPolling);
  joystick.SetPollingPeriod(10);
  joystick.SetOnMove(TMoveEvent::Bind<&TEventRecorder::Move>(&FRecorder));
  joystick.SetActive(true);
  std::thread mover([&] { pad.SetAxis(TAxis::X, 100); });
  mover.join();
  EXPECT_TRUE(PumpUntil([&] { return FRecorder.Lines.size() >= 3; }));
  EXPECT_EQ(FRecorder.Lines.back(), "move pressed=0x0 x=100 y=32767");
}

}  // namespace
}  // namespace vorlane::Joystick::testing
