// The Win32 window system: real windows made from the window models, kept in
// step with the models, and the user's actions (window messages, as a person's
// clicks, choices, arrows and typing produce them) delivered to the models.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "ui/window.h"
#include "ui/window_backend.h"
#include "windows/progress_popup.h"

namespace vkt::windows {
namespace {

using namespace vkt::ui;

std::wstring wide(const std::string& text) {
  std::wstring out(text.size() + 1, L'\0');
  out.resize(static_cast<std::size_t>(
      MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), static_cast<int>(out.size()))));
  return out;
}

std::wstring text_of(HWND hwnd) {
  wchar_t buffer[512] = {};
  GetWindowTextW(hwnd, buffer, 512);
  return buffer;
}

struct Search {
  std::string name;
  HWND found = nullptr;
};

BOOL CALLBACK match_name(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropA(hwnd, kControlNameProperty)));
  char name[256] = {};
  // Atoms keep the case of the first use of a name: compare without case.
  if (atom && GlobalGetAtomNameA(atom, name, sizeof name) && lstrcmpiA(search->name.c_str(), name) == 0) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

// A control's window by the name the library gives it.
HWND control(HWND top, const std::string& name) {
  Search search{name};
  EnumChildWindows(top, match_name, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void notify_parent(HWND child, UINT code) {
  SendMessageW(GetParent(child), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), code), reinterpret_cast<LPARAM>(child));
}

// A person's click on a button, tick box or radio button, as the window
// receives it. (BM_CLICK reaches the button itself; under Wine without a
// window manager its simulated mouse press does not always end in a click.)
void press(HWND button) { notify_parent(button, BN_CLICKED); }

class Frame final : public TextControl {
 public:
  using TextControl::TextControl;
  ControlKind kind() const override { return ControlKind::GroupBox; }
};

// A window with one control of every kind a window system draws.
class Sampler final : public Window {
 public:
  explicit Sampler(WindowBackend& backend)
      : Window(backend, "VktSampler", "Sampler ウィンドウ",
               {.client_width = 535, .client_height = 427, .border = WindowLayout::Border::Dialog,
                .title_buttons = false, .top_most = true, .centred = true, .font_name = "ＭＳ Ｐゴシック",
                .font_height = 12}) {
    box.place = {8, 8, 200, 100};
    group.place = {220, 8, 120, 80};
    radio.place = {8, 14, 100, 17};
    radio.container = "box";
    edit.place = {8, 40, 60, 20};
    edit.container = "box";
    up.place = {68, 40, 16, 20};
    up.container = "box";
    for (Control* c : std::initializer_list<Control*>{&box, &group, &radio, &edit, &up, &typed, &label, &revision, &tick, &combo,
                                                      &list, &memo, &grid, &ok, &status})
      add(*c);
    combo.set_items({"01", "02", "03"});
    revision.grey = true;
    ok.on_click = [this] { ++clicks; };
  }
  void control_changed(Control& c, Change change, int first, int last) override {
    if (&c == &edit && change == Change::Text) ++edit_writes;
    Window::control_changed(c, change, first, last);
  }

  Frame box{"box", "枠"};
  RadioGroup group{"group", "Type", {"10_VKT-18", "50_VKT-50"}};
  RadioButton radio{"radio", "Ox00_None"};
  Edit edit{"edit", "1", true};
  UpDown up{"up", 1, 3, 1, &edit};
  Edit typed{"typed", "Edit1"};
  Label label{"label", "月"};
  Label revision{"revision", "VKT REV"};
  CheckBox tick{"tick", "starttime"};
  ComboBox combo{"combo", ""};
  ListBox list{"list"};
  Memo memo{"memo", "Memo1"};
  TextGrid grid{"grid", 3, 2};
  Button ok{"ok", "Ok"};
  StatusBar status{"status", 2};
  int clicks = 0;
  int edit_writes = 0;
};

class Win32Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    backend = make_platform_window_backend();
    sampler = std::make_unique<Sampler>(*backend);
    top = FindWindowW(L"VktSampler", nullptr);
    ASSERT_NE(top, nullptr);
  }
  std::shared_ptr<WindowBackend> backend;
  std::unique_ptr<Sampler> sampler;
  HWND top = nullptr;
};

