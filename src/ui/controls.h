#pragma once
// Toolkit-neutral controls. Each holds its own state (texts, selections,
// ticks, positions) so that the library works the same whether or not a
// window system draws it. A selection or tick that changes runs the control's
// handler, whether the user or the library changed it; setting a control to
// the value it already has runs nothing.
//
// Every change of a control's state is reported to its window (the
// observer), which tells the window backend, so that a window system can
// draw it; a record grid reports its row count and which rows changed, and
// the backend reads the cells it draws.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace vkt::ui {

using Handler = std::function<void()>;

enum class ControlKind {
  Label, Edit, Memo, ListBox, Grid, Button, CheckBox, RadioGroup, RadioButton, UpDown, ComboBox, StatusBar,
  GroupBox, Timer
};

// What changed about a control.
enum class Change { Text, Enabled, Visible, Checked, ItemIndex, Items, Position, RowCount, Rows };

// A control's place in its window's client area, in pixels.
struct Place {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

class Control;

class ControlObserver {
 public:
  virtual ~ControlObserver() = default;
  // `first_row` and `last_row` name the rows of a Rows change.
  virtual void control_changed(Control& control, Change change, int first_row, int last_row) = 0;
};

class Control {
 public:
  explicit Control(std::string name) : name_(std::move(name)) {}
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  virtual ControlKind kind() const = 0;
  const std::string& name() const { return name_; }
  bool enabled() const { return enabled_; }
  void set_enabled(bool on) {
    enabled_ = on;
    changed(Change::Enabled);
  }
  bool visible() const { return visible_; }
  void set_visible(bool on) {
    visible_ = on;
    changed(Change::Visible);
  }
  // Where the control sits: in the client area of its window, or in the
  // client area of the group box or radio group named by `container`.
  Place place;
  std::string container;

  // Set by the window that registers the control.
  void set_observer(ControlObserver* observer) { observer_ = observer; }

 protected:
  void changed(Change change, int first_row = 0, int last_row = 0) {
    if (observer_) observer_->control_changed(*this, change, first_row, last_row);
  }

 private:
  std::string name_;
  bool enabled_ = true;
  bool visible_ = true;
  ControlObserver* observer_ = nullptr;
};

// A control with one text: label, edit, button caption. A long text that
// another part of the library keeps anyway (a download's reply) can be shown
// without a copy: the control then shares it.
class TextControl : public Control {
 public:
  TextControl(std::string name, std::string text) : Control(std::move(name)), text_(std::move(text)) {}
  const std::string& text() const { return shared_ ? *shared_ : text_; }
  void set_text(std::string text) {
    shared_.reset();
    text_ = std::move(text);
    changed(Change::Text);
  }
  void share_text(std::shared_ptr<const std::string> text) {
    text_ = std::string();
    shared_ = std::move(text);
    changed(Change::Text);
  }

 private:
  std::string text_;
  std::shared_ptr<const std::string> shared_;
};

class Label : public TextControl {
 public:
  using TextControl::TextControl;
  ControlKind kind() const override { return ControlKind::Label; }
  // Drawn in the system's grey text colour (a secondary text).
  bool grey = false;
};

class Edit : public TextControl {
 public:
  Edit(std::string name, std::string text, bool read_only = false)
      : TextControl(std::move(name), std::move(text)), read_only_(read_only) {}
  bool read_only() const { return read_only_; }
  ControlKind kind() const override { return ControlKind::Edit; }

 private:
  bool read_only_;
};

// Multi-line text; its text is the lines joined with CR LF.
class Memo : public TextControl {
 public:
  using TextControl::TextControl;
  void clear() { set_text({}); }
  ControlKind kind() const override { return ControlKind::Memo; }
};

class ListBox : public Control {
 public:
  using Control::Control;
  const std::vector<std::string>& items() const { return items_; }
  ControlKind kind() const override { return ControlKind::ListBox; }
  void clear() {
    items_.clear();
    changed(Change::Items);
  }
  void add(std::string item) {
    items_.push_back(std::move(item));
    changed(Change::Items);
  }
  std::size_t count() const { return items_.size(); }

 private:
  std::vector<std::string> items_;
};

// Where a grid keeps its cells. The grid checks the column and the row count
// before it asks; a store may keep its cells in any form and make a cell's
// text when it is read.
class GridCells {
 public:
  virtual ~GridCells() = default;
  virtual std::string cell(int column, int row) const = 0;
  virtual void set_cell(int column, int row, std::string text) = 0;
  virtual void clear_row(int row) = 0;
  // Rows at `row` and beyond are gone: their storage may be dropped.
  virtual void drop_rows_from(int row) = 0;
};

// Plain text cells, grown on write.
class PlainGridCells final : public GridCells {
 public:
  explicit PlainGridCells(int columns) : columns_(columns) {}
  std::string cell(int column, int row) const override;
  void set_cell(int column, int row, std::string text) override;
  void clear_row(int row) override;
  void drop_rows_from(int row) override;

 private:
  int columns_;
  std::vector<std::vector<std::string>> cells_;  // [row][column]
};

// A grid of text cells addressed by (column, row). A cell never written, or
// whose row was cleared, reads as the empty text; so does every cell outside
// the grid. The cells live in a store (plain text cells unless the owner
// gives another one); a window system reads the cells it draws.
class TextGrid : public Control {
 public:
  TextGrid(std::string name, int columns, int rows, std::unique_ptr<GridCells> cells = nullptr);
  ControlKind kind() const override { return ControlKind::Grid; }
  int column_count() const { return columns_; }
  int row_count() const { return rows_; }
  // A value below 1 becomes 1.
  void set_row_count(int rows);
  std::string cell(int column, int row) const;
  void set_cell(int column, int row, std::string text);
  void clear_row(int row);
  int column_width(int column) const;
  void set_column_width(int column, int width);
  int default_row_height = 16;

