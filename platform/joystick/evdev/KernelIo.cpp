#include "joystick/evdev/KernelIo.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "framework/os/posix/FileDescriptor.hpp"

namespace vorlane::JoystickService::EvdevBackend {

bool IsEventNodeName(std::string_view name) {
  constexpr std::string_view prefix = "event";
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return false;
  for (char c : name.substr(prefix.size()))
    if (c < '0' || c > '9') return false;
  return true;
}

namespace {

// Tokens in epoll's data: the two fds of the seam itself, then node serials.
constexpr std::uint64_t InterruptToken = 0;
constexpr std::uint64_t DirectoryToken = 1;
constexpr std::uint64_t FirstSerial = 2;

using TFd = Posix::TFileDescriptor;

class TNode final : public TKernelNode {
 public:
  TNode(int fd, libevdev* device, std::uint64_t serial)
      : FFd(fd), FDevice(device), FSerial(serial) {}

  const libevdev* Device() const override { return FDevice.get(); }
  std::uint64_t Serial() const override { return FSerial; }

  // At most MaxEventsPerRead events outside a sync delta, so that a node that
  // floods cannot keep the reader from the others and from the directory; what is
  // left makes the next Wait report the node again.
  TReadStatus Read(std::vector<input_event>& events, int& error) override {
    bool syncing = false;
    bool syncEnded = true;
    std::size_t read = 0;
    for (;;) {
      if (!syncing && read++ == MaxEventsPerRead) return TReadStatus::Ok;
      input_event ev{};
      const int rc = libevdev_next_event(
          FDevice.get(), syncing ? LIBEVDEV_READ_FLAG_SYNC : LIBEVDEV_READ_FLAG_NORMAL, &ev);
      if (rc == LIBEVDEV_READ_STATUS_SUCCESS) {
        events.push_back(ev);
      } else if (rc == LIBEVDEV_READ_STATUS_SYNC) {
        // In normal mode this is the SYN_DROPPED itself; in sync mode, the delta.
        events.push_back(ev);
        syncing = true;
        syncEnded = ev.type == EV_SYN && ev.code == SYN_REPORT;
      } else if (rc == -EAGAIN) {
        if (!syncing) return TReadStatus::Ok;
        // The delta is over: close it with a report if libevdev did not.
        if (!syncEnded) {
          input_event report{};
          report.type = EV_SYN;
          report.code = SYN_REPORT;
          events.push_back(report);
        }
        syncing = false;
        syncEnded = true;
      } else if (rc == -EINTR) {
        continue;
      } else {
        error = -rc;
        return rc == -ENODEV ? TReadStatus::Gone : TReadStatus::Failed;
      }
    }
  }

  bool Alive() override {
    int version = 0;
    return ::ioctl(FFd.Get(), EVIOCGVERSION, &version) == 0 || errno != ENODEV;
  }

 private:
  TFd FFd;  // closing it also takes it out of the epoll set
  TLibevdevPtr FDevice;
  std::uint64_t FSerial;
};

class TLinuxKernelIo final : public TKernelIo {
 public:
  explicit TLinuxKernelIo(std::string directory)
      : FDirectory(std::move(directory)),
        FEpoll(::epoll_create1(EPOLL_CLOEXEC)),
        FInterrupt(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (FEpoll.Get() < 0 || FInterrupt.Get() < 0)
      throw std::system_error(errno, std::generic_category(), "evdev: epoll/eventfd");
    // Without it Interrupt could never end a Wait, and closing would wait for ever.
    if (!Add(FInterrupt.Get(), InterruptToken))
      throw std::system_error(errno, std::generic_category(), "evdev: epoll_ctl(eventfd)");
  }

  const std::string& Directory() const override { return FDirectory; }

