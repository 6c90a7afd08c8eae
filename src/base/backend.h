#pragma once
// The narrow interface between the library's windows and a window system.
// The windows hold all their state themselves; a backend only learns of
// creation, visibility, text changes and destruction, so that it can draw
// (a Win32 backend) or merely keep a record (the headless backend).
#include <cstddef>
#include <deque>
#include <string>
#include <vector>

namespace vkt::windows {

class Window;

class WindowBackend {
 public:
  virtual ~WindowBackend() = default;
  virtual void window_created(Window& window) = 0;
  virtual void window_visibility(Window& window, bool visible) = 0;
  virtual void control_text(Window& window, const std::string& control, const std::string& text) = 0;
  virtual void window_destroyed(Window& window) = 0;
};

// One thing a window did, as the headless backend records it.
struct WindowEvent {
  enum Kind { Created, Shown, Hidden, Text, Destroyed };
  Kind kind;
  std::string window_class;
  std::string control;  // for Text
  std::string text;     // for Text
  int window_id;        // creation order, so that uses of a window class can be told apart
};

// The default on Linux: draws nothing, keeps the events in order. The log
// is bounded (the oldest events go first) so that a long-running host does
// not grow without end; tests pass 0 to keep every event.
class HeadlessBackend final : public WindowBackend {
 public:
  static constexpr std::size_t kDefaultMaxEvents = 4096;
  explicit HeadlessBackend(std::size_t max_events = kDefaultMaxEvents) : max_events_(max_events) {}

  void window_created(Window& window) override;
  void window_visibility(Window& window, bool visible) override;
  void control_text(Window& window, const std::string& control, const std::string& text) override;
  void window_destroyed(Window& window) override;

  const std::deque<WindowEvent>& events() const { return events_; }
  // The events of one window class, in order.
  std::vector<WindowEvent> events_of(const std::string& window_class) const;
  void clear() { events_.clear(); }

 private:
  int id_of(Window& window);
  void record(WindowEvent event);
  std::size_t max_events_;
  std::deque<WindowEvent> events_;
  std::vector<std::pair<Window*, int>> ids_;
  int next_id_ = 1;
};

}  // namespace vkt::windows
