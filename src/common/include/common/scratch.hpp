#pragma once
// Heap scratch for kernels and gateways. Every request takes at least one
// element, so a null result always means out of memory.
#include <cstddef>
#include <cstdlib>
#include <memory>

namespace scratch {

// Test hook: when positive, the allocation that brings it to zero fails.
extern long failCountdown;

// count * size bytes (at least size); null on failure or size overflow.
void* allocBytes(std::size_t count, std::size_t size);

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

}  // namespace scratch

template <class T>
T* allocScratch(std::size_t count) {
  return static_cast<T*>(scratch::allocBytes(count, sizeof(T)));
}

// Owning holder: frees on every path out of a scope.
template <class T>
using ScratchArray = std::unique_ptr<T[], scratch::FreeDeleter>;

template <class T>
ScratchArray<T> makeScratch(std::size_t count) {
  return ScratchArray<T>(allocScratch<T>(count));
}
