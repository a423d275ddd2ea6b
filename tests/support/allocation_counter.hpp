#pragma once
// Counts heap allocations made by the code linked into a test executable, for the tests that prove
// a path allocates nothing. The executable must be linked with the counting wrappers
// (tessmark_test(... COUNT_ALLOCATIONS)): malloc, calloc, realloc and the global operator new are
// then routed through counters (the linker's --wrap), in Release and sanitizer builds alike.

#include <cstddef>

namespace tessmark::testing {

// Allocations counted since the last reset (every thread).
std::size_t allocationCount();
void resetAllocationCount();

// Counts the allocations of one scope: `AllocationScope scope; ... EXPECT_EQ(scope.count(), 0u);`
class AllocationScope {
 public:
  AllocationScope() : start_(allocationCount()) {}
  std::size_t count() const { return allocationCount() - start_; }

 private:
  std::size_t start_;
};

}  // namespace tessmark::testing
