#include "protocol/clock_setting.h"

#include "exports/library.h"

namespace vkt::protocol {

std::string clock_text(const windows::LocalTime&) { return {}; }
bool vkt_clkset(Library&) { return false; }
bool vkt_startsetcheck(Library&) { return false; }

}  // namespace vkt::protocol
