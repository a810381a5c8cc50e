// Captures whose window's thread ends while another thread ends or renews the
// capture. Run under AddressSanitizer or ThreadSanitizer, these catch the service
// reaching a thread loop that its thread has already freed.
#include <atomic>
#include <memory>
#include <thread>

#include "ServiceSupport.hpp"

namespace vorlane::JoystickServiceTests {
namespace {

using ThreadEndTest = ServiceTest;

constexpr int Rounds = 3000;

// A thread that makes a window, captures controller `id` for it in polling mode
// and ends at once: its loop's clean-up destroys the window and frees the loop.
std::thread CaptureAndEnd(UINT id, std::atomic<HWND>& window) {
  return std::thread([id, &window] {
    const HWND handle = ApiWindow(Messages::AllocateHWnd({}));
    if (joySetCapture(handle, id, 10, FALSE) == JOYERR_NOERROR)
      window.store(handle);
    else
      window.store(reinterpret_cast<HWND>(std::uintptr_t{1}));
  });
}

void WaitForHandle(const std::atomic<HWND>& window) {
  while (window.load() == nullptr) std::this_thread::yield();
}

TEST_F(ThreadEndTest, ReleasingAndRecapturingWhileTheWindowsThreadEnds) {
  TVirtualController pad;
  const UINT id = pad.GetNumber();
  for (int round = 0; round < Rounds; ++round) {
    std::atomic<HWND> window{nullptr};
    std::thread owner = CaptureAndEnd(id, window);
    WaitForHandle(window);
    // Until the window is gone: end the capture, then make it again for the
    // window (joySetCapture adds the timer to the ending thread's loop).
    for (int i = 0; i < 1000; ++i) {
      ASSERT_EQ(joyReleaseCapture(id), JOYERR_NOERROR);
      const MMRESULT result = joySetCapture(window.load(), id, 10, FALSE);
      if (result != JOYERR_NOERROR) {
        ASSERT_EQ(result, JOYERR_NOCANDO) << "round " << round;
        break;
      }
    }
    owner.join();
    ASSERT_EQ(joyReleaseCapture(id), JOYERR_NOERROR);
  }
}

TEST_F(ThreadEndTest, DestroyingTheControllerWhileTheWindowsThreadEnds) {
  for (int round = 0; round < Rounds; ++round) {
    auto pad = std::make_unique<TVirtualController>();
    std::atomic<HWND> window{nullptr};
    std::thread owner = CaptureAndEnd(pad->GetNumber(), window);
    WaitForHandle(window);
    pad.reset();  // releases the capture while the owner may be ending
    owner.join();
  }
  // The service still works: a fresh capture on this thread gets its messages.
  TVirtualController pad;
  TRecordingWindow window;
  ASSERT_EQ(joySetCapture(window.Handle(), pad.GetNumber(), 10, FALSE), JOYERR_NOERROR);
  EXPECT_TRUE(window.WaitFor(2));
}

}  // namespace
}  // namespace vorlane::JoystickServiceTests
