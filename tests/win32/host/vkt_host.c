/* vkt_host: a 32-bit Windows application that uses vktcom.dll the way the
 * library's hosts do: LoadLibrary, the exports resolved by name and by
 * ordinal, stdcall calls, Booleans read from the low byte only.
 *
 *   vkt_host <dll> exports              the export table, version, Booleans
 *   vkt_host <dll> road <expected>      search, open, connect, clock, download,
 *                                       accessors against <expected> (one
 *                                       vkt_get_all line per record), close,
 *                                       release, unload
 *   vkt_host <dll> clock-error <text>   a logger that leaves a clock command
 *                                       unanswered: vkt_clkset fails after the
 *                                       message box <text>
 *   vkt_host <dll> unplug               the logger hangs up during a download
 *   vkt_host <dll> replug               ... and comes back: the port opens again
 *   vkt_host <dll> unload-open          FreeLibrary with the port open
 *   vkt_host <dll> exit-open            the process ends with the port open and
 *                                       the library loaded
 *   vkt_host <dll> settings-dialog <transcript>
 *                                       the settings dialog worked by window
 *                                       messages: read back, edited, applied
 *                                       (checked against the simulator's
 *                                       <transcript>), a refused start time,
 *                                       a close request, release
 *   vkt_host <dll> monitor-window <transcript> <records>
 *                                       the monitor window's buttons, its grid,
 *                                       and the popup's texts in order during a
 *                                       download and when the port comes and goes
 *
 * The logger is expected on COM5. Message boxes are found on a second
 * thread, their texts printed ("BOX <text>") and answered with OK; when
 * the environment variable VKTHOST_SHOTS names a folder, each box is first
 * captured there as "<mode>-box<n>.bmp" (screenshot.h). The last
 * line is "VKTHOST <mode> PASSED" or "VKTHOST <mode> FAILED"; the test
 * script judges the run by it.
 */
#include <windows.h>
#include <commctrl.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "screenshot.h"

typedef void(WINAPI *void_fn)(void);
typedef unsigned int(WINAPI *bool_fn)(void); /* only the low byte is defined */
typedef int(WINAPI *int_fn)(void);
typedef int(WINAPI *int_int_fn)(int);
typedef unsigned int(WINAPI *bool_int_fn)(int);
typedef void(WINAPI *row_text_fn)(int, char *);
typedef void(WINAPI *row_bytes_fn)(int, unsigned char *);

static const struct {
  int ordinal;
  const char *name;
} kExports[] = {
    {1, "form_open"},         {2, "form_close"},          {3, "form_release"},       {10, "com_open"},
    {11, "com_close"},        {12, "com_search_timer"},   {13, "com_search"},        {14, "vkt_dll_ver"},
    {15, "vkt_connect"},      {16, "vkt_clkset"},         {17, "vkt_startsetcheck"}, {20, "vkt_inputdata"},
    {21, "vkt_datacount"},    {22, "vkt_getdata"},        {23, "vkt_get_date"},      {24, "vkt_get_year"},
    {25, "vkt_get_month"},    {26, "vkt_get_day"},        {27, "vkt_get_time"},      {30, "vkt_get_deg"},
    {31, "vkt_get_x"},        {32, "vkt_get_y"},          {33, "vkt_get_z"},         {34, "vkt_get_humi"},
    {35, "vkt_get_all"},      {40, "vkt_set_command"},    {41, "vkt_get_param"},     {42, "vkt_get_reservetime"},
    {50, "settingform_open"}, {51, "settingform_close"},  {52, "settingform_release"}, {53, "settingform_check"},
};
#define EXPORT_COUNT (sizeof kExports / sizeof kExports[0])

static HMODULE g_dll;
static int g_failures;
static const char *g_mode = "";

static void fail(const char *format, ...) {
  va_list args;
  va_start(args, format);
  printf("FAIL: ");
  vprintf(format, args);
  printf("\n");
  va_end(args);
  fflush(stdout);
  ++g_failures;
}

static int finish(void) {
  printf("VKTHOST %s %s\n", g_mode, g_failures == 0 ? "PASSED" : "FAILED");
  fflush(stdout);
  return g_failures == 0 ? 0 : 1;
}

typedef void (*any_fn)(void); /* the cast that says "any function" */

static any_fn by_name(const char *name) {
  FARPROC f = GetProcAddress(g_dll, name);
  if (!f) fail("export %s missing", name);
  return (any_fn)f;
}

#define FN(type, name) ((type)by_name(name))

static int low_byte_bool(unsigned int result, const char *what) {
  unsigned int b = result & 0xFFu;
  if (b > 1) fail("%s: Boolean low byte %u", what, b);
  return (int)b;
}

/* Writes a window's picture; the message boxes and the windows of the
   scenarios below call it at the moment each is worth seeing. */
static void take_shot(HWND window, const char *name);

