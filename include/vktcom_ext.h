/*
 * vktcom Linux extensions: what a host on Linux needs beyond the host
 * interface of vktcom.h to tell a person why something failed, to keep
 * what a failed download received, to name ports by their devices, to read
 * the logger's year and record count as the library reads them, and to
 * work the settings dialog. They have no ordinal and exist only in
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

/* The USB vendor and product identifiers of the logger's USB-serial
   adapter, by which the port search knows the logger's port. */
#define VKT_LOGGER_VENDOR_ID 0x1F2E
#define VKT_LOGGER_PRODUCT_ID 0x3D4C

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

/* The port number of a port opened by a device path outside the port
   table (see vkt_open_path). */
#define VKT_PATH_PORT 65535

/* Opens the monitor window's port on the terminal device `path`, as
   com_open opens the device of a port number: with the same line settings
   and the same results, the cause of a failure kept for vkt_open_error.
   `path` may name any terminal device, through links too (a
   /dev/serial/by-id name, a pseudo-terminal). Returns the port's number:
   the number of the port table that `path` stands for (vkt_device_port),
   else VKT_PATH_PORT; -1 when the open failed (NULL or an empty path:
   -2011, no port selected) or no monitor window holds a port. An open
   port stays as it is, and its number is returned. The number goes on
   standing for `path` until com_open is given another number or the
   monitor window is released: com_open with it, as the settings dialog's
   link step makes when vkt_settingform_open_port was given it, opens
   `path` again. */
VKTCOM_API int32_t VKTCOM_CALL vkt_open_path(const char* path);

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
#define VKT_DOWNLOAD_STOPPED 5  /* vkt_download_stop ended it */
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

/* Asks the download running on another thread (vkt_inputdata, or the
   monitor window's download) to end now, as a host does when its user
   interrupts a long download. The one export that may be called from any
   thread, while another export runs (not from a signal handler). The
   download ends at its next look at the port (within about 20 ms) as if
   the logger had fallen silent, but without the 3 s "TIME OUT" display:
   vkt_inputdata returns 0, the report's status is VKT_DOWNLOAD_STOPPED, the
   record table keeps only its header row, the text received so far stays
   for vkt_download_text (the record lines that came, for a host that keeps
   them) and what the port holds is discarded. The logger goes on sending
   the rest of its reply for as long as that takes: a host waits for it to
   fall silent before its next command. Returns 1 when a download was
   running, else 0 (nothing changes: a download started after it runs
   whole). */
VKTCOM_API int32_t VKTCOM_CALL vkt_download_stop(void);

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

/* ---- Port numbers and the machine's serial devices ----
   A port number stands for a terminal device under the device folder
   ($VKTCOM_DEV_ROOT, else /dev); the library's port table decides which.
   These functions read the table and the kernel's description of the
   devices ($VKTCOM_SYSFS_ROOT, else /sys) for a host that names ports as a
   Linux user does. They need no monitor window. */

/* Copies the device path that port number `port` stands for (for example
   "/dev/ttyUSB0" for 1) into `path` by the buffer rule above. Returns its
   full length; 0, with an empty text, when the number stands for no
   device. Whether the device exists is not checked. */
VKTCOM_API int32_t VKTCOM_CALL vkt_port_device(int32_t port, char* path, int32_t size);

/* The port number a device path stands for: the port whose device path is
   `path`, else the one that `path` leads to through links (a
   /dev/serial/by-id name); a bare name such as "ttyACM2" is read as a
   device name. 0 when `path` is NULL or names no port. */
VKTCOM_API int32_t VKTCOM_CALL vkt_device_port(const char* path);

/* One terminal device of the port table that the kernel describes. */
struct vkt_serial_port {
  int32_t port;        /* its port number */
  int32_t node_exists; /* 1 when its device node exists, else 0 */
  int32_t usb;         /* 1 when a USB device lies above it, else 0 */
  int32_t vendor;      /* that USB device's vendor and product identifiers, */
  int32_t product;     /*   -1 when unknown */
  int32_t logger;      /* 1 when they are the logger adapter's, else 0 */
};

/* Fills `ports` (room for `max`) with the terminal devices of the port
   table that the kernel describes, in port-number order. Returns how many
   there are, which may be more than `max`; `ports` NULL or `max` < 1 only
   counts them. */
VKTCOM_API int32_t VKTCOM_CALL vkt_serial_ports(struct vkt_serial_port* ports, int32_t max);

/* Texts of a serial device, by vkt_serial_port_text's `which`: */
#define VKT_PORT_SERIAL 1       /* the USB device's serial number */
#define VKT_PORT_MANUFACTURER 2 /* its manufacturer string */
#define VKT_PORT_PRODUCT 3      /* its product string */
#define VKT_PORT_BY_ID 4        /* the link under <dev>/serial/by-id that leads to it */

