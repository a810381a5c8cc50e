// Address space reserved with no access: reading any byte of it faults, so a test
// can show that code refuses a size before touching the bytes.
#pragma once

#include <cstddef>

namespace vorlane::testing {

class TUnreadablePages {
 public:
  explicit TUnreadablePages(std::size_t size);
  ~TUnreadablePages();
  TUnreadablePages(const TUnreadablePages&) = delete;
  TUnreadablePages& operator=(const TUnreadablePages&) = delete;

  // nullptr when the system would not reserve the space.
  const char* Data() const { return static_cast<const char*>(FPages); }

 private:
  void* FPages = nullptr;
  std::size_t FSize;
};

}  // namespace vorlane::testing
