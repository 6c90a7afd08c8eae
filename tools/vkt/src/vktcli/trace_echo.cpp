#include "vktcli/trace_echo.h"

#include <sys/stat.h>

#include <chrono>
#include <utility>

namespace vktcli {

std::optional<std::string> line_event(std::string_view line, std::size_t width) {
  // "<seconds> T<thread> <event>"
  const std::size_t time_end = line.find(' ');
  if (time_end == std::string_view::npos || line.substr(time_end + 1, 1) != "T") return std::nullopt;
  const std::size_t thread_end = line.find(' ', time_end + 1);
  if (thread_end == std::string_view::npos) return std::nullopt;
  std::string_view event = line.substr(thread_end + 1);
  static constexpr std::string_view kLineEvents[] = {"write ", "received ", "input flushed", "port ",
                                                      "wait for the reply"};
  bool shown = false;
  for (std::string_view start : kLineEvents) shown = shown || event.substr(0, start.size()) == start;
  if (!shown) return std::nullopt;
  // Bytes are traced as hexadecimal and as text ("write 1 bytes: 6D | m");
  // the text alone reads best on one line.
  std::string bytes_as_text;
  const std::size_t colon = event.find(": ");
  const std::size_t bar = colon == std::string_view::npos ? colon : event.find(" | ", colon);
  if (bar != std::string_view::npos && event.find_first_not_of("0123456789ABCDEF ", colon + 2) == bar + 1) {
    bytes_as_text = std::string(event.substr(0, colon)) + ": " + std::string(event.substr(bar + 3));
    event = bytes_as_text;
  }
  std::string text(event.substr(0, width));
  if (event.size() > width) text += "...";
  return text;
}

TraceEcho::TraceEcho(std::string path, Sink sink) : path_(std::move(path)), sink_(std::move(sink)) {
  thread_ = std::thread([this] { run(); });
}

TraceEcho::~TraceEcho() {
  {
    std::lock_guard lock(mu_);
    stopping_ = true;
  }
  cv_.notify_all();
  thread_.join();
  if (file_) std::fclose(file_);
}

void TraceEcho::follow() {
  struct stat now {};
  if (::stat(path_.c_str(), &now) != 0) return;
  const auto inode = static_cast<unsigned long long>(now.st_ino);
  if (file_ && inode == inode_) return;
  // First look, or the trace moved its full file aside and began anew:
  // what is left of the old one is read first.
  if (file_) {
    while (read_lines()) {
    }
    std::fclose(file_);
    partial_.clear();
  }
  file_ = std::fopen(path_.c_str(), "r");
  inode_ = inode;
}

bool TraceEcho::read_lines() {
  if (!file_) return false;
  char buffer[4096];
  bool any = false;
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file_)) > 0) {
    partial_.append(buffer, got);
    any = true;
  }
  std::clearerr(file_);  // the file grows on: read again from here next time
  std::size_t start = 0;
  for (std::size_t end; (end = partial_.find('\n', start)) != std::string::npos; start = end + 1) {
    if (auto event = line_event(std::string_view(partial_).substr(start, end - start))) sink_(*event);
  }
  partial_.erase(0, start);
  return any;
}

void TraceEcho::run() {
  std::unique_lock lock(mu_);
  for (;;) {
    const bool last = stopping_;
    lock.unlock();
    follow();
    read_lines();
    lock.lock();
    if (last) return;
    cv_.wait_for(lock, std::chrono::milliseconds(20), [this] { return stopping_; });
  }
}

}  // namespace vktcli
