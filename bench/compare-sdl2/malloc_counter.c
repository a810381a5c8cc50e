/* Counts every heap allocation of the process at the C allocator: malloc, calloc,
 * realloc and the aligned variants, whichever library calls them. The benchmark
 * executable defines these functions, so the dynamic linker binds every shared
 * library to them (libvorlane-*, libSDL2, libstdc++'s operator new); each one
 * counts and hands the request to glibc's own allocator. This is what lets the
 * comparison count SDL2's allocations (it calls malloc, never operator new) with
 * the same yardstick as ours. */
#include <errno.h>
#include <stddef.h>
#include <stdint.h>

extern void* __libc_malloc(size_t size);
extern void* __libc_calloc(size_t count, size_t size);
extern void* __libc_realloc(void* block, size_t size);
extern void __libc_free(void* block);
extern void* __libc_memalign(size_t alignment, size_t size);

static uint64_t g_allocations;

static void Count(void) {
  __atomic_fetch_add(&g_allocations, 1, __ATOMIC_RELAXED);
}

uint64_t compare_malloc_count(void) {
  return __atomic_load_n(&g_allocations, __ATOMIC_RELAXED);
}

void* malloc(size_t size) {
  Count();
  return __libc_malloc(size);
}

void* calloc(size_t count, size_t size) {
  Count();
  return __libc_calloc(count, size);
}

void* realloc(void* block, size_t size) {
  if (size != 0) Count();
  return __libc_realloc(block, size);
}

void free(void* block) {
  __libc_free(block);
}

void* memalign(size_t alignment, size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}

void* aligned_alloc(size_t alignment, size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, size_t alignment, size_t size) {
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
  Count();
  void* block = __libc_memalign(alignment, size);
  if (block == NULL) return ENOMEM;
  *result = block;
  return 0;
}
