/* vkt_fontcheck: shows that the Japanese texts of the library's windows
 * render with real glyphs on this system (under Wine: that the prefix's font
 * replacements work).
 *
 *   vkt_fontcheck <folder>
 *
 * - "ＭＳ Ｐゴシック", the settings dialog's font, at 12 pixels: the face
 *   the system really uses (the family name in the font file itself), that
 *   it has a glyph for every character of the windows' Japanese texts, and
 *   that the characters draw differently from each other (a missing glyph
 *   draws the same box for all);
 * - the same drawing test for the message boxes' font, which reaches
 *   Japanese glyphs through the system's font links;
 * - a window showing "データ取得中" and "月 日 時 分" in the dialog's font,
 *   and a message box "VKT が見つかりません" (caption "VKTCom"), both
 *   captured into <folder> (fontcheck.bmp, fontcheck-box.bmp) for
 *   scripts/check-screenshot.py and for a person to look at.
 *
 * Captures that would show something else (a window covered by another,
 * or reaching outside the screen) are refused.
 *
 * Prints "FACE", "GLYPHS", "REFUSED", "SHOT" lines and ends with "VKTFONT PASSED" or
 * "VKTFONT FAILED".
 */
#include <windows.h>

#include <stdio.h>
#include <string.h>

#include "screenshot.h"

static int g_failures;

static void fail(const char *what) {
  printf("FAIL: %s\n", what);
  fflush(stdout);
  ++g_failures;
}

static void print_utf8(const wchar_t *text) {
  char buffer[512];
  if (!WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL)) buffer[0] = 0;
  fputs(buffer, stdout);
}

static const wchar_t kDialogFont[] = L"ＭＳ Ｐゴシック";
/* Every Japanese character of the popup's and the dialog's texts that this
   check draws. */
static const wchar_t kJapanese[] = L"データ取得中月日時分接続切断";

