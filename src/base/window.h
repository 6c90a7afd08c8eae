#pragma once
// A window of the library: a caption, a visibility, and controls reachable by
// the names the library gives them. Shown and hidden through the backend,
// which draws it (or, headless, only keeps track).
#include <map>
#include <memory>
#include <string>

#include "base/backend.h"
#include "base/controls.h"

namespace vkt::windows {

class Window {
 public:
  Window(WindowBackend& backend, std::string window_class, std::string caption);
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const std::string& window_class() const { return class_; }
  const std::string& caption() const { return caption_; }
  void set_caption(std::string caption) { caption_ = std::move(caption); }
  bool visible() const { return visible_; }

  // Showing a hidden window runs its show handler; showing a shown one
  // changes nothing.
  void show();
  void hide();

  // A control by its name, or nullptr.
  Control* find(const std::string& name) const;
  template <class T>
  T* find_as(const std::string& name) const {
    return dynamic_cast<T*>(find(name));
  }

 protected:
  // Registers a control under its name (done by the window's constructor).
  template <class T>
  T& add(T& control) {
    controls_[control.name()] = &control;
    return control;
  }
  void controls_by_name(Control& control) { controls_[control.name()] = &control; }
  virtual void on_show() {}
  WindowBackend& backend() { return backend_; }

 private:
  WindowBackend& backend_;
  std::string class_;
  std::string caption_;
  bool visible_ = false;
  std::map<std::string, Control*> controls_;
};

}  // namespace vkt::windows
