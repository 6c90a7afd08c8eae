#include "base/platform.h"

namespace vkt::platform {

void local_calendar(std::time_t t, std::tm& out) { localtime_s(&out, &t); }

// The Windows heap decommits large free blocks itself.
void release_free_memory() {}

}  // namespace vkt::platform
