"""python3 -m vktcom download|info|plot: the logger from the command line.

The options, their defaults and the files written are those of the `vkt`
program's subcommands of the same names: `python3 -m vktcom download
--simulate` and `vkt download --simulate` write the same CSV. CSV and JSON
lines have the same fields: timestamp (ISO 8601), date, time, x_counts,
y_counts, z_counts, temperature, humidity_raw. On a terminal a download
shows its progress on standard error.

Exit codes as the `vkt` program's: 0 success, 1 other error, 2 usage,
3 library, 4 no logger found, 5 port cannot be opened, 6 no answer,
7 download failed, 8 output cannot be written, 9 simulator, 11 the download
failed and --partial wrote the records received.
"""
import argparse
import contextlib
import json
import operator
import os
import sys

from . import errors
from .errors import LibraryError
from .logger import Logger
from .ports import port_text
from .logger import estimated_seconds
from .records import CSV_HEADER, to_csv
from .simulator import simulated_logger

EXIT_CODES = (
    (LibraryError, 3),
    (errors.NoLoggerFound, 4),
    (errors.PortOpenError, 5),
    (errors.NoReplyError, 6),
    (errors.LoggerUnplugged, 7),
    (errors.DownloadError, 7),
    (errors.ClockError, 7),
    (errors.SimulatorError, 9),
    (errors.VktError, 1),
)


FORMATS = ("csv", "json", "csv-legacy", "json-legacy")


def _options(parser):
    parser.add_argument("--library", dest="module_path", metavar="PATH", help="the libvktcom.so to load (default: "
                        "$VKTCOM_LIBRARY, else the installed library)")
    parser.add_argument("--port", metavar="PORT", help="use this port instead of searching: N, COMN or a device "
                        "path (/dev/ttyUSB0, /dev/serial/by-id/...) of the port table")
    parser.add_argument("--simulate", action="store_true", help="talk to a simulated logger (the vktsim program)")
    parser.add_argument("--sim-records", type=int, default=200, metavar="N",
                        help="records the simulated logger holds (default 200)")
    parser.add_argument("--sim-unpaced", action="store_true",
                        help="the simulated logger replies at full speed, not at 19200 baud")
    # The simulator's generator, as vkt's hidden options.
    parser.add_argument("--sim-seed", type=int, default=None, help=argparse.SUPPRESS)
    parser.add_argument("--sim-new-year", action="store_true", help=argparse.SUPPRESS)


