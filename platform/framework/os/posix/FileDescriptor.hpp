// An owned POSIX file descriptor, closed when its owner goes; -1 owns nothing.
// Internal to the platform library (the POSIX system seam and the evdev backend).
#pragma once

#include <unistd.h>

namespace vorlane::Posix {

class TFileDescriptor {
 public:
  explicit TFileDescriptor(int fd = -1) : FFd(fd) {}
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;
  ~TFileDescriptor() {
    if (FFd >= 0) ::close(FFd);
  }
  int Get() const { return FFd; }

 private:
  int FFd;
};

}  // namespace vorlane::Posix
