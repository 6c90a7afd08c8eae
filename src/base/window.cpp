#include "base/window.h"

#include <algorithm>

namespace vkt::windows {

Window::Window(WindowBackend& backend, std::string window_class, std::string caption)
    : backend_(backend), class_(std::move(window_class)), caption_(std::move(caption)) {
  backend_.window_created(*this);
}

Window::~Window() { backend_.window_destroyed(*this); }

void Window::show() {
  if (visible_) return;
  visible_ = true;
  backend_.window_visibility(*this, true);
  on_show();
}

void Window::hide() {
  if (!visible_) return;
  visible_ = false;
  backend_.window_visibility(*this, false);
}

Control* Window::find(const std::string& name) const {
  auto it = controls_.find(name);
  return it == controls_.end() ? nullptr : it->second;
}

int HeadlessBackend::id_of(Window& window) {
  for (auto& [w, id] : ids_)
    if (w == &window) return id;
  return 0;
}

void HeadlessBackend::record(WindowEvent event) {
  events_.push_back(std::move(event));
  if (max_events_ != 0 && events_.size() > max_events_) events_.pop_front();
}

void HeadlessBackend::window_created(Window& window) {
  ids_.emplace_back(&window, next_id_);
  record({WindowEvent::Created, window.window_class(), {}, {}, next_id_++});
}

void HeadlessBackend::window_visibility(Window& window, bool visible) {
  record({visible ? WindowEvent::Shown : WindowEvent::Hidden, window.window_class(), {}, {}, id_of(window)});
}

void HeadlessBackend::control_text(Window& window, const std::string& control, const std::string& text) {
  record({WindowEvent::Text, window.window_class(), control, text, id_of(window)});
}

void HeadlessBackend::window_destroyed(Window& window) {
  record({WindowEvent::Destroyed, window.window_class(), {}, {}, id_of(window)});
  std::erase_if(ids_, [&](const auto& p) { return p.first == &window; });
}

std::vector<WindowEvent> HeadlessBackend::events_of(const std::string& window_class) const {
  std::vector<WindowEvent> out;
  for (const auto& e : events_)
    if (e.window_class == window_class) out.push_back(e);
  return out;
}

}  // namespace vkt::windows
