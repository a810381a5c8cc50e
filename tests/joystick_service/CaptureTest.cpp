// joySetCapture and joyReleaseCapture end to end: the refusals, the messages of
// both modes as the window's thread receives them from its loop, and the ways a
// capture ends.
#include <future>
#include <thread>

#include "ServiceSupport.hpp"

namespace vorlane::JoystickServiceTests {
namespace {

using CaptureTest = ServiceTest;

// The messages of `window` with number `msg`.
std::vector<TMessage> Only(const std::vector<TMessage>& messages, UINT msg) {
  std::vector<TMessage> result;
  for (const TMessage& m : messages)
    if (m.Msg == msg) result.push_back(m);
  return result;
}

TEST_F(CaptureTest, RefusalTable) {
  TVirtualController pad;
  TRecordingWindow window, other;
  HWND dead;
  {
    TRecordingWindow gone;
    dead = gone.Handle();
  }
  EXPECT_EQ(joySetCapture(nullptr, 0, 10, TRUE), JOYERR_PARMS);
  EXPECT_EQ(joySetCapture(dead, 0, 10, TRUE), JOYERR_NOCANDO);
  EXPECT_EQ(joySetCapture(reinterpret_cast<HWND>(std::uintptr_t{0x1234}), 0, 10, TRUE),
            JOYERR_NOCANDO);
  EXPECT_EQ(joySetCapture(window.Handle(), 16, 10, TRUE), JOYERR_PARMS);
  EXPECT_EQ(joySetCapture(window.Handle(), 1, 10, TRUE), JOYERR_UNPLUGGED);
  EXPECT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  EXPECT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOCANDO);
  EXPECT_EQ(joySetCapture(other.Handle(), 0, 10, FALSE), JOYERR_NOCANDO);
  EXPECT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);
  EXPECT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);  // not captured: still 0
  EXPECT_EQ(joyReleaseCapture(7), JOYERR_NOERROR);
  EXPECT_EQ(joyReleaseCapture(16), JOYERR_PARMS);
  EXPECT_EQ(joySetCapture(other.Handle(), 0, 10, FALSE), JOYERR_NOERROR);
  EXPECT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);
}

TEST_F(CaptureTest, ThresholdModeMovesOnlyBeyondTheThresholdFromTheLastReport) {
  TVirtualController pad;
  pad.Update([](TBatch& b) {
    b.SetAxis(TAxis::X, 40000);
    b.SetAxis(TAxis::Y, 20000);
  });
  TRecordingWindow window;
  ASSERT_EQ(joySetThreshold(0, 100), JOYERR_NOERROR);
  ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);

  pad.SetAxis(TAxis::X, 40100);  // exactly the threshold from the capture's start
  pad.SetAxis(TAxis::Y, 19900);
  PumpFor(20ms);
  EXPECT_TRUE(window.Received.empty());

  pad.SetAxis(TAxis::X, 40101);  // one more: strictly greater
  ASSERT_TRUE(window.WaitFor(1));
  EXPECT_EQ(window.Received[0].Msg, MM_JOY1MOVE);
  EXPECT_EQ(window.Received[0].WParam, 0u);
  EXPECT_EQ(window.Received[0].LParam, XY(40101, 19900));

  // The reference is now (40101, 19900): two steps of 60 report on the second.
  pad.SetAxis(TAxis::Y, 19960);
  PumpFor(10ms);
  EXPECT_EQ(window.Received.size(), 1u);
  pad.SetAxis(TAxis::Y, 20020);
  ASSERT_TRUE(window.WaitFor(2));
  EXPECT_EQ(window.Received[1].LParam, XY(40101, 20020));

  // A new threshold applies at once.
  ASSERT_EQ(joySetThreshold(0, 0), JOYERR_NOERROR);
  pad.SetAxis(TAxis::X, 40102);
  ASSERT_TRUE(window.WaitFor(3));
  EXPECT_EQ(window.Received[2].LParam, XY(40102, 20020));
  EXPECT_EQ(Only(window.Received, MM_JOY1MOVE).size(), 3u);
}

TEST_F(CaptureTest, SettingAnAxisTheControllerLacksIsRefused) {
  TVirtualController pad;
  EXPECT_THROW(pad.SetAxis(TAxis::R, 0), EVirtualJoystickError);
}

