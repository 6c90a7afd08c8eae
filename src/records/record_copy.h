#pragma once
// Copying decoded records out of the record table in one call, for hosts
// that would otherwise make one call per field and record.
#include <cstdint>

#include "protocol/session.h"
#include "vktcom.h"

namespace vkt::records {

// Fills out[0 ..] from rows first_row .. first_row + count - 1 of the record
// table, clipped to the record rows (1 .. row count - 1); returns the number
// of records filled. 0 without a monitor window, for a count below 1 or a
// first row outside the record rows. `out` is not null.
int32_t copy_records(protocol::Session& session, int32_t first_row, int32_t count, vkt_record* out);

}  // namespace vkt::records
