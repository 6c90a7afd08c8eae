// Win32: the library's windows as real top-level windows with standard
// controls (window_backend.h describes what a program driving them sees).
// Texts are UTF-8 in the library and UTF-16 here (the W functions), so that
// Japanese shows whatever the machine's code page. Every notification of a
// control becomes a UserAction delivered to the window's model; nothing
// thrown by a handler leaves the window procedure.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/win32.h"
#include "ui/window.h"
#include "ui/window_backend.h"

namespace vkt::ui {
namespace {

constexpr int kFirstControlId = 1000;
// The drop-down list below a start-time field.
constexpr int kComboListHeight = 200;
// A download's reply runs to megabytes: the memo takes what the edit
// control can hold at most.
constexpr WPARAM kMemoTextLimit = 0x7FFFFFFE;
// A radio group's items: below the caption, evenly over the rest.
constexpr int kGroupCaptionHeight = 14;
constexpr int kGroupItemLeft = 8;
// The status bar's first panel (the port); the second takes the rest, so
// that its state texts can be read.
constexpr int kStatusPortPanelWidth = 50;
// Windows without a font of their own use a Japanese-capable user-interface font.
constexpr wchar_t kDefaultFontFace[] = L"MS UI Gothic";
constexpr int kDefaultFontHeight = 12;
constexpr wchar_t kFixedFontFace[] = L"Courier New";

using platform::library_module;
using platform::utf16;
using platform::utf8;

std::wstring window_text(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(std::max(got, 0)));
  return text;
}


HFONT make_font(const std::wstring& face, int height, BYTE charset, BYTE pitch) {
  return CreateFontW(-height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, pitch, face.c_str());
}

// One control's child window(s).
struct ControlWindow {
  const Control* control;  // nullptr once the model's controls are gone
  ControlKind kind;
  std::string name;
  HWND hwnd = nullptr;
  std::vector<HWND> items;  // a radio group's buttons
  POINT origin{};           // the control's top-left in the window's client area

  // The control's window and its items' windows.
  template <class F>
  void for_each_window(F f) const {
    if (hwnd) f(hwnd);
    for (HWND item : items)
      if (item) f(item);
  }
};

class Win32WindowBackend;

// One top-level window and its controls.
struct FormWindow {
  Win32WindowBackend* backend;
  Window* model;
  HWND hwnd = nullptr;
  HFONT font = nullptr;
  HFONT fixed_font = nullptr;
  std::vector<std::unique_ptr<ControlWindow>> controls;
  int next_id = kFirstControlId;
  // Above 0 while the library writes into a control: the notifications this
  // raises are not the user's.
  int writing = 0;
};

class Win32WindowBackend final : public WindowBackend {
 public:
  Win32WindowBackend() {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_UPDOWN_CLASS | ICC_BAR_CLASSES |
                                             ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
  }
  ~Win32WindowBackend() override {
    // Windows still open (a host that never let the library release them)
    // are closed with the backend.
    while (!forms_.empty()) {
      std::unique_ptr<FormWindow> form = std::move(forms_.begin()->second);
      forms_.erase(forms_.begin());
      close_form(std::move(form));
    }
    for (const std::wstring& name : classes_) UnregisterClassW(name.c_str(), library_module());
  }

  void window_created(Window& window) override;
  void window_visibility(Window& window, bool visible) override;
  void control_text(Window& window, const std::string& control, const std::string& text) override;
  void window_destroyed(Window& window) override;
  void control_created(Window& window, const Control& control) override;
  void control_changed(Window& window, const Control& control, Change change, int first_row,
                       int last_row) override;

