"""A logger on its serial port, through the vktcom library."""
import collections
import ctypes
import os
import threading
import time

from . import _library
from .errors import (BadRecordLine, ClockError, DownloadTimeout, LoggerUnplugged, NoLoggerFound, NoReplyError,
                     PortOpenError, ReservationError)
from .ports import device_path, port_number, port_text
from .records import RecordList, records_from_buffer

# The library waits at most 3 s for a reply and returns as soon as one came.
NO_REPLY_SECONDS = 2.9
# Bytes per record line (20 digits and CR LF, about) and the line's 1920
# bytes per second at 19200 baud: the progress estimate while the reply comes.
_LINE_BYTES = 22
_BYTES_PER_SECOND = 1920.0

ConnectInfo = collections.namedtuple("ConnectInfo", "lines year count")
ConnectInfo.__doc__ = """What the handshake tells: the parameter lines, and
the logger's year and record count as the library read them from the lines
(int, or None when the library holds no number)."""


def _number(text):
    """The library's year or count text as an int, or None when it is no number."""
    return int(text) if text.isdigit() else None


class Logger:
    """The logger on `port` (None: the port search finds it; else N, "COMN"
    or a device path of the port table), as a context manager:

        with vktcom.Logger() as logger:
            info = logger.connect()
            records = logger.download()

    `library` is the path of libvktcom.so (default: $VKTCOM_LIBRARY, else the
    installed library). `trace` names a file for the library's trace (every
    call and every byte on the line, with times) for a bug report; a file
    that cannot be written is said on standard error and the logger works
    without a trace. The library keeps one state per process: use one
    Logger at a time, from one thread. Every failure raises an exception of
    vktcom.errors naming its cause."""

    def __init__(self, port=None, library=None, trace=None):
        self._api = _library.load_library(library)
        if trace is not None:
            self._api.vkt_trace_start(os.fsencode(trace))
        self._wanted = port_number(port, self._api.path) if port is not None else None
        self.port = None
        self.info = None
        self._year_text = ""  # the library's year before the last download

    @property
    def library_path(self):
        return self._api.path

    @property
    def library_version(self):
        """The library's version number (vkt_dll_ver): 107 for 1.0.7."""
        return self._api.vkt_dll_ver()

    # ---- port ----

    def open(self):
        """Finds (when no port was given) and opens the port; returns self."""
        if self.port is not None:
            return self
        api = self._api
        if self._wanted is None:
            number = api.com_search()
            if number == 0:
                self._release()
                raise NoLoggerFound("no logger found (no adapter with the logger's USB identifiers 1F2E:3D4C)")
        else:
            # The monitor window holds the port; the search and form_open create it.
            api.form_open()
            api.form_close()
            number = self._wanted
        opened = api.com_open(number)
        if opened < 0:
            self._release()
            raise PortOpenError(f"cannot open {port_text(number, self._api.path)}: no such device, no permission, "
                                "or held by another program")
        self.port = opened
        return self

    def close(self):
        """Closes the port and discards the library's records."""
        if self.port is None:
            return
        self.port = None
        self.info = None
        self._api.com_close()
        self._release()

    def _release(self):
        self._api.form_release()
        self._api.vkt_process_messages()  # the release takes effect at the next dispatch

    def __enter__(self):
        return self.open()

    def __exit__(self, *exc):
        self.close()
        return False

    def _require_open(self):
        if self.port is None:
            self.open()

    def _gone(self, grace=0.5):
        """True when the port's device node has gone (an unplugged adapter);
        waits up to `grace` seconds for a removal under way."""
        path = device_path(self.port, self._api.path) if self.port else None
        if not path:
            return False
        deadline = time.monotonic() + grace
        while os.path.lexists(path):
            if time.monotonic() >= deadline:
                return False
            time.sleep(0.02)
        return True

    def _no_reply(self, what):
        if self._gone():
            return LoggerUnplugged(f"the logger on {port_text(self.port, self._api.path)} was unplugged ({what})")
        return NoReplyError(f"the logger does not answer on {port_text(self.port, self._api.path)} ({what})")

    # ---- exchange ----

    def connect(self):
        """Handshake ("m", "p"): returns ConnectInfo(lines, year, count)."""
        self._require_open()
        api = self._api
        if not api.vkt_connect():
            raise self._no_reply("handshake")
        buffer = ctypes.create_string_buffer(_library.PARAM_BUFFER_SIZE)
        buffer[0] = b"\x01"  # left as it is when the logger stays silent
        api.vkt_get_param(buffer)
        if buffer.raw[0] == 1:
            raise self._no_reply("parameter request")
        lines = [line for line in buffer.value.decode("latin-1").replace("\r", "\n").split("\n") if line]
        year = _library.text_of(api.vkt_get_param_year)
        count = _library.text_of(api.vkt_get_param_count)
        self.info = ConnectInfo(lines, _number(year), _number(count))
        return self.info

    def set_clock(self):
        """Sets the logger's clock to the PC's local time, then sends the
        pending start-time reservation, if any."""
        self._require_open()
        if not self._api.vkt_clkset():
            if self._gone():
                raise LoggerUnplugged(f"the logger on {port_text(self.port, self._api.path)} was unplugged (clock setting)")
            raise ClockError("setting the logger's clock failed (the library's message says which command)")

    def send(self, command):
        """Sends one command as it stands and waits up to 3 s for a reply
        ending in "#"; returns the seconds the reply took. The library hands
        over no reply text."""
        self._require_open()
        if isinstance(command, str):
            command = command.encode("latin-1")
        if not command or b"\0" in command:
            raise ValueError("a command is one or more bytes, none of them NUL")
        start = time.monotonic()
        self._api.vkt_set_command(command)
        seconds = time.monotonic() - start
        if seconds >= NO_REPLY_SECONDS:
            raise self._no_reply(f"command {command.decode('latin-1')!r}")
        return seconds

    @property
    def reservation(self):
        """The pending start-time reservation command ("lmm/dd hh:nn"), or None."""
        buffer = ctypes.create_string_buffer(_library.RESERVETIME_BUFFER_SIZE)
        self._api.vkt_get_reservetime(buffer)
        return buffer.value.decode("latin-1") or None

    def check_reservation(self):
        """Raises ReservationError unless no reservation is pending or it is
        a real date in the next 30 days."""
        if not self._api.vkt_startsetcheck():
            raise ReservationError(f"the start-time reservation {self.reservation!r} is not a date in the next 30 days")

    # ---- download ----

    def download(self, progress=None):
        """Downloads every record ("D"); returns a RecordList of Record.

        Connects first when connect() has not run (the handshake gives the
        year of the first record). `progress(done, total)` is called from a
        helper thread about five times a second while the logger sends, with
        `done` estimated from the time elapsed at the line speed (the library
        reports nothing until the reply is complete), and once at the end
        with the records received; `total` is the count the logger reported,
        or None."""
        self._require_open()
        if self.info is None:
            self.connect()
        api = self._api
        total = self.info.count
        self._year_text = _library.text_of(api.vkt_get_param_year)
        stop = threading.Event()
        ticker = None
        if progress is not None:
            ticker = threading.Thread(target=_estimate, args=(progress, total, stop), daemon=True)
            ticker.start()
        try:
            complete = bool(api.vkt_inputdata())
        finally:
            stop.set()
            if ticker is not None:
                ticker.join()
        rows = max(api.vkt_datacount(), 0)
        buffer = (_library.VktRecord * max(rows, 1))()
        copied = api.vkt_get_records(1, rows, buffer) if rows else 0
        if not complete:
            raise self._download_failure(buffer, copied)
        records = RecordList(records_from_buffer(buffer, copied))
        if progress is not None:
            progress(len(records), total)
        return records

    def received_records(self):
        """The records among the lines the last download received, as the
        library decodes them, dated from the logger's year before that
        download: after a failed download, the records that did come."""
        api = self._api
        text = _library.text_of(api.vkt_download_text).encode("latin-1")
        year = self._year_text.encode("latin-1")
        count = max(api.vkt_decode_records(text, year, None, 0), 0)
        buffer = (_library.VktRecord * max(count, 1))()
        copied = api.vkt_decode_records(text, year, buffer, count) if count else 0
        return RecordList(records_from_buffer(buffer, min(copied, count)))

    def _download_failure(self, buffer, copied):
        # After a bad line the table holds every line received, undecoded;
        # after a time-out (or an unplug) it holds no record lines at all.
        for i in range(copied):
            line = buffer[i].data.decode("latin-1")
            length = buffer[i].data_length
            if length and (length != 20 or not _is_hex(line)):
                what = f"{length} characters" if length != 20 else "a character that is not a hexadecimal digit"
                return BadRecordLine(f"bad record line {i} ({what}): {line!r}; no record was decoded",
                                     i, line, length)
        if self._gone():
            return LoggerUnplugged(f"the logger on {port_text(self.port, self._api.path)} was unplugged during the download")
        return DownloadTimeout("the download timed out: the logger sent nothing for 3 s before the end of its data")


def _is_hex(text):
    return all(c in "0123456789abcdefABCDEF" for c in text)


def estimated_seconds(records):
    """The seconds `records` record lines take on the line at 19200 baud."""
    return records * _LINE_BYTES / _BYTES_PER_SECOND


def _estimate(progress, total, stop):
    start = time.monotonic()
    while not stop.wait(0.2):
        done = int((time.monotonic() - start) / estimated_seconds(1))
        if total is not None:
            done = min(done, max(total - 1, 0))
        progress(done, total)
