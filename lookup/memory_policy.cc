#include "lookup/memory_policy.h"

#include <malloc.h>

namespace morvellin {

void KeepFreedMemoryForLookups() {
  // Buffers below 32 MiB come from the heap, and up to 256 MiB of freed heap
  // stays mapped for the next lookup.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
}

}  // namespace morvellin
