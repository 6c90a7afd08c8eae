/* Screenshots of top-level windows for the Windows test programs.
 *
 * A window is captured as the screen shows it, frame and caption included
 * (under Wine these are drawn on the prefix's virtual desktop), into a
 * 24-bit bottom-up BMP. Beside the picture goes "<picture>.txt" with the
 * window's size as GetWindowRect measured it ("WIDTH HEIGHT"), then its
 * caption; scripts/check-screenshot.py compares the picture with that size
 * and rejects blank pictures.
 */
#ifndef VKT_SCREENSHOT_H
#define VKT_SCREENSHOT_H

#include <windows.h>

/* Raises `window` above the other ordinary windows (without activating
 * it), repaints it (frame, client area, children), waits for the paint to
 * reach the screen, and writes the window's rectangle of the screen to the
 * BMP `path` and its size to `path` + ".txt". A window of the calling
 * thread is painted at once and no other message is dispatched, so the
 * capture may run inside a window procedure or a hook. A window of another
 * thread of the process is painted by that thread, which must be
 * dispatching its messages (a modal message box's loop does); if it is
 * about to be shown, it is waited for (10 s at most).
 * Returns 0, or -1 with the reason in vkt_shot_error(): the window is not
 * shown, reaches outside the screen, is covered by a window above it (an
 * always-on-top one: hide it first), or a file cannot be written. */
int vkt_shot_window(HWND window, const char *path);

/* Why the last vkt_shot_window failed ("" after a success). */
const char *vkt_shot_error(void);

/* The folder of the screenshots, from the environment variable
 * VKTHOST_SHOTS (a Windows path), or NULL when it is not set. */
const char *vkt_shot_folder(void);

/* vkt_shot_window into "<folder>\<name>.bmp" and prints
 * "SHOT <name> <width>x<height> <path> ...", or "SHOT <name> FAILED: <why>"
 * (stdout). Returns 1 when no folder is set (nothing is captured), 0 when
 * the picture was written, -1 when it could not be. */
int vkt_shot_named(HWND window, const char *name);

#endif
