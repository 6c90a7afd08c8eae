/*
 * vktcom: communication library for the VKT family of portable data loggers
 * (shock, temperature and humidity recorders on a USB-serial adapter).
 *
 * A host loads the library (vktcom.dll on Windows, libvktcom.so on Linux) and
 * drives it through the functions below. The usual road:
 *
 *   int port = com_search();          find the logger's port (0: none)
 *   com_open(port);                   open it at 19200 8N1 (-1: failed)
 *   vkt_connect();                    handshake, parameter lines
 *   vkt_clkset();                     set the logger's clock (optional)
 *   vkt_inputdata();                  download every record
 *   for (r = 1; r <= vkt_datacount(); ++r) vkt_get_all(r, line);
 *   com_close();  form_release();
 *
 * Threads: every function must be called from the thread that loaded the
 * library, one call at a time; the library takes no locks.
 *
 * Waits: a function that waits for the logger blocks the calling thread. A
 * command's reply wait ends at most 3 seconds after it began (counted from
 * its start, not from the last byte; at once when the reply is complete or
 * the device has gone); the download ends after 3 seconds of silence or at
 * its overall bound (vkt_inputdata). A 3-second message in the progress
 * popup blocks likewise.
 *
 * Window messages: the calling thread's pending window messages (the
 * host's windows and timers as well as the library's own) are dispatched
 * only at these points, and nowhere else inside a function:
 *   - once after each command is written, before its reply is awaited;
 *   - during a download: at each arrival of bytes and each change of the
 *     progress popup;
 *   - while a port close (com_close, the monitor window's "COM resume")
 *     waits for the port's threads to stop;
 *   - on Windows, inside a message box's own loop, until it is answered.
 * A handler that runs there may therefore run inside a function of this
 * library; it must not call into the library itself (nothing guards
 * against that: two exchanges would mix on the port).
 *
 * Text goes in as NUL-terminated 8-bit strings and comes out by copying into
 * a buffer the caller supplies; each function below states the buffer size
 * the caller must supply, and the library never writes more than that.
 *
 * Misuse: every function may be called in any state (no monitor window, a
 * released one, a closed port, any row index, a NULL pointer). It then
 * returns its failure value (0, -1 or false) or leaves the output buffer
 * untouched; it never ends the host process.
 *
 * Boolean results are one byte, 1 for true and 0 for false.
 *
 * Windows (vktcom.dll, 32-bit and 64-bit): port number n opens \\.\COMn,
 * for any n. The host's own message loop drives the port-watching timer
 * and the release of windows (a hidden message-only window of the library
 * ticks there every 100 ms); vkt_process_messages does not exist. Where
 * the library dispatches messages (above) it serves the thread's whole
 * queue; a WM_QUIT met there is posted again for the host's loop.
 * Message boxes are MessageBoxW boxes with no owner and MB_TASKMODAL: while
 * one is up every top-level window of the calling thread (the host's and
 * the library's) is disabled and takes no input, and is enabled again when
 * the box is answered; timers and posted messages still run inside the
 * box's own loop. The clock command sends the local date and time with "/"
 * and ":", whatever the PC's regional separators.
 *
 * Linux: port number n names a device node by a fixed table: COM1-COM20 are
 * ttyUSB0-ttyUSB19, COM21-COM40 are ttyACM0-ttyACM19, COM41-COM72 are
 * ttyS0-ttyS31; other numbers name no device. The device folder is /dev and
 * the sysfs root /sys, overridable by VKTCOM_DEV_ROOT and VKTCOM_SYSFS_ROOT
 * (for tests and containers). Message boxes are written to standard error as
 * one line "VKTCom: <text>".
 *
 * Where the library's behaviour differs from the interface's described
 * behaviour (sound mends and the choices it leaves open), docs/differences.md
 * lists each difference with its reason.
 */
#ifndef VKTCOM_H
#define VKTCOM_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define VKTCOM_CALL __stdcall
#else
#define VKTCOM_CALL
#endif

#if defined(_WIN32)
#if defined(VKTCOM_BUILDING)
/* vktcom.dll: the module definition file (vktcom.def) alone names the
   exports and their ordinals. */
#define VKTCOM_API
#else
#define VKTCOM_API __declspec(dllimport)
#endif
#else
#define VKTCOM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One-byte Boolean result: 1 true, 0 false. */
typedef unsigned char vkt_bool;

