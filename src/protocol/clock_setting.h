#pragma once
// Setting the logger's clock and sending the pending start-time reservation.
#include <string>

#include "windows/services.h"

namespace vkt {
class Library;
}

namespace vkt::protocol {

// The clock text "yyyy/mm/dd hh:nn:ss" ("/" and ":" on every machine).
std::string clock_text(const windows::LocalTime& t);

bool vkt_clkset(Library& library);
bool vkt_startsetcheck(Library& library);

}  // namespace vkt::protocol