 private:
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT handle(FormWindow& form, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static bool deliver(FormWindow& form, const UserAction& action);
  void register_class(const std::wstring& name);
  FormWindow* form_of(Window& window);
  static ControlWindow* find(FormWindow& form, const Control& control);
  static void close_form(std::unique_ptr<FormWindow> form);
  HWND make_child(FormWindow& form, const wchar_t* win_class, const std::wstring& text, DWORD style,
                  DWORD ex_style, RECT at, const std::string& name);
  static void set_text(FormWindow& form, HWND hwnd, const std::string& text);
  static void fill_list(FormWindow& form, ControlWindow& c);
  static void fill_combo(FormWindow& form, ControlWindow& c);
  static void fill_status(FormWindow& form, ControlWindow& c);
  static void grid_columns(ControlWindow& c, bool create);

  std::map<Window*, std::unique_ptr<FormWindow>> forms_;
  std::vector<std::wstring> classes_;
};

void Win32WindowBackend::register_class(const std::wstring& name) {
  if (std::find(classes_.begin(), classes_.end(), name) != classes_.end()) return;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &Win32WindowBackend::window_proc;
  wc.hInstance = library_module();
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = name.c_str();
  if (RegisterClassExW(&wc) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS) classes_.push_back(name);
}

FormWindow* Win32WindowBackend::form_of(Window& window) {
  auto it = forms_.find(&window);
  return it == forms_.end() ? nullptr : it->second.get();
}

ControlWindow* Win32WindowBackend::find(FormWindow& form, const Control& control) {
  for (auto& c : form.controls)
    if (c->control == &control) return c.get();
  return nullptr;
}

void Win32WindowBackend::window_created(Window& window) {
  const WindowLayout& layout = window.layout();
  const std::wstring win_class = utf16(window.window_class());
  register_class(win_class);

  // Not WS_CLIPCHILDREN: a group box draws its frame only, and the window
  // paints the background inside it.
  DWORD style = 0;
  DWORD ex_style = layout.top_most ? WS_EX_TOPMOST : 0;
  switch (layout.border) {
    case WindowLayout::Border::Sizeable:
      style |= WS_OVERLAPPED | WS_CAPTION | WS_THICKFRAME;
      if (layout.title_buttons) style |= WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
      break;
    case WindowLayout::Border::Dialog:
      style |= WS_POPUP | WS_CAPTION;
      ex_style |= WS_EX_DLGMODALFRAME;
      if (layout.title_buttons) style |= WS_SYSMENU;
      break;
    case WindowLayout::Border::None:
      style |= WS_POPUP;
      break;
  }
  RECT frame{0, 0, layout.client_width, layout.client_height};
  AdjustWindowRectEx(&frame, style, FALSE, ex_style);
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  int x = CW_USEDEFAULT, y = CW_USEDEFAULT;
  if (layout.centred) {
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    x = work.left + std::max(0L, (work.right - work.left - width) / 2);
    y = work.top + std::max(0L, (work.bottom - work.top - height) / 2);
  } else if (layout.border == WindowLayout::Border::None) {
    x = y = 0;
  }

  auto form = std::make_unique<FormWindow>();
  form->backend = this;
  form->model = &window;
  // The dialog's font where the system has it; otherwise the font mapper
  // picks a Japanese font by the character set.
  form->font = make_font(layout.font_name.empty() ? std::wstring(kDefaultFontFace) : utf16(layout.font_name),
                         layout.font_height > 0 ? layout.font_height : kDefaultFontHeight, SHIFTJIS_CHARSET,
                         DEFAULT_PITCH | FF_DONTCARE);
  form->hwnd = CreateWindowExW(ex_style, win_class.c_str(), utf16(window.caption()).c_str(), style, x, y, width,
                               height, nullptr, nullptr, library_module(), nullptr);
  if (form->hwnd) SetWindowLongPtrW(form->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form.get()));
  forms_[&window] = std::move(form);
}

void Win32WindowBackend::window_visibility(Window& window, bool visible) {
  FormWindow* form = form_of(window);
  if (!form || !form->hwnd) return;
  if (!visible) {
    ShowWindow(form->hwnd, SW_HIDE);
    return;
  }
  // A table's header row is written cell by cell, and reported once: read
  // it again when the window comes up.
  for (auto& c : form->controls)
    if (c->kind == ControlKind::Grid && c->control && c->hwnd) grid_columns(*c, false);
  // A borderless panel (the progress popup) does not take the focus from
  // the window the user works in.
  ShowWindow(form->hwnd, window.layout().border == WindowLayout::Border::None ? SW_SHOWNOACTIVATE : SW_SHOW);
  UpdateWindow(form->hwnd);
}

void Win32WindowBackend::close_form(std::unique_ptr<FormWindow> form) {
  for (auto& c : form->controls) {
    c->control = nullptr;
    c->for_each_window([](HWND h) {
      if (auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(RemovePropA(h, kControlNameProperty))))
        GlobalDeleteAtom(atom);
    });
  }
  if (form->hwnd) {
    SetWindowLongPtrW(form->hwnd, GWLP_USERDATA, 0);
    // Closed by its own thread when another one unloads the library: the
    // controls still use the fonts then.
    if (!platform::destroy_library_window(form->hwnd)) return;
  }
  if (form->font) DeleteObject(form->font);
  if (form->fixed_font) DeleteObject(form->fixed_font);
}

