"""Records of a download as Python values.

A record holds what the logger stored: the time stamp's fields, the three
acceleration axes as raw counts, the temperature in degrees and the humidity
as stored (raw counts). `time` is a datetime when the fields form a real date
and time, and None otherwise: a logger's memory can hold months 0 and 13-15,
seconds 60-63 or hundredths 100-255, and such a record keeps its fields.
"""
import csv
import datetime
import gc
import io
import struct

# struct vkt_record of vktcom.h, 48 bytes.
_RECORD = struct.Struct("<3i8B4b2B22s")

# The CSV layouts of `vkt download`: "csv" (the default) puts the record's
# date and time in ISO 8601 in front and names the raw values by their
# unit; "csv-legacy" is the first layout, whose names JSON lines use too.
CSV_HEADER = ("timestamp", "date", "time", "x_counts", "y_counts", "z_counts", "temperature", "humidity_raw")
LEGACY_CSV_HEADER = ("date", "time", "x", "y", "z", "temperature", "humidity")
LAYOUTS = ("csv", "csv-legacy")


def _temperature(deg, tenths):
    """The temperature as the library's DEG text "deg.tenths" reads: 23 and
    5 give 23.5, -5 and 5 give -5.5 (the tenths follow the sign)."""
    fraction = tenths / 10 if tenths < 10 else tenths / 100
    return round(deg + fraction if deg >= 0 else deg - fraction, 2)


# Every (deg, tenths) pair, indexed by (deg & 0xFF) << 4 | tenths.
_TEMPERATURES = tuple(_temperature(d - 256 if d > 127 else d, t) for d in range(256) for t in range(16))
_DATETIME = datetime.datetime


class Record:
    """One record of a download.

    Attributes: `time` (datetime or None), `x`, `y`, `z` (acceleration,
    counts, -128 to 127), `temperature` (degrees, float), `humidity` (as
    stored, 0-255), `raw` (the record line, 20 hexadecimal digits). The
    stored fields: `row` (1 for the first record), `year`, `month`, `day`,
    `hour`, `minute`, `second`, `hundredths`, `deg`, `tenths`, `year_tag`.
    """

    __slots__ = ("time", "x", "y", "z", "temperature", "humidity", "raw", "_fields")

    def __init__(self, time, x, y, z, temperature, humidity, raw, fields):
        self.time = time
        self.x = x
        self.y = y
        self.z = z
        self.temperature = temperature
        self.humidity = humidity
        self.raw = raw
        # The unpacked vkt_record: row, year, data_length, decoded, month,
        # year_tag, day, hour, min, sec, n, x, y, z, deg, msec, humi, data.
        self._fields = fields

    row = property(lambda self: self._fields[0])
    year = property(lambda self: self._fields[1])
    month = property(lambda self: self._fields[4])
    year_tag = property(lambda self: self._fields[5])
    day = property(lambda self: self._fields[6])
    hour = property(lambda self: self._fields[7])
    minute = property(lambda self: self._fields[8])
    second = property(lambda self: self._fields[9])
    tenths = property(lambda self: self._fields[10])
    deg = property(lambda self: self._fields[14])
    hundredths = property(lambda self: self._fields[15])

    @property
    def date_text(self):
        """The date as the library writes it: "2009/03/15"."""
        year = str(self.year) if self.year else ""
        return f"{year}/{self.month:02d}/{self.day:02d}"

    @property
    def time_text(self):
        """The time as the library writes it: "13:45:30.25"."""
        return f"{self.hour:02d}:{self.minute:02d}:{self.second:02d}.{self.hundredths:02d}"

    @property
    def temperature_text(self):
        """The temperature as the library writes it: "23.5"."""
        return f"{self.deg}.{self.tenths}"

    @property
    def timestamp_text(self):
        """The date and time in ISO 8601, "2009-03-15T13:45:30.25" (the
        logger's local time, no offset); empty when they form no real date
        and time or the year has not four digits."""
        if self.time is None or not 1000 <= self.year <= 9999:
            return ""
        return (f"{self.year:04d}-{self.month:02d}-{self.day:02d}T{self.hour:02d}:{self.minute:02d}:"
                f"{self.second:02d}.{self.hundredths:02d}")

    def to_row(self, layout="csv"):
        """The columns of CSV_HEADER ("csv") or of LEGACY_CSV_HEADER ("csv-legacy")."""
        row = [self.date_text, self.time_text, self.x, self.y, self.z, self.temperature_text, self.humidity]
        return [self.timestamp_text, *row] if layout == "csv" else row

    def __eq__(self, other):
        if not isinstance(other, Record):
            return NotImplemented
        return self._fields == other._fields

    def __hash__(self):
        return hash(self._fields)

    def __repr__(self):
        when = self.time.isoformat(sep=" ") if self.time else f"{self.date_text} {self.time_text} (no real time)"
        return (f"Record(row={self.row}, time={when}, x={self.x}, y={self.y}, z={self.z}, "
                f"temperature={self.temperature}, humidity={self.humidity}, raw={self.raw!r})")