TEST_F(Win32Windows, TheWindowHasItsLayoutAndEveryControlIsFoundByName) {
  EXPECT_EQ(text_of(top), wide("Sampler ウィンドウ"));
  EXPECT_FALSE(IsWindowVisible(top));
  RECT client;
  GetClientRect(top, &client);
  EXPECT_EQ(client.right, 535);
  EXPECT_EQ(client.bottom, 427);
  const LONG style = GetWindowLongW(top, GWL_STYLE);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_FALSE(style & WS_SYSMENU) << "no border icons";
  EXPECT_TRUE(GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(GetWindow(top, GW_OWNER), nullptr);

  for (const char* name : {"box", "group", "group.0", "group.1", "radio", "edit", "up", "typed", "label", "tick",
                           "combo", "list", "memo", "grid", "ok", "status"})
    EXPECT_NE(control(top, name), nullptr) << name;
  EXPECT_EQ(text_of(control(top, "label")), wide("月"));
  EXPECT_EQ(text_of(control(top, "group.1")), L"50_VKT-50");
  // Places count from the container: the edit sits in the box.
  RECT edit;
  GetWindowRect(control(top, "edit"), &edit);
  MapWindowPoints(nullptr, top, reinterpret_cast<POINT*>(&edit), 2);
  EXPECT_EQ(edit.left, 16);
  EXPECT_EQ(edit.top, 48);
  EXPECT_EQ(SendMessageW(control(top, "combo"), CB_GETCOUNT, 0, 0), 3);
  // A grey label is drawn in the grey text colour, the others are not.
  HDC dc = CreateCompatibleDC(nullptr);
  SendMessageW(top, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control(top, "revision")));
  EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_GRAYTEXT));
  SetTextColor(dc, RGB(1, 2, 3));
  SendMessageW(top, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(control(top, "label")));
  EXPECT_NE(GetTextColor(dc), GetSysColor(COLOR_GRAYTEXT));
  DeleteDC(dc);

  sampler->show();
  EXPECT_TRUE(IsWindowVisible(top));
  sampler->hide();
  EXPECT_FALSE(IsWindowVisible(top));
}