/* ---- message boxes: found, recorded, answered ---- */

static char g_boxes[16][512];
static volatile LONG g_box_count;
static volatile LONG g_stop_answering;

/* The box as a person sees it, before it is answered, as
   "<mode>-box<n>.bmp" (only when VKTHOST_SHOTS names a folder). */
static void shoot_box(HWND box) {
  char name[64];
  snprintf(name, sizeof name, "%s-box%ld", g_mode, (long)g_box_count + 1);
  if (vkt_shot_named(box, name) < 0) fail("screenshot %s: %s", name, vkt_shot_error());
}

static DWORD WINAPI answer_boxes(LPVOID unused) {
  (void)unused;
  while (!g_stop_answering) {
    HWND box = FindWindowA("#32770", "VKTCom");
    if (box) {
      shoot_box(box);
      LONG n = g_box_count;
      if (n < 16) {
        WCHAR text[512];
        text[0] = 0;
        GetDlgItemTextW(box, 0xFFFF, text, 512);
        WideCharToMultiByte(CP_UTF8, 0, text, -1, g_boxes[n], sizeof g_boxes[n], NULL, NULL);
        InterlockedIncrement(&g_box_count);
        printf("BOX %s\n", g_boxes[n]);
        fflush(stdout);
      }
      PostMessageA(box, WM_COMMAND, IDOK, 0);
      while (IsWindow(box) && !g_stop_answering) Sleep(5);
    }
    Sleep(10);
  }
  return 0;
}

static HANDLE start_answering(void) { return CreateThread(NULL, 0, answer_boxes, NULL, 0, NULL); }

static void stop_answering(HANDLE thread) {
  g_stop_answering = 1;
  WaitForSingleObject(thread, 5000);
  CloseHandle(thread);
}

/* ---- modes ---- */

/* The library's hidden message-only window (the host-loop timer), if any. */
static HWND library_window(void) { return FindWindowExA(HWND_MESSAGE, NULL, "VKTComMessageTimer", NULL); }

static void check_exports(void) {
  int ordinal;
  size_t i;
  /* Loading created nothing; neither does a call that touches no state. */
  if (library_window()) fail("the library made a window at load");
  for (ordinal = 1; ordinal <= 60; ++ordinal) {
    FARPROC f = GetProcAddress(g_dll, MAKEINTRESOURCEA(ordinal));
    const char *name = NULL;
    for (i = 0; i < EXPORT_COUNT; ++i)
      if (kExports[i].ordinal == ordinal) name = kExports[i].name;
    if (!name) {
      if (f) fail("ordinal %d resolves but must be empty", ordinal);
      continue;
    }
    if (!f) {
      fail("ordinal %d (%s) does not resolve", ordinal, name);
    } else if (f != GetProcAddress(g_dll, name)) {
      fail("ordinal %d and name %s resolve to different functions", ordinal, name);
    }
  }
  /* Decorated names and the Linux extensions are not exported. */
  if (GetProcAddress(g_dll, "_form_open@0") || GetProcAddress(g_dll, "form_open@0"))
    fail("decorated name exported");
  if (GetProcAddress(g_dll, "vkt_process_messages") || GetProcAddress(g_dll, "vkt_get_records"))
    fail("a Linux extension is exported");

  if (FN(int_fn, "vkt_dll_ver")() != 107) fail("vkt_dll_ver is not 107");
  if (library_window()) fail("vkt_dll_ver made a window");
  if (low_byte_bool(FN(bool_fn, "settingform_check")(), "settingform_check") != 0)
    fail("settingform_check before any dialog");
  if (low_byte_bool(FN(bool_int_fn, "com_search_timer")(1), "com_search_timer(1)") != 1) fail("timer not on");
  if (low_byte_bool(FN(bool_int_fn, "com_search_timer")(0), "com_search_timer(0)") != 0) fail("timer not off");
  /* No monitor window, closed port: failure values, no crash. */
  FN(void_fn, "form_release")();
  if (low_byte_bool(FN(bool_fn, "vkt_connect")(), "vkt_connect") != 0) fail("connect without a port");
}

static int open_logger(void) {
  int port = FN(int_fn, "com_search")();
  if (port != 5) fail("com_search found %d, expected 5", port);
  if (FN(int_int_fn, "com_open")(5) != 5) {
    fail("com_open(5) failed");
    return 0;
  }
  return 1;
}

/* The host's own window: counts the posted messages and timer ticks it is
   served while the library waits for the logger. */
static volatile LONG g_host_posted, g_host_ticks;

static LRESULT CALLBACK host_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP) ++g_host_posted;
  if (message == WM_TIMER) ++g_host_ticks;
  return DefWindowProcA(window, message, wparam, lparam);
}