TEST_F(CaptureTest, ZMovesOnlyForAControllerWithZ) {
  TDescription d;
  d.WithAxis(TAxis::Z);
  TVirtualController withZ(d);
  TVirtualController flat;
  TRecordingWindow w0, w1;
  ASSERT_EQ(joySetThreshold(0, 10), JOYERR_NOERROR);
  ASSERT_EQ(joySetCapture(w0.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  ASSERT_EQ(joySetCapture(w1.Handle(), 1, 10, TRUE), JOYERR_NOERROR);
  withZ.SetButton(3, true);  // a button down first, then the Z move carries it
  withZ.SetAxis(TAxis::Z, 32767 + 10);
  withZ.SetAxis(TAxis::Z, 32767 + 11);
  ASSERT_TRUE(w0.WaitFor(2));
  PumpFor(10ms);
  ASSERT_EQ(w0.Received.size(), 2u);
  EXPECT_EQ(w0.Received[0].Msg, MM_JOY1BUTTONDOWN);
  EXPECT_EQ(w0.Received[1].Msg, MM_JOY1ZMOVE);
  EXPECT_EQ(w0.Received[1].WParam, JOY_BUTTON3);
  EXPECT_EQ(w0.Received[1].LParam, 32767 + 11);
  EXPECT_TRUE(w1.Received.empty());
}

TEST_F(CaptureTest, ButtonMessagesCarryHeldAndChangedButtons) {
  TVirtualController pad;
  pad.Update([](TBatch& b) {
    b.SetAxis(TAxis::X, 100);
    b.SetAxis(TAxis::Y, 65535);
  });
  TRecordingWindow window;
  ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  pad.SetButton(1, true);
  pad.SetButton(2, true);
  pad.SetButton(1, false);
  pad.SetButton(2, false);
  ASSERT_TRUE(window.WaitFor(4));
  const UINT expectedMsg[] = {MM_JOY1BUTTONDOWN, MM_JOY1BUTTONDOWN, MM_JOY1BUTTONUP,
                              MM_JOY1BUTTONUP};
  const WPARAM expectedWParam[] = {0x0101, 0x0203, 0x0102, 0x0200};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(window.Received[i].Msg, expectedMsg[i]) << i;
    EXPECT_EQ(window.Received[i].WParam, expectedWParam[i]) << i;
    EXPECT_EQ(window.Received[i].LParam, XY(100, 65535)) << i;
  }
}

TEST_F(CaptureTest, OnlyButtonsOneToEightAreTold) {
  TDescription d;
  d.ButtonCount = 12;
  TVirtualController pad(d);
  TRecordingWindow window;
  ASSERT_EQ(joySetThreshold(0, 0), JOYERR_NOERROR);
  ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  pad.SetButton(9, true);
  pad.SetButton(12, true);
  PumpFor(10ms);
  EXPECT_TRUE(window.Received.empty());
  pad.Update([](TBatch& b) {
    b.SetButton(8, true);
    b.SetAxis(TAxis::X, 0);
  });
  ASSERT_TRUE(window.WaitFor(2));
  EXPECT_EQ(window.Received[0].Msg, MM_JOY1MOVE);
  EXPECT_EQ(window.Received[0].WParam, JOY_BUTTON8);
  EXPECT_EQ(window.Received[1].Msg, MM_JOY1BUTTONDOWN);
  EXPECT_EQ(window.Received[1].WParam, 0x8080u);
}

TEST_F(CaptureTest, OneUpdateIsToldInTheOrderMoveZMoveDownUp) {
  TDescription d;
  d.WithAxis(TAxis::Z);
  TVirtualController pad(d);
  pad.SetButton(2, true);
  TRecordingWindow window;
  ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  pad.Update([](TBatch& b) {
    b.SetButton(2, false);
    b.SetButton(1, true);
    b.SetAxis(TAxis::Z, 0);
    b.SetAxis(TAxis::Y, 0);
  });
  ASSERT_TRUE(window.WaitFor(4));
  const UINT order[] = {MM_JOY1MOVE, MM_JOY1ZMOVE, MM_JOY1BUTTONDOWN, MM_JOY1BUTTONUP};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(window.Received[i].Msg, order[i]) << i;
  EXPECT_EQ(window.Received[0].WParam, JOY_BUTTON1);
  EXPECT_EQ(window.Received[0].LParam, XY(32767, 0));
  EXPECT_EQ(window.Received[2].WParam, 0x0101u);
  EXPECT_EQ(window.Received[3].WParam, 0x0201u);
}

TEST_F(CaptureTest, ControllerZeroUsesJoy1MessagesAndEveryOtherJoy2) {
  TDescription d;
  d.WithAxis(TAxis::Z);
  TVirtualController pads[3] = {TVirtualController(d), TVirtualController(d),
                                TVirtualController(d)};
  TRecordingWindow windows[3];
  for (UINT id = 0; id < 3; ++id) {
    ASSERT_EQ(pads[id].GetNumber(), id);
    ASSERT_EQ(joySetCapture(windows[id].Handle(), id, 10, TRUE), JOYERR_NOERROR);
    pads[id].Update([](TBatch& b) {
      b.SetAxis(TAxis::X, 0);
      b.SetAxis(TAxis::Z, 0);
      b.SetButton(1, true);
    });
    pads[id].SetButton(1, false);
  }
  for (UINT id = 0; id < 3; ++id) {
    ASSERT_TRUE(windows[id].WaitFor(4)) << id;
    const bool first = id == 0;
    EXPECT_EQ(windows[id].Received[0].Msg, first ? MM_JOY1MOVE : MM_JOY2MOVE);
    EXPECT_EQ(windows[id].Received[1].Msg, first ? MM_JOY1ZMOVE : MM_JOY2ZMOVE);
    EXPECT_EQ(windows[id].Received[2].Msg, first ? MM_JOY1BUTTONDOWN : MM_JOY2BUTTONDOWN);
    EXPECT_EQ(windows[id].Received[3].Msg, first ? MM_JOY1BUTTONUP : MM_JOY2BUTTONUP);
  }
}

TEST_F(CaptureTest, PollingModeMovesEveryPeriodEvenWhenNothingMoves) {
  TDescription d;
  d.WithAxis(TAxis::Z);
  TVirtualController withZ(d);
  TVirtualController flat;
  TRecordingWindow w0, w1;
  ASSERT_EQ(joySetCapture(w0.Handle(), 0, 10, FALSE), JOYERR_NOERROR);
  ASSERT_EQ(joySetCapture(w1.Handle(), 1, 10, FALSE), JOYERR_NOERROR);
  ASSERT_TRUE(w0.WaitFor(6));
  ASSERT_TRUE(w1.WaitFor(3));
  EXPECT_EQ(w0.Received[0].Msg, MM_JOY1MOVE);
  EXPECT_EQ(w0.Received[0].LParam, XY(32767, 32767));
  EXPECT_EQ(w0.Received[1].Msg, MM_JOY1ZMOVE);
  EXPECT_EQ(w0.Received[1].LParam, 32767);
  EXPECT_TRUE(Only(w1.Received, MM_JOY2ZMOVE).empty());
  EXPECT_EQ(Only(w1.Received, MM_JOY2MOVE).size(), w1.Received.size());

  // Buttons are told when they change, besides the periodic moves.
  withZ.SetButton(4, true);
  const std::size_t before = w0.Received.size();
  ASSERT_TRUE(w0.WaitFor(before + 4));
  const auto downs = Only(w0.Received, MM_JOY1BUTTONDOWN);
  ASSERT_EQ(downs.size(), 1u);
  EXPECT_EQ(downs[0].WParam, 0x0808u);
  EXPECT_EQ(Only(w0.Received, MM_JOY1MOVE).back().WParam, JOY_BUTTON4);
}

TEST_F(CaptureTest, PollingPeriodsAreClampedToTenToOneThousand) {
  TVirtualController pad;
  TRecordingWindow fast;
  // 1 ms is taken as 10 ms: no more than about 20 moves in 200 ms.
  ASSERT_EQ(joySetCapture(fast.Handle(), 0, 1, FALSE), JOYERR_NOERROR);
  PumpFor(200ms);
  EXPECT_GE(fast.Received.size(), 1u);
  EXPECT_LE(fast.Received.size(), 22u);
  ASSERT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);

  TRecordingWindow zero;  // 0 means 10 ms
  ASSERT_EQ(joySetCapture(zero.Handle(), 0, 0, FALSE), JOYERR_NOERROR);
  PumpFor(200ms);
  EXPECT_GE(zero.Received.size(), 1u);
  EXPECT_LE(zero.Received.size(), 22u);
  ASSERT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);

  TRecordingWindow slow;  // a minute is taken as one second
  ASSERT_EQ(joySetCapture(slow.Handle(), 0, 60000, FALSE), JOYERR_NOERROR);
  EXPECT_TRUE(slow.WaitFor(1, 5000ms));
}

