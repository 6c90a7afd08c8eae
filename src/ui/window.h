#pragma once
// A window of the library: a caption, a visibility, and controls reachable by
// the names the library gives them. Shown and hidden through the backend,
// which draws it (or, headless, only keeps track); every control's changes
// reach the backend through the window, and the user's actions come back
// through deliver().
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/controls.h"

namespace vkt::ui {

// How a window looks, for a window system that draws it: the size of its
// client area, its border and title bar, whether it stays on top and is
// centred on the screen, its font, and the bevel of a panel that fills it.
struct WindowLayout {
  enum class Border { Sizeable, Dialog, None };
  int client_width = 0;
  int client_height = 0;
  Border border = Border::Sizeable;
  bool title_buttons = true;  // close box, system menu, minimise and maximise
  bool top_most = false;
  bool centred = false;
  std::string font_name{};    // empty: the system's user-interface font
  int font_height = 0;        // pixels; 0: the font's default
  int panel_bevel = 0;        // pixels of a raised panel filling the client area; 0: none
};

class Window : public ControlObserver {
 public:
  Window(WindowBackend& backend, std::string window_class, std::string caption, WindowLayout layout = {});
  ~Window() override;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const std::string& window_class() const { return class_; }
  const std::string& caption() const { return caption_; }
  bool visible() const { return visible_; }
  const WindowLayout& layout() const { return layout_; }

  // Showing a hidden window runs its show handler; showing a shown one
  // changes nothing.
  void show();
  void hide();

  // A control by its name, or nullptr.
  Control* find(const std::string& name) const;
  // The registered controls, in the order of registration.
  const std::vector<Control*>& controls() const { return order_; }

  // A user's action from the window system: runs exactly what the control
  // runs for the user (a click, a selection, a tick, an arrow, typing, a
  // close request). An action on a control that does not exist, is disabled
  // or does not take it changes nothing; returns whether it was taken.
  bool deliver(const UserAction& action);
  // A close request from the window system; by default the window hides.
  virtual void close_request() { hide(); }

  void control_changed(Control& control, Change change, int first_row, int last_row) override;

 protected:
  // Registers a control under its name (done by the window's constructor).
  template <class T>
  T& add(T& control) {
    controls_by_name(control);
    return control;
  }
  // Also announces the control to the backend and reports its changes from now on.
  void controls_by_name(Control& control);
  virtual void on_show() {}
  WindowBackend& backend() { return backend_; }

 private:
  WindowBackend& backend_;
  std::string class_;
  std::string caption_;
  WindowLayout layout_;
  bool visible_ = false;
  std::map<std::string, Control*> controls_;
  std::vector<Control*> order_;
};

}  // namespace vkt::ui
