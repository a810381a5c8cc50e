#include "Signals.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>

#include "vorlane/visual/Forms.hpp"

namespace vorlane::JoyMon {

namespace {

int Pipe[2] = {-1, -1};
std::atomic<int> LastSignal{0};
constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int signal) {
  const int saved = errno;
  LastSignal.store(signal);
  const char byte = 1;
  [[maybe_unused]] ssize_t n = write(Pipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

TTerminationSignals::TTerminationSignals() {
  if (pipe2(Pipe, O_CLOEXEC | O_NONBLOCK) != 0)
    throw System::Exception(u"cannot create the pipe for signals");
  struct sigaction action {};
  action.sa_handler = &OnSignal;
  sigemptyset(&action.sa_mask);
  for (int s : Signals) sigaction(s, &action, nullptr);
  FWatch = Messages::TThreadLoop::Current().AddWatch(
      Pipe[0], Closure::TClosure<void()>::Bind<&TTerminationSignals::OnReadable>(this));
}

TTerminationSignals::~TTerminationSignals() {
  for (int s : Signals) std::signal(s, SIG_DFL);
  Messages::TThreadLoop::Current().RemoveWatch(FWatch);
  close(Pipe[0]);
  close(Pipe[1]);
  Pipe[0] = Pipe[1] = -1;
}

int TTerminationSignals::Received() const {
  return LastSignal.load();
}

void TTerminationSignals::OnReadable() {
  char buffer[16];
  while (read(Pipe[0], buffer, sizeof buffer) > 0) {
  }
  Forms::Application().Terminate();
}

}  // namespace vorlane::JoyMon
