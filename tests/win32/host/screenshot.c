/* Screenshots of top-level windows: see screenshot.h. */
#include "screenshot.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* How long another thread may take to paint its window, and how long after
   a paint the picture is taken (Wine copies a window's drawing to the
   display a moment later). */
enum { kPaintWaitMs = 2000, kSettleMs = 250, kStepMs = 10 };
/* How long a window about to be shown is waited for: a dialog box is shown
   once its owner thread's queue first runs empty, later on a loaded
   machine. */
enum { kShowWaitMs = 10000 };

/* Paints the whole window and waits until the paint has reached the
   screen. A window of this thread is painted here and now, without
   dispatching any other message: the capture may run inside a window
   procedure or a hook. A window of another thread is painted by its owner,
   which is waited for. */
static void repaint(HWND window) {
  DWORD_PTR ignored;
  DWORD start = GetTickCount();
  if (GetWindowThreadProcessId(window, NULL) == GetCurrentThreadId()) {
    RedrawWindow(window, NULL, NULL, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    GdiFlush();
    /* A wait that takes no message: Wine hands a thread's drawing to the
       display when the thread waits. */
    MsgWaitForMultipleObjectsEx(0, NULL, kSettleMs, 0, 0);
    return;
  }
  RedrawWindow(window, NULL, NULL, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
  while (GetTickCount() - start < kPaintWaitMs) {
    /* Returns once the owner thread takes messages again. */
    SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kPaintWaitMs, &ignored);
    if (!GetUpdateRect(window, NULL, FALSE)) break;
    Sleep(kStepMs);
  }
  Sleep(kSettleMs);
}

/* A window just created by another thread may be shown a moment later (a
   dialog box is shown once its owner thread's queue first runs empty); a
   window of this thread is shown or not. */
static DWORD g_shown_after; /* ms the last capture waited for its window */

static int wait_visible(HWND window) {
  DWORD start = GetTickCount();
  int own = GetWindowThreadProcessId(window, NULL) == GetCurrentThreadId();
  while (!own && IsWindow(window) && !IsWindowVisible(window) && GetTickCount() - start < kShowWaitMs) Sleep(kStepMs);
  g_shown_after = GetTickCount() - start;
  return IsWindow(window) && IsWindowVisible(window);
}

static void put_u16(unsigned char *p, unsigned v) {
  p[0] = (unsigned char)(v & 0xFF);
  p[1] = (unsigned char)((v >> 8) & 0xFF);
}

static void put_u32(unsigned char *p, unsigned long v) {
  put_u16(p, (unsigned)(v & 0xFFFF));
  put_u16(p + 2, (unsigned)((v >> 16) & 0xFFFF));
}

/* A 24-bit bottom-up BMP of `bits` (rows of `stride` bytes). */
static int write_bmp(const char *path, const void *bits, int width, int height, int stride) {
  unsigned char header[54];
  unsigned long image = (unsigned long)stride * (unsigned long)height;
  FILE *f = fopen(path, "wb");
  size_t written;
  if (!f) return -1;
  memset(header, 0, sizeof header);
  header[0] = 'B';
  header[1] = 'M';
  put_u32(header + 2, sizeof header + image); /* file size */
  put_u32(header + 10, sizeof header);        /* offset of the pixels */
  put_u32(header + 14, 40);                   /* BITMAPINFOHEADER */
  put_u32(header + 18, (unsigned long)width);
  put_u32(header + 22, (unsigned long)height); /* positive: bottom-up */
  put_u16(header + 26, 1);                     /* planes */
  put_u16(header + 28, 24);                    /* bits per pixel */
  put_u32(header + 34, image);                 /* BI_RGB, image size */
  put_u32(header + 38, 2835);                  /* 72 dpi */
  put_u32(header + 42, 2835);
  written = fwrite(header, 1, sizeof header, f);
  written += fwrite(bits, 1, image, f);
  if (fclose(f) != 0 || written != sizeof header + image) return -1;
  return 0;
}

static int write_size(const char *path, HWND window, int width, int height) {
  char text_path[MAX_PATH + 8];
  wchar_t caption[256];
  char caption_utf8[768];
  FILE *f;
  int ok;
  if (snprintf(text_path, sizeof text_path, "%s.txt", path) >= (int)sizeof text_path) return -1;
  caption[0] = 0;
  GetWindowTextW(window, caption, 256);
  if (!WideCharToMultiByte(CP_UTF8, 0, caption, -1, caption_utf8, sizeof caption_utf8, NULL, NULL))
    caption_utf8[0] = 0;
  f = fopen(text_path, "wb");
  if (!f) return -1;
  ok = fprintf(f, "%d %d\n%s\n", width, height, caption_utf8) > 0;
  if (fclose(f) != 0 || !ok) return -1;
  return 0;
}

static char g_error[256];

static int refuse(const char *format, ...) {
  va_list args;
  va_start(args, format);
  vsnprintf(g_error, sizeof g_error, format, args);
  va_end(args);
  return -1;
}

const char *vkt_shot_error(void) { return g_error; }

/* Puts a window that is not always on top above the other ordinary
   windows, without activating it. */
static void raise_window(HWND window) {
  UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE;
  if (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) return;
  if (GetWindowThreadProcessId(window, NULL) != GetCurrentThreadId()) flags |= SWP_ASYNCWINDOWPOS;
  SetWindowPos(window, HWND_TOP, 0, 0, 0, 0, flags);
}

/* The first visible window above `window` that overlaps it, or NULL. */
static HWND covering(HWND window, const RECT *rect) {
  HWND above;
  for (above = GetWindow(window, GW_HWNDPREV); above; above = GetWindow(above, GW_HWNDPREV)) {
    RECT other, common;
    if (IsWindowVisible(above) && GetWindowRect(above, &other) && IntersectRect(&common, &other, rect))
      return above;
  }
  return NULL;
}

int vkt_shot_window(HWND window, const char *path) {
  RECT rect;
  int width, height, stride, result;
  HDC screen, memory;
  HBITMAP bitmap;
  HGDIOBJ old;
  BITMAPINFO info;
  void *bits = NULL;
  HWND cover;

  g_error[0] = 0;
  if (!IsWindow(window)) return refuse("no such window");
  if (!wait_visible(window)) return refuse("the window is not shown (waited %lu ms)", (unsigned long)g_shown_after);
  raise_window(window);
  repaint(window);
  if (!GetWindowRect(window, &rect)) return refuse("the window is gone");
  width = rect.right - rect.left;
  height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return refuse("the window is empty (%dx%d)", width, height);
  if (rect.left < 0 || rect.top < 0 || rect.right > GetSystemMetrics(SM_CXSCREEN) ||
      rect.bottom > GetSystemMetrics(SM_CYSCREEN))
    return refuse("the window (%ld,%ld)-(%ld,%ld) reaches outside the %dx%d screen", (long)rect.left, (long)rect.top,
                  (long)rect.right, (long)rect.bottom, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
  /* The picture is the screen's: a window above this one would be in it. */
  cover = covering(window, &rect);
  if (cover) {
    char cls[64] = "", text[128] = "";
    GetClassNameA(cover, cls, sizeof cls);
    GetWindowTextA(cover, text, sizeof text);
    return refuse("covered by the window %s \"%s\"", cls, text);
  }
  stride = (width * 3 + 3) & ~3;

  memset(&info, 0, sizeof info);
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height; /* bottom-up, as the file stores it */
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;

  screen = GetDC(NULL);
  if (!screen) return refuse("no screen");
  result = refuse("the screen could not be copied");
  memory = CreateCompatibleDC(screen);
  bitmap = memory ? CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, NULL, 0) : NULL;
  if (bitmap) {
    old = SelectObject(memory, bitmap);
    /* The screen's pixels where the window is: its frame, caption and
       children exactly as shown. */
    if (BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY | CAPTUREBLT)) {
      GdiFlush();
      if (write_bmp(path, bits, width, height, stride) != 0 || write_size(path, window, width, height) != 0) {
        result = refuse("%s or its .txt could not be written", path);
      } else {
        result = 0;
        g_error[0] = 0;
      }
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
  }
  if (memory) DeleteDC(memory);
  ReleaseDC(NULL, screen);
  return result;
}

const char *vkt_shot_folder(void) {
  const char *folder = getenv("VKTHOST_SHOTS");
  return folder && *folder ? folder : NULL;
}

int vkt_shot_named(HWND window, const char *name) {
  const char *folder = vkt_shot_folder();
  char path[MAX_PATH];
  RECT rect;
  if (!folder) return 1;
  if (snprintf(path, sizeof path, "%s\\%s.bmp", folder, name) >= (int)sizeof path) {
    printf("SHOT %s FAILED: the path is too long\n", name);
    fflush(stdout);
    return -1;
  }
  CreateDirectoryA(folder, NULL); /* may exist already */
  if (vkt_shot_window(window, path) != 0 || !GetWindowRect(window, &rect)) {
    printf("SHOT %s FAILED: %s\n", name, vkt_shot_error());
    fflush(stdout);
    return -1;
  }
  printf("SHOT %s %ldx%ld %s (shown after %lu ms)\n", name, (long)(rect.right - rect.left),
         (long)(rect.bottom - rect.top), path, (unsigned long)g_shown_after);
  fflush(stdout);
  return 0;
}
