// Counts heap allocations made through the global operator new, so that a
// benchmark can report allocations per operation next to its time.
#pragma once

#include <cstdint>

namespace vorlane::bench {

// Number of global operator new calls made by any thread since the program started.
std::uint64_t AllocationCount();

}  // namespace vorlane::bench
