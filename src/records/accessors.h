#pragma once
// Reading the record table, field by field, into the host's buffers.
#include <cstdint>

#include "protocol/session.h"

namespace vkt::records {

enum class TextField { Date, Year, Month, Day, Time, Deg, X, Y, Z, Humi, All };

int32_t vkt_datacount(protocol::Session& library);
// Fills the 14-byte block; `data` is not null.
void vkt_getdata(protocol::Session& library, int32_t row, uint8_t* data);
// Writes the field's text and a NUL into `text` (not null), never more than
// the buffer size the public header states for the field.
void vkt_get_text(protocol::Session& library, TextField field, int32_t row, char* text);

}  // namespace vkt::records
