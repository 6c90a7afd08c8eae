// What a window backend learns: each control as it is registered, every later
// change of state, and of the record grid only the row count and the rows
// that changed, so that a window system can draw it by reading cells.
#include <gtest/gtest.h>

#include <map>

#include "support/fakes.h"
#include "ui/window.h"

namespace {

using namespace vkt::ui;

class TestWindow final : public Window {
 public:
  explicit TestWindow(WindowBackend& backend) : Window(backend, "TTest", "Test") {
    add(Label1);
    add(Check);
    add(Grid);
    add(Up);
  }
  Label Label1{"Label1", "a"};
  CheckBox Check{"Check", "tick"};
  TextGrid Grid{"Grid", 18, 5};
  Edit UpEdit{"UpEdit", "0", true};
  UpDown Up{"Up", 0, 9, 0, &UpEdit};
};

TEST(BackendNotifications, ControlsAreAnnouncedAndEveryChangeReported) {
  HeadlessBackend backend(0);
  TestWindow w(backend);
  std::vector<std::string> announced;
  for (const auto& e : backend.events())
    if (e.kind == WindowEvent::ControlCreated) announced.push_back(e.control);
  EXPECT_EQ(announced, (std::vector<std::string>{"Label1", "Check", "Grid", "Up"}));
  backend.clear();

  w.Label1.set_text("b");
  w.Check.set_checked(true);
  w.Up.click_up();
  w.Check.set_enabled(false);
  std::vector<std::pair<std::string, Change>> seen;
  for (const auto& e : backend.events()) {
    if (e.kind == WindowEvent::Text) seen.emplace_back(e.control + "=" + e.text, Change::Text);
    if (e.kind == WindowEvent::Changed) seen.emplace_back(e.control, e.change);
  }
  EXPECT_EQ(seen, (std::vector<std::pair<std::string, Change>>{{"Label1=b", Change::Text},
                                                                {"Check", Change::Checked},
                                                                {"Up", Change::Position},
                                                                {"Check", Change::Enabled}}));
}

TEST(BackendNotifications, TheGridReportsRowsNotCells) {
  HeadlessBackend backend(0);
  TestWindow w(backend);
  backend.clear();
  const int rows = 1000;
  w.Grid.set_row_count(rows + 1);
  for (int r = 1; r <= rows; ++r)
    for (int c = 0; c < 18; ++c) w.Grid.set_cell(c, r, "x");
  std::map<int, int> per_row;
  int row_counts = 0;
  for (const auto& e : backend.events()) {
    if (e.change == Change::RowCount && e.kind == WindowEvent::Changed) ++row_counts;
    if (e.change == Change::Rows && e.kind == WindowEvent::Changed) ++per_row[e.first_row];
  }
  EXPECT_EQ(row_counts, 1);
  EXPECT_EQ(per_row.size(), static_cast<std::size_t>(rows));
  for (const auto& [row, n] : per_row) EXPECT_EQ(n, 1) << row;
  EXPECT_EQ(w.Grid.cell(17, rows), "x") << "the backend reads what it draws";
}

TEST(BackendNotifications, PlatformTimersFireOnlyWhenOnAndTheDispatchLeavesThemAlone) {
  auto clock = std::make_shared<vkt::testing::FakeClock>();
  MessageQueue queue(clock);
  queue.set_platform_timers(true);
  Timer t("T", queue, 100);
  int fired = 0;
  t.on_timer = [&] { ++fired; };
  t.fire();
  EXPECT_EQ(fired, 0) << "a timer that is off";
  t.set_timer_enabled(true);
  clock->advance(1000);
  queue.dispatch_once();
  EXPECT_EQ(fired, 0) << "the dispatch runs no timers when the platform drives them";
  t.fire();
  EXPECT_EQ(fired, 1);
}

}  // namespace

namespace {

// A memo showing a whole download shares the text it is given; the headless
// log keeps only the start of a long text, so that it holds no copy of the
// download after the window is gone.
TEST(BackendNotifications, ALongTextIsSharedAndLoggedInPart) {
  HeadlessBackend backend(0);
  class MemoWindow final : public Window {
   public:
    explicit MemoWindow(WindowBackend& b) : Window(b, "TMemo", "Memo") { add(Memo1); }
    Memo Memo1{"Memo1", "Memo1"};
  };
  MemoWindow w(backend);
  auto reply = std::make_shared<const std::string>(100000, 'D');
  w.Memo1.share_text(reply);
  EXPECT_EQ(&w.Memo1.text(), reply.get());
  ASSERT_EQ(backend.events().back().kind, WindowEvent::Text);
  EXPECT_EQ(backend.events().back().text, std::string(HeadlessBackend::kMaxEventText, 'D'));
  w.Memo1.set_text("2000");
  EXPECT_EQ(w.Memo1.text(), "2000");
  EXPECT_EQ(reply.use_count(), 1) << "the memo let go of the shared text";
}

}  // namespace
