#pragma once
// The window system the library draws its windows with, chosen by the build:
// real Win32 windows on Windows (window_backend_win32.cpp), the headless
// backend elsewhere (window_backend_headless.cpp).
//
// The Win32 windows, for a program that drives them by window messages (an
// automation tool, the end-to-end tests):
//  - Each library window is a top-level window, owned by no other window,
//    whose Win32 class name is the library's window class: "TForm2" (the
//    monitor window), "TForm3" (the progress popup), "TForm4" (the settings
//    dialog). Its title is the window's caption.
//  - Each control is a child of that top-level window (group boxes and radio
//    groups contain their controls only visually) and carries the window
//    property "VKTComName" (kControlNameProperty): a global atom whose name
//    is the control's name, for example "Button_set" or
//    "ComboBox_starttime_mm". A radio group is a group box named after the
//    group; its items are radio buttons named "<group>.<index>", for example
//    "RadioGroup_wait.5". Atoms ignore case (an atom keeps the spelling of
//    the name's first use in the system): compare names without case.
//    Control IDs (GetDlgCtrlID) are unique within a
//    window but not fixed: find controls by name.
//  - Every notification goes to the top-level window and is turned into the
//    user's action there: BN_CLICKED of a button, tick box or radio button;
//    CBN_SELCHANGE and CBN_EDITCHANGE of a start-time list; EN_CHANGE of an
//    edit that takes typing; UDN_DELTAPOS of an up-down (the library moves
//    the position itself, one step, stopping at the bounds); WM_CLOSE. Text
//    that the library itself puts into a control never comes back as typing.
//  - Controls by kind: labels are STATIC; edits and the memo EDIT (the memo
//    read-only, multi-line, fixed-pitch, taking texts of many megabytes);
//    lists LISTBOX; buttons, tick boxes, radio buttons and group boxes
//    BUTTON; start-time lists COMBOBOX (CBS_DROPDOWN); up-downs
//    msctls_updown32; the status bar msctls_statusbar32; the record table a
//    virtual report list view (SysListView32, LVS_OWNERDATA) whose header is
//    the table's fixed header row and whose item i is the table's row i + 1,
//    its cells read from the table when drawn.
//  - The windows live on the thread that created them (the host's thread);
//    a window the library releases is destroyed at its next dispatch.
#include <memory>

#include "ui/backend.h"

namespace vkt::ui {

// The name of the window property that holds a control's name as a global atom.
inline constexpr char kControlNameProperty[] = "VKTComName";

// The platform's window system: Win32 windows on Windows, the headless
// backend elsewhere.
std::shared_ptr<WindowBackend> make_platform_window_backend();

}  // namespace vkt::ui
