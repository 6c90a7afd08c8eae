#include "protocol/exchange.h"

#include "exports/library.h"

namespace vkt::protocol {

std::string ResponseReader(Library&, char) { return {}; }
std::string exchange(Library&, std::string_view) { return {}; }
bool set_command(Library&, std::string_view) { return false; }

}  // namespace vkt::protocol
