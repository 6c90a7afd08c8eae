#pragma once
// Reading the record table, field by field, into the host's buffers.
#include <cstdint>

namespace vkt {
class Library;
}

namespace vkt::records {

enum class TextField { Date, Year, Month, Day, Time, Deg, X, Y, Z, Humi, All };

int32_t vkt_datacount(Library& library);
// Fills the 14-byte block; `data` is not null.
void vkt_getdata(Library& library, int32_t row, uint8_t* data);
// Writes the field's text and a NUL into `text` (not null), never more than
// the buffer size the public header states for the field.
void vkt_get_text(Library& library, TextField field, int32_t row, char* text);

}  // namespace vkt::records
