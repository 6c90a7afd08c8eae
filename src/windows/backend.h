#pragma once
// The narrow interface between the library's windows and a window system.
// The windows hold all their state themselves; a backend only learns of
// creation, visibility, text changes and destruction, so that it can draw
// (a Win32 backend) or merely keep a record (the headless backend).
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

// The default on Linux: draws nothing, keeps every event in order.
class HeadlessBackend final : public WindowBackend {
 public:
  void window_created(Window& window) override;
  void window_visibility(Window& window, bool visible) override;
  void control_text(Window& window, const std::string& control, const std::string& text) override;
  void window_destroyed(Window& window) override;

  const std::vector<WindowEvent>& events() const { return events_; }
  // The events of one window class, in order.
  std::vector<WindowEvent> events_of(const std::string& window_class) const;
  void clear() { events_.clear(); }

 private:
  int id_of(Window& window);
  std::vector<WindowEvent> events_;
  std::vector<std::pair<Window*, int>> ids_;
  int next_id_ = 1;
};

}  // namespace vkt::windows