/* Caller buffer sizes, in bytes, including the terminating NUL. */
#define VKTCOM_DATA_BLOCK_SIZE 14
#define VKTCOM_DATE_BUFFER_SIZE 11      /* "2009/03/15" */
#define VKTCOM_YEAR_BUFFER_SIZE 5
#define VKTCOM_MONTH_BUFFER_SIZE 3
#define VKTCOM_DAY_BUFFER_SIZE 3
#define VKTCOM_TIME_BUFFER_SIZE 13      /* "13:45:30.123" */
#define VKTCOM_DEG_BUFFER_SIZE 8        /* "-128.15" */
#define VKTCOM_AXIS_BUFFER_SIZE 5       /* "-128" */
#define VKTCOM_HUMI_BUFFER_SIZE 5       /* "255", or the header "humi" of row 0 */
#define VKTCOM_ALL_BUFFER_SIZE 51
#define VKTCOM_PARAM_BUFFER_SIZE 4096
#define VKTCOM_RESERVETIME_BUFFER_SIZE 64

/* ---- Window management (ordinals 1-3) ---------------------------------- */

/* Ordinal 1. Creates the hidden monitor window if it does not exist, then
   shows it (a diagnostic console of the port, the record table and the
   parameter lines). */
VKTCOM_API void VKTCOM_CALL form_open(void);
/* Ordinal 2. Hides the monitor window; the port stays open and the records
   stay. Does nothing when there is no monitor window. */
VKTCOM_API void VKTCOM_CALL form_close(void);
/* Ordinal 3. Releases the monitor window: it is destroyed (closing the port
   and discarding the records and parameter lines) at the next dispatch of
   window events, and at the latest when the next function of this library
   begins. Does nothing when there is no monitor window. */
VKTCOM_API void VKTCOM_CALL form_release(void);

/* ---- Port (ordinals 10-13) --------------------------------------------- */

/* Ordinal 10. Opens port `port` (stored modulo 65536; 0 or negative opens
   nothing) at 19200 bits per second, 8 data bits, no parity, 1 stop bit, no
   flow control. Returns the port number now in use, or -1 when opening
   failed (no such port, held by another program, any system failure) or
   when there is no monitor window. When a port is already open it stays
   open, the argument is ignored, and its number is returned. */
VKTCOM_API int32_t VKTCOM_CALL com_open(int32_t port);
/* Ordinal 11. Closes the port, discarding unsent output and unread input.
   Does nothing on a closed port or without a monitor window. */
VKTCOM_API void VKTCOM_CALL com_close(void);
/* Ordinal 12. Creates the hidden monitor window if needed; mode 1 starts the
   one-second port-watching timer, any other value stops it. Returns the
   timer's new state. Each tick searches again, and when the logger's port
   appears or vanishes it announces that in the progress popup, blocking
   the thread for 3000 ms. Ticks run only where the library's window events
   are dispatched: on Windows from the host's own message loop (the host
   calls nothing), on Linux when the host calls vkt_process_messages, and
   at the dispatch points listed at the top of this file. */
VKTCOM_API vkt_bool VKTCOM_CALL com_search_timer(int32_t mode);
/* Ordinal 13. Creates the hidden monitor window if needed and searches for
   the logger's USB-serial port (USB vendor 1F2E, product 3D4C). Returns its
   port number, or 0 when none was found or the search failed. On Linux the
   search reads sysfs ($VKTCOM_SYSFS_ROOT, default /sys) and the device
   folder ($VKTCOM_DEV_ROOT, default /dev); only ttyUSB devices can be the
   logger's port (ttyUSB<k> is COM<k+1>). */
VKTCOM_API int32_t VKTCOM_CALL com_search(void);

/* ---- Logger exchange (ordinals 14-17, 20) ------------------------------ */

/* Ordinal 14. Always 107; touches nothing. */
VKTCOM_API int32_t VKTCOM_CALL vkt_dll_ver(void);
/* Ordinal 15. Handshake on the open port ("m", then "p"): 1 when the logger
   answered both, 0 otherwise (also with no monitor window or a closed
   port). Keeps the parameter lines, the logger's year and record count. */
VKTCOM_API vkt_bool VKTCOM_CALL vkt_connect(void);
/* Ordinal 16. Sets the logger's clock to the PC's local time ("s" + date and
   time, then "t"), then sends the pending start-time reservation, if any.
   1 when every command was answered; 0 after an error message ("Clock Set
   Error(Command s)", "Clock Set Error(Command t)", "Command Set
   Error(starttime)"), or on a closed port or with no monitor window. */
VKTCOM_API vkt_bool VKTCOM_CALL vkt_clkset(void);
/* Ordinal 17. 1 when no reservation is pending or the pending one is a real
   date in the next 30 days; 0 after an error message. The start time is read
   from the settings dialog's start-time fields, or from the pending
   reservation itself when the dialog has been released. */
