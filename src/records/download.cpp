#include "records/download.h"

#include "exports/library.h"

namespace vkt::records {

bool vkt_inputdata(Library&) { return false; }

}  // namespace vkt::records
