#pragma once
// The download of every record into the record table.
#include <string>

#include "protocol/session.h"

namespace vkt::records {

// The progress popup as the download sees it: three lines of text.
class ProgressPopup {
 public:
  virtual ~ProgressPopup() = default;
  // Sets line 1, 2 or 3 and shows it.
  virtual void set_progress_line(int line, std::string text) = 0;
};

// What the download works with: the session, and a progress popup made for
// it (a new one per download, shown at once) and closed (hidden, released)
// when it ends.
class DownloadHost : public virtual protocol::Session {
 public:
  virtual ProgressPopup& open_progress() = 0;
  virtual void close_progress(ProgressPopup& popup) = 0;
};

// Sends "D", collects the reply up to the first chunk holding "#", checks
// every line, fills the record table and decodes every row, with the
// progress popup showing the progress. Used by vkt_inputdata and the monitor
// window's "inputdata_block" button.
//
// True when the reply came complete and every line was a record line of 20
// hexadecimal digits, now decoded. False after 3000 ms of silence ("TIME
// OUT": the table keeps only its header row), a reply that passes the
// overall bound of download_bound.h, counted from the request ("DATA ERROR
// over=<bytes received>" or "TIME OUT total=<ms>": the table keeps only its
// header row and Memo1 is left empty), a line of another length
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
bool DownloadDriver(DownloadHost& library);

bool vkt_inputdata(DownloadHost& library);

}  // namespace vkt::records
