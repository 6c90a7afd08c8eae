#include "records/accessors.h"

#include "exports/library.h"

namespace vkt::records {

int32_t vkt_datacount(Library&) { return 0; }
void vkt_getdata(Library&, int32_t, uint8_t*) {}
void vkt_get_text(Library&, TextField, int32_t, char*) {}

}  // namespace vkt::records
