#include "common/scratch.hpp"

#include <cstdint>

namespace scratch {

long failCountdown = 0;

void* allocBytes(std::size_t count, std::size_t size) {
  if (failCountdown > 0 && --failCountdown == 0) return nullptr;
  if (count == 0) count = 1;
  if (size != 0 && count > SIZE_MAX / size) return nullptr;
  return std::malloc(count * size);
}

}  // namespace scratch