def records_from_buffer(buffer, count):
    """Record objects for the first `count` vkt_record structs in `buffer`
    (bytes-like). Rows without a decoded record are skipped."""
    view = memoryview(buffer).cast("B")[: count * _RECORD.size]
    out = []
    append = out.append
    temperatures = _TEMPERATURES
    make = _DATETIME
    # Many small objects at once: the cyclic collector would walk them again
    # and again without finding anything to free.
    collecting = gc.isenabled()
    gc.disable()
    try:
        for fields in _RECORD.iter_unpack(view):
            (row, year, length, decoded, month, tag, day, hour, minute, second,
             tenths, x, y, z, deg, hundredths, humidity, data) = fields
            if not decoded:
                continue
            try:
                when = make(year, month, day, hour, minute, second, hundredths * 10000)
            except ValueError:
                when = None
            append(Record(when, x, y, z, temperatures[(deg & 0xFF) << 4 | tenths], humidity,
                          data[:length].decode("ascii", "replace"), fields))
    finally:
        if collecting:
            gc.enable()
    return out


class RecordList(list):
    """The records of a download: a list with CSV and DataFrame conversions."""

    def to_rows(self, header=True, layout="csv"):
        return to_rows(self, header, layout)

    def to_csv(self, path_or_file=None, layout="csv"):
        return to_csv(self, path_or_file, layout)

    def to_dataframe(self):
        return to_dataframe(self)


def to_rows(records, header=True, layout="csv"):
    """Rows for csv.writer in `layout` ("csv" or "csv-legacy", as `vkt
    download --format` names them): the header (unless header=False), then
    one row per record with the library's date, time and temperature texts."""
    if layout not in LAYOUTS:
        raise ValueError(f"no CSV layout {layout!r} (one of {', '.join(LAYOUTS)})")
    if header:
        yield list(CSV_HEADER if layout == "csv" else LEGACY_CSV_HEADER)
    for record in records:
        yield record.to_row(layout)


def to_csv(records, path_or_file=None, layout="csv"):
    """Writes the records as CSV in `layout` to a path or an open text file,
    as `vkt download` writes them; with neither, returns the CSV text."""
    rows = to_rows(records, True, layout)
    if path_or_file is None:
        buffer = io.StringIO()
        csv.writer(buffer, lineterminator="\n").writerows(rows)
        return buffer.getvalue()
    if hasattr(path_or_file, "write"):
        csv.writer(path_or_file, lineterminator="\n").writerows(rows)
        return None
    with open(path_or_file, "w", newline="", encoding="ascii") as f:
        csv.writer(f, lineterminator="\n").writerows(rows)
    return None


def to_dataframe(records):
    """A pandas DataFrame: time (NaT where the fields form no real time), x,
    y, z, temperature, humidity, raw and the stored time fields. Needs pandas."""
    try:
        import pandas
    except ImportError:
        raise ImportError("to_dataframe needs pandas: apt install python3-pandas (Debian, Ubuntu); "
                          "elsewhere pip install 'vktcom[pandas]'") from None
    columns = {
        "time": pandas.to_datetime([r.time for r in records]),
        "x": [r.x for r in records],
        "y": [r.y for r in records],
        "z": [r.z for r in records],
        "temperature": [r.temperature for r in records],
        "humidity": [r.humidity for r in records],
        "raw": [r.raw for r in records],
    }
    for name in ("year", "month", "day", "hour", "minute", "second", "hundredths", "deg", "tenths"):
        columns[name] = [getattr(r, name) for r in records]
    frame = pandas.DataFrame(columns)
    for name in ("x", "y", "z", "deg"):
        frame[name] = frame[name].astype("int8")
    for name in ("humidity", "month", "day", "hour", "minute", "second", "hundredths", "tenths"):
        frame[name] = frame[name].astype("uint8")
    return frame


def parse_time(date_text, time_text):
    """A datetime from the library's DATE and TIME texts, or None when they
    form no real date and time."""
    try:
        year, month, day = (int(p) for p in date_text.split("/"))
        clock, _, hundredths = time_text.partition(".")
        hour, minute, second = (int(p) for p in clock.split(":"))
        return datetime.datetime(year, month, day, hour, minute, second, int(hundredths or 0) * 10000)
    except ValueError:
        return None
