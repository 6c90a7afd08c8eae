#pragma once
// The download of every record into the record table.
namespace vkt {
class Library;
}

namespace vkt::records {

// Sends "D", collects the reply up to the first chunk holding "#", checks
// every line, fills the record table and decodes every row, with the
// progress popup showing the progress. Used by vkt_inputdata and the monitor
// window's "inputdata_block" button.
//
// True when the reply came complete and every line was a record line of 20
// hexadecimal digits, now decoded. False after 3000 ms of silence ("TIME
// OUT": the table keeps only its header row), a line of another length
// ("DATA ERROR len=<index> <length>"), a 20-character line holding a
// character that is not a hexadecimal digit ("DATA ERROR hex=<index>"), a
// failure of the port (closed, or closed while the download let window
// events run: the table keeps only its header row), without a monitor
// window, or when the monitor window was released while the download let
// window events run. After a bad line the table holds every line in columns
// 0 and 1 and nothing decoded; the popup shows each error, and the download
// pauses 3000 ms for the first one only. A download started while another
// one of the same library is running (from a handler it let run) returns
// false at once and touches nothing.
bool DownloadDriver(Library& library);

bool vkt_inputdata(Library& library);

}  // namespace vkt::records
