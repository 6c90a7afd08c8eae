#pragma once
// The narrow interface between the library's windows and a window system.
// The windows hold all their state themselves. A backend learns of each
// window's creation, visibility and destruction, of each control as it is
// registered (kind, name, caption or items, place, ranges, initial state)
// and of every later change of a control's state, so that it can draw (a
// Win32 backend) or merely keep a record (the headless backend). A record
// grid tells only its row count and which rows changed; the backend reads
// the cells it draws.
//
// The other way, a window system delivers the user's actions to a window
// (Window::deliver), from its message pump, which the message queue runs at
// every dispatch.
#include <cstddef>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "ui/controls.h"

namespace vkt::ui {

class Window;

// One action of the user on a control, as a window system reports it.
struct UserAction {
  enum Kind {
    Click,         // a button, a check box (toggles it) or a radio button (selects it)
    SelectItem,    // a radio group's item or a combo box's list entry: `index`
    Tick,          // a check box set to `on`
    ArrowUp,       // an up-down's arrows
    ArrowDown,
    Type,          // an edit's or combo box's text replaced by `text`
    CloseRequest,  // the title bar's close button, Alt+F4 (no control)
  };
  Kind kind;
  std::string control;
  int index = 0;
  bool on = false;
  std::string text{};
};

class WindowBackend {
 public:
  virtual ~WindowBackend() = default;
  virtual void window_created(Window& window) = 0;
  virtual void window_visibility(Window& window, bool visible) = 0;
  virtual void control_text(Window& window, const std::string& control, const std::string& text) = 0;
  virtual void window_destroyed(Window& window) = 0;

  // A control of the window, registered after the window's creation.
  virtual void control_created(Window& window, const Control& control) {
    (void)window;
    (void)control;
  }
  // A change of a control's state. The default passes text changes on as
  // control_text.
  virtual void control_changed(Window& window, const Control& control, Change change, int first_row,
                               int last_row);
  // The platform's own message pump, run once at the start of every
  // dispatch: it delivers the user's actions to the windows.
  virtual void pump() {}
};

// One thing a window did, as the headless backend records it.
struct WindowEvent {
  enum Kind { Created, Shown, Hidden, Text, Destroyed, ControlCreated, Changed };
  Kind kind;
  std::string window_class;
  std::string control;  // for Text, ControlCreated, Changed
  std::string text;     // for Text
  int window_id;        // creation order, so that uses of a window class can be told apart
  Change change = Change::Text;  // for Changed
  int first_row = 0;             // for a Changed of kind Rows
  int last_row = 0;
};

// The default on Linux: draws nothing, keeps the events in order, and
// delivers the actions a test (or a host) queues for a window class at the
// next dispatch, as a window system's message pump would. The log is bounded
// (the oldest events go first) so that a long-running host does not grow
// without end; tests pass 0 to keep every event. A text event keeps at most
// kMaxEventText bytes of the text (a memo showing a whole download would
// otherwise be copied into the log, and kept there after its window is gone).
class HeadlessBackend final : public WindowBackend {
 public:
  static constexpr std::size_t kDefaultMaxEvents = 4096;
  static constexpr std::size_t kMaxEventText = 4096;
  explicit HeadlessBackend(std::size_t max_events = kDefaultMaxEvents) : max_events_(max_events) {}

  void window_created(Window& window) override;
  void window_visibility(Window& window, bool visible) override;
  void control_text(Window& window, const std::string& control, const std::string& text) override;
  void window_destroyed(Window& window) override;
  void control_created(Window& window, const Control& control) override;
  void control_changed(Window& window, const Control& control, Change change, int first_row,
                       int last_row) override;
  void pump() override;

  // Queues a user action for the newest window of `window_class`; it is
  // delivered at the next dispatch (and dropped when no such window exists then).
  void act(const std::string& window_class, UserAction action);

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
  std::vector<std::pair<std::string, UserAction>> actions_;
  int next_id_ = 1;
};

}  // namespace vkt::ui
