// Waking and waiting on POSIX: an eventfd for the wake event, ppoll for the wait.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <limits>
#include <vector>

#include "framework/os/Os.hpp"

namespace vorlane::Os {

std::optional<TNativeSource> SourceFromInteger(std::intptr_t value) {
  if (value < 0 || value > std::numeric_limits<int>::max()) return std::nullopt;
  return static_cast<int>(value);
}

TWakeEvent::TWakeEvent() : FSource(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (FSource < 0) throw EOsError("eventfd", errno);
}

TWakeEvent::~TWakeEvent() {
  ::close(FSource);
}

void TWakeEvent::Signal() noexcept {
  // Non-blocking: a counter at its maximum (EAGAIN) is already ready.
  const std::uint64_t one = 1;
  while (::write(FSource, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void TWakeEvent::Clear() noexcept {
  // One read resets the counter; EAGAIN means it was not ready.
  std::uint64_t count;
  while (::read(FSource, &count, sizeof count) < 0 && errno == EINTR) {
  }
}

TWaitResult Wait(TWakeEvent& wake, std::span<TWatchedSource> sources,
                 std::optional<std::chrono::nanoseconds> timeout) {
  // Kept per thread, so that a warm loop does not allocate. Wait runs no callbacks,
  // so nothing on this thread uses the buffer while a wait is under way.
  thread_local std::vector<pollfd> fds;
  fds.resize(sources.size() + 1);
  fds[0] = pollfd{wake.Source(), POLLIN, 0};
  for (std::size_t i = 0; i < sources.size(); ++i)
    fds[i + 1] = pollfd{sources[i].Source, POLLIN, 0};

  timespec limit{};
  if (timeout) {
    const auto ns = std::max(timeout->count(), std::chrono::nanoseconds::rep{0});
    limit =
        timespec{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  }
  TWaitResult result;
  if (::ppoll(fds.data(), fds.size(), timeout ? &limit : nullptr, nullptr) < 0) {
    if (errno != EINTR) throw EOsError("ppoll", errno);
    result.Interrupted = true;
    for (TWatchedSource& s : sources) s.Readiness = TReadiness::NotReady;
    return result;
  }
  result.Woken = (fds[0].revents & POLLIN) != 0;
  for (std::size_t i = 0; i < sources.size(); ++i) {
    const short events = fds[i + 1].revents;
    sources[i].Readiness = (events & POLLNVAL) != 0 ? TReadiness::Invalid
                           : events != 0            ? TReadiness::Ready
                                                    : TReadiness::NotReady;
  }
  return result;
}

}  // namespace vorlane::Os
