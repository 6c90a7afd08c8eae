#pragma once
// What a download should have left behind, worked out from the reads it
// made, for the tests and the fuzz target that cut a reply into reads at
// random. No test framework: a check returns its first difference in words.
//
// The model, written plainly from what the download is meant to do: each
// read is one chunk; a chunk is kept up to its first zero byte, and its
// line ends are counted up to its first "#"; the first chunk holding "#"
// ends the reply. Before that, a chunk after which the bytes received pass
// the byte limit of the larger of the reported records and the record lines
// kept so far ends the download as failed, with nothing kept (the scripts
// that use this model never let the time limit pass). The reply kept,
// trimmed, goes to the memo; split at CR LF, each line trimmed is a row,
// except that of the last line only what comes before its "#" is, and only
// when that is not empty. A row is a record when it is 20 hexadecimal
// digits; when all are, the rows are decoded as RecordDecoder decodes them
// one by one.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "exports/library.h"
#include "link/serial_backend.h"
#include "records/download.h"
#include "records/record_decoder.h"
#include "records/record_table.h"

namespace vkt::testing {

// A serial backend that hands everything to another one and notes every read
// that brought bytes, with the thread that made it. `path`, when given, is
// the device of port number 1 (a pseudo-terminal's slave, say).
class RecordingBackend : public link::SerialBackend {
 public:
  struct Read {
    std::thread::id thread;
    std::string bytes;
  };
  struct Log {
    std::mutex mu;
    std::vector<Read> reads;
    // The reads so far, which the log forgets.
    std::vector<Read> take() {
      std::lock_guard lock(mu);
      return std::exchange(reads, {});
    }
  };

  RecordingBackend(std::unique_ptr<link::SerialBackend> inner, std::shared_ptr<Log> log, std::string path = {})
      : inner_(std::move(inner)), log_(std::move(log)), path_(std::move(path)) {}

  std::string device_path(uint16_t n) const override {
    if (path_.empty()) return inner_->device_path(n);
    return n == 1 ? path_ : std::string();
  }
  void open(const std::string& path) override { inner_->open(path); }
  void configure(const link::LineSettings& settings) override { inner_->configure(settings); }
  link::IoResult read(void* buffer, std::size_t size) override {
    const link::IoResult result = inner_->read(buffer, size);
    if (result.status == link::IoResult::Status::Ok) {
      std::lock_guard lock(log_->mu);
      log_->reads.push_back({std::this_thread::get_id(), std::string(static_cast<char*>(buffer), result.count)});
    }
    return result;
  }
  link::IoResult write(const void* data, std::size_t size) override { return inner_->write(data, size); }
  link::Readiness wait(bool want_read, bool want_write, bool watch_device) override {
    return inner_->wait(want_read, want_write, watch_device);
  }
  void wake() override { inner_->wake(); }
  bool reads_on_host_thread() const override { return inner_->reads_on_host_thread(); }
  bool wait_readable(std::chrono::milliseconds timeout) override { return inner_->wait_readable(timeout); }
  void flush_input() override { inner_->flush_input(); }
  void flush_output() override { inner_->flush_output(); }
  void close() override { inner_->close(); }
  bool is_open() const override { return inner_->is_open(); }
  void start_background(std::function<void()> body) override { inner_->start_background(std::move(body)); }
  void join_background() override { inner_->join_background(); }
  bool background_started() const override { return inner_->background_started(); }

