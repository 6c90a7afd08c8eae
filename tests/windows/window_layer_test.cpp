// The window-system layer: deferred releases, timers that fire during a
// dispatch, posted user actions, and controls that run their handlers only
// when their value changes.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/fakes.h"
#include "ui/controls.h"
#include "ui/message_queue.h"

namespace {

using vkt::testing::FakeClock;
using namespace vkt::ui;

TEST(MessageQueue, PostedActionsAndReleasesRunAtTheNextDispatchInOrder) {
  auto clock = std::make_shared<FakeClock>();
  MessageQueue q(clock);
  std::vector<int> order;
  q.post([&] { order.push_back(1); });
  q.defer_release([&] { order.push_back(3); });
  q.post([&] {
    order.push_back(2);
    q.post([&] { order.push_back(4); });  // waits for the next dispatch
  });
  EXPECT_TRUE(order.empty());
  q.dispatch_once();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
  q.dispatch_once();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(MessageQueue, TimerFiresWhenDueAcrossTheClockWrap) {
  auto clock = std::make_shared<FakeClock>(0xFFFFFC00u);  // 1024 ms before the wrap
  MessageQueue q(clock);
  Timer t("Timer1", q, 1000);
  int ticks = 0;
  t.on_timer = [&] { ++ticks; };
  q.dispatch_once();
  EXPECT_EQ(ticks, 0);  // disabled at creation
  t.set_timer_enabled(true);
  clock->advance(999);
  q.dispatch_once();
  EXPECT_EQ(ticks, 0);
  clock->advance(1);  // past the wrap now
  q.dispatch_once();
  EXPECT_EQ(ticks, 1);
  q.dispatch_once();
  EXPECT_EQ(ticks, 1);
  clock->advance(1000);
  q.dispatch_once();
  EXPECT_EQ(ticks, 2);
}

TEST(MessageQueue, TimerHandlerThatDispatchesDoesNotReenterItself) {
  auto clock = std::make_shared<FakeClock>();
  MessageQueue q(clock);
  Timer t("Timer1", q, 1000);
  int depth = 0, max_depth = 0;
  t.on_timer = [&] {
    ++depth;
    max_depth = std::max(max_depth, depth);
    clock->advance(3000);  // the tick's announcement waits
    q.dispatch_once();
    --depth;
  };
  t.set_timer_enabled(true);
  clock->advance(1000);
  q.dispatch_once();
  EXPECT_EQ(max_depth, 1);
}

TEST(MessageQueue, TimerDestroyedByItsOwnHandlerIsSafe) {
  auto clock = std::make_shared<FakeClock>();
  MessageQueue q(clock);
  auto t = std::make_unique<Timer>("Timer1", q, 1000);
  Timer* raw = t.get();
  raw->on_timer = [&] { t.reset(); };
  raw->set_timer_enabled(true);
  clock->advance(1000);
  q.dispatch_once();
  EXPECT_EQ(t, nullptr);
  clock->advance(1000);
  q.dispatch_once();
}

TEST(Controls, SelectionsAndTicksRunTheirHandlerOnlyOnChange) {
  int clicks = 0;
  RadioGroup g("RadioGroup_Type", "Type", {"10_VKT-18", "20_VKT-18"});
  g.on_click = [&] { ++clicks; };
  EXPECT_EQ(g.item_index(), -1);
  g.set_item_index(1);
  g.set_item_index(1);
  EXPECT_EQ(clicks, 1);
  g.set_item_index(7);  // out of range: no selection
  EXPECT_EQ(g.item_index(), -1);
  EXPECT_EQ(clicks, 2);

  CheckBox box("CheckBox1", "Terminal Active");
  int ticks = 0;
  box.on_click = [&] { ++ticks; };
  box.set_checked(false);
  box.set_checked(true);
  box.set_checked(true);
  box.set_checked(false);
  EXPECT_EQ(ticks, 2);
}

TEST(Controls, RadioButtonsOfAGroupExcludeEachOther) {
  RadioButton off("RadioButton_ADJ_h1_1", "Ox00_None"), on("RadioButton_ADJ_h1_2", "Ox01~99");
  std::vector<RadioButton*> group{&off, &on};
  off.join_group(&group);
  on.join_group(&group);
  int on_clicks = 0;
  on.on_click = [&] { ++on_clicks; };
  off.set_checked(true);
  on.set_checked(true);
  EXPECT_FALSE(off.checked());
  EXPECT_TRUE(on.checked());
  on.set_checked(true);
  EXPECT_EQ(on_clicks, 1);
}

TEST(Controls, UpDownStopsAtItsBoundsAndWritesItsEdit) {
  Edit edit("Edit_detect", "1", true);
  UpDown ud("UpDown_detect", 1, 99, 1, &edit);
  int clicks = 0;
  ud.on_click = [&] { ++clicks; };
  ud.click_down();
  EXPECT_EQ(ud.position(), 1);
  EXPECT_EQ(edit.text(), "1");
  ud.set_position(98);
  ud.click_up();
  ud.click_up();
  EXPECT_EQ(ud.position(), 99);
  EXPECT_EQ(edit.text(), "99");
  EXPECT_EQ(clicks, 3);
  ud.set_enabled(false);
  ud.click_down();
  EXPECT_EQ(ud.position(), 99);  // a disabled up-down takes no clicks
}

TEST(Controls, GridCellsOutsideOrUnwrittenReadEmpty) {
  TextGrid grid("StringGrid1", 18, 5);
  EXPECT_EQ(grid.cell(3, 2), "");
  EXPECT_EQ(grid.cell(-1, 0), "");
  EXPECT_EQ(grid.cell(18, 0), "");
  grid.set_cell(1, 4, "x");
  EXPECT_EQ(grid.cell(1, 4), "x");
  grid.set_row_count(2);
  EXPECT_EQ(grid.cell(1, 4), "");  // beyond the row count
  grid.set_row_count(5);
  EXPECT_EQ(grid.cell(1, 4), "");  // a shrunk row does not come back
  grid.set_row_count(0);
  EXPECT_EQ(grid.row_count(), 1);
}

TEST(Controls, DisabledButtonTakesNoClick) {
  Button b("Button_set", "Ok");
  int clicks = 0;
  b.on_click = [&] { ++clicks; };
  b.click();
  b.set_enabled(false);
  b.click();
  EXPECT_EQ(clicks, 1);
}

}  // namespace
