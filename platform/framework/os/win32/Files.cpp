// Files on Windows: CreateFileW, GetFileInformationByHandle and ReadFile on an
// owned handle. Every file is opened sharing reading, writing and deletion, so
// that reading one never stands in the way of its writer.
#include <windows.h>

#include <algorithm>

#include "framework/os/win32/Win32.hpp"

namespace vorlane::Os {

namespace {

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// FILE_FLAG_BACKUP_SEMANTICS lets a directory be opened as well.
HANDLE Open(const std::string& path, DWORD access) {
  return ::CreateFileW(Win32::Widen(path).c_str(), access, ShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

TFileKind KindOf(HANDLE file, const BY_HANDLE_FILE_INFORMATION& info) {
  switch (::GetFileType(file)) {
    case FILE_TYPE_DISK:
      return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? TFileKind::Directory
                                                                     : TFileKind::Regular;
    case FILE_TYPE_CHAR:
      return TFileKind::CharacterDevice;
    case FILE_TYPE_PIPE:
      return TFileKind::Fifo;
    default:
      return TFileKind::Other;
  }
}

// Devices and pipes have no file information; they are told apart by GetFileType.
bool Describe(HANDLE file, BY_HANDLE_FILE_INFORMATION& info) {
  info = {};
  return ::GetFileInformationByHandle(file, &info) != 0 || ::GetFileType(file) != FILE_TYPE_DISK;
}

// The end of a file, and a pipe whose writer has gone, read as 0 bytes.
std::size_t ReadResult(BOOL ok, DWORD read, const char* call) {
  if (ok) return read;
  const DWORD error = ::GetLastError();
  if (error == ERROR_HANDLE_EOF || error == ERROR_BROKEN_PIPE) return 0;
  throw EOsError(call, Win32::ErrorCode(error));
}

DWORD Chunk(std::size_t size) {
  return static_cast<DWORD>(std::min<std::size_t>(size, 0x7fff'f000));
}

}  // namespace

TFileId FileIdOf(const std::string& path) {
  Win32::THandle file(Open(path, 0));
  if (!file.IsOpen()) throw Win32::LastError("CreateFileW");
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(file.Get(), &info))
    throw Win32::LastError("GetFileInformationByHandle");
  return TFileId{info.dwVolumeSerialNumber,
                 (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

TReadFile::TReadFile(const std::string& path) : FFile(Open(path, GENERIC_READ)) {
  if (FFile == INVALID_HANDLE_VALUE) throw Win32::LastError("CreateFileW");
  Win32::THandle owner(FFile);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!Describe(FFile, info)) throw Win32::LastError("GetFileInformationByHandle");
  FKind = KindOf(FFile, info);
  FSize = FKind == TFileKind::Regular
              ? (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow
              : 0;
  owner.Release();
}

TReadFile::~TReadFile() {
  ::CloseHandle(FFile);
}

std::size_t TReadFile::Read(void* buffer, std::size_t size) {
  DWORD read = 0;
  return ReadResult(::ReadFile(FFile, buffer, Chunk(size), &read, nullptr), read, "ReadFile");
}

std::size_t TReadFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t size) {
  // A read at an offset moves a synchronous handle's position: put it back.
  LARGE_INTEGER here{};
  if (!::SetFilePointerEx(FFile, LARGE_INTEGER{}, &here, FILE_CURRENT))
    throw Win32::LastError("SetFilePointerEx");
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD read = 0;
  const BOOL ok = ::ReadFile(FFile, buffer, Chunk(size), &read, &at);
  const DWORD error = ::GetLastError();
  ::SetFilePointerEx(FFile, here, nullptr, FILE_BEGIN);
  ::SetLastError(error);
  return ReadResult(ok, read, "ReadFile");
}

}  // namespace vorlane::Os
