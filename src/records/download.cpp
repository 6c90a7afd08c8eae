#include "records/download.h"

#include "exports/library.h"

namespace vkt::records {

bool DownloadDriver(Library&) { return false; }
bool vkt_inputdata(Library& library) { return DownloadDriver(library); }

}  // namespace vkt::records