void Win32WindowBackend::window_destroyed(Window& window) {
  auto it = forms_.find(&window);
  if (it == forms_.end()) return;
  std::unique_ptr<FormWindow> form = std::move(it->second);
  forms_.erase(it);
  close_form(std::move(form));
}

HWND Win32WindowBackend::make_child(FormWindow& form, const wchar_t* win_class, const std::wstring& text,
                                    DWORD style, DWORD ex_style, RECT at, const std::string& name) {
  const int id = form.next_id++;
  HWND hwnd = CreateWindowExW(ex_style, win_class, text.c_str(), WS_CHILD | WS_CLIPSIBLINGS | style, at.left, at.top,
                              at.right - at.left, at.bottom - at.top, form.hwnd,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), library_module(), nullptr);
  if (!hwnd) return nullptr;
  // Controls made later lie above those made earlier (an edit in the blank
  // of a radio caption, the contents of a group box).
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form.font), FALSE);
  if (ATOM atom = GlobalAddAtomW(utf16(name).c_str()))
    SetPropA(hwnd, kControlNameProperty, reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(atom)));
  return hwnd;
}

void Win32WindowBackend::control_created(Window& window, const Control& control) {
  FormWindow* form = form_of(window);
  if (!form || !form->hwnd || control.kind() == ControlKind::Timer) return;
  auto c = std::make_unique<ControlWindow>();
  c->control = &control;
  c->kind = control.kind();
  c->name = control.name();

  // Places count from the client area, or from the container's top-left.
  POINT origin{control.place.left, control.place.top};
  if (!control.container.empty()) {
    for (auto& other : form->controls) {
      if (other->name == control.container) {
        origin.x += other->origin.x;
        origin.y += other->origin.y;
      }
    }
  }
  c->origin = origin;
  RECT at{origin.x, origin.y, origin.x + control.place.width, origin.y + control.place.height};
  // A panel with a bevel fills the window: the controls lie inside the bevel.
  if (const int bevel = window.layout().panel_bevel; bevel > 0) {
    at.left = std::max<LONG>(at.left, bevel);
    at.top = std::max<LONG>(at.top, bevel);
    at.right = std::min<LONG>(at.right, window.layout().client_width - bevel);
    at.bottom = std::min<LONG>(at.bottom, window.layout().client_height - bevel);
  }

  DWORD state = (control.visible() ? WS_VISIBLE : 0) | (control.enabled() ? 0 : WS_DISABLED);
  const auto* text_control = dynamic_cast<const TextControl*>(&control);
  const std::wstring text = text_control ? utf16(text_control->text()) : std::wstring();
  ++form->writing;
  switch (c->kind) {
    case ControlKind::Label: {
      // A borderless window is a message panel: its lines are centred.
      const DWORD align = window.layout().border == WindowLayout::Border::None ? SS_CENTER | SS_CENTERIMAGE : SS_LEFT;
      c->hwnd = make_child(*form, L"STATIC", text, state | align | SS_NOPREFIX, 0, at, c->name);
      break;
    }
    case ControlKind::Edit: {
      const auto& edit = static_cast<const Edit&>(control);
      c->hwnd = make_child(*form, L"EDIT", text,
                           state | WS_TABSTOP | ES_AUTOHSCROLL | (edit.read_only() ? ES_READONLY : 0),
                           WS_EX_CLIENTEDGE, at, c->name);
      break;
    }
    case ControlKind::Memo:
      c->hwnd = make_child(*form, L"EDIT", L"",
                           state | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL |
                               WS_HSCROLL,
                           WS_EX_CLIENTEDGE, at, c->name);
      if (c->hwnd) {
        SendMessageW(c->hwnd, EM_SETLIMITTEXT, kMemoTextLimit, 0);
        if (!form->fixed_font)
          form->fixed_font = make_font(kFixedFontFace, kDefaultFontHeight, DEFAULT_CHARSET, FIXED_PITCH | FF_MODERN);
        SendMessageW(c->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(form->fixed_font), FALSE);
        SetWindowTextW(c->hwnd, text.c_str());
      }
      break;
    case ControlKind::ListBox:
      c->hwnd = make_child(*form, L"LISTBOX", L"", state | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT,
                           WS_EX_CLIENTEDGE, at, c->name);
      if (c->hwnd) fill_list(*form, *c);
      break;
    case ControlKind::Grid:
      c->hwnd = make_child(*form, WC_LISTVIEWW, L"", state | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL,
                           WS_EX_CLIENTEDGE, at, c->name);
      if (c->hwnd) {
        ListView_SetExtendedListViewStyle(c->hwnd, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
        grid_columns(*c, true);
      }
      break;
    case ControlKind::Button:
      c->hwnd = make_child(*form, L"BUTTON", text, state | WS_TABSTOP | BS_PUSHBUTTON, 0, at, c->name);
      break;
    case ControlKind::CheckBox:
      c->hwnd = make_child(*form, L"BUTTON", text, state | WS_TABSTOP | BS_CHECKBOX, 0, at, c->name);
      if (c->hwnd && static_cast<const CheckBox&>(control).checked()) SendMessageW(c->hwnd, BM_SETCHECK, BST_CHECKED, 0);
      break;
    case ControlKind::RadioButton:
      c->hwnd = make_child(*form, L"BUTTON", text, state | WS_TABSTOP | BS_RADIOBUTTON, 0, at, c->name);
      if (c->hwnd && static_cast<const RadioButton&>(control).checked())
        SendMessageW(c->hwnd, BM_SETCHECK, BST_CHECKED, 0);
      break;
    case ControlKind::GroupBox:
      c->hwnd = make_child(*form, L"BUTTON", text, state | BS_GROUPBOX, 0, at, c->name);
      break;
    case ControlKind::RadioGroup: {
      const auto& group = static_cast<const RadioGroup&>(control);
      c->hwnd = make_child(*form, L"BUTTON", text, state | BS_GROUPBOX, 0, at, c->name);
      const int count = static_cast<int>(group.items().size());
      const int item_height = count > 0 ? (control.place.height - kGroupCaptionHeight - 4) / count : 0;
      for (int i = 0; i < count; ++i) {
        const LONG top = at.top + kGroupCaptionHeight + i * item_height;
        RECT item{at.left + kGroupItemLeft, top, at.right - kGroupItemLeft, top + item_height};
        HWND h = make_child(*form, L"BUTTON", utf16(group.items()[static_cast<std::size_t>(i)]),
                            state | WS_TABSTOP | BS_RADIOBUTTON, 0, item, c->name + "." + std::to_string(i));
        if (h && i == group.item_index()) SendMessageW(h, BM_SETCHECK, BST_CHECKED, 0);
        c->items.push_back(h);
      }
      break;
    }
    case ControlKind::UpDown: {
      const auto& updown = static_cast<const UpDown&>(control);
      c->hwnd = make_child(*form, UPDOWN_CLASSW, L"", state, 0, at, c->name);
      if (c->hwnd) {
        SendMessageW(c->hwnd, UDM_SETRANGE32, static_cast<WPARAM>(updown.min()), static_cast<LPARAM>(updown.max()));
        SendMessageW(c->hwnd, UDM_SETPOS32, 0, static_cast<LPARAM>(updown.position()));
      }
      break;
    }
    case ControlKind::ComboBox:
      at.bottom += kComboListHeight;
      c->hwnd = make_child(*form, WC_COMBOBOXW, L"", state | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL,
                           0, at, c->name);
      if (c->hwnd) fill_combo(*form, *c);
      break;
    case ControlKind::StatusBar:
      c->hwnd = make_child(*form, STATUSCLASSNAMEW, L"", state | CCS_BOTTOM, 0, at, c->name);
      if (c->hwnd) fill_status(*form, *c);
      break;
    case ControlKind::Timer:
      break;
  }
  --form->writing;
  form->controls.push_back(std::move(c));
}

void Win32WindowBackend::set_text(FormWindow& form, HWND hwnd, const std::string& text) {
  ++form.writing;
  SetWindowTextW(hwnd, utf16(text).c_str());
  --form.writing;
}

void Win32WindowBackend::fill_list(FormWindow& form, ControlWindow& c) {
  const auto& list = static_cast<const ListBox&>(*c.control);
  ++form.writing;
  const auto shown = static_cast<std::size_t>(std::max<LRESULT>(0, SendMessageW(c.hwnd, LB_GETCOUNT, 0, 0)));
  // Items come one at a time: add the new one, refill only after a clear.
  std::size_t from = shown;
  if (shown > list.count()) {
    SendMessageW(c.hwnd, LB_RESETCONTENT, 0, 0);
    from = 0;
  }
  for (std::size_t i = from; i < list.count(); ++i)
    SendMessageW(c.hwnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(utf16(list.items()[i]).c_str()));
  --form.writing;
}

void Win32WindowBackend::fill_combo(FormWindow& form, ControlWindow& c) {
  const auto& box = static_cast<const ComboBox&>(*c.control);
  ++form.writing;
  SendMessageW(c.hwnd, CB_RESETCONTENT, 0, 0);
  for (const std::string& item : box.items())
    SendMessageW(c.hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(utf16(item).c_str()));
  SetWindowTextW(c.hwnd, utf16(box.text()).c_str());
  --form.writing;
}

void Win32WindowBackend::fill_status(FormWindow& form, ControlWindow& c) {
  const auto& bar = static_cast<const StatusBar&>(*c.control);
  std::vector<int> edges;
  for (std::size_t i = 0; i < bar.panel_count(); ++i)
    edges.push_back(i + 1 == bar.panel_count() ? -1 : kStatusPortPanelWidth * static_cast<int>(i + 1));
  ++form.writing;
  SendMessageW(c.hwnd, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
  for (std::size_t i = 0; i < bar.panel_count(); ++i)
    SendMessageW(c.hwnd, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(utf16(bar.panel(i)).c_str()));
  --form.writing;
}

// The list view's columns: the table's widths, the header row's texts.
void Win32WindowBackend::grid_columns(ControlWindow& c, bool create) {
  const auto& grid = static_cast<const TextGrid&>(*c.control);
  for (int column = 0; column < grid.column_count(); ++column) {
    std::wstring title = utf16(grid.cell(column, 0));
    LVCOLUMNW lvc{};
    lvc.mask = LVCF_TEXT | LVCF_WIDTH;
    lvc.cx = grid.column_width(column);
    lvc.pszText = title.data();
    if (create)
      SendMessageW(c.hwnd, LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&lvc));
    else
      SendMessageW(c.hwnd, LVM_SETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&lvc));
  }
  ListView_SetItemCountEx(c.hwnd, std::max(grid.row_count() - 1, 0), LVSICF_NOSCROLL);
}

