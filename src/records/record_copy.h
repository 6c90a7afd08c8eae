#pragma once
// Copying decoded records out of the record table in one call, for hosts
// that would otherwise make one call per field and record.
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/controls.h"
#include "vktcom.h"

namespace vkt::records {

// Fills out[0 ..] from rows first_row .. first_row + count - 1 of the record
// table, clipped to the record rows (1 .. row count - 1); returns the number
// of records filled. 0 without a monitor window, for a count below 1 or a
// first row outside the record rows. `out` is not null.
int32_t copy_records(const ui::TextGrid* grid, int32_t first_row, int32_t count, vkt_record* out);

// The records among the lines of `text` (lines end in LF; each is trimmed),
// as a download would decode them: every line that is a record line, in
// order, the others passed over; the first record is in `year`, and each
// later one is dated by the year rule of consecutive records (advance_year).
// `row` is the line's number in `text` (1 for the first line), `year` 0
// when the year is not a number. Fills out[0 .. max - 1] and returns the
// number of records in `text`, which may be more than `max`.
int32_t decode_text_records(std::string_view text, std::string year, vkt_record* out, int32_t max);

}  // namespace vkt::records