def _parser():
    common = argparse.ArgumentParser(add_help=False)
    _options(common)
    parser = argparse.ArgumentParser(prog="python3 -m vktcom", description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    sub = parser.add_subparsers(dest="command", required=True, metavar="download|info|plot")
    download = sub.add_parser("download", parents=[common], help="download every record and write it as CSV "
                              "(or JSON lines)")
    download.add_argument("-o", "--output", metavar="FILE", help="write to FILE instead of standard output")
    layout = download.add_mutually_exclusive_group()
    layout.add_argument("--format", choices=FORMATS, default="csv",
                        help="csv (the default) or json (JSON lines), both with the fields "
                        "timestamp,date,time,x_counts,y_counts,z_counts,temperature,humidity_raw; "
                        "csv-legacy or json-legacy: the first layout's fields date,time,x,y,z,temperature,humidity")
    layout.add_argument("--json", action="store_const", dest="format", const="json", help="the same as --format json")
    download.add_argument("--partial", action="store_true",
                          help="when the download fails, still write the records received (exit code 11)")
    sub.add_parser("info", parents=[common], help="connect and print the logger's parameter lines, year and "
                   "record count")
    plot = sub.add_parser("plot", parents=[common],
                          help="plot acceleration, temperature and humidity against time into PNG or SVG")
    plot.add_argument("csv", nargs="?", metavar="CSV", help="a record CSV to plot instead of downloading")
    plot.add_argument("-o", "--output", required=True, metavar="FILE", help="the plot, .png or .svg")
    plot.add_argument("--title", help="the plot's title")
    return parser


@contextlib.contextmanager
def _logger(args):
    with contextlib.ExitStack() as stack:
        if args.simulate:
            stack.enter_context(simulated_logger(records=args.sim_records, paced=not args.sim_unpaced,
                                                 new_year=args.sim_new_year, seed=args.sim_seed))
        yield stack.enter_context(Logger(port=args.port, library=args.module_path))


class _ProgressLine:
    """The download's progress as one line on a terminal, redrawn in place
    about five times a second (the width read each time, so a resized
    terminal gets a line that fits) and cleared when the download ends, so
    that what is printed next starts on a clean line:

        1200/5000 records  24%  0:44 left
    """

    def __init__(self, stream):
        self._stream = stream
        self._shown = False

    def _columns(self):
        """The terminal's width; 80 when it reports none (0, as a terminal
        whose size was never set does)."""
        try:
            return os.get_terminal_size(self._stream.fileno()).columns or 80
        except (OSError, ValueError):
            return 80

    def __call__(self, done, total):
        if total is None:
            text = f"{done:>6} records"
        else:
            percent = 100 * done // total if total > 0 else 100
            seconds = round(estimated_seconds(max(total - done, 0)))
            text = f"{done:>6}/{total} records {percent:>3}%  {seconds // 60}:{seconds % 60:02d} left"
        text = text[:max(self._columns() - 1, 10)]
        self._stream.write(f"\r{text}\x1b[K")
        self._stream.flush()
        self._shown = True

    def clear(self):
        if self._shown:
            self._stream.write("\r\x1b[K")
            self._stream.flush()
            self._shown = False


def _download(args):
    """The records, and whether the download was complete: with --partial a
    failed download gives the records received before the failure. The
    progress shows only when standard error is a terminal."""
    progress = _ProgressLine(sys.stderr) if sys.stderr.isatty() else None
    with _logger(args) as logger:
        logger.connect()
        try:
            try:
                return logger.download(progress=progress), True
            finally:
                if progress is not None:
                    progress.clear()
        except errors.DownloadError as e:
            if not getattr(args, "partial", False):
                raise
            print(f"vktcom: {e}", file=sys.stderr)
            return logger.received_records(), False


def _json_record(record, layout):
    """One JSON line of `layout` ("json" or "json-legacy"), as `vkt download`
    writes it: texts for the timestamp, date and time, numbers for the
    values; the timestamp is null when the record's fields form no real
    date and time."""
    if layout == "json-legacy":
        return {"date": record.date_text, "time": record.time_text, "x": record.x, "y": record.y, "z": record.z,
                "temperature": record.temperature, "humidity": record.humidity}
    return dict(zip(CSV_HEADER, (record.timestamp_text or None, record.date_text, record.time_text, record.x, record.y,
                                 record.z, record.temperature, record.humidity)))


def _write(text, output):
    if output is None:
        sys.stdout.write(text)
        sys.stdout.flush()
        return
    try:
        with open(output, "w", encoding="ascii", newline="") as f:
            f.write(text)
    except OSError as e:
        raise _OutputError(f"cannot write {output}: {e.strerror or e}") from None


class _OutputError(Exception):
    pass


def run(args):
    if args.command == "info":
        with _logger(args) as logger:
            info = logger.connect()
            module, version = operator.attrgetter("library_path", "library_version")(logger)
            print(f"library: {module} (version {version})")
            print(f"port: {port_text(logger.port, module)}")
            print("parameters:")
            for line in info.lines:
                print(f"  {line}")
            print(f"year: {info.year if info.year is not None else 'unknown'}")
            print(f"records: {info.count if info.count is not None else 'unknown'}")
        return 0
    if args.command == "download":
        records, complete = _download(args)
        if args.format.startswith("json"):
            text = "".join(json.dumps(_json_record(r, args.format), separators=(",", ":")) + "\n" for r in records)
        else:
            text = to_csv(records, layout=args.format)
        _write(text, args.output)
        if not complete:
            print(f"kept {len(records)} records received before the failure (--partial)", file=sys.stderr)
            return 11
        print(f"downloaded {len(records)} records", file=sys.stderr)
        return 0
    if args.command == "plot":
        from . import plot
        if args.csv:
            try:
                columns = plot.read_csv(args.csv)
            except OSError as e:
                raise errors.VktError(f"cannot read {args.csv}: {e.strerror or e}") from None
        else:
            columns = plot.columns_of(_download(args)[0])
        try:
            drawn = plot.plot(columns, args.output, args.title)
        except OSError as e:
            raise _OutputError(f"cannot write {args.output}: {e.strerror or e}") from None
        print(f"plotted {drawn} records into {args.output}", file=sys.stderr)
        return 0
    return 2


def main(argv=None):
    parser = _parser()
    args = parser.parse_args(argv)
    try:
        return run(args)
    except _OutputError as e:
        print(f"vktcom: {e}", file=sys.stderr)
        return 8
    except (ValueError, ImportError) as e:
        print(f"vktcom: {e}", file=sys.stderr)
        return 2 if isinstance(e, ValueError) else 1
    except errors.VktError as e:
        print(f"vktcom: {e}", file=sys.stderr)
        for kind, code in EXIT_CODES:
            if isinstance(e, kind):
                return code
        return 1


if __name__ == "__main__":
    sys.exit(main())