void Win32WindowBackend::control_text(Window& window, const std::string& control, const std::string& text) {
  FormWindow* form = form_of(window);
  if (!form) return;
  for (auto& c : form->controls)
    if (c->name == control && c->hwnd) set_text(*form, c->hwnd, text);
}

void Win32WindowBackend::control_changed(Window& window, const Control& control, Change change, int first_row,
                                         int last_row) {
  FormWindow* form = form_of(window);
  if (!form) return;
  ControlWindow* c = find(*form, control);
  if (!c || !c->hwnd) return;
  switch (change) {
    case Change::Text:
      if (c->kind == ControlKind::StatusBar) {
        fill_status(*form, *c);
      } else if (const auto* t = dynamic_cast<const TextControl*>(&control)) {
        // Typing that the window passed on comes back unchanged: leave the
        // field (and its caret) as the user has it.
        if ((c->kind == ControlKind::Edit || c->kind == ControlKind::ComboBox) && utf8(window_text(c->hwnd)) == t->text())
          break;
        set_text(*form, c->hwnd, t->text());
        // A visible line is drawn now, also while the library blocks.
        if (c->kind == ControlKind::Label && IsWindowVisible(c->hwnd)) UpdateWindow(c->hwnd);
      }
      break;
    case Change::Enabled:
      c->for_each_window([&](HWND h) { EnableWindow(h, control.enabled()); });
      break;
    case Change::Visible:
      c->for_each_window([&](HWND h) { ShowWindow(h, control.visible() ? SW_SHOWNA : SW_HIDE); });
      break;
    case Change::Checked: {
      bool on = false;
      if (const auto* box = dynamic_cast<const CheckBox*>(&control)) on = box->checked();
      if (const auto* radio = dynamic_cast<const RadioButton*>(&control)) on = radio->checked();
      SendMessageW(c->hwnd, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    }
    case Change::ItemIndex:
      if (const auto* group = dynamic_cast<const RadioGroup*>(&control))
        for (std::size_t i = 0; i < c->items.size(); ++i)
          SendMessageW(c->items[i], BM_SETCHECK,
                       static_cast<int>(i) == group->item_index() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case Change::Items:
      if (c->kind == ControlKind::ListBox) fill_list(*form, *c);
      if (c->kind == ControlKind::ComboBox) fill_combo(*form, *c);
      break;
    case Change::Position:
      if (const auto* updown = dynamic_cast<const UpDown*>(&control))
        SendMessageW(c->hwnd, UDM_SETPOS32, 0, static_cast<LPARAM>(updown->position()));
      break;
    case Change::RowCount:
      if (c->kind == ControlKind::Grid) grid_columns(*c, false);
      break;
    case Change::Rows:
      if (c->kind != ControlKind::Grid) break;
      if (first_row == 0) grid_columns(*c, false);
      if (last_row >= 1)
        SendMessageW(c->hwnd, LVM_REDRAWITEMS, static_cast<WPARAM>(std::max(first_row - 1, 0)),
                     static_cast<LPARAM>(last_row - 1));
      break;
  }
}

bool Win32WindowBackend::deliver(FormWindow& form, const UserAction& action) {
  try {
    return form.model->deliver(action);
  } catch (...) {
    // Nothing may unwind through the window system; the handler has
    // reported what it could.
    return false;
  }
}

LRESULT CALLBACK Win32WindowBackend::window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* form = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!form) return DefWindowProcW(hwnd, message, wparam, lparam);
  try {
    return handle(*form, hwnd, message, wparam, lparam);
  } catch (...) {
    return 0;
  }
}

