// What a window system needs to draw the library's windows: each window's
// client size and frame, and each control's place, inside the window or
// inside the group that holds it.
#include <gtest/gtest.h>

#include <map>

#include "settings/settings_dialog.h"
#include "support/fakes.h"
#include "windows/monitor_window.h"
#include "windows/progress_popup.h"

namespace vkt::windows {
namespace {

using namespace vkt::ui;

// Every control has a size and lies inside its container (a control of the
// same window) or inside the client area; `outside` names the controls that
// are meant to lie beyond it.
void expect_laid_out(const Window& window, const std::vector<std::string>& outside = {}) {
  const WindowLayout& layout = window.layout();
  ASSERT_GT(layout.client_width, 0) << window.window_class();
  ASSERT_GT(layout.client_height, 0) << window.window_class();
  for (const Control* c : window.controls()) {
    if (c->kind() == ControlKind::Timer) continue;
    SCOPED_TRACE(window.window_class() + "." + c->name());
    EXPECT_GT(c->place.width, 0);
    EXPECT_GT(c->place.height, 0);
    int width = layout.client_width;
    int height = layout.client_height;
    if (!c->container.empty()) {
      const Control* box = window.find(c->container);
      ASSERT_NE(nullptr, box);
      EXPECT_TRUE(box->kind() == ControlKind::GroupBox || box->kind() == ControlKind::RadioGroup);
      width = box->place.width;
      height = box->place.height;
    }
    const bool inside = c->place.left >= 0 && c->place.top >= 0 && c->place.left + c->place.width <= width &&
                        c->place.top + c->place.height <= height;
    const bool meant_outside = std::find(outside.begin(), outside.end(), c->name()) != outside.end();
    EXPECT_EQ(!meant_outside, inside);
  }
}

TEST(WindowLayout, TheSettingsDialogHasTheFrameAndPlacesOfItsTable) {
  testing::TestLibrary lib(std::make_shared<testing::FastRealClock>(), {}, testing::TestLibrary::no_devices());
  settings::TForm4& d = lib->ensure_settings_dialog();
  const WindowLayout& layout = d.layout();
  EXPECT_EQ(535, layout.client_width);
  EXPECT_EQ(427, layout.client_height);
  EXPECT_EQ(WindowLayout::Border::Dialog, layout.border);
  EXPECT_FALSE(layout.title_buttons);
  EXPECT_TRUE(layout.top_most);
  EXPECT_TRUE(layout.centred);
  EXPECT_EQ("ＭＳ Ｐゴシック", layout.font_name);
  EXPECT_EQ(12, layout.font_height);

  expect_laid_out(d, {"Button2"});
  const Place record = d.RadioGroup_Record.place;
  EXPECT_EQ(8, record.left);
  EXPECT_EQ(16, record.top);
  EXPECT_EQ(105, record.width);
  EXPECT_EQ(113, record.height);
  EXPECT_EQ("ADJ_h1", d.Edit_ADJ_h1.container);
  EXPECT_EQ("GroupBox_starttime", d.ComboBox_starttime_nn.container);
  EXPECT_EQ(200, d.ComboBox_starttime_nn.place.left);
  EXPECT_EQ(49, d.ComboBox_starttime_nn.place.width);
  // Cancel comes first in the tab order, which follows the order of announcement.
  EXPECT_EQ("Button_cancel", d.controls().front()->name());
}

TEST(WindowLayout, TheBackendLearnsPlacesAndListsAsControlsAreAnnounced) {
  testing::TestLibrary lib(std::make_shared<testing::FastRealClock>(), {}, testing::TestLibrary::no_devices());
  lib.backend->clear();
  settings::TForm4& d = lib->ensure_settings_dialog();
  // The start-time lists are filled when the dialog is shown; the backend
  // hears of the new items.
  lib.backend->clear();
  d.show();
  int item_changes = 0;
  for (const auto& e : lib.backend->events_of("TForm4"))
    if (e.kind == WindowEvent::Changed && e.change == Change::Items &&
        e.control.rfind("ComboBox_starttime_", 0) == 0)
      ++item_changes;
  EXPECT_EQ(4, item_changes);
  EXPECT_EQ(60u, d.ComboBox_starttime_nn.items().size());
}

TEST(WindowLayout, TheMonitorWindowAndThePopupFillTheirClientAreas) {
  testing::TestLibrary lib(std::make_shared<testing::FastRealClock>(), {}, testing::TestLibrary::no_devices());
  TForm2& monitor = lib->ensure_monitor();
  EXPECT_EQ(848, monitor.layout().client_width);
  EXPECT_EQ(626, monitor.layout().client_height);
  EXPECT_FALSE(monitor.layout().title_buttons);
  EXPECT_EQ("Form2", monitor.caption());
  expect_laid_out(monitor);
  EXPECT_EQ(225, monitor.StringGrid1.place.height);
  EXPECT_EQ(848, monitor.StringGrid1.place.width);
  EXPECT_EQ(177, monitor.ListBox1.place.width);
  EXPECT_EQ(336, TForm2::kTerminalPlace.width);

  HeadlessBackend backend(0);
  TForm3 popup(backend);
  EXPECT_EQ(WindowLayout::Border::None, popup.layout().border);
  EXPECT_TRUE(popup.layout().top_most);
  EXPECT_EQ(2, popup.layout().panel_bevel);
  expect_laid_out(popup);
  // Three lines of 49, 22 and 28 pixels fill the 99 pixels from top to bottom.
  EXPECT_EQ(0, popup.Label1.place.top);
  EXPECT_EQ(popup.Label1.place.top + 49, popup.Label2.place.top);
  EXPECT_EQ(popup.Label2.place.top + 22, popup.Label3.place.top);
  EXPECT_EQ(99, popup.Label3.place.top + popup.Label3.place.height);
}

}  // namespace
}  // namespace vkt::windows
