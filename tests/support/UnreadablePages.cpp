#include "UnreadablePages.hpp"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace vorlane::testing {

#ifdef _WIN32
TUnreadablePages::TUnreadablePages(std::size_t size)
    : FPages(::VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS)), FSize(size) {}

TUnreadablePages::~TUnreadablePages() {
  if (FPages != nullptr) ::VirtualFree(FPages, 0, MEM_RELEASE);
}
#else
TUnreadablePages::TUnreadablePages(std::size_t size) : FSize(size) {
  void* pages =
      ::mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  FPages = pages == MAP_FAILED ? nullptr : pages;
}

TUnreadablePages::~TUnreadablePages() {
  if (FPages != nullptr) ::munmap(FPages, FSize);
}
#endif

}  // namespace vorlane::testing
