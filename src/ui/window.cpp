#include "ui/window.h"

#include <algorithm>

namespace vkt::ui {

Window::Window(WindowBackend& backend, std::string window_class, std::string caption, WindowLayout layout)
    : backend_(backend), class_(std::move(window_class)), caption_(std::move(caption)), layout_(std::move(layout)) {
  backend_.window_created(*this);
}

// The controls are members of the derived window and already gone here.
Window::~Window() { backend_.window_destroyed(*this); }

void Window::controls_by_name(Control& control) {
  controls_[control.name()] = &control;
  order_.push_back(&control);
  control.set_observer(this);
  backend_.control_created(*this, control);
}

void Window::control_changed(Control& control, Change change, int first_row, int last_row) {
  backend_.control_changed(*this, control, change, first_row, last_row);
}

bool Window::deliver(const UserAction& action) {
  if (action.kind == UserAction::CloseRequest) {
    close_request();
    return true;
  }
  Control* control = find(action.control);
  if (!control || !control->enabled() || !control->visible()) return false;
  switch (action.kind) {
    case UserAction::Click:
      if (auto* b = dynamic_cast<Button*>(control)) {
        b->click();
      } else if (auto* c = dynamic_cast<CheckBox*>(control)) {
        c->set_checked(!c->checked());
      } else if (auto* r = dynamic_cast<RadioButton*>(control)) {
        r->set_checked(true);
      } else {
        return false;
      }
      return true;
    case UserAction::SelectItem:
      if (auto* g = dynamic_cast<RadioGroup*>(control)) {
        if (action.index < 0 || action.index >= static_cast<int>(g->items().size())) return false;
        g->set_item_index(action.index);
      } else if (auto* box = dynamic_cast<ComboBox*>(control)) {
        if (action.index < 0 || static_cast<std::size_t>(action.index) >= box->items().size()) return false;
        box->select(static_cast<std::size_t>(action.index));
      } else {
        return false;
      }
      return true;
    case UserAction::Tick:
      if (auto* c = dynamic_cast<CheckBox*>(control)) {
        c->set_checked(action.on);
        return true;
      }
      return false;
    case UserAction::ArrowUp:
    case UserAction::ArrowDown:
      if (auto* u = dynamic_cast<UpDown*>(control)) {
        if (action.kind == UserAction::ArrowUp)
          u->click_up();
        else
          u->click_down();
        return true;
      }
      return false;
    case UserAction::Type:
      if (auto* e = dynamic_cast<Edit*>(control)) {
        if (e->read_only()) return false;
        e->set_text(action.text);
      } else if (auto* box = dynamic_cast<ComboBox*>(control)) {
        box->set_text(action.text);
      } else {
        return false;
      }
      return true;
    case UserAction::CloseRequest:
      break;
  }
  return false;
}

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
  record({WindowEvent::Text, window.window_class(), control, text.substr(0, kMaxEventText), id_of(window)});
}

void WindowBackend::control_changed(Window& window, const Control& control, Change change, int, int) {
  if (change != Change::Text) return;
  if (const auto* t = dynamic_cast<const TextControl*>(&control)) control_text(window, control.name(), t->text());
}

void HeadlessBackend::control_created(Window& window, const Control& control) {
  record({WindowEvent::ControlCreated, window.window_class(), control.name(), {}, id_of(window)});
}

void HeadlessBackend::control_changed(Window& window, const Control& control, Change change, int first_row,
                                      int last_row) {
  const auto* t = dynamic_cast<const TextControl*>(&control);
  if (change == Change::Text && t) {
    control_text(window, control.name(), t->text());
    return;
  }
  WindowEvent e{WindowEvent::Changed, window.window_class(), control.name(), {}, id_of(window)};
  e.change = change;
  e.first_row = first_row;
  e.last_row = last_row;
  record(std::move(e));
}

void HeadlessBackend::act(const std::string& window_class, UserAction action) {
  actions_.emplace_back(window_class, std::move(action));
}

void HeadlessBackend::pump() {
  // Actions queued while these run wait for the next dispatch.
  auto batch = std::move(actions_);
  actions_.clear();
  for (auto& [window_class, action] : batch) {
    Window* newest = nullptr;
    int newest_id = 0;
    for (auto& [w, id] : ids_)
      if (w->window_class() == window_class && id > newest_id) newest = w, newest_id = id;
    if (newest) newest->deliver(action);
  }
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

}  // namespace vkt::ui
