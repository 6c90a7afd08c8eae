#include "base/platform.h"

#include <cstdlib>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vkt::platform {

void local_calendar(std::time_t t, std::tm& out) { localtime_r(&t, &out); }

void release_free_memory() {
  // glibc keeps freed heap pages resident until the top of the heap is free;
  // other C libraries return them on their own.
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace vkt::platform
