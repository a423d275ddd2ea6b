#include "tests/support/allocation_counter.hpp"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<std::size_t> allocations{0};
}

// The real functions behind the linker's --wrap: every call from the wrapped objects to malloc
// reaches __wrap_malloc, which counts and forwards to __real_malloc.
extern "C" {
void* __real_malloc(std::size_t size);
void* __real_calloc(std::size_t count, std::size_t size);
void* __real_realloc(void* pointer, std::size_t size);
void* __real__Znwm(std::size_t size);
void* __real__Znam(std::size_t size);

void* __wrap_malloc(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __real_malloc(size);
}
void* __wrap_calloc(std::size_t count, std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __real_calloc(count, size);
}
void* __wrap_realloc(void* pointer, std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __real_realloc(pointer, size);
}
void* __wrap__Znwm(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __real__Znwm(size);
}
void* __wrap__Znam(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __real__Znam(size);
}
}

namespace tessmark::testing {

std::size_t allocationCount() { return allocations.load(std::memory_order_relaxed); }
void resetAllocationCount() { allocations.store(0, std::memory_order_relaxed); }

}  // namespace tessmark::testing