VKTCOM_API vkt_bool VKTCOM_CALL vkt_startsetcheck(void);
/* Ordinal 20. Downloads every record into the record table ("D"). 1 when
   the download completed and every record was decoded; 0 on a time-out (3
   seconds of silence), a bad record line (a length other than 20, or a
   character that is not a hexadecimal digit), a closed port or no monitor
   window. After a time-out or on a closed port the table holds no records;
   after a bad line it holds every line received, undecoded.
   A download always ends: besides the 3 seconds of silence, it fails when
   the reply passes an overall bound for R records, counted from the
   request:
     bytes: 2 x (R x 24 + 64) + 65536
     time:  2 x (those bytes at 1920 bytes/s) + 60 s
   (24 bytes per record: 20 digits and up to 4 of blanks and line end). R
   is the larger of the record count N that vkt_connect read ("@Count=")
   and the record lines received so far (20 hexadecimal digits and CR LF,
   at most 24 bytes), up to 1048576; a count that is missing, not a number
   or above 1048576 counts as 1048576 (about 50 MB and 14.6 hours). So a
   count below the records the logger holds costs none of them: record
   lines go on being downloaded up to 1048576 of them (at a quarter of the
   line's speed or faster), and only a reply that stops being record lines
   (a flood of other bytes, a trickle that never ends a line) is held to
   the count. The popup then shows "DATA ERROR over=<bytes received>" or
   "TIME OUT total=<milliseconds>" for 3 seconds, the table holds no
   records, Memo1 is left empty, and what the port still holds is
   discarded. */
VKTCOM_API vkt_bool VKTCOM_CALL vkt_inputdata(void);

/* ---- Records (ordinals 21-35). Row r is record r, 1 to vkt_datacount();
   row 0 reads the header texts; other rows read empty texts. ------------- */

/* Ordinal 21. Number of records in the record table (4 before the first
   download: the table starts with four empty rows); 0 with no monitor
   window. */
VKTCOM_API int32_t VKTCOM_CALL vkt_datacount(void);
/* Ordinal 22. Fills 14 bytes (VKTCOM_DATA_BLOCK_SIZE): the row number's low
   byte, month, year tag, day, hour, minute, second, temperature tenths, x,
   y, z (two's complement), whole degrees (two's complement), hundredths,
   humidity. For a row without a decoded record only byte 0 is written. */
VKTCOM_API void VKTCOM_CALL vkt_getdata(int32_t row, unsigned char* data);
/* Ordinals 23-27. Date "yyyy/mm/dd" (VKTCOM_DATE_BUFFER_SIZE), its year
   (VKTCOM_YEAR_BUFFER_SIZE), month and day (3 bytes each), and the time
   "hh:nn:ss.cc" (VKTCOM_TIME_BUFFER_SIZE). */
VKTCOM_API void VKTCOM_CALL vkt_get_date(int32_t row, char* text);
VKTCOM_API void VKTCOM_CALL vkt_get_year(int32_t row, char* text);
VKTCOM_API void VKTCOM_CALL vkt_get_month(int32_t row, char* text);
VKTCOM_API void VKTCOM_CALL vkt_get_day(int32_t row, char* text);
VKTCOM_API void VKTCOM_CALL vkt_get_time(int32_t row, char* text);
/* Ordinal 30. Temperature "deg.tenths", e.g. "23.5" (VKTCOM_DEG_BUFFER_SIZE). */
VKTCOM_API void VKTCOM_CALL vkt_get_deg(int32_t row, char* text);
/* Ordinals 31-33. Raw acceleration counts, -128 to 127
   (VKTCOM_AXIS_BUFFER_SIZE). */
VKTCOM_API void VKTCOM_CALL vkt_get_x(int32_t row, char* text);
VKTCOM_API void VKTCOM_CALL vkt_get_y(int32_t row, char* text);
VKTCOM_API void VKTCOM_CALL vkt_get_z(int32_t row, char* text);
/* Ordinal 34. Humidity, 0 to 255 (VKTCOM_HUMI_BUFFER_SIZE). */
VKTCOM_API void VKTCOM_CALL vkt_get_humi(int32_t row, char* text);
/* Ordinal 35. The whole record as one line, e.g.
   "2009 03/15-13:45:30.25 23.5 45 1 -2 64" (VKTCOM_ALL_BUFFER_SIZE). */
VKTCOM_API void VKTCOM_CALL vkt_get_all(int32_t row, char* text);

/* ---- Settings (ordinals 40-42, 50-53) ---------------------------------- */