static HWND make_host_window(void) {
  WNDCLASSA wc;
  memset(&wc, 0, sizeof wc);
  wc.lpfnWndProc = host_window_proc;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.lpszClassName = "VktHostWindow";
  RegisterClassA(&wc);
  return CreateWindowA("VktHostWindow", "host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, NULL, NULL, wc.hInstance, NULL);
}

static void road(const char *expected_path) {
  FILE *expected = fopen(expected_path, "r");
  char want[256], got[256];
  int rows = 0, count, row;
  DWORD start, elapsed;
  HWND window;
  unsigned char data[14];
  if (!expected) {
    fail("cannot read %s", expected_path);
    return;
  }
  if (!open_logger()) {
    fclose(expected);
    return;
  }
  if (!low_byte_bool(FN(bool_fn, "vkt_connect")(), "vkt_connect")) fail("vkt_connect");
  if (!low_byte_bool(FN(bool_fn, "vkt_clkset")(), "vkt_clkset")) fail("vkt_clkset");
  window = make_host_window();
  SetTimer(window, 1, 50, NULL);
  start = GetTickCount();
  if (!low_byte_bool(FN(bool_fn, "vkt_inputdata")(), "vkt_inputdata")) fail("vkt_inputdata");
  elapsed = GetTickCount() - start;
  KillTimer(window, 1);
  DestroyWindow(window);
  count = FN(int_fn, "vkt_datacount")();
  printf("DOWNLOAD %d records in %lu ms\n", count, (unsigned long)elapsed);
  /* The download dispatches while it receives: the host's window is served. */
  printf("HOST WINDOW timer ticked %ld times during the download\n", (long)g_host_ticks);
  if (elapsed > 1000 && (DWORD)g_host_ticks < elapsed / 200)
    fail("the host's timer ticked only %ld times in %lu ms", (long)g_host_ticks, (unsigned long)elapsed);
  for (row = 1; fgets(want, sizeof want, expected); ++row) {
    want[strcspn(want, "\r\n")] = 0;
    if (!want[0]) break;
    memset(got, 0, sizeof got);
    FN(row_text_fn, "vkt_get_all")(row, got);
    if (strcmp(got, want) != 0 && g_failures < 10) fail("row %d: \"%s\", expected \"%s\"", row, got, want);
    ++rows;
  }
  fclose(expected);
  if (count != rows) fail("vkt_datacount %d, expected %d", count, rows);
  memset(data, 0xAA, sizeof data);
  FN(row_bytes_fn, "vkt_getdata")(1, data);
  if (data[0] != 1) fail("vkt_getdata row 1: byte 0 is %u", data[0]);
  FN(void_fn, "com_close")();
  FN(void_fn, "form_release")();
}

static void clock_error(const char *text) {
  HANDLE answerer = start_answering();
  HWND window = make_host_window();
  PostMessageA(window, WM_APP, 0, 0);
  if (open_logger()) {
    if (low_byte_bool(FN(bool_fn, "vkt_clkset")(), "vkt_clkset") != 0) fail("vkt_clkset succeeded");
  }
  /* The dispatch after sending the command served the host's window. */
  printf("HOST WINDOW served %ld posted message(s) during vkt_clkset\n", (long)g_host_posted);
  if (g_host_posted != 1) fail("the host's posted message was not served during vkt_clkset");
  DestroyWindow(window);
  stop_answering(answerer);
  if (g_box_count != 1 || strcmp(g_boxes[0], text) != 0)
    fail("%ld boxes, the first \"%s\"; expected one \"%s\"", (long)g_box_count, g_box_count ? g_boxes[0] : "", text);
  FN(void_fn, "com_close")();
  FN(void_fn, "form_release")();
}

static void unplug(void) {
  DWORD start, elapsed;
  if (!open_logger()) return;
  if (!low_byte_bool(FN(bool_fn, "vkt_connect")(), "vkt_connect")) fail("vkt_connect");
  start = GetTickCount();
  if (low_byte_bool(FN(bool_fn, "vkt_inputdata")(), "vkt_inputdata") != 0) fail("download of an unplugged logger succeeded");
  elapsed = GetTickCount() - start;
  printf("UNPLUG download ended after %lu ms\n", (unsigned long)elapsed);
  /* About 1 s of records before the hang-up, then the error stays up in the
     progress popup for 3 s. The hang-up ends the wait at once: waiting for
     3 s of silence as well would take over 7 s. */
  if (elapsed > 5500) fail("the hang-up did not end the download's wait (%lu ms)", (unsigned long)elapsed);
  FN(void_fn, "com_close")();
  FN(void_fn, "form_release")();
}

/* The logger hangs up during a download and comes back on the same port
   number: the port opens again and the logger answers. */
static void replug(void) {
  DWORD start;
  int back = 0;
  if (!open_logger()) return;
  if (!low_byte_bool(FN(bool_fn, "vkt_connect")(), "vkt_connect")) fail("vkt_connect");
  if (low_byte_bool(FN(bool_fn, "vkt_inputdata")(), "vkt_inputdata") != 0) fail("download of an unplugged logger succeeded");
  FN(void_fn, "com_close")();
  start = GetTickCount();
  while (!back && GetTickCount() - start < 15000) {
    Sleep(200);
    if (FN(int_int_fn, "com_open")(5) != 5) continue;
    back = low_byte_bool(FN(bool_fn, "vkt_connect")(), "vkt_connect");
    if (!back) FN(void_fn, "com_close")();
  }
  printf("REPLUG the port answered again after %lu ms\n", (unsigned long)(GetTickCount() - start));
  if (!back) fail("the port did not come back");
  FN(void_fn, "com_close")();
  FN(void_fn, "form_release")();
}

static void unload_open(void) {
  DWORD start, elapsed;
  if (!open_logger()) return;
  if (!low_byte_bool(FN(bool_fn, "vkt_connect")(), "vkt_connect")) fail("vkt_connect");
  if (!library_window()) fail("no host-loop window while the library is in use");
  start = GetTickCount();
  if (!FreeLibrary(g_dll)) fail("FreeLibrary failed");
  elapsed = GetTickCount() - start;
  g_dll = NULL;
  printf("UNLOAD with the port open took %lu ms\n", (unsigned long)elapsed);
  if (library_window()) fail("a window of the library outlived its unload");
  if (elapsed > 5000) fail("unload took %lu ms", (unsigned long)elapsed);
}

/* ---- the library's windows, driven by window messages as a person would ----
 * Controls are found by the name the library gives them (the window
 * property "VKTComName" holds it as a global atom); every action is the
 * notification a person's click, choice, arrow press or typing sends to the
 * window. The place for each window's picture is marked by take_shot. */

typedef struct {
  const char *name;
  HWND found;
} control_search;

static BOOL CALLBACK match_control(HWND hwnd, LPARAM param) {
  control_search *search = (control_search *)param;
  ATOM atom = (ATOM)(UINT_PTR)GetPropA(hwnd, "VKTComName");
  char name[256];
  /* Atoms keep the case of the first use of a name: compare without case. */
  if (atom && GlobalGetAtomNameA(atom, name, sizeof name) && lstrcmpiA(name, search->name) == 0) {
    search->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

static HWND control(HWND top, const char *name) {
  control_search search;
  search.name = name;
  search.found = NULL;
  if (top) EnumChildWindows(top, match_control, (LPARAM)&search);
  if (!search.found) fail("no control %s", name);
  return search.found;
}

/* The capture of `window` into <name>.bmp (only when VKTHOST_SHOTS names a
   folder). */
static void take_shot(HWND window, const char *name) {
  if (vkt_shot_named(window, name) < 0) fail("screenshot %s: %s", name, vkt_shot_error());
}

static void to_utf8(const WCHAR *text, char *out, int size) {
  out[0] = 0;
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out, size, NULL, NULL);
}

static const char *text_of(HWND hwnd) {
  static char out[1024];
  WCHAR text[512];
  text[0] = 0;
  if (hwnd) GetWindowTextW(hwnd, text, 512);
  to_utf8(text, out, sizeof out);
  return out;
}

static void expect_text(HWND top, const char *name, const char *want) {
  const char *got = text_of(control(top, name));
  if (strcmp(got, want) != 0) fail("%s shows \"%s\", expected \"%s\"", name, got, want);
}

static int checked(HWND top, const char *name) {
  return SendMessageW(control(top, name), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

static void expect_checked(HWND top, const char *name) {
  if (!checked(top, name)) fail("%s is not selected", name);
}

static void notify(HWND child, UINT code) {
  if (child)
    SendMessageW(GetParent(child), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), code), (LPARAM)child);
}

/* A click on a button, tick box or radio button. */
static void press(HWND top, const char *name) { notify(control(top, name), BN_CLICKED); }

/* A choice from a drop-down list. */
static void choose(HWND top, const char *name, int index) {
  HWND box = control(top, name);
  SendMessageW(box, CB_SETCURSEL, (WPARAM)index, 0);
  notify(box, CBN_SELCHANGE);
}

/* Typing into a drop-down list's field. */
static void type_into(HWND top, const char *name, const char *text) {
  HWND box = control(top, name);
  SetWindowTextA(box, text);
  notify(box, CBN_EDITCHANGE);
}

/* Presses of an up-down's arrow (delta 1: up, -1: down). */
static void arrow(HWND top, const char *name, int delta, int times) {
  HWND updown = control(top, name);
  NMUPDOWN change;
  int i;
  for (i = 0; i < times && updown; ++i) {
    memset(&change, 0, sizeof change);
    change.hdr.hwndFrom = updown;
    change.hdr.idFrom = (UINT_PTR)GetDlgCtrlID(updown);
    change.hdr.code = UDN_DELTAPOS;
    change.iDelta = delta;
    SendMessageW(GetParent(updown), WM_NOTIFY, change.hdr.idFrom, (LPARAM)&change);
  }
}

static void expect_client(HWND top, int width, int height) {
  RECT r;
  GetClientRect(top, &r);
  if (r.right != width || r.bottom != height)
    fail("client area %ldx%ld, expected %dx%d", (long)r.right, (long)r.bottom, width, height);
}

/* The host's message loop for up to `ms`, or until `done` says so. */
static void message_loop(DWORD ms, int (*done)(void)) {
  DWORD start = GetTickCount();
  MSG msg;
  while (GetTickCount() - start < ms) {
    while (PeekMessageW(&msg, NULL, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done && done()) return;
    Sleep(10);
  }
}

static int dialog_finished(void) { return (FN(bool_fn, "settingform_check")() & 0xFF) == 0; }

typedef void(WINAPI *text_fn)(char *);

static const char *reservetime(void) {
  static char text[256];
  memset(text, 0, sizeof text);
  FN(text_fn, "vkt_get_reservetime")(text);
  return text;
}

/* Everything the host sent the logger, from the simulator's transcript. */
static size_t sent_to_logger(const char *path, char *out, size_t size) {
  FILE *file = fopen(path, "r");
  char line[512];
  size_t n = 0;
  out[0] = 0;
  if (!file) {
    fail("cannot read the transcript %s", path);
    return 0;
  }
  while (fgets(line, sizeof line, file)) {
    char *text, *end, *p;
    if (!strstr(line, " <- ")) continue;
    text = strchr(line, '|');
    end = strrchr(line, '|');
    if (!text || end == text) continue;
    for (p = text + 1; p < end && n + 1 < size; ++p) {
      if (*p == '\\' && p + 1 < end) {
        ++p;
        if (*p == 'r') out[n++] = '\r';
        else if (*p == 'n') out[n++] = '\n';
        else if (*p == '\\') out[n++] = '\\';
        else if (*p == 'x' && p + 2 < end) {
          char hex[3] = {p[1], p[2], 0};
          out[n++] = (char)strtol(hex, NULL, 16);
          p += 2;
        }
      } else {
        out[n++] = *p;
      }
    }
  }
  out[n] = 0;
  fclose(file);
  return n;
}

static char g_sent[1 << 16];

/* The settings dialog: read back, edited, applied; a refused start time;
   a close request; release. */
static void settings_dialog(const char *transcript) {
  HANDLE answerer = start_answering();
  HWND dialog;
  size_t mark;
  char want[256], label[64];
  struct tm start;
  time_t tomorrow = time(NULL) + 24 * 3600;
  LONG boxes;

  FN(void_fn, "settingform_open")();
  dialog = FindWindowA("TForm4", NULL);
  if (!dialog || !IsWindowVisible(dialog)) {
    fail("settingform_open showed no dialog");
    stop_answering(answerer);
    return;
  }
  if (strcmp(text_of(dialog), "VKT Setting") != 0) fail("dialog title \"%s\"", text_of(dialog));
  expect_client(dialog, 535, 427);
  if (GetWindow(dialog, GW_OWNER)) fail("the dialog has an owner");
  if (!(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST)) fail("the dialog is not on top");
  if (GetWindowLongW(dialog, GWL_STYLE) & WS_SYSMENU) fail("the dialog has border icons");
  if ((FN(bool_fn, "settingform_check")() & 0xFF) != 1) fail("settingform_check is not 1 while the dialog is open");
  /* The logger's settings, read back into the controls (the simulator's
     defaults: record A, interval 6, type 10, wait 0, My_ID 1, detect 5,
     ADJ_h1 and ADJ_h3 0, revision 1.07). */
  expect_checked(dialog, "RadioGroup_Record.2");
  expect_checked(dialog, "RadioGroup_Interval.0");
  expect_checked(dialog, "RadioGroup_Type.0");
  expect_checked(dialog, "RadioGroup_wait.0");
  expect_checked(dialog, "RadioButton_ADJ_h1_1");
  expect_checked(dialog, "RadioGroup_ADJ_h3.0");
  expect_text(dialog, "Edit_My_ID", "1");
  expect_text(dialog, "Edit_detect", "5");
  expect_text(dialog, "Label_vktrev", "1.07");
  expect_text(dialog, "Label4", "\xe6\x9c\x88"); /* 月 */
  if (IsWindowEnabled(control(dialog, "ComboBox_starttime_mm"))) fail("the start-time fields are enabled at the show");
  take_shot(dialog, "settings-dialog");
  mark = sent_to_logger(transcript, g_sent, sizeof g_sent);

  /* A person's edits. */
  press(dialog, "RadioGroup_Record.3");
  press(dialog, "RadioGroup_Type.4");
  press(dialog, "RadioGroup_Interval.2");
  press(dialog, "RadioGroup_wait.5");
  arrow(dialog, "UpDown_wait", 1, 2);
  press(dialog, "RadioButton_ADJ_h1_2");
  arrow(dialog, "UpDown_ADJ_h1", 1, 4);
  press(dialog, "RadioGroup_ADJ_h3.1");
  arrow(dialog, "UpDown_My_ID", 1, 3);
  arrow(dialog, "UpDown_detect", 1, 2);
  arrow(dialog, "UpDown_detect", -1, 1);
  press(dialog, "CheckBox_starttime");
  if (!checked(dialog, "CheckBox_starttime")) fail("the start-time box did not tick");
  if (!IsWindowEnabled(control(dialog, "ComboBox_starttime_mm"))) fail("the start-time fields stay disabled");
  start = *localtime(&tomorrow);
  choose(dialog, "ComboBox_starttime_mm", start.tm_mon);
  choose(dialog, "ComboBox_starttime_dd", start.tm_mday - 1);
  choose(dialog, "ComboBox_starttime_hh", start.tm_hour);
  choose(dialog, "ComboBox_starttime_nn", start.tm_min);
  snprintf(label, sizeof label, "%s", text_of(control(dialog, "Edit_ADJ_h1")));

  press(dialog, "Button_set");
  message_loop(30000, dialog_finished);
  if (!dialog_finished()) fail("settingform_check did not return to 0 after Ok");
  if (IsWindowVisible(dialog)) fail("the dialog is still shown after Ok");
  snprintf(want, sizeof want, "l%02d/%02d %02d:%02d", start.tm_mon + 1, start.tm_mday, start.tm_hour, start.tm_min);
  if (strcmp(reservetime(), want) != 0) fail("vkt_get_reservetime \"%s\", expected \"%s\"", reservetime(), want);
  printf("DIALOG reservation %s, ADJ_h1 %s\n", reservetime(), label);
  /* The dialog's connect and exactly the eight settings commands: every
     edit above reached the dialog. */
  snprintf(want, sizeof want, "mpjB50i9w07Ox%02dOz01N04d06", atoi(label));
  sent_to_logger(transcript, g_sent, sizeof g_sent);
  printf("DIALOG sent after the edits: %s\n", g_sent + mark);
  if (strcmp(g_sent + mark, want) != 0) fail("the logger received \"%s\", expected \"%s\"", g_sent + mark, want);

  /* A start time that cannot be: its message box, the dialog back (what
     else the refusal does is Apply.RefusedStartTimeShowsTheDialogAgain's). */
  FN(void_fn, "settingform_open")();
  if (!IsWindowVisible(dialog)) fail("settingform_open did not show the dialog again");
  press(dialog, "CheckBox_starttime");
  type_into(dialog, "ComboBox_starttime_mm", "02");
  type_into(dialog, "ComboBox_starttime_dd", "30");
  boxes = g_box_count;
  press(dialog, "Button_set");
  message_loop(2000, NULL);
  if (g_box_count != boxes + 1)
    fail("%ld message boxes for the refused start time, expected 1", (long)(g_box_count - boxes));
  else if (strncmp(g_boxes[boxes], "\xe4\xba\x88\xe7\xb4\x84", 6) != 0) /* 予約 */
    fail("the message \"%s\"", g_boxes[boxes]);
  if (!IsWindowVisible(dialog)) fail("the dialog did not come back after the refused start time");

  /* A close request hides the dialog, which stays in use. (Cancel is the
     portable suites': its click arrives as Ok's does.) */
  SendMessageW(dialog, WM_CLOSE, 0, 0);
  if (IsWindowVisible(dialog)) fail("the close request left the dialog shown");
  if (!IsWindow(dialog)) fail("the close request destroyed the dialog");
  if (!(FN(bool_fn, "settingform_check")() & 0xFF)) fail("settingform_check is 0 after a close request");

  /* Released: destroyed at the next dispatch. */
  FN(void_fn, "settingform_release")();
  message_loop(500, NULL);
  FN(bool_fn, "settingform_check")();
  if (IsWindow(dialog)) fail("the released dialog still exists");
  stop_answering(answerer);
  printf("DIALOG %ld message box(es)\n", (long)g_box_count);
}

/* ---- the popup's lines, as they are given their texts ----
 * A hook on the thread's window procedure calls sees every WM_SETTEXT to a
 * line of a TForm3, however short the phase that shows it. */

#define POPUP_TEXTS 4096
static char g_popup[POPUP_TEXTS][64];
static int g_popup_count;

static LRESULT CALLBACK record_popup_texts(int code, WPARAM wparam, LPARAM lparam) {
  /* Seen after the line has taken its text, so that a picture taken here
     shows it. */
  const CWPRETSTRUCT *call = (const CWPRETSTRUCT *)lparam;
  if (code == HC_ACTION && call->message == WM_SETTEXT && g_popup_count < POPUP_TEXTS) {
    char parent_class[32], name[32], text[48];
    ATOM atom = (ATOM)(UINT_PTR)GetPropA(call->hwnd, "VKTComName");
    parent_class[0] = name[0] = 0;
    GetClassNameA(GetParent(call->hwnd), parent_class, sizeof parent_class);
    if (atom && strcmp(parent_class, "TForm3") == 0 && GlobalGetAtomNameA(atom, name, sizeof name)) {
      to_utf8((const WCHAR *)call->lParam, text, sizeof text);
      snprintf(g_popup[g_popup_count++], sizeof g_popup[0], "%s=%s", name, text);
      /* The first running count: the popup shows its receiving text and total. */
      if (g_popup_count >= 2 && strncmp(g_popup[g_popup_count - 1], "Label2=", 7) == 0 &&
          strncmp(g_popup[g_popup_count - 2], "Label3=Total=", 13) == 0)
        take_shot(GetParent(call->hwnd), "progress-popup");
    }
  }
  return CallNextHookEx(NULL, code, wparam, lparam);
}

/* The index of the first popup text from `from` on that equals `want`, or -1. */
static int popup_text(int from, const char *want) {
  int i;
  for (i = from; i < g_popup_count; ++i)
    if (strcmp(g_popup[i], want) == 0) return i;
  return -1;
}

static int popup_said_connected(void) { return popup_text(0, "Label1=\xe6\x8e\xa5\xe7\xb6\x9a") >= 0; }    /* 接続 */
static int popup_said_disconnected(void) { return popup_text(0, "Label1=\xe5\x88\x87\xe6\x96\xad") >= 0; } /* 切断 */

static void print_popup_texts(const char *what) {
  int i, shown = 0;
  printf("POPUP %s: %d texts:", what, g_popup_count);
  for (i = 0; i < g_popup_count; ++i) {
    /* The running counts are many: the first and last few of them. */
    if (strncmp(g_popup[i], "Label2=", 7) == 0 && i > 4 && i < g_popup_count - 4 &&
        strncmp(g_popup[i + 1], "Label2=", 7) == 0 && strncmp(g_popup[i - 1], "Label2=", 7) == 0) {
      if (!shown++) printf(" ...");
      continue;
    }
    shown = 0;
    printf(" [%s]", g_popup[i]);
  }
  printf("\n");
}

/* The monitor window: its buttons, its grid, and the popups of a download and
   of the port appearing and going. */
static void monitor_window(const char *transcript, int records) {
  HWND monitor, grid;
  HHOOK hook;
  char want[64], cell[64];
  WCHAR wide_cell[64];
  LVITEMW item;
  size_t mark, n;
  int count, i;

  FN(void_fn, "form_open")();
  monitor = FindWindowA("TForm2", NULL);
  if (!monitor || !IsWindowVisible(monitor)) {
    fail("form_open showed no monitor window");
    return;
  }
  if (strcmp(text_of(monitor), "Form2") != 0) fail("monitor title \"%s\"", text_of(monitor));
  expect_client(monitor, 848, 626);
  if (GetWindowLongW(monitor, GWL_STYLE) & WS_SYSMENU) fail("the monitor window has title-bar buttons");
  expect_text(monitor, "Button1", "USBRS_Search");
  expect_text(monitor, "CheckBox1", "Terminal Active");

  /* USBRS_Search fills the four lists; the logger is on COM5. */
  press(monitor, "Button1");
  for (i = 11; i <= 14; ++i) {
    snprintf(want, sizeof want, "ListBox%d", i);
    if (SendMessageW(control(monitor, want), LB_GETCOUNT, 0, 0) < 1) fail("%s is empty after the search", want);
  }
  wide_cell[0] = 0;
  SendMessageW(control(monitor, "ListBox14"), LB_GETTEXT, 0, (LPARAM)wide_cell);
  to_utf8(wide_cell, cell, sizeof cell);
  if (strcmp(cell, "COM5") != 0) fail("ListBox14 begins with \"%s\"", cell);
  expect_text(monitor, "Label11", "finished");

  if (!open_logger()) return;
  if (!low_byte_bool(FN(bool_fn, "vkt_connect")(), "vkt_connect")) fail("vkt_connect");

  /* inputdata_block: the download fills the grid, the popup shows its progress. */
  hook = SetWindowsHookExW(WH_CALLWNDPROCRET, record_popup_texts, NULL, GetCurrentThreadId());
  press(monitor, "Button2");
  grid = control(monitor, "StringGrid1");
  count = FN(int_fn, "vkt_datacount")();
  if (count != records) fail("vkt_datacount %d after inputdata_block, expected %d", count, records);
  if (SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0) < records)
    fail("the grid shows %ld rows, expected %d", (long)SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0), records);
  memset(&item, 0, sizeof item);
  item.iSubItem = 1;
  item.pszText = wide_cell;
  item.cchTextMax = 64;
  wide_cell[0] = 0;
  SendMessageW(grid, LVM_GETITEMTEXTW, 0, (LPARAM)&item);
  to_utf8(wide_cell, cell, sizeof cell);
  if (!cell[0]) fail("the grid's first row is empty");
  printf("GRID %ld rows, row 1 column 1 \"%s\"\n", (long)SendMessageW(grid, LVM_GETITEMCOUNT, 0, 0), cell);
  take_shot(monitor, "monitor-window");
  print_popup_texts("download");
  /* The popup's lines took their texts: "データ取得中" first, then the total
     (their whole order is Download.WorkedExampleEndToEnd's). */
  if (popup_text(0, "Label1=\xe3\x83\x87\xe3\x83\xbc\xe3\x82\xbf\xe5\x8f\x96\xe5\xbe\x97\xe4\xb8\xad") != 0)
    fail("the popup did not begin with the receiving text");
  snprintf(want, sizeof want, "Label3=Total=%d", records);
  if (popup_text(0, want) < 0) fail("the popup never showed %s", want);

  /* clock set, then Button5 with a command typed into Edit1. */
  mark = sent_to_logger(transcript, g_sent, sizeof g_sent);
  press(monitor, "Button4");
  SetWindowTextA(control(monitor, "Edit1"), "i7"); /* EN_CHANGE follows */
  press(monitor, "Button5");
  message_loop(500, NULL);
  n = sent_to_logger(transcript, g_sent, sizeof g_sent);
  printf("MONITOR sent by clock set and Button5: %s\n", g_sent + mark);
  if (n - mark != 1 + 19 + 1 + 2 || g_sent[mark] != 's' || g_sent[mark + 5] != '/' || g_sent[mark + 11] != ' ' ||
      g_sent[mark + 20] != 't' || strcmp(g_sent + mark + 21, "i7") != 0)
    fail("clock set and Button5 sent \"%s\"", g_sent + mark);

  /* The port-watching tick: "接続" when the port is found, "切断" when it goes. */
  g_popup_count = 0;
  FN(bool_int_fn, "com_search_timer")(1);
  message_loop(8000, popup_said_connected);
  if (!popup_said_connected()) fail("no popup announced the port");
  RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\VCP0");
  message_loop(12000, popup_said_disconnected);
  FN(bool_int_fn, "com_search_timer")(0);
  print_popup_texts("port");
  i = popup_text(0, "Label1=\xe6\x8e\xa5\xe7\xb6\x9a");
  if (i < 0 || popup_text(i, "Label2=Port=5") < 0) fail("the port's popup did not say Port=5");
  if (!popup_said_disconnected()) fail("no popup announced the port gone");
  UnhookWindowsHookEx(hook);

  FN(void_fn, "com_close")();
  FN(void_fn, "form_release")();
  message_loop(300, NULL);
  FN(bool_fn, "settingform_check")();
  if (IsWindow(monitor)) fail("the released monitor window still exists");
}

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: vkt_host <dll> exports|road <expected>|clock-error <text>|unplug|replug|unload-open|exit-open|settings-dialog <transcript>|monitor-window <transcript> <records>\n");
    return 2;
  }
  g_mode = argv[2];
  g_dll = LoadLibraryA(argv[1]);
  if (!g_dll) {
    fail("LoadLibrary(%s): error %lu", argv[1], (unsigned long)GetLastError());
    return finish();
  }
  if (strcmp(g_mode, "exports") == 0) {
    check_exports();
  } else if (strcmp(g_mode, "road") == 0 && argc > 3) {
    road(argv[3]);
  } else if (strcmp(g_mode, "clock-error") == 0 && argc > 3) {
    clock_error(argv[3]);
  } else if (strcmp(g_mode, "unplug") == 0) {
    unplug();
  } else if (strcmp(g_mode, "replug") == 0) {
    replug();
  } else if (strcmp(g_mode, "unload-open") == 0) {
    unload_open();
  } else if (strcmp(g_mode, "settings-dialog") == 0 && argc > 3) {
    settings_dialog(argv[3]);
  } else if (strcmp(g_mode, "monitor-window") == 0 && argc > 4) {
    monitor_window(argv[3], atoi(argv[4]));
  } else if (strcmp(g_mode, "exit-open") == 0) {
    /* The process ends from here with the library loaded and the port open:
       the test script bounds the whole run. */
    if (open_logger() && !low_byte_bool(FN(bool_fn, "vkt_connect")(), "vkt_connect")) fail("vkt_connect");
    finish();
    ExitProcess(g_failures == 0 ? 0 : 1);
  } else {
    fail("unknown mode %s", g_mode);
  }
  if (g_dll) {
    DWORD start = GetTickCount();
    FreeLibrary(g_dll);
    printf("UNLOAD took %lu ms\n", (unsigned long)(GetTickCount() - start));
  }
  return finish();
}