/* Copies text `which` of the serial device of port `port` into `text` by
   the buffer rule above. Returns its full length (0 for a text the device
   does not have), or -1 when the port has no such device or `which` is
   none of VKT_PORT_*. */
VKTCOM_API int32_t VKTCOM_CALL vkt_serial_port_text(int32_t port, int32_t which, char* text, int32_t size);

/* Copies the names ("1-1") of the USB devices with the logger adapter's
   identifiers below which no terminal device of the port table lies (its
   driver was never bound to them), one per line, each ended by LF, into
   `text` by the buffer rule above. Returns the full length. */
VKTCOM_API int32_t VKTCOM_CALL vkt_unbound_adapters(char* text, int32_t size);

/* Lists of the last port search, by vkt_search_list's `list`: */
#define VKT_SEARCH_DEVICES 11  /* every serial device present (ListBox11) */
#define VKT_SEARCH_VCP 12      /* the ports of those that are virtual COM ports (ListBox12) */
#define VKT_SEARCH_ADAPTERS 13 /* every adapter seen (ListBox13) */
#define VKT_SEARCH_RESULT 14   /* the logger's ports, or "VCP none" / "COM none" (ListBox14) */
#define VKT_SEARCH_STATUS 15   /* "finished", or "Searching..." when it ended early (Label11) */

/* Copies one list of the last port search (com_search, the port-watching
   timer), as the monitor window shows it, one entry per line, each ended
   by LF, into `text` by the buffer rule above. Returns the full length, or
   -1 when there is no monitor window or `list` is none of VKT_SEARCH_*. */
VKTCOM_API int32_t VKTCOM_CALL vkt_search_list(int32_t list, char* text, int32_t size);

/* ---- The logger's parameters and records ---- */

/* Copy the logger's year and record count as the library holds them into
   `text` by the buffer rule above, and return the full length. vkt_connect
   takes them from the parameter lines "@Year=" (the four characters after
   the key) and "@Count=" (the number between the line's first blank and
   the next blank within ten characters; empty when no blank follows it);
   a download advances the year to that of its last record. Both are
   empty until a connect has read their lines. */
VKTCOM_API int32_t VKTCOM_CALL vkt_get_param_year(char* text, int32_t size);
VKTCOM_API int32_t VKTCOM_CALL vkt_get_param_count(char* text, int32_t size);

/* Decodes the record lines among the lines of `text` (lines end in LF and
   are trimmed; a line that is not 20 hexadecimal digits is passed over),
   as a download decodes them: the first record is dated in `year` (NULL:
   empty), each later one in the same year as the record before it when
   their year tags are equal and in the next year when they differ. Fills
   `records` (room for `max`) as vkt_get_records does, with `row` the
   line's number in `text` (1 for the first line). Returns the number of
   records in `text`, which may be more than `max`; 0 when `text` is NULL.
   Touches no state of the library: for the lines that vkt_download_text
   kept of a failed download, with the year vkt_get_param_year gave before
   it. */
VKTCOM_API int32_t VKTCOM_CALL vkt_decode_records(const char* text, const char* year, struct vkt_record* records,
                                                  int32_t max);

/* Copies the text of the last message box the library showed since it was
   loaded (for example "VKT が見つかりません", Shift-JIS texts as shown)
   into `text` by the buffer rule above; empty when none. Returns the full
   length. */
VKTCOM_API int32_t VKTCOM_CALL vkt_last_message(char* text, int32_t size);

/* ---- The settings dialog, worked by a host ----
   These functions work the settings dialog of settingform_open as a user
   does: they read what its controls show, select items, press up-down
   arrows, tick the start-time box and type its fields, press Ok or Cancel.
   What Ok sends is therefore exactly what the dialog sends. */

/* Opens the settings dialog as settingform_open does, except that its link
   step (the read-back at every show and the Ok) opens port `port` instead
   of searching for the logger's port; 0 searches, as settingform_open.
   The port stays the dialog's until settingform_release. When the dialog
   is shown already, only the port changes. Returns 1, or 0 (nothing done)
   when `port` is below 0 or above 65535. */
VKTCOM_API int32_t VKTCOM_CALL vkt_settingform_open_port(int32_t port);