// Turns a notification into the user's action. The action's handler may
// destroy the window (and `form` with it): nothing of it is used afterwards.
LRESULT Win32WindowBackend::handle(FormWindow& form, HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      deliver(form, {UserAction::CloseRequest, {}});
      return 0;
    case WM_PAINT:
      if (const int bevel = form.model->layout().panel_bevel; bevel > 0) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT r;
        GetClientRect(hwnd, &r);
        // A raised bevel two pixels wide, one pixel per edge pass.
        DrawEdge(dc, &r, bevel >= 2 ? EDGE_RAISED : BDR_RAISEDINNER, BF_RECT);
        EndPaint(hwnd, &ps);
        return 0;
      }
      break;
    case WM_CTLCOLORSTATIC: {
      const auto from = reinterpret_cast<HWND>(lparam);
      for (auto& c : form.controls) {
        if (c->hwnd != from || !c->control || c->kind != ControlKind::Label) continue;
        if (!static_cast<const Label&>(*c->control).grey) break;
        const LRESULT brush = DefWindowProcW(hwnd, message, wparam, lparam);
        SetTextColor(reinterpret_cast<HDC>(wparam), GetSysColor(COLOR_GRAYTEXT));
        return brush;
      }
      break;
    }
    case WM_COMMAND: {
      const auto from = reinterpret_cast<HWND>(lparam);
      const UINT code = HIWORD(wparam);
      if (!from) break;
      for (auto& owned : form.controls) {
        ControlWindow& c = *owned;
        if (!c.control) continue;
        if (c.hwnd == from) {
          switch (c.kind) {
            case ControlKind::Button:
            case ControlKind::CheckBox:
            case ControlKind::RadioButton:
              if (code == BN_CLICKED) deliver(form, {UserAction::Click, c.name});
              return 0;
            case ControlKind::Edit:
              if (code == EN_CHANGE && form.writing == 0)
                deliver(form, {UserAction::Type, c.name, 0, false, utf8(window_text(from))});
              return 0;
            case ControlKind::ComboBox:
              if (code == CBN_SELCHANGE && form.writing == 0) {
                const auto index = static_cast<int>(SendMessageW(from, CB_GETCURSEL, 0, 0));
                if (index >= 0) deliver(form, {UserAction::SelectItem, c.name, index});
              } else if (code == CBN_EDITCHANGE && form.writing == 0) {
                deliver(form, {UserAction::Type, c.name, 0, false, utf8(window_text(from))});
              }
              return 0;
            default:
              return 0;
          }
        }
        for (std::size_t i = 0; i < c.items.size(); ++i) {
          if (c.items[i] == from) {
            if (code == BN_CLICKED) deliver(form, {UserAction::SelectItem, c.name, static_cast<int>(i)});
            return 0;
          }
        }
      }
      break;
    }
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (!header) break;
      for (auto& owned : form.controls) {
        ControlWindow& c = *owned;
        if (!c.control || c.hwnd != header->hwndFrom) continue;
        if (c.kind == ControlKind::UpDown && header->code == UDN_DELTAPOS) {
          const auto* change = reinterpret_cast<const NMUPDOWN*>(lparam);
          if (change->iDelta != 0)
            deliver(form, {change->iDelta > 0 ? UserAction::ArrowUp : UserAction::ArrowDown, c.name});
          return TRUE;  // the library moves the position itself
        }
        if (c.kind == ControlKind::Grid && header->code == LVN_GETDISPINFOW) {
          auto* info = reinterpret_cast<NMLVDISPINFOW*>(lparam);
          if ((info->item.mask & LVIF_TEXT) && info->item.pszText && info->item.cchTextMax > 0) {
            const auto& grid = static_cast<const TextGrid&>(*c.control);
            const std::wstring cell = utf16(grid.cell(info->item.iSubItem, info->item.iItem + 1));
            lstrcpynW(info->item.pszText, cell.c_str(), info->item.cchTextMax);
          }
          return 0;
        }
        break;
      }
      break;
    }
    default:
      break;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

}  // namespace

std::shared_ptr<WindowBackend> make_platform_window_backend() { return std::make_shared<Win32WindowBackend>(); }

}  // namespace vkt::ui
