#include "base/platform.h"

namespace vkt::platform {

void local_calendar(std::time_t t, std::tm& out) { localtime_s(&out, &t); }

}  // namespace vkt::platform
