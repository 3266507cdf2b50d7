#include "unit/allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> allocations{0};
std::atomic<std::size_t> largest{0};

void* counted_allocation(std::size_t size) noexcept {
  allocations.fetch_add(1, std::memory_order_relaxed);
  for (std::size_t seen = largest.load(std::memory_order_relaxed); size > seen;)
    largest.compare_exchange_weak(seen, size, std::memory_order_relaxed);
  // malloc(0) may give null; operator new must give a unique pointer.
  return std::malloc(size == 0 ? 1 : size);
}

void* counted_or_thrown(std::size_t size) {
  if (void* memory = counted_allocation(size)) return memory;
  throw std::bad_alloc();
}

}  // namespace

namespace vove::allocation_counter {

void reset() noexcept {
  allocations = 0;
  largest = 0;
}

Counts counts() noexcept { return {allocations.load(), largest.load()}; }

}  // namespace vove::allocation_counter

// The over-aligned forms are left to the library: it allocates and frees
// them by its own means, never through these.
void* operator new(std::size_t size) { return counted_or_thrown(size); }
void* operator new[](std::size_t size) { return counted_or_thrown(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted_allocation(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted_allocation(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