static HFONT make_font(const wchar_t *face, int pixels) {
  return CreateFontW(-pixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

static unsigned be16(const unsigned char *p) { return (unsigned)p[0] << 8 | p[1]; }

/* The English family name (name ID 1, Windows platform) in the 'name' table
   of the font selected into `dc`: the font file really used, whatever name
   it was asked for by. */
static int file_family(HDC dc, wchar_t *family, int room) {
  static unsigned char table[65536];
  const DWORD tag = 'n' | 'a' << 8 | 'm' << 16 | (DWORD)'e' << 24;
  DWORD size = GetFontData(dc, tag, 0, table, sizeof table);
  unsigned count, strings, i;
  if (size == GDI_ERROR || size < 6) return 0;
  count = be16(table + 2);
  strings = be16(table + 4);
  for (i = 0; i < count && 6 + 12 * (i + 1) <= size; ++i) {
    const unsigned char *r = table + 6 + 12 * i;
    unsigned platform = be16(r), language = be16(r + 4), name = be16(r + 6);
    unsigned length = be16(r + 8), offset = be16(r + 10), k;
    if (platform != 3 || name != 1 || language != 0x409) continue;
    if (strings + offset + length > size || (int)(length / 2) >= room) return 0;
    for (k = 0; k < length / 2; ++k) family[k] = (wchar_t)be16(table + strings + offset + 2 * k);
    family[k] = 0;
    return 1;
  }
  return 0;
}

/* Draws each character alone, black on white, into a small picture; counts
   the characters without ink and the pairs that draw the same. */
static void draw_each(HDC dc, const wchar_t *text, int *blank, int *same) {
  enum { kSide = 32 };
  static DWORD pictures[32][kSide * kSide];
  BITMAPINFO info;
  void *bits;
  HBITMAP bitmap;
  HGDIOBJ old;
  RECT all = {0, 0, kSide, kSide};
  int n = (int)wcslen(text), i, j, p;
  if (n > 32) n = 32;
  memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = kSide;
  info.bmiHeader.biHeight = -kSide;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, NULL, 0);
  old = SelectObject(dc, bitmap);
  SetTextColor(dc, RGB(0, 0, 0));
  SetBkMode(dc, TRANSPARENT);
  *blank = *same = 0;
  for (i = 0; i < n; ++i) {
    int ink = 0;
    FillRect(dc, &all, (HBRUSH)GetStockObject(WHITE_BRUSH));
    TextOutW(dc, 2, 2, text + i, 1);
    GdiFlush();
    memcpy(pictures[i], bits, sizeof pictures[i]);
    for (p = 0; p < kSide * kSide; ++p) ink += (pictures[i][p] & 0xFFFFFF) != 0xFFFFFF;
    if (ink == 0) ++*blank;
  }
  for (i = 0; i < n; ++i)
    for (j = i + 1; j < n; ++j) *same += memcmp(pictures[i], pictures[j], sizeof pictures[i]) == 0;
  SelectObject(dc, old);
  DeleteObject(bitmap);
}

static void check_dialog_font(void) {
  HDC dc = CreateCompatibleDC(NULL);
  HFONT font = make_font(kDialogFont, 12);
  HGDIOBJ old = SelectObject(dc, font);
  wchar_t face[LF_FACESIZE], family[128];
  WORD glyphs[64];
  int n = (int)wcslen(kJapanese), missing = 0, blank, same, i;

  face[0] = 0;
  GetTextFaceW(dc, LF_FACESIZE, face);
  if (!file_family(dc, family, 128)) wcscpy(family, L"?");
  printf("FACE ");
  print_utf8(kDialogFont);
  printf(" -> ");
  print_utf8(face);
  printf(" (font file: ");
  print_utf8(family);
  printf(")\n");
  if (wcsncmp(family, L"IPA", 3) != 0) fail("the dialog's font is not an IPA Gothic font");

  if (GetGlyphIndicesW(dc, kJapanese, n, glyphs, GGI_MARK_NONEXISTING_GLYPHS) == GDI_ERROR) {
    fail("GetGlyphIndicesW");
  } else {
    for (i = 0; i < n; ++i) missing += glyphs[i] == 0xFFFF;
  }
  draw_each(dc, kJapanese, &blank, &same);
  printf("GLYPHS dialog font: %d characters, %d without a glyph, %d drawn blank, %d pairs drawn alike\n", n, missing,
         blank, same);
  if (missing || blank || same) fail("the dialog's font does not draw the Japanese texts");
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
}

static void check_message_font(void) {
  NONCLIENTMETRICSW metrics;
  HDC dc = CreateCompatibleDC(NULL);
  HFONT font;
  HGDIOBJ old;
  wchar_t face[LF_FACESIZE];
  int blank, same;
  memset(&metrics, 0, sizeof metrics);
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  font = CreateFontIndirectW(&metrics.lfMessageFont);
  old = SelectObject(dc, font);
  face[0] = 0;
  GetTextFaceW(dc, LF_FACESIZE, face);
  draw_each(dc, kJapanese, &blank, &same);
  printf("GLYPHS message box font ");
  print_utf8(face);
  printf(": %d drawn blank, %d pairs drawn alike\n", blank, same);
  if (blank || same) fail("the message boxes' font does not draw the Japanese texts");
  SelectObject(dc, old);
  DeleteObject(font);
  DeleteDC(dc);
}

/* ---- the sample window ---- */

static HFONT g_small, g_large;

static LRESULT CALLBACK sample_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    HGDIOBJ old = SelectObject(dc, g_small);
    SetBkMode(dc, TRANSPARENT);
    /* The dialog's size first, then twice as large for a person to read. */
    TextOutW(dc, 12, 10, L"データ取得中", 6);
    TextOutW(dc, 12, 30, L"月 日 時 分", 7);
    SelectObject(dc, g_large);
    TextOutW(dc, 12, 56, L"データ取得中", 6);
    TextOutW(dc, 12, 90, L"月 日 時 分", 7);
    SelectObject(dc, old);
    EndPaint(window, &paint);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

/* A capture that would show something else than the window is refused:
   an always-on-top window over it, or a part of it off the screen. */
static void refused_pictures(HWND window, const char *path) {
  RECT rect;
  HWND cover;
  GetWindowRect(window, &rect);
  cover = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"cover", WS_POPUP | WS_BORDER,
                          rect.left + 20, rect.top + 20, 60, 30, NULL, NULL, GetModuleHandleW(NULL), NULL);
  ShowWindow(cover, SW_SHOWNOACTIVATE);
  if (vkt_shot_window(window, path) == 0 || !strstr(vkt_shot_error(), "covered"))
    fail("a covered window was captured");
  printf("REFUSED covered: %s\n", vkt_shot_error());
  DestroyWindow(cover);
  SetWindowPos(window, NULL, -30, rect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  if (vkt_shot_window(window, path) == 0 || !strstr(vkt_shot_error(), "outside"))
    fail("a window reaching outside the screen was captured");
  printf("REFUSED off the screen: %s\n", vkt_shot_error());
  SetWindowPos(window, NULL, rect.left, rect.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

static void shoot_sample(const char *folder) {
  WNDCLASSW wc;
  RECT rect = {0, 0, 240, 130};
  HWND window;
  char path[MAX_PATH];
  memset(&wc, 0, sizeof wc);
  wc.lpfnWndProc = sample_proc;
  wc.hInstance = GetModuleHandleW(NULL);
  wc.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"VktFontCheck";
  RegisterClassW(&wc);
  g_small = make_font(kDialogFont, 12);
  g_large = make_font(kDialogFont, 24);
  AdjustWindowRectEx(&rect, WS_CAPTION | WS_SYSMENU, FALSE, 0);
  window = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"VKT font check", WS_CAPTION | WS_SYSMENU, 40, 40,
                           rect.right - rect.left, rect.bottom - rect.top, NULL, NULL, wc.hInstance, NULL);
  if (!window) {
    fail("CreateWindowExW");
    return;
  }
  ShowWindow(window, SW_SHOW);
  UpdateWindow(window);
  snprintf(path, sizeof path, "%s\\fontcheck.bmp", folder);
  refused_pictures(window, path);
  if (vkt_shot_window(window, path) != 0) fail(vkt_shot_error());
  else printf("SHOT fontcheck %s\n", path);
  DestroyWindow(window);
  DeleteObject(g_small);
  DeleteObject(g_large);
}

/* ---- a message box with a Japanese text ---- */

static char g_box_path[MAX_PATH];
static volatile LONG g_box_shot = -1;

static DWORD WINAPI shoot_box(LPVOID unused) {
  DWORD start = GetTickCount();
  (void)unused;
  while (GetTickCount() - start < 10000) {
    HWND box = FindWindowW(L"#32770", L"VKTCom");
    if (box && IsWindowVisible(box)) {
      g_box_shot = vkt_shot_window(box, g_box_path);
      if (g_box_shot != 0) printf("SHOT fontcheck-box FAILED: %s\n", vkt_shot_error());
      PostMessageW(box, WM_COMMAND, IDOK, 0);
      return 0;
    }
    Sleep(10);
  }
  return 0;
}

static void shoot_message_box(const char *folder) {
  HANDLE thread;
  snprintf(g_box_path, sizeof g_box_path, "%s\\fontcheck-box.bmp", folder);
  thread = CreateThread(NULL, 0, shoot_box, NULL, 0, NULL);
  MessageBoxW(NULL, L"VKT が見つかりません", L"VKTCom", MB_OK | MB_ICONERROR);
  WaitForSingleObject(thread, 10000);
  CloseHandle(thread);
  if (g_box_shot != 0) fail("the message box was not captured");
  else printf("SHOT fontcheck-box %s\n", g_box_path);
}

int main(int argc, char **argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: vkt_fontcheck <folder>\n");
    return 2;
  }
  CreateDirectoryA(argv[1], NULL);
  check_dialog_font();
  check_message_font();
  shoot_sample(argv[1]);
  shoot_message_box(argv[1]);
  printf("VKTFONT %s\n", g_failures == 0 ? "PASSED" : "FAILED");
  fflush(stdout);
  return g_failures == 0 ? 0 : 1;
}