 private:
  std::unique_ptr<link::SerialBackend> inner_;
  std::shared_ptr<Log> log_;
  std::string path_;
};

namespace oracle {

inline bool blank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

inline std::string_view trim(std::string_view s) {
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

inline bool record(std::string_view s) {
  return s.size() == 20 && std::all_of(s.begin(), s.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
         });
}

// The records a reported count stands for: a whole decimal number, at most
// the ceiling; anything else is the ceiling.
inline std::size_t reported_records(std::string_view count) {
  constexpr std::size_t kCeiling = std::size_t{1} << 20;
  if (count.empty()) return kCeiling;
  std::size_t value = 0;
  for (char c : count) {
    if (c < '0' || c > '9') return kCeiling;
    value = std::min(value * 10 + static_cast<std::size_t>(c - '0'), kCeiling);
  }
  return value;
}

// Counts the complete lines of a text (up to each LF) of at most 24 bytes
// that end in CR LF and are 20 hexadecimal digits once trimmed, as the text
// grows.
struct RecordLines {
  std::size_t count = 0;
  std::size_t next = 0;  // where the next line starts
  std::size_t of(std::string_view text) {
    for (std::size_t lf; (lf = text.find('\n', next)) != std::string_view::npos; next = lf + 1) {
      const std::string_view line = text.substr(next, lf + 1 - next);
      if (line.size() <= 24 && line.size() >= 2 && line[line.size() - 2] == '\r' && record(trim(line))) ++count;
    }
    return count;
  }
};

inline std::size_t byte_limit(std::size_t records) {
  return 2 * (std::min(records, std::size_t{1} << 20) * 24 + 64) + 65536;
}

}  // namespace oracle

struct ExpectedDownload {
  bool result = false;
  records::DownloadReport::Status status = records::DownloadReport::Status::None;
  std::size_t bytes = 0;
  std::size_t line_ends = 0;
  std::size_t reads_taken = 0;  // the reads up to the one that ended the reply
  bool over_bound = false;
  std::string kept;               // the reply as kept, before the trim
  std::vector<std::string> rows;  // every row's raw line
  std::vector<records::DownloadReport::BadLine> bad_lines;
};

// The model above. Reads that end without "#" end by the silence bound.
inline ExpectedDownload expected_download(const std::vector<std::string>& reads, std::string_view param_count) {
  using Status = records::DownloadReport::Status;
  ExpectedDownload e;
  const std::size_t reported = oracle::reported_records(param_count);
  oracle::RecordLines record_lines;
  bool terminated = false;
  for (const std::string& read : reads) {
    ++e.reads_taken;
    e.bytes += read.size();
    const std::size_t hash = read.find('#');
    const std::string_view before_hash = std::string_view(read).substr(0, hash);
    e.line_ends += static_cast<std::size_t>(std::count(before_hash.begin(), before_hash.end(), '\n'));
    e.kept += read.substr(0, read.find('\0'));
    if (hash != std::string::npos) {
      terminated = true;
      break;
    }
    if (e.bytes > oracle::byte_limit(std::max(reported, record_lines.of(e.kept)))) {
      e.over_bound = true;
      e.kept.clear();
      break;
    }
  }
  if (!terminated) {
    e.status = Status::TimeOut;
    return e;
  }
  std::string_view rest = oracle::trim(e.kept);
  for (;;) {
    const std::size_t end = rest.find("\r\n");
    std::string_view line = rest.substr(0, end);
    if (end == std::string_view::npos) {
      line = oracle::trim(line.substr(0, line.find('#')));
      if (line.empty()) break;
    }
    line = oracle::trim(line);
    if (!oracle::record(line)) {
      e.bad_lines.push_back({static_cast<int>(e.rows.size()), static_cast<int>(line.size())});
    }
    e.rows.emplace_back(line);
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 2);
  }
  e.result = e.bad_lines.empty();
  e.status = e.result ? Status::Ok : Status::BadLine;
  return e;
}

namespace oracle {

// The text of a cell, read as the accessors read it: the raw line as it
// lies, the other cells copied out (into `buffer`, or `spill` when longer).
inline std::string_view cell_text(const records::RecordTable& table, ui::TextGrid& grid, int column, int row,
                                  char (&buffer)[256], std::string& spill) {
  if (row > 0 && column == records::kData) return table.raw_line(row);
  const std::size_t n = table.copy_cell(column, row, buffer, sizeof buffer);
  if (n < sizeof buffer) return std::string_view(buffer, n);
  spill = grid.cell(column, row);
  return spill;
}

inline std::string differs(const char* what, const std::string& got, const std::string& want) {
  return std::string(what) + ": got \"" + got + "\", expected \"" + want + "\"";
}

}  // namespace oracle

