// When each window exists, and what creating, showing, hiding and releasing
// it keeps or discards.
#include <gtest/gtest.h>

#include "exports/library.h"
#include "link/port_control.h"
#include "link/port_discovery.h"
#include "link/serial_port.h"
#include "support/fakes.h"
#include "support/pty_pair.h"
#include "windows/monitor_window.h"
#include "windows/progress_popup.h"

namespace {

using vkt::testing::TestLibrary;

TEST(MonitorLifecycle, LoadCreatesNothing) {
  TestLibrary lib;
  EXPECT_FALSE(lib->form_created);
  EXPECT_EQ(lib->monitor(), nullptr);
  EXPECT_FALSE(lib->settingform_created);
  EXPECT_TRUE(lib->settings_state.reservetime.empty());
  EXPECT_TRUE(lib.backend->events().empty());
}

TEST(MonitorLifecycle, CloseAndReleaseOfAnAbsentWindowDoNothing) {
  TestLibrary lib;
  lib->form_close();
  lib->form_release();
  lib->enter_export();
  EXPECT_EQ(lib->monitor(), nullptr);
  EXPECT_TRUE(lib.backend->events().empty());
  lib->form_open();
  ASSERT_NE(lib->monitor(), nullptr);
  EXPECT_TRUE(lib->monitor()->visible());
}

TEST(MonitorLifecycle, OpenTwiceCreatesOneWindow) {
  TestLibrary lib;
  lib->form_open();
  auto* first = lib->monitor();
  lib->form_close();
  EXPECT_FALSE(first->visible());
  lib->form_open();
  EXPECT_EQ(lib->monitor(), first);
  EXPECT_TRUE(first->visible());
  EXPECT_EQ(lib.backend->events_of("TForm2").front().kind, vkt::ui::WindowEvent::Created);
  int created = 0;
  for (const auto& e : lib.backend->events_of("TForm2")) created += e.kind == vkt::ui::WindowEvent::Created;
  EXPECT_EQ(created, 1);
}

TEST(MonitorLifecycle, SearchCreatesTheWindowHiddenAndOpenShowsThatSameWindow) {
  TestLibrary lib;
  vkt::link::com_search(*lib);
  auto* form = lib->monitor();
  ASSERT_NE(form, nullptr);
  EXPECT_FALSE(form->visible());
  const auto lists = form->ListBox14.items();
  lib->form_open();
  EXPECT_EQ(lib->monitor(), form);
  EXPECT_TRUE(form->visible());
  EXPECT_EQ(form->ListBox14.items(), lists);
}

TEST(MonitorLifecycle, CreationGivesTheInitialTexts) {
  TestLibrary lib;
  auto& form = lib->ensure_monitor();
  EXPECT_EQ(form.caption(), "Form2");
  EXPECT_EQ(form.Memo1.text(), "Memo1");
  EXPECT_EQ(form.Edit1.text(), "Edit1");
  EXPECT_EQ(form.Label11.text(), "Label11");
  EXPECT_EQ(form.Label1.text(), "");
  EXPECT_FALSE(form.CheckBox1.checked());
  EXPECT_FALSE(form.terminal.active());
  EXPECT_FALSE(form.Timer1.timer_enabled());
  EXPECT_EQ(form.Timer1.interval_ms(), 1000u);
  EXPECT_FALSE(form.ApdComPort1.is_open());
  EXPECT_EQ(form.ApdComPort1.ComNumber, 0);
  EXPECT_EQ(form.StringGrid1.row_count(), 5);
  for (const char* name : {"StringGrid1", "ListBox1", "Memo1", "Edit1", "Button5", "ListBox11", "ListBox12",
                           "ListBox13", "ListBox14", "Button1", "Button2", "Button3", "Button4", "Label11",
                           "Label2", "Label1", "CheckBox1", "Timer1"})
    EXPECT_NE(form.find(name), nullptr) << name;
  EXPECT_EQ(form.Button1.text(), "USBRS_Search");
  EXPECT_EQ(form.Button2.text(), "inputdata_block");
  EXPECT_EQ(form.Button3.text(), "COM resume");
  EXPECT_EQ(form.Button4.text(), "clock set");
  EXPECT_EQ(form.CheckBox1.text(), "Terminal Active");
}

TEST(MonitorLifecycle, ReleaseGivesANewEmptyWindowWithAClosedPort) {
  TestLibrary lib;
  auto& form = lib->ensure_monitor();
  form.ListBox1.add("@Year=2024");
  form.StringGrid1.set_cell(1, 1, "35EDB5E501FE4017192D");
  lib->form_release();
  EXPECT_FALSE(lib->form_created);
  EXPECT_EQ(lib->monitor(), nullptr);
  lib->form_open();
  auto* fresh = lib->monitor();
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->ListBox1.count(), 0u);
  EXPECT_EQ(fresh->StringGrid1.cell(1, 1), "");
  EXPECT_FALSE(fresh->ApdComPort1.is_open());
}

