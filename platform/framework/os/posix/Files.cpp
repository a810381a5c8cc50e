// Files on POSIX: open, fstat and read on an owned descriptor.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "framework/os/Os.hpp"

namespace vorlane::Os {

namespace {

TFileKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return TFileKind::Regular;
  if (S_ISDIR(mode)) return TFileKind::Directory;
  if (S_ISFIFO(mode)) return TFileKind::Fifo;
  if (S_ISCHR(mode)) return TFileKind::CharacterDevice;
  if (S_ISBLK(mode)) return TFileKind::BlockDevice;
  if (S_ISSOCK(mode)) return TFileKind::Socket;
  return TFileKind::Other;
}

}  // namespace

TFileId FileIdOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) throw EOsError("stat", errno);
  return TFileId{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// O_NONBLOCK: opening a FIFO without a writer (or a device) must not wait.
TReadFile::TReadFile(const std::string& path)
    : FFile(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)) {
  if (FFile < 0) throw EOsError("open", errno);
  struct stat info {};
  if (::fstat(FFile, &info) != 0) {
    const int error = errno;
    ::close(FFile);
    throw EOsError("fstat", error);
  }
  FKind = KindOf(info.st_mode);
  FSize = FKind == TFileKind::Regular ? static_cast<std::uint64_t>(info.st_size) : 0;
}

TReadFile::~TReadFile() {
  ::close(FFile);
}

std::size_t TReadFile::Read(void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(FFile, buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw EOsError("read", errno);
  }
}

std::size_t TReadFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::pread(FFile, buffer, size, static_cast<off_t>(offset));
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw EOsError("pread", errno);
  }
}

}  // namespace vorlane::Os
