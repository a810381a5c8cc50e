// Reading a whole file that a user named, refusing what is not a bounded regular file.
#include <string>

#include "framework/os/Os.hpp"
#include "vorlane/runtime/System.hpp"
#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::System {

EFileError::EFileError(TKind kind, const std::string& problem)
    : Exception(Utf8ToString(problem)), FKind(kind) {}

const TypInfo::TClassInfo& EFileError::StaticClass() {
  static const TypInfo::TClassInfo info("EFileError", &Exception::StaticClass());
  return info;
}

namespace {

std::string KindProblem(Os::TFileKind kind) {
  switch (kind) {
    case Os::TFileKind::Directory:
      return "is a directory";
    case Os::TFileKind::Fifo:
      return "is a FIFO (named pipe), not a regular file";
    case Os::TFileKind::CharacterDevice:
      return "is a character device, not a regular file";
    case Os::TFileKind::BlockDevice:
      return "is a block device, not a regular file";
    case Os::TFileKind::Socket:
      return "is a socket, not a regular file";
    default:
      return "is not a regular file";
  }
}

[[noreturn]] void Unreadable(const Os::EOsError& e) {
  throw EFileError(EFileError::TKind::Unreadable, e.code().message());
}

std::string TooLarge(std::uint64_t size, std::size_t maxBytes) {
  return "is " + std::to_string(size) + " bytes, more than the limit of " +
         std::to_string(maxBytes) + " bytes";
}

std::string ReadAll(Os::TReadFile& file, std::size_t maxBytes) {
  if (file.Kind() != Os::TFileKind::Regular)
    throw EFileError(EFileError::TKind::NotRegular, KindProblem(file.Kind()));
  if (file.Size() > maxBytes)
    throw EFileError(EFileError::TKind::TooLarge, TooLarge(file.Size(), maxBytes));
  std::string text;
  text.reserve(static_cast<std::size_t>(file.Size()));
  char buffer[65536];
  while (const std::size_t n = file.Read(buffer, sizeof buffer)) {
    if (n > maxBytes - text.size())  // it grew since it was opened
      throw EFileError(EFileError::TKind::TooLarge, "grew to more than the limit of " +
                                                        std::to_string(maxBytes) +
                                                        " bytes while it was read");
    text.append(buffer, n);
  }
  return text;
}

}  // namespace

std::string ReadWholeFile(const std::string& path, std::size_t maxBytes) {
  try {
    Os::TReadFile file(path);
    return ReadAll(file, maxBytes);
  } catch (const Os::EOsError& e) {
    Unreadable(e);
  }
}

}  // namespace vorlane::System
