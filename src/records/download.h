#pragma once
// The download of every record into the record table.
namespace vkt {
class Library;
}

namespace vkt::records {

// Sends "D", collects the reply, fills and decodes the record table, with
// the progress popup showing the progress. Used by vkt_inputdata and the
// monitor window's "inputdata_block" button.
bool DownloadDriver(Library& library);

bool vkt_inputdata(Library& library);

}  // namespace vkt::records