TEST_F(Win32Windows, ChangesOfTheModelReachTheControls) {
  sampler->label.set_text("データ取得中");
  EXPECT_EQ(text_of(control(top, "label")), wide("データ取得中"));
  sampler->ok.set_enabled(false);
  EXPECT_FALSE(IsWindowEnabled(control(top, "ok")));
  sampler->label.set_visible(false);
  EXPECT_FALSE(GetWindowLongW(control(top, "label"), GWL_STYLE) & WS_VISIBLE);
  sampler->tick.set_checked(true);
  EXPECT_EQ(SendMessageW(control(top, "tick"), BM_GETCHECK, 0, 0), BST_CHECKED);
  sampler->group.set_item_index(1);
  EXPECT_EQ(SendMessageW(control(top, "group.0"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageW(control(top, "group.1"), BM_GETCHECK, 0, 0), BST_CHECKED);
  sampler->group.set_enabled(false);
  EXPECT_FALSE(IsWindowEnabled(control(top, "group.1")));
  sampler->up.set_position(3);
  EXPECT_EQ(SendMessageW(control(top, "up"), UDM_GETPOS32, 0, 0), 3);
  EXPECT_EQ(text_of(control(top, "edit")), L"3");

  sampler->list.add("COM5");
  sampler->list.add("COM7");
  EXPECT_EQ(SendMessageW(control(top, "list"), LB_GETCOUNT, 0, 0), 2);
  sampler->list.clear();
  sampler->list.add("VCP none");
  EXPECT_EQ(SendMessageW(control(top, "list"), LB_GETCOUNT, 0, 0), 1);

  sampler->status.set_panel(1, "Succeeded to get the parameters");
  wchar_t panel[64] = {};
  SendMessageW(control(top, "status"), SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(panel));
  EXPECT_STREQ(panel, L"Succeeded to get the parameters");

  // The grid's header is its row 0; item i is row i + 1, read when asked.
  sampler->grid.set_cell(1, 0, "Date");
  sampler->grid.set_row_count(4);
  sampler->grid.set_cell(1, 3, "2024/03/01");
  HWND grid = control(top, "grid");
  EXPECT_EQ(SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0), 3);
  wchar_t cell[64] = {};
  LVITEMW item{};
  item.iSubItem = 1;
  item.pszText = cell;
  item.cchTextMax = 64;
  SendMessageW(grid, LVM_GETITEMTEXTW, 2, reinterpret_cast<LPARAM>(&item));
  EXPECT_STREQ(cell, L"2024/03/01");
  LVCOLUMNW column{};
  column.mask = LVCF_TEXT;
  column.pszText = cell;
  column.cchTextMax = 64;
  SendMessageW(grid, LVM_GETCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
  EXPECT_STREQ(cell, L"Date");
  // A header row written cell by cell is reported once; the header shows
  // all of it when the window comes up.
  sampler->grid.set_cell(0, 0, "count");
  sampler->grid.set_cell(2, 0, "TIME");
  sampler->show();
  SendMessageW(grid, LVM_GETCOLUMNW, 2, reinterpret_cast<LPARAM>(&column));
  EXPECT_STREQ(cell, L"TIME");
}

TEST_F(Win32Windows, MessagesAPersonCausesRunTheModelsHandlers) {
  sampler->show();  // a person clicks what is shown
  press(control(top, "ok"));
  EXPECT_EQ(sampler->clicks, 1);
  press(control(top, "group.1"));
  EXPECT_EQ(sampler->group.item_index(), 1);
  press(control(top, "tick"));
  EXPECT_TRUE(sampler->tick.checked());
  EXPECT_EQ(SendMessageW(control(top, "tick"), BM_GETCHECK, 0, 0), BST_CHECKED);
  press(control(top, "radio"));
  EXPECT_TRUE(sampler->radio.checked());

  HWND combo = control(top, "combo");
  SendMessageW(combo, CB_SETCURSEL, 2, 0);
  notify_parent(combo, CBN_SELCHANGE);
  EXPECT_EQ(sampler->combo.text(), "03");
  SetWindowTextW(combo, L"15");
  notify_parent(combo, CBN_EDITCHANGE);
  EXPECT_EQ(sampler->combo.text(), "15");

  HWND typed = control(top, "typed");
  SetWindowTextW(typed, wide("p日").c_str());  // EN_CHANGE follows by itself
  EXPECT_EQ(sampler->typed.text(), "p日");

  // The arrows move one step and stop at the bounds.
  HWND up = control(top, "up");
  NMUPDOWN arrow{};
  arrow.hdr.hwndFrom = up;
  arrow.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(up));
  arrow.hdr.code = UDN_DELTAPOS;
  arrow.iDelta = 1;
  for (int i = 0; i < 4; ++i) SendMessageW(top, WM_NOTIFY, arrow.hdr.idFrom, reinterpret_cast<LPARAM>(&arrow));
  EXPECT_EQ(sampler->up.position(), 3);
  arrow.iDelta = -1;
  SendMessageW(top, WM_NOTIFY, arrow.hdr.idFrom, reinterpret_cast<LPARAM>(&arrow));
  EXPECT_EQ(sampler->edit.text(), "2");
  EXPECT_EQ(SendMessageW(up, UDM_GETPOS32, 0, 0), 2);

  SendMessageW(top, WM_CLOSE, 0, 0);
  EXPECT_FALSE(sampler->visible());
  EXPECT_TRUE(IsWindow(top)) << "a close request only hides";

  // A disabled control takes nothing.
  sampler->ok.set_enabled(false);
  notify_parent(control(top, "ok"), BN_CLICKED);
  EXPECT_EQ(sampler->clicks, 1);
}

TEST_F(Win32Windows, TextTheLibrarySetsDoesNotComeBackAsTyping) {
  sampler->edit_writes = 0;
  sampler->up.set_position(2);  // writes the edit once
  EXPECT_EQ(sampler->edit_writes, 1);
  sampler->typed.set_text("Edit2");
  EXPECT_EQ(sampler->typed.text(), "Edit2");
  sampler->combo.set_text("07");
  EXPECT_EQ(text_of(control(top, "combo")), L"07");
  EXPECT_EQ(sampler->combo.text(), "07");
}

TEST_F(Win32Windows, AHandlerThatThrowsDoesNotLeaveTheWindowProcedure) {
  sampler->ok.on_click = [] { throw std::runtime_error("handler failed"); };
  press(control(top, "ok"));
  SUCCEED();
}

TEST_F(Win32Windows, TheMemoHoldsAWholeDownloadReply) {
  std::string reply;
  while (reply.size() < 4u << 20) reply += "0123456789ABCDEF0123\r\n";
  sampler->memo.set_text(reply);
  EXPECT_EQ(static_cast<std::size_t>(GetWindowTextLengthW(control(top, "memo"))), reply.size());
}

TEST_F(Win32Windows, DestroyingTheModelDestroysItsWindow) {
  sampler.reset();
  EXPECT_FALSE(IsWindow(top));
  EXPECT_EQ(FindWindowW(L"VktSampler", nullptr), nullptr);
}

TEST(Win32Popup, ABorderlessPanelOnTopWithThreeCentredLines) {
  auto backend = make_platform_window_backend();
  TForm3 popup(*backend);
  HWND top = FindWindowW(L"TForm3", nullptr);
  ASSERT_NE(top, nullptr);
  RECT client;
  GetClientRect(top, &client);
  EXPECT_EQ(client.right, TForm3::kClientWidth);
  EXPECT_EQ(client.bottom, TForm3::kClientHeight);
  const LONG style = GetWindowLongW(top, GWL_STYLE);
  EXPECT_FALSE(style & WS_CAPTION);
  EXPECT_FALSE(style & WS_THICKFRAME);
  EXPECT_TRUE(GetWindowLongW(top, GWL_EXSTYLE) & WS_EX_TOPMOST);
  for (const char* name : {"Label1", "Label2", "Label3"}) {
    HWND line = control(top, name);
    ASSERT_NE(line, nullptr) << name;
    EXPECT_TRUE(GetWindowLongW(line, GWL_STYLE) & SS_CENTER) << name;
  }
  popup.show();
  popup.set_progress_line(1, "データ取得中");
  EXPECT_EQ(text_of(control(top, "Label1")), wide("データ取得中"));
  EXPECT_NE(GetForegroundWindow(), top) << "the popup takes no focus";
}

}  // namespace
}  // namespace vkt::windows
