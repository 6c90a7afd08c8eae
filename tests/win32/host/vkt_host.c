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
 *
 * The logger is expected on COM5. Message boxes are found on a second
 * thread, their texts printed ("BOX <text>") and answered with OK; when
 * the environment variable VKTHOST_SHOTS names a folder, each box is first
 * captured there as "<mode>-box<n>.bmp" (screenshot.h). The last
 * line is "VKTHOST <mode> PASSED" or "VKTHOST <mode> FAILED"; the test
 * script judges the run by it.
 */
#include <windows.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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
        GetDlgItemTextA(box, 0xFFFF, g_boxes[n], sizeof g_boxes[n]);
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

int main(int argc, char **argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: vkt_host <dll> exports|road <expected>|clock-error <text>|unplug|replug|unload-open|exit-open\n");
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