TEST_F(CaptureTest, AnIdleThresholdCaptureNeverWakesTheLoop) {
  TVirtualController pad;
  TRecordingWindow window;
  ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  auto& loop = TThreadLoop::Current();
  loop.ProcessMessages();
  EXPECT_FALSE(loop.HandleMessage(100));  // nothing to do: no timer, no message
  EXPECT_TRUE(window.Received.empty());
}

TEST_F(CaptureTest, AChangeOnAnotherThreadWakesTheWindowsThread) {
  TVirtualController pad;
  TRecordingWindow window;
  ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  std::thread mover([&] { pad.SetAxis(TAxis::X, 0); });
  EXPECT_TRUE(window.WaitFor(1));
  mover.join();
  EXPECT_EQ(window.Received[0].LParam, XY(0, 32767));
}

TEST_F(CaptureTest, ReleaseStopsEveryMessageAndThePollingTimer) {
  TVirtualController pad;
  TRecordingWindow window;
  ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, FALSE), JOYERR_NOERROR);
  ASSERT_TRUE(window.WaitFor(1));
  ASSERT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);
  DrainMessages();
  const std::size_t count = window.Received.size();
  pad.SetButton(1, true);
  auto& loop = TThreadLoop::Current();
  EXPECT_FALSE(loop.HandleMessage(50));  // the timer is gone
  EXPECT_EQ(window.Received.size(), count);
}

