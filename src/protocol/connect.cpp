#include "protocol/connect.h"

#include "exports/library.h"

namespace vkt::protocol {

bool vkt_connect(Library&) { return false; }

}  // namespace vkt::protocol