/* The settings and texts of the dialog, by `which`: */
#define VKT_SETTING_RECORD 1        /* choice: "ja_1sec" ... "jE_5min" */
#define VKT_SETTING_INTERVAL 2      /* choice: "i6_20msec" ... */
#define VKT_SETTING_TYPE 3          /* choice: the model, "10_VKT-18" ... */
#define VKT_SETTING_WAIT 4          /* choice: six items, the sixth with seconds */
#define VKT_SETTING_WAIT_SECONDS 5  /* number 5..90 */
#define VKT_SETTING_ADJ_H1 6        /* choice: "Ox00_None", "Ox01~99" */
#define VKT_SETTING_ADJ_H1_VALUE 7  /* number 1..99 */
#define VKT_SETTING_ADJ_H3 8        /* choice: "Oz00", "Oz01" */
#define VKT_SETTING_MY_ID 9         /* number 0..99 */
#define VKT_SETTING_DETECT 10       /* number 1..99 */
#define VKT_SETTING_START 11        /* the start time "MM/DD HH:MM"; empty: not wanted */
#define VKT_SETTING_DETECT_G 12     /* read only: the detect threshold in G for the model, "0.60(G)" */
#define VKT_SETTING_ADJ_H1_G 13     /* read only: the ADJ_h1 value in G */
#define VKT_SETTING_REVISION 14     /* read only: the logger's revision */
#define VKT_SETTING_PORT 15         /* read only: the status bar's port, "COM3" */
#define VKT_SETTING_STATE 16        /* read only: the status bar's state text */
#define VKT_SETTING_COMMANDS 17     /* read only: the commands Ok sends now, separated by blanks */
#define VKT_SETTING_RESERVATION 18  /* read only: the reservation Ok stores now; empty when none */

/* Copies what the dialog shows for `which` into `text` by the buffer rule
   above: the selected item's caption for a choice (empty when none is
   selected), the edit's text for a number. Returns the full length, or -1
   when there is no settings dialog or `which` is none of VKT_SETTING_*. */
VKTCOM_API int32_t VKTCOM_CALL vkt_setting_get(int32_t which, char* text, int32_t size);

/* Copies the caption of item `item` (0 for the first) of choice `which`
   into `text` by the buffer rule above. Returns its full length, or -1
   when there is no settings dialog, `which` is not a choice or the choice
   has no such item. */
VKTCOM_API int32_t VKTCOM_CALL vkt_setting_item(int32_t which, int32_t item, char* text, int32_t size);

/* Changes setting `which` as a user does. `value`: for a choice, the item's
   number in decimal ("0" for the first); for a number, the number, reached
   by pressing the up-down's arrows; for VKT_SETTING_START "MM/DD HH:MM",
   typed into the four start-time fields as it stands with the start-time
   box ticked, or "" to untick it. Returns 1 when the dialog took the value,
   0 when it does not offer it (no such item, a number beyond the up-down's
   range, a start time not of that form, `value` NULL), -1 when there is
   no settings dialog or `which` cannot be changed. */
VKTCOM_API int32_t VKTCOM_CALL vkt_setting_set(int32_t which, const char* value);

/* The dialog's buttons, for vkt_settingform_press: */
#define VKT_SETTING_OK 1     /* sends the settings and stores the reservation */
#define VKT_SETTING_CANCEL 2 /* leaves without sending anything */

/* Presses `button`. Returns 1 when the dialog has finished afterwards
   (hidden, settingform_check 0), 0 when it is still in use (a command was
   not taken or the start time was refused: the message box has been
   shown, see vkt_last_message), -1 when there is no settings dialog or
   `button` is none of VKT_SETTING_OK and VKT_SETTING_CANCEL. */
VKTCOM_API int32_t VKTCOM_CALL vkt_settingform_press(int32_t button);

/* ---- The trace for bug reports ----
   The library writes one line per event into a trace file: each exported
   call with its arguments and result (runs of one record accessor folded
   into one line), every write to the port and every block of received
   bytes (hexadecimal and text), each wait and how it ended, the port's
   opening and closing, and every message box and popup text. A program
   that cannot be changed is traced by setting the environment variable
   VKTCOM_TRACE to a file before it starts (read at its first call other
   than vkt_dll_ver, on Windows too). A file of 64 MB is moved to
   "<path>.1" and a new one begun. docs/bug-reports.md says more. */

/* Starts a trace in `path` (made anew), ending one that runs. Returns 1;
   0 when `path` is NULL or the file cannot be written (one line on
   standard error says why; the library goes on without a trace). */
VKTCOM_API int32_t VKTCOM_CALL vkt_trace_start(const char* path);

/* Ends the trace, if one runs. */
VKTCOM_API void VKTCOM_CALL vkt_trace_stop(void);

#endif /* !_WIN32 */

#ifdef __cplusplus
}
#endif

#endif /* VKTCOM_EXT_H */