TEST_F(CaptureTest, DestroyingTheWindowReleasesItsCaptureInBothModes) {
  TVirtualController pad;
  for (BOOL changed : {TRUE, FALSE}) {
    {
      TRecordingWindow window;
      ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, changed), JOYERR_NOERROR);
    }
    // Threshold mode finds out at the next change, polling mode at its next tick;
    // either way a new window may capture at once.
    TRecordingWindow next;
    EXPECT_EQ(joySetCapture(next.Handle(), 0, 10, TRUE), JOYERR_NOERROR) << changed;
    ASSERT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);
  }
  // A polling capture whose window died removes its timer at its next tick.
  {
    TRecordingWindow window;
    ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, FALSE), JOYERR_NOERROR);
  }
  auto& loop = TThreadLoop::Current();
  PumpFor(30ms);
  EXPECT_FALSE(loop.HandleMessage(50));
  TRecordingWindow next;
  EXPECT_EQ(joySetCapture(next.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
}

TEST_F(CaptureTest, UnpluggedControllerStopsDeliveringAndResumesWhenBack) {
  TVirtualController pad;
  TRecordingWindow window;
  ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  pad.Unplug();
  pad.SetAxis(TAxis::X, 0);
  PumpFor(10ms);
  EXPECT_TRUE(window.Received.empty());
  pad.Replug();  // reports the move made while unplugged
  ASSERT_TRUE(window.WaitFor(1));
  pad.SetAxis(TAxis::X, 0);
  pad.SetAxis(TAxis::X, 65535);
  ASSERT_TRUE(window.WaitFor(2));
  PumpFor(10ms);
  ASSERT_EQ(window.Received.size(), 2u);
  EXPECT_EQ(window.Received[0].LParam, XY(0, 32767));
  EXPECT_EQ(window.Received[1].LParam, XY(65535, 32767));
  // Still captured: another window is refused.
  TRecordingWindow other;
  EXPECT_EQ(joySetCapture(other.Handle(), 0, 10, TRUE), JOYERR_NOCANDO);
}

TEST_F(CaptureTest, ReplugReportsEveryButtonChangeMadeWhileUnplugged) {
  TVirtualController pad;
  TRecordingWindow window;
  ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  pad.SetButtons(0x3);
  ASSERT_TRUE(window.WaitFor(1));
  pad.Unplug();
  pad.SetButtons(0x6);  // 1 released, 2 still held, 3 pressed
  pad.SetAxis(TAxis::Y, 0);
  pad.Replug();
  ASSERT_TRUE(window.WaitFor(4));
  PumpFor(10ms);
  ASSERT_EQ(window.Received.size(), 4u);
  EXPECT_EQ(window.Received[1].Msg, MM_JOY1MOVE);
  EXPECT_EQ(window.Received[1].LParam, XY(32767, 0));
  EXPECT_EQ(window.Received[2].Msg, MM_JOY1BUTTONDOWN);
  EXPECT_EQ(window.Received[2].WParam, 0x0406u);
  EXPECT_EQ(window.Received[3].Msg, MM_JOY1BUTTONUP);
  EXPECT_EQ(window.Received[3].WParam, 0x0106u);
}

TEST_F(CaptureTest, ReleaseDropsTheCapturesMessagesStillQueued) {
  TVirtualController pad;
  TRecordingWindow window;
  ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  pad.SetAxis(TAxis::X, 0);
  pad.SetButton(1, true);
  ::vorlane::Messages::PostMessage(FrameworkWindow(window.Handle()), Messages::WM_USER, 0,
                                   0);  // not the capture's
  ASSERT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);
  PumpFor(20ms);
  ASSERT_EQ(window.Received.size(), 1u);
  EXPECT_EQ(window.Received[0].Msg, Messages::WM_USER);
  // A new capture of the same window gets its own messages only.
  ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  pad.SetButton(1, false);
  ASSERT_TRUE(window.WaitFor(2));
  EXPECT_EQ(window.Received[1].Msg, MM_JOY1BUTTONUP);
}