  // The store, for its owner to fill in bulk; the owner reports what it
  // changed with rows_changed.
  GridCells& cells() { return *cells_; }
  const GridCells& cells() const { return *cells_; }
  void rows_changed(int first_row, int last_row);

 private:
  int columns_;
  int rows_;
  std::unique_ptr<GridCells> cells_;
  std::vector<int> widths_;
  int last_changed_row_ = -1;  // consecutive writes to one row report it once
};

class Button : public TextControl {
 public:
  using TextControl::TextControl;
  ControlKind kind() const override { return ControlKind::Button; }
  Handler on_click;
  // A user's click: runs the handler when the button is enabled.
  void click() {
    if (enabled() && on_click) on_click();
  }
};

class CheckBox : public TextControl {
 public:
  using TextControl::TextControl;
  Handler on_click;
  ControlKind kind() const override { return ControlKind::CheckBox; }
  bool checked() const { return checked_; }
  void set_checked(bool on) {
    if (on == checked_) return;
    checked_ = on;
    changed(Change::Checked);
    if (on_click) on_click();
  }

 private:
  bool checked_ = false;
};

class RadioGroup : public TextControl {
 public:
  RadioGroup(std::string name, std::string caption, std::vector<std::string> items)
      : TextControl(std::move(name), std::move(caption)), items_(std::move(items)) {}
  ControlKind kind() const override { return ControlKind::RadioGroup; }
  const std::vector<std::string>& items() const { return items_; }
  int item_index() const { return index_; }  // -1: no item selected
  void set_item_index(int index) {
    if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
    if (index == index_) return;
    index_ = index;
    changed(Change::ItemIndex);
    if (on_click) on_click();
  }
  Handler on_click;

 private:
  std::vector<std::string> items_;
  int index_ = -1;
};

// Radio buttons of one container exclude each other: selecting one clears
// the others of its group.
class RadioButton : public TextControl {
 public:
  using TextControl::TextControl;
  ControlKind kind() const override { return ControlKind::RadioButton; }
  Handler on_click;
  bool checked() const { return checked_; }
  void set_checked(bool on);
  void join_group(std::vector<RadioButton*>* group) { group_ = group; }

 private:
  bool checked_ = false;
  std::vector<RadioButton*>* group_ = nullptr;
};

// An up-down: a position within [min, max] that stops at its bounds and
// writes itself into its associated edit.
class UpDown : public Control {
 public:
  UpDown(std::string name, int min, int max, int position, Edit* associate)
      : Control(std::move(name)), min_(min), max_(max), position_(position), associate_(associate) {}
  ControlKind kind() const override { return ControlKind::UpDown; }
  int min() const { return min_; }
  int max() const { return max_; }
  int position() const { return position_; }
  // Sets the position (clamped) and writes it into the edit; runs nothing.
  void set_position(int position);
  // A user's press of the up or down arrow: moves one step within the
  // bounds, writes the edit and runs the handler.
  void click_up() { step(+1); }
  void click_down() { step(-1); }
  Handler on_click;

 private:
  void step(int delta);
  int min_, max_, position_;
  Edit* associate_;
};

// An editable drop-down list: a text the user may type and a list to pick from.
class ComboBox : public TextControl {
 public:
  using TextControl::TextControl;
  ControlKind kind() const override { return ControlKind::ComboBox; }
  // The list to pick from.
  const std::vector<std::string>& items() const { return items_; }
  void set_items(std::vector<std::string> items) {
    items_ = std::move(items);
    changed(Change::Items);
  }
  // Picks a list entry: the text becomes the entry's text.
  void select(std::size_t index) {
    if (index < items_.size()) set_text(items_[index]);
  }

 private:
  std::vector<std::string> items_;
};

class StatusBar : public Control {
 public:
  StatusBar(std::string name, std::size_t panels) : Control(std::move(name)), panels_(panels) {}
  ControlKind kind() const override { return ControlKind::StatusBar; }
  const std::string& panel(std::size_t i) const;
  void set_panel(std::size_t i, std::string text);
  std::size_t panel_count() const { return panels_.size(); }

 private:
  std::vector<std::string> panels_;
};

class MessageQueue;

// A timer that fires, when due, during a dispatch of the message queue it
// belongs to.
class Timer : public Control {
 public:
  Timer(std::string name, MessageQueue& queue, uint32_t interval_ms);
  ~Timer() override;
  ControlKind kind() const override { return ControlKind::Timer; }
  // The platform's timer fired: runs the handler when the timer is on (and
  // its handler is not already running). Used when the platform drives the
  // timers instead of the dispatch.
  void fire();
  bool timer_enabled() const { return enabled(); }
  // Switching on starts the interval from now.
  void set_timer_enabled(bool on);
  uint32_t interval_ms() const { return interval_; }
  Handler on_timer;

 private:
  friend class MessageQueue;
  MessageQueue& queue_;
  uint32_t interval_;
  uint32_t started_ = 0;
  bool running_handler_ = false;
  bool* destroyed_flag_ = nullptr;  // set while fire() runs the handler
};

}  // namespace vkt::ui
