#pragma once
// Reading the record table, field by field, into the host's buffers.
#include <cstdint>

#include "records/record_parts.h"

namespace vkt::records {

enum class TextField { Date, Year, Month, Day, Time, Deg, X, Y, Z, Humi, All };

// The accessors are handed the monitor window's parts or its record table;
// nullptr without a monitor window, where they give 0 or leave the buffer
// as it is.

// The record count (rows - 1), also shown in the reply view.
int32_t vkt_datacount(RecordParts* parts);
// Fills the 14-byte block; `data` is not null.
void vkt_getdata(const ui::TextGrid* grid, int32_t row, uint8_t* data);
// Writes the field's text and a NUL into `text` (not null), never more than
// the buffer size the public header states for the field.
void vkt_get_text(const ui::TextGrid* grid, TextField field, int32_t row, char* text);

}  // namespace vkt::records
