/*
 * vktcom Linux extensions: what a host on Linux needs beyond the host
 * interface of vktcom.h to tell a person why something failed and to keep
 * what a failed download received. They have no ordinal and exist only in
 * libvktcom.so (the Windows DLL does not export them).
 *
 * Threads: as for every function of vktcom.h, call them from the thread
 * that loaded the library, one call at a time.
 *
 * Buffers: a text goes into a buffer the caller supplies together with its
 * size in bytes. The library writes at most `size` bytes: the text, cut to
 * size - 1 bytes when longer, and a terminating NUL. A NULL buffer or a size
 * below 1 is never written. Every function returns the full length of what
 * it would copy, so that a caller can tell that a text was cut and ask again
 * with a larger buffer.
 *
 * Misuse: as for vktcom.h, every function may be called in any state and
 * never ends the host process.
 */
#ifndef VKTCOM_EXT_H
#define VKTCOM_EXT_H

#include "vktcom.h"

#ifdef __cplusplus
extern "C" {
#endif

#if !defined(_WIN32)

/* The cause of the last com_open. Returns 0 when the last com_open
   succeeded or none was made since the library was loaded, else the port's
   negative error code: -1 no monitor window held a port (call form_open or
   com_search first), -2011 no port selected (port 0), -2001 the port number
   names no device or the device is gone, -2008 the device is held by
   another program, or minus the system's error number for any other failure
   of the system (-EACCES: permission denied, -ENOTTY: not a terminal).
   `system_errno` (unless NULL) gets the system's error number behind the
   failure, 0 when none; `message` (unless NULL or `size` < 1) gets the
   error's text in English. */
VKTCOM_API int32_t VKTCOM_CALL vkt_open_error(int32_t* system_errno, char* message, int32_t size);

/* Sends `command` as vkt_set_command does (as it stands, no line end,
   shown in the monitor window's command field) and hands back the logger's
   reply, the bytes received until it stayed silent, into `reply` (unless
   NULL or `size` < 1). Returns the reply's full length, 0 when none came
   within 3000 ms, or -1 when nothing was sent: `command` NULL, no monitor
   window, or the port is not open. */
VKTCOM_API int32_t VKTCOM_CALL vkt_command_reply(const char* command, char* reply, int32_t size);

/* What the last vkt_inputdata (or the monitor window's download) saw. */
#define VKT_DOWNLOAD_NONE 0     /* no download has run, or it had no monitor window */
#define VKT_DOWNLOAD_OK 1       /* every line was a record, all decoded */
#define VKT_DOWNLOAD_TIME_OUT 2 /* the logger fell silent for 3000 ms before the end */
#define VKT_DOWNLOAD_BAD_LINE 3 /* a line was not a record line (see bad lines) */
#define VKT_DOWNLOAD_HUNG_UP 4  /* the port was closed or failed, or the device went away */
struct vkt_download_report {
  int32_t status;           /* VKT_DOWNLOAD_* */
  int32_t bytes;            /* bytes received */
  int32_t lines;            /* line ends received */
  int32_t bad_lines;        /* lines that failed the check */
  int32_t first_bad_index;  /* index of the first of them (0: first line), -1 when none */
  int32_t first_bad_length; /* its length (20: a character is not hexadecimal), -1 when none */
};

/* Fills `report` with the last download's report. Returns 1, or 0 when
   `report` is NULL. Counts above INT32_MAX read as INT32_MAX. */
VKTCOM_API int32_t VKTCOM_CALL vkt_get_download_report(struct vkt_download_report* report);

/* Copies the index and the length of the last download's bad lines, in
   reply order, into `index` and `length` (each with room for `max`
   entries; the library keeps the first 4096). Returns the number copied;
   0 when either pointer is NULL or `max` < 1. */
VKTCOM_API int32_t VKTCOM_CALL vkt_download_bad_lines(int32_t* index, int32_t* length, int32_t max);

/* Copies the text the last download received, as received (lines ending
   in CR LF, up to and including the chunk with the terminator "#"), into
   `text` by the buffer rule above. Returns its full length. After a failed
   download it holds the record lines that did come; a host may keep them.
   The text is let go of with the monitor window (form_release). */
VKTCOM_API int32_t VKTCOM_CALL vkt_download_text(char* text, int32_t size);

#endif /* !_WIN32 */

#ifdef __cplusplus
}
#endif

#endif /* VKTCOM_EXT_H */