TEST(MonitorLifecycle, ReleasedWindowIsDestroyedAtTheNextDispatchOrExport) {
  TestLibrary lib;
  lib->ensure_monitor();
  lib->form_release();
  auto destroyed = [&] {
    for (const auto& e : lib.backend->events_of("TForm2"))
      if (e.kind == vkt::ui::WindowEvent::Destroyed) return true;
    return false;
  };
  EXPECT_FALSE(destroyed());  // deferred
  lib->dispatch_messages();
  EXPECT_TRUE(destroyed());

  lib->ensure_monitor();
  lib->form_release();
  lib->enter_export();
  int count = 0;
  for (const auto& e : lib.backend->events_of("TForm2")) count += e.kind == vkt::ui::WindowEvent::Destroyed;
  EXPECT_EQ(count, 2);
}

// A released monitor window must not keep the logger's port busy, even on a
// host that never dispatches window messages.
TEST(MonitorLifecycle, ReleaseFreesThePortByTheNextExport) {
  vkt::test::PtyPair pty;
  vkt::test::DevRoot dev;
  dev.link("ttyUSB0", pty.slave_path());
  TestLibrary lib;
  lib->ensure_monitor();
  ASSERT_EQ(vkt::link::com_open(*lib, 1), 1);

  vkt::link::SerialPort other;
  other.ComNumber = 1;
  EXPECT_THROW(other.set_open(true), vkt::link::EAlreadyOpen);

  lib->form_release();
  lib->enter_export();
  EXPECT_NO_THROW(other.set_open(true));
  EXPECT_TRUE(other.is_open());
}

TEST(MonitorLifecycle, UnloadDestroysEveryWindowAndClosesThePort) {
  vkt::test::PtyPair pty;
  vkt::test::DevRoot dev;
  dev.link("ttyUSB0", pty.slave_path());
  auto backend = std::make_shared<vkt::ui::HeadlessBackend>();
  {
    vkt::Library lib({std::make_shared<vkt::testing::FastRealClock>(),
                      std::make_shared<vkt::testing::RecordingNotifier>(), backend});
    lib.form_open();
    ASSERT_EQ(vkt::link::com_open(lib, 1), 1);
    lib.create_popup().show();
  }
  int created = 0, destroyed = 0;
  for (const auto& e : backend->events()) {
    created += e.kind == vkt::ui::WindowEvent::Created;
    destroyed += e.kind == vkt::ui::WindowEvent::Destroyed;
  }
  EXPECT_EQ(created, 2);
  EXPECT_EQ(destroyed, 2);
  vkt::link::SerialPort other;
  other.ComNumber = 1;
  EXPECT_NO_THROW(other.set_open(true));
}

TEST(ProgressPopup, EachUseIsANewWindowTitledVKTWithThreeEmptyLines) {
  TestLibrary lib;
  auto& a = lib->create_popup();
  EXPECT_EQ(a.caption(), "VKT");
  EXPECT_EQ(a.Label1.text(), "");
  EXPECT_EQ(a.Label2.text(), "");
  EXPECT_EQ(a.Label3.text(), "");
  a.show();
  a.set_line(a.Label1, "接続");
  a.set_line(a.Label2, "Port=1");
  EXPECT_EQ(lib->popup(), &a);
  lib->release_popup(a);
  EXPECT_EQ(lib->popup(), nullptr);
  auto& b = lib->create_popup();
  EXPECT_NE(&a, &b);
  b.set_line(b.Label1, "切断");
  EXPECT_EQ(lib.popup_texts(), (std::vector<std::string>{"Label1=接続", "Label2=Port=1", "Label1=切断"}));
}

}  // namespace
