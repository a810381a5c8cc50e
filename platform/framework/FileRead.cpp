// Reading a whole file that a user named, refusing what is not a bounded regular file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "framework/FileDescriptor.hpp"
#include "vorlane/System.hpp"
#include "vorlane/TypInfo.hpp"

namespace vorlane::System {

EFileError::EFileError(TKind kind, const std::string& problem)
    : Exception(Utf8ToString(problem)), FKind(kind) {}

const TypInfo::TClassInfo& EFileError::StaticClass() {
  static const TypInfo::TClassInfo info("EFileError", &Exception::StaticClass());
  return info;
}

namespace {

std::string TypeProblem(mode_t mode) {
  if (S_ISDIR(mode)) return "is a directory";
  if (S_ISFIFO(mode)) return "is a FIFO (named pipe), not a regular file";
  if (S_ISCHR(mode)) return "is a character device, not a regular file";
  if (S_ISBLK(mode)) return "is a block device, not a regular file";
  if (S_ISSOCK(mode)) return "is a socket, not a regular file";
  return "is not a regular file";
}

[[noreturn]] void Unreadable(int error) {
  throw EFileError(EFileError::TKind::Unreadable, std::strerror(error));
}

std::string TooLarge(std::uint64_t size, std::size_t maxBytes) {
  return "is " + std::to_string(size) + " bytes, more than the limit of " +
         std::to_string(maxBytes) + " bytes";
}

}  // namespace

std::string ReadWholeFile(const std::string& path, std::size_t maxBytes) {
  // O_NONBLOCK: opening a FIFO without a writer (or a device) must not wait.
  Posix::TFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (fd.Get() < 0) Unreadable(errno);
  struct stat info {};
  if (::fstat(fd.Get(), &info) != 0) Unreadable(errno);
  if (!S_ISREG(info.st_mode))
    throw EFileError(EFileError::TKind::NotRegular, TypeProblem(info.st_mode));
  const auto size = static_cast<std::uint64_t>(info.st_size);
  if (size > maxBytes) throw EFileError(EFileError::TKind::TooLarge, TooLarge(size, maxBytes));
  std::string text;
  text.reserve(static_cast<std::size_t>(size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Unreadable(errno);
    if (n == 0) break;
    if (static_cast<std::size_t>(n) > maxBytes - text.size())  // it grew since fstat
      throw EFileError(EFileError::TKind::TooLarge, "grew to more than the limit of " +
                                                        std::to_string(maxBytes) +
                                                        " bytes while it was read");
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace vorlane::System