// A window's thread that stops pumping: moves wait as one message each, holding
// the newest position, and every button message is kept, in order.
TEST_F(CaptureTest, AReceiverThatDoesNotPumpHoldsTheNewestMovesAndEveryButton) {
  TVirtualController pad(TDescription{}.WithAxis(TAxis::Z));
  TRecordingWindow window;
  ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
  auto& loop = TThreadLoop::Current();
  constexpr int Updates = 20000, Presses = 300;
  std::thread flood([&] {
    for (int i = 0; i < Updates; ++i) {
      pad.Update([i](TBatch& b) {
        b.SetAxis(TAxis::X, i % 2 ? 0 : 65535);
        b.SetAxis(TAxis::Z, i % 2 ? 65535 : 0);
      });
      if (i % (Updates / Presses) == 0) pad.SetButton(1 + i % 3, (i / 3) % 2 == 0);
    }
    pad.Update([](TBatch& b) {
      b.SetAxis(TAxis::X, 1000);
      b.SetAxis(TAxis::Z, 2000);
      b.SetButtons(0);
    });
  });
  flood.join();
  EXPECT_LE(loop.GetQueueLength(), std::size_t{2 + Presses * 2});
  DrainMessages();
  int moves = 0, zMoves = 0;
  std::uint32_t held = 0;
  for (const TMessage& m : window.Received) {
    if (m.Msg == MM_JOY1MOVE) ++moves;
    if (m.Msg == MM_JOY1ZMOVE) ++zMoves;
    const std::uint32_t changed = (m.WParam >> 8) & 0xFF;
    if (m.Msg == MM_JOY1BUTTONDOWN) {
      EXPECT_EQ(held & changed, 0u) << "a down for a button already down";
      held |= changed;
    }
    if (m.Msg == MM_JOY1BUTTONUP) {
      EXPECT_EQ(held & changed, changed) << "an up for a button not down";
      held &= ~changed;
    }
  }
  EXPECT_EQ(held, 0u);
  EXPECT_LE(moves, Presses + 1);
  EXPECT_LE(zMoves, Presses + 1);
  ASSERT_FALSE(window.Received.empty());
  const TMessage* lastMove = nullptr;
  for (const TMessage& m : window.Received)
    if (m.Msg == MM_JOY1MOVE) lastMove = &m;
  ASSERT_NE(lastMove, nullptr);
  EXPECT_EQ(static_cast<std::uint32_t>(lastMove->LParam) & 0xFFFF, 1000u);
}

TEST_F(CaptureTest, DestroyingTheControllerReleasesItsCapture) {
  TRecordingWindow window;
  {
    TVirtualController pad;
    ASSERT_EQ(joySetCapture(window.Handle(), 0, 10, FALSE), JOYERR_NOERROR);
  }
  TVirtualController next;
  PumpFor(30ms);
  window.Received.clear();
  PumpFor(30ms);
  EXPECT_TRUE(window.Received.empty());  // the old polling capture is gone
  EXPECT_EQ(joySetCapture(window.Handle(), 0, 10, TRUE), JOYERR_NOERROR);
}

TEST_F(CaptureTest, AWindowOfAnotherThreadGetsItsMessagesThereUntilReleased) {
  TVirtualController pad;
  std::promise<HWND> made;
  std::promise<void> gotThree;
  std::atomic<bool> released{false};
  std::size_t atRelease = 0, afterRelease = 0;
  std::thread owner([&] {
    TRecordingWindow window;
    made.set_value(window.Handle());
    window.WaitFor(3, 5000ms);
    gotThree.set_value();
    while (!released) TThreadLoop::Current().HandleMessage(5);
    DrainMessages();
    atRelease = window.Received.size();
    PumpFor(50ms);
    afterRelease = window.Received.size();
  });
  const HWND handle = made.get_future().get();
  const MMRESULT captured = joySetCapture(handle, 0, 10, FALSE);
  if (captured == JOYERR_NOERROR) gotThree.get_future().wait_for(std::chrono::seconds(5));
  EXPECT_EQ(joyReleaseCapture(0), JOYERR_NOERROR);  // from this thread: the timer goes
  released = true;
  owner.join();
  ASSERT_EQ(captured, JOYERR_NOERROR);
  EXPECT_GE(atRelease, 3u);
  EXPECT_EQ(afterRelease, atRelease);
}

}  // namespace
}  // namespace vorlane::JoystickServiceTests
