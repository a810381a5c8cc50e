// joymon: watches game controllers live through the TJoystick component.
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <cstdio>
#include <memory>
#include <optional>

#include "ControllerList.hpp"
#if VORLANE_JOYMON_CURSES
#include "CursesView.hpp"
#endif
#include "JsonOutput.hpp"
#include "Monitor.hpp"
#include "Options.hpp"
#include "PlainView.hpp"
#include "Signals.hpp"
#include "vorlane/visual/Forms.hpp"

namespace vorlane::JoyMon {
namespace {

#if VORLANE_JOYMON_CURSES
bool IsTerminal(std::FILE* file) {
#ifdef _WIN32
  return _isatty(_fileno(file)) != 0;
#else
  return isatty(fileno(file)) != 0;
#endif
}
#endif

constexpr std::uint32_t RefreshPeriodMs = 50;

void PrintError(const System::Exception& e) {
  std::fprintf(stderr, "joymon: %s\n", System::StringToUtf8(e.GetMessage()).c_str());
}

// A running session: the loop's timers and watches, the chosen view or printer,
// and the stop conditions of --count and --seconds.
class TSession {
 public:
  TSession(const TOptions& options, TMonitor& monitor) : FOptions(options), FMonitor(monitor) {}

  int Run() {
    const bool events = FOptions.Events;
#if VORLANE_JOYMON_CURSES
    if (!events && !FOptions.Json && IsTerminal(stdout)) {
      try {
        FScreen = std::make_unique<TCursesView>(FMonitor);
      } catch (const System::Exception& e) {
        PrintError(e);
        std::fprintf(stderr, "joymon: showing plain lines instead\n");
      }
    }
#endif
    if (!HasScreen()) FPlain = std::make_unique<TPlainView>(FMonitor, stdout, events);

    Messages::TThreadLoop& loop = Messages::TThreadLoop::Current();
    TTerminationSignals signals;
    FMonitor.Log().SetListener(TEventLog::TListener::Bind<&TSession::OnEvent>(this));
    Forms::Application().SetOnException(Forms::TExceptionEvent::Bind<&TSession::OnException>(this));
    using TTick = Closure::TClosure<void()>;
    const auto refresh = loop.AddTimer(RefreshPeriodMs, TTick::Bind<&TSession::OnRefresh>(this));
    std::optional<Messages::TThreadLoop::TId> keys, deadline;
    // Keys only from a terminal: a file or a closed pipe would be readable for ever.
#if VORLANE_JOYMON_CURSES
    if (FScreen && IsTerminal(stdin))
      keys = loop.AddWatch(STDIN_FILENO, TTick::Bind<&TSession::OnKeys>(this));
#endif
    if (FOptions.Seconds)
      deadline = loop.AddTimer(static_cast<std::uint32_t>(*FOptions.Seconds * 1000),
                               TTick::Bind<&TSession::OnDeadline>(this));

    OnRefresh();
    Forms::Application().Run();

    loop.RemoveTimer(refresh);
    if (keys) loop.RemoveWatch(*keys);
    if (deadline) loop.RemoveTimer(*deadline);
    FMonitor.Log().SetListener(nullptr);
    Forms::Application().SetOnException(nullptr);
#if VORLANE_JOYMON_CURSES
    FScreen.reset();  // the terminal back before anything more is printed
#endif
    if (FFailure) {
      std::fprintf(stderr, "joymon: %s\n", FFailure->c_str());
      return 1;
    }
    return 0;
  }

 private:
#if VORLANE_JOYMON_CURSES
  bool HasScreen() const {
    return FScreen != nullptr;
  }

  void OnRefresh() {
    // Keys are read here as well: a resized terminal is noticed by reading.
    if (FScreen && IsTerminal(stdin) && HandleKeys()) return;
    FMonitor.Tick();
    if (FScreen) {
      FScreen->Refresh();
    } else {
      FPlain->Refresh();
    }
  }

  void OnKeys() {
    if (!HandleKeys()) FScreen->Refresh();  // show the effect of the key at once
  }

  // Returns whether q was pressed.
  bool HandleKeys() {
    FScreen->HandleKeys();
    if (!FScreen->QuitRequested()) return false;
    Forms::Application().Terminate();
    return true;
  }
#else
  // Built without a curses library (Windows): plain lines only.
  static constexpr bool HasScreen() {
    return false;
  }

  void OnRefresh() {
    FMonitor.Tick();
    FPlain->Refresh();
  }
#endif

  void OnDeadline() {
    Forms::Application().Terminate();
  }

  void OnEvent(const TEventRecord& event) {
    if (FOptions.Count && FEvents >= *FOptions.Count) return;  // stopping; one pass may hold more
    ++FEvents;
    if (FOptions.Json) {
      TJsonWriter json;
      WriteEvent(json, event, FMonitor.StartTime());
      std::fputs(json.Text().c_str(), stdout);
      std::fputc('\n', stdout);
      std::fflush(stdout);
    } else if (FPlain) {
      FPlain->PrintEvent(event);
    }
    if (FOptions.Count && FEvents >= *FOptions.Count) Forms::Application().Terminate();
  }

  void OnException(System::TObject*, const System::Exception& e) {
    FFailure = System::StringToUtf8(e.GetMessage());
    Forms::Application().Terminate();
  }

  const TOptions& FOptions;
  TMonitor& FMonitor;
#if VORLANE_JOYMON_CURSES
  std::unique_ptr<TCursesView> FScreen;
#endif
  std::unique_ptr<TPlainView> FPlain;
  std::uint64_t FEvents = 0;
  std::optional<std::string> FFailure;
};

int Run(const TOptions& options) {
  TMonitor monitor(options);
  if (options.List) {
    monitor.Start(false);
    PrintControllerList(monitor.Joystick(), stdout, options.Json);
    return 0;
  }
  // The demo controller steps in by itself for people, not for scripts.
  monitor.Start(!options.Json);
  if (options.Events && !monitor.Joystick().GetAttached(monitor.Joystick().GetController()))
    std::fprintf(stderr,
                 "joymon: controller %d is not attached; waiting for it to be plugged in "
                 "(joymon --demo watches the built-in demo controller instead)\n",
                 static_cast<int>(monitor.Joystick().GetController()));
  // Capture at once: a replayed recording is already playing.
  monitor.Tick();
  if (options.Once) {
    if (options.Json) {
      TJsonWriter json(true);
      WriteSnapshot(json, monitor.Joystick());
      std::printf("%s\n", json.Text().c_str());
    } else {
      TPlainView(monitor, stdout, false).PrintSnapshot();
    }
    return 0;
  }
  TSession session(options, monitor);
  return session.Run();
}

}  // namespace
}  // namespace vorlane::JoyMon

int main(int argc, char** argv) {
  using namespace vorlane;
  JoyMon::TOptions options;
  try {
    options = JoyMon::ParseOptions(argc, argv);
  } catch (const JoyMon::EUsageError& e) {
    JoyMon::PrintError(e);
    return 2;
  }
  if (options.Help) {
    std::fputs(JoyMon::UsageText(), stdout);
    return 0;
  }
  try {
    if (options.Version) {
      Joystick::TJoystick joystick(nullptr);
      std::printf("joymon, TJoystick %s\n", System::StringToUtf8(joystick.GetAbout()).c_str());
      return 0;
    }
    return JoyMon::Run(options);
  } catch (const JoyMon::EUsageError& e) {
    JoyMon::PrintError(e);
    return 2;
  } catch (const System::Exception& e) {
    JoyMon::PrintError(e);
    return 1;
  }
}