  int Watch() override {
    FInotify = std::make_unique<TFd>(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (FInotify->Get() < 0) return errno;
    if (::inotify_add_watch(FInotify->Get(), FDirectory.c_str(),
                            IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_FROM | IN_MOVED_TO) < 0)
      return errno;
    if (!Add(FInotify->Get(), DirectoryToken)) return errno;
    return 0;
  }

  std::vector<std::string> List() override {
    std::vector<std::string> names;
    DIR* dir = ::opendir(FDirectory.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir))
      if (IsEventNodeName(entry->d_name)) names.emplace_back(entry->d_name);
    ::closedir(dir);
    return names;
  }

  TOpenResult Open(const std::string& name) override {
    const std::string path = FDirectory + "/" + name;
    // Not through links, never as a controlling terminal, and no ioctl on anything
    // but a character device.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY);
    if (fd < 0) return {nullptr, errno};
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) {
      const int error = S_ISCHR(info.st_mode) ? errno : ENOTTY;
      ::close(fd);
      return {nullptr, error};
    }
    libevdev* device = nullptr;
    const int rc = libevdev_new_from_fd(fd, &device);
    if (rc < 0) {
      ::close(fd);
      return {nullptr, -rc};
    }
    const std::uint64_t serial = FNextSerial++;
    auto node = std::make_unique<TNode>(fd, device, serial);
    if (!Add(fd, serial)) {
      const int error = errno;
      node.reset();
      return {nullptr, error};
    }
    return {std::move(node), 0};
  }

  std::vector<TWake> Wait() override {
    std::vector<TWake> wakes;
    epoll_event ready[16];
    int count = -1;
    while (count < 0) {
      count = ::epoll_wait(FEpoll.Get(), ready, 16, -1);
      if (count < 0 && errno != EINTR) {
        wakes.push_back({TWake::TKind::Interrupted, {}, 0});
        return wakes;
      }
    }
    for (int i = 0; i < count; ++i) {
      const std::uint64_t token = ready[i].data.u64;
      if (token == InterruptToken) {
        std::uint64_t value = 0;
        [[maybe_unused]] const ssize_t n = ::read(FInterrupt.Get(), &value, sizeof value);
        wakes.push_back({TWake::TKind::Interrupted, {}, 0});
      } else if (token == DirectoryToken) {
        ReadDirectoryEvents(wakes);
      } else {
        wakes.push_back({TWake::TKind::Readable, {}, token});
      }
    }
    return wakes;
  }

  void Interrupt() override {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(FInterrupt.Get(), &one, sizeof one);
  }

 private:
  bool Add(int fd, std::uint64_t token) {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = token;
    return ::epoll_ctl(FEpoll.Get(), EPOLL_CTL_ADD, fd, &event) == 0;
  }

  void ReadDirectoryEvents(std::vector<TWake>& wakes) {
    alignas(inotify_event) char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(FInotify->Get(), buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
        const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
        at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        if (event->mask & IN_Q_OVERFLOW) {
          wakes.push_back({TWake::TKind::Overflow, {}, 0});
          continue;
        }
        if (event->len == 0 || !IsEventNodeName(event->name)) continue;
        if (event->mask & (IN_CREATE | IN_MOVED_TO))
          wakes.push_back({TWake::TKind::Created, event->name, 0});
        if (event->mask & (IN_DELETE | IN_MOVED_FROM))
          wakes.push_back({TWake::TKind::Deleted, event->name, 0});
        if (event->mask & IN_ATTRIB) wakes.push_back({TWake::TKind::AttribChanged, event->name, 0});
      }
    }
  }

  std::string FDirectory;
  TFd FEpoll;
  TFd FInterrupt;
  std::unique_ptr<TFd> FInotify;
  std::uint64_t FNextSerial = FirstSerial;
};

}  // namespace

std::unique_ptr<TKernelIo> CreateKernelIo(std::string directory) {
  return std::make_unique<TLinuxKernelIo>(std::move(directory));
}

}  // namespace vorlane::JoystickService::EvdevBackend