// Checks what `lib`'s download, which returned `result`, left behind against
// the model of `reads` (the download's reads, in order) with the library's
// `param_count`, `year_before` being param_year before it. Empty when all
// agrees: the result, the report, Memo1, the row count, every cell, and
// param_year, against the model's lines written into the record table of
// `reference` (another library) and decoded there by RecordDecoder row by
// row.
inline std::string check_download(Library& lib, Library& reference, bool result,
                                  const std::vector<std::string>& reads, const std::string& year_before) {
  using oracle::differs;
  const ExpectedDownload e = expected_download(reads, lib.logger.param_count);
  const records::DownloadReport& report = lib.download_state.last_download;
  if (e.reads_taken != reads.size())
    return "the download read on after its end: " + std::to_string(reads.size() - e.reads_taken) + " reads";
  if (result != e.result) return differs("result", std::to_string(result), std::to_string(e.result));
  if (report.status != e.status)
    return differs("report status", std::to_string(static_cast<int>(report.status)),
                   std::to_string(static_cast<int>(e.status)));
  if (report.bytes != e.bytes) return differs("bytes", std::to_string(report.bytes), std::to_string(e.bytes));
  if (report.lines != e.line_ends)
    return differs("line ends", std::to_string(report.lines), std::to_string(e.line_ends));
  if (report.bad_line_count != e.bad_lines.size())
    return differs("bad lines", std::to_string(report.bad_line_count), std::to_string(e.bad_lines.size()));
  if (report.bad_lines.size() != std::min(e.bad_lines.size(), records::DownloadReport::kMaxBadLines))
    return differs("bad lines listed", std::to_string(report.bad_lines.size()), std::to_string(e.bad_lines.size()));
  for (std::size_t i = 0; i < report.bad_lines.size(); ++i) {
    const auto got = report.bad_lines[i];
    const auto want = e.bad_lines[i];
    if (got.index != want.index || got.length != want.length)
      return differs("bad line", std::to_string(got.index) + " " + std::to_string(got.length),
                     std::to_string(want.index) + " " + std::to_string(want.length));
  }
  const auto pieces = report.text_pieces();
  const std::string text = std::string(pieces[0]) + std::string(pieces[1]) + std::string(pieces[2]);
  if (text != e.kept) return differs("reply kept", text, e.kept);
  if (pieces[1] != oracle::trim(e.kept)) return differs("reply trimmed", std::string(pieces[1]), e.kept);

  windows::TForm2& form = *lib.monitor();
  if (form.Memo1.text() != oracle::trim(e.kept)) return differs("Memo1", form.Memo1.text(), e.kept);
  ui::TextGrid& grid = form.StringGrid1;
  const std::size_t rows = e.status == records::DownloadReport::Status::Ok ||
                                   e.status == records::DownloadReport::Status::BadLine
                               ? e.rows.size()
                               : 0;
  if (grid.row_count() != static_cast<int>(rows) + 1)
    return differs("row count", std::to_string(grid.row_count()), std::to_string(rows + 1));
  // The same rows written into the reference's table and decoded one by
  // one, then every cell of the two tables compared.
  ui::TextGrid& same = reference.ensure_monitor().StringGrid1;
  same.set_row_count(1);
  same.set_row_count(static_cast<int>(rows) + 1);
  for (std::size_t i = 0; i < rows; ++i) {
    same.set_cell(records::kCount, static_cast<int>(i) + 1, std::to_string(i + 1));
    same.set_cell(records::kData, static_cast<int>(i) + 1, e.rows[i]);
  }
  reference.logger.param_year = year_before;
  if (e.result)
    for (int row = 1; row <= static_cast<int>(rows); ++row) reference.decode_rows(row, row);
  const records::RecordTable& got_table = *records::RecordTable::of(grid);
  const records::RecordTable& want_table = *records::RecordTable::of(same);
  char got_buffer[256], want_buffer[256];
  std::string got_spill, want_spill;
  for (int row = 0; row <= static_cast<int>(rows); ++row) {
    for (int column = 0; column < records::kColumns; ++column) {
      const std::string_view got = oracle::cell_text(got_table, grid, column, row, got_buffer, got_spill);
      const std::string_view want = oracle::cell_text(want_table, same, column, row, want_buffer, want_spill);
      if (got != want) {
        const std::string where = "cell (" + std::to_string(column) + ", " + std::to_string(row) + ")";
        return differs(where.c_str(), std::string(got), std::string(want));
      }
    }
  }
  same.set_row_count(1);
  const std::string& year_after = lib.logger.param_year;
  if (year_after != reference.logger.param_year) return differs("param_year", year_after, reference.logger.param_year);
  return {};
}

// The reads of `log` made on this thread, the download's. `others` counts
// the reads of another thread (the port's own, into its receive ring) that
// came before this thread's last: their bytes would have reached the
// download in other pieces than the model's. (Once the download has done
// reading, the port's thread may take what the device still holds.)
inline std::vector<std::string> reads_of_this_thread(RecordingBackend::Log& log, std::size_t* others = nullptr) {
  std::vector<std::string> reads;
  std::size_t others_so_far = 0;
  for (RecordingBackend::Read& read : log.take()) {
    if (read.thread != std::this_thread::get_id()) {
      ++others_so_far;
      continue;
    }
    reads.push_back(std::move(read.bytes));
    if (others) *others = others_so_far;
  }
  return reads;
}

}  // namespace vkt::testing
