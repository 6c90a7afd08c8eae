#include "ui/controls.h"

#include <algorithm>

#include "ui/message_queue.h"

namespace vkt::ui {

namespace {
const std::string kEmpty;
}

std::string PlainGridCells::cell(int column, int row) const {
  if (static_cast<std::size_t>(row) >= cells_.size()) return {};
  const auto& r = cells_[row];
  if (static_cast<std::size_t>(column) >= r.size()) return {};
  return r[column];
}

void PlainGridCells::set_cell(int column, int row, std::string text) {
  if (static_cast<std::size_t>(row) >= cells_.size()) cells_.resize(row + 1);
  auto& r = cells_[row];
  if (r.size() < static_cast<std::size_t>(columns_)) r.resize(columns_);
  r[column] = std::move(text);
}

void PlainGridCells::clear_row(int row) {
  if (static_cast<std::size_t>(row) < cells_.size()) cells_[row].clear();
}

void PlainGridCells::drop_rows_from(int row) {
  if (cells_.size() > static_cast<std::size_t>(row)) cells_.resize(row);
}

TextGrid::TextGrid(std::string name, int columns, int rows, std::unique_ptr<GridCells> cells)
    : Control(std::move(name)),
      columns_(columns),
      rows_(std::max(rows, 1)),
      cells_(cells ? std::move(cells) : std::make_unique<PlainGridCells>(columns)),
      widths_(columns, 64) {}

void TextGrid::set_row_count(int rows) {
  rows_ = std::max(rows, 1);
  // Rows at or beyond the count hold nothing: drop their storage.
  cells_->drop_rows_from(rows_);
  last_changed_row_ = -1;
  changed(Change::RowCount);
}

std::string TextGrid::cell(int column, int row) const {
  if (column < 0 || column >= columns_ || row < 0 || row >= rows_) return {};
  return cells_->cell(column, row);
}

void TextGrid::set_cell(int column, int row, std::string text) {
  if (column < 0 || column >= columns_ || row < 0) return;
  cells_->set_cell(column, row, std::move(text));
  if (row != last_changed_row_) {
    last_changed_row_ = row;
    changed(Change::Rows, row, row);
  }
}

void TextGrid::clear_row(int row) {
  if (row < 0) return;
  cells_->clear_row(row);
  last_changed_row_ = -1;
  changed(Change::Rows, row, row);
}

void TextGrid::rows_changed(int first_row, int last_row) {
  last_changed_row_ = -1;
  if (first_row <= last_row) changed(Change::Rows, first_row, last_row);
}

int TextGrid::column_width(int column) const {
  return column >= 0 && column < columns_ ? widths_[column] : 0;
}

void TextGrid::set_column_width(int column, int width) {
  if (column >= 0 && column < columns_) widths_[column] = width;
}

void RadioButton::set_checked(bool on) {
  if (on == checked_) return;
  checked_ = on;
  if (on && group_) {
    for (RadioButton* other : *group_) {
      if (other != this && other->checked_) {
        other->checked_ = false;
        other->changed(Change::Checked);
      }
    }
  }
  changed(Change::Checked);
  if (on && on_click) on_click();
}

void UpDown::set_position(int position) {
  position_ = std::clamp(position, min_, max_);
  changed(Change::Position);
  if (associate_) associate_->set_text(std::to_string(position_));
}

void UpDown::step(int delta) {
  if (!enabled()) return;
  set_position(position_ + delta);
  if (on_click) on_click();
}

const std::string& StatusBar::panel(std::size_t i) const { return i < panels_.size() ? panels_[i] : kEmpty; }

void StatusBar::set_panel(std::size_t i, std::string text) {
  if (i >= panels_.size()) return;
  panels_[i] = std::move(text);
  changed(Change::Text);
}

Timer::Timer(std::string name, MessageQueue& queue, uint32_t interval_ms)
    : Control(std::move(name)), queue_(queue), interval_(interval_ms) {
  Control::set_enabled(false);
  queue_.add_timer(this);
}

Timer::~Timer() {
  if (destroyed_flag_) *destroyed_flag_ = true;
  queue_.remove_timer(this);
}

void Timer::fire() {
  if (!timer_enabled() || running_handler_ || !on_timer) return;
  running_handler_ = true;
  auto handler = on_timer;  // kept: the timer may be destroyed by its own handler
  bool destroyed = false;
  destroyed_flag_ = &destroyed;
  handler();
  if (destroyed) return;
  destroyed_flag_ = nullptr;
  running_handler_ = false;
}

void Timer::set_timer_enabled(bool on) {
  if (on && !enabled()) started_ = queue_.clock().now_ms();
  Control::set_enabled(on);
}

}  // namespace vkt::ui