/* Ordinal 40. Sends one command as it stands (no line ending) and waits up
   to 3 seconds for a reply ending in "#". Always returns 0. */
VKTCOM_API int32_t VKTCOM_CALL vkt_set_command(const char* command);
/* Ordinal 41. Asks the logger for its parameters ("p"); when it answers,
   writes the parameter lines of the last connect, each followed by CR LF,
   into `text` (VKTCOM_PARAM_BUFFER_SIZE bytes: whole lines only, lines that
   would pass the bound are left out). A silent logger leaves `text`
   untouched. */
VKTCOM_API void VKTCOM_CALL vkt_get_param(char* text);
/* Ordinal 42. The pending start-time reservation ("lmm/dd hh:nn"), or the
   empty text (VKTCOM_RESERVETIME_BUFFER_SIZE bytes; longer typed texts are
   cut). */
VKTCOM_API void VKTCOM_CALL vkt_get_reservetime(char* text);
/* Ordinal 50. Creates the settings dialog if needed and shows it; showing
   reads the logger's settings back (search, open, connect, close: several
   seconds) and discards a pending reservation. */
VKTCOM_API void VKTCOM_CALL settingform_open(void);
/* Ordinal 51. Hides the settings dialog; it stays in use. */
VKTCOM_API void VKTCOM_CALL settingform_close(void);
/* Ordinal 52. Releases the settings dialog (destroyed at the next dispatch
   of window events, at the latest when the next function begins). */
VKTCOM_API void VKTCOM_CALL settingform_release(void);
/* Ordinal 53. 1 while the settings dialog is in use; 0 before it was first
   shown and after the user finished with Cancel or a successful Ok. */
VKTCOM_API vkt_bool VKTCOM_CALL settingform_check(void);

/* ---- Linux extensions: not in the ordinal table, not in vktcom.dll ---- */

#if !defined(_WIN32)
/* Linux only. Dispatches the library's pending window events once: the
   port-watching timer's tick when due, deferred window releases, the
   monitor window's buttons and the terminal view. A host without a
   window-message loop of its own calls it periodically, for example every
   100 ms, while the port-watching timer is on. (On Windows the host's own
   message loop does this.) */
VKTCOM_API void VKTCOM_CALL vkt_process_messages(void);
#endif

#if !defined(_WIN32)
/* One row of the record table as vkt_get_records copies it: 48 bytes, the
   fields at the offsets noted, no padding. */
#define VKTCOM_RECORD_DATA_SIZE 22
struct vkt_record {
  int32_t row;          /*  0: row of the record table, 1 for the first record */
  int32_t year;         /*  4: year of the record's date ("DATE"), 0 when the
                               date holds no year */
  int32_t data_length;  /*  8: length of the raw line ("data"), 20 for a
                               record line, 0 for an empty row */
  uint8_t decoded;      /* 12: 1 when the fields below hold the decoded
                               record; 0 for a row holding only its raw line
                               (a download that failed the line check) or
                               nothing, with every field below 0 */
  uint8_t month;        /* 13: 0-15 */
  uint8_t year_tag;     /* 14: 0-3 (column "year") */
  uint8_t day;          /* 15: 0-31 */
  uint8_t hour;         /* 16: 0-31 */
  uint8_t min;          /* 17: 0-63 */
  uint8_t sec;          /* 18: 0-63 */
  uint8_t n;            /* 19: temperature tenths, 0-15 */
  int8_t x;             /* 20: acceleration counts, -128 to 127 */
  int8_t y;             /* 21 */
  int8_t z;             /* 22 */
  int8_t deg;           /* 23: temperature, whole degrees, -128 to 127 */
  uint8_t msec;         /* 24: hundredths of the second, 0-255 */
  uint8_t humi;         /* 25: humidity, 0-255 */
  char data[VKTCOM_RECORD_DATA_SIZE]; /* 26: the raw line, NUL-terminated,
                               cut to 21 characters (data_length tells the
                               whole length) */
};

/* Linux only. Copies rows first_row .. first_row + count - 1 of the record
   table into out[0] .., as far as the table has record rows (1 to
   vkt_datacount()); `out` must have room for `count` records. Returns the
   number of records copied: 0 with no monitor window, a NULL `out`, a
   `count` below 1 or a `first_row` outside the record rows. Reads the table
   as the record accessors do, so that a host gets every record of a download
   in one call instead of one call per field. */
VKTCOM_API int32_t VKTCOM_CALL vkt_get_records(int32_t first_row, int32_t count, struct vkt_record* out);
#endif

#ifdef __cplusplus
}
#endif

#endif /* VKTCOM_H */
