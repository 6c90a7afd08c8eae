#pragma once
// Setting the logger's clock and sending the pending start-time reservation.
namespace vkt {
class Library;
}

namespace vkt::protocol {

bool vkt_clkset(Library& library);
bool vkt_startsetcheck(Library& library);

}  // namespace vkt::protocol
