"""The project's logger simulator (the vktsim program) as a context manager.

    with vktcom.simulated_logger(records=500) as sim, vktcom.Logger() as logger:
        ...

The simulator lays out a device folder and a sysfs folder in a temporary
folder, in which the simulated logger is ttyUSB0 (COM1) behind an adapter
with the logger's USB identifiers, and the library is pointed there through
VKTCOM_DEV_ROOT and VKTCOM_SYSFS_ROOT for the duration of the block.

The program is found at `simulator=`, else $VKTCOM_SIMULATOR, else `vktsim`
on the PATH, else build/tools/vktsim/vktsim of the source checkout.
"""
import contextlib
import os
import pathlib
import select
import shutil
import signal
import subprocess
import tempfile
import time

from .errors import SimulatorError

_START_SECONDS = 10.0


def find_simulator(path=None):
    if path is None:
        path = os.environ.get("VKTCOM_SIMULATOR") or None
    if path is not None:
        if not os.access(path, os.X_OK):
            raise SimulatorError(f"no simulator program at {path}")
        return str(path)
    found = shutil.which("vktsim")
    if found:
        return found
    tree = pathlib.Path(__file__).resolve().parent.parent.parent / "build" / "tools" / "vktsim" / "vktsim"
    if tree.is_file() and os.access(tree, os.X_OK):
        return str(tree)
    raise SimulatorError("no simulator program: build it (cmake --build build --target vktsim), "
                         "put vktsim on the PATH or set VKTCOM_SIMULATOR")


class SimulatedLogger:
    """A running simulator: `port` (1), `device_path`, `slave_path` (the
    pty), `dev_root`, `sys_root`, `process`."""

    port = 1

    def __init__(self, process, slave_path, dev_root, sys_root):
        self.process = process
        self.slave_path = slave_path
        self.dev_root = dev_root
        self.sys_root = sys_root
        self.device_path = os.path.join(dev_root, "ttyUSB0")

    @property
    def plugged(self):
        return os.path.lexists(self.device_path)


def _record_lines(records):
    lines = []
    for record in records:
        text = getattr(record, "raw", record)
        if not isinstance(text, str):
            raise TypeError(f"a record is a line of text or a Record, not {type(record).__name__}")
        lines.append(text)
    return lines


def _arguments(records, paced, first_year, new_year, seed, start, options, folder):
    args = ["--tree", folder]
    if isinstance(records, int):
        args += ["--count", str(records)]
        if seed is not None:
            args += ["--seed", str(seed)]
        if start is not None:
            args += ["--start", start]
        if new_year:
            args.append("--new-year")
    else:
        path = os.path.join(folder, "records.txt")
        with open(path, "w", encoding="ascii") as f:
            f.write("\n".join(_record_lines(records)) + "\n")
        args += ["--file", path]
        if first_year is not None:
            args += ["--first-year", str(first_year)]
    if not paced:
        args.append("--unpaced")
    for name, value in options.items():
        flag = "--" + name.replace("_", "-")
        if value is True:
            args.append(flag)
        elif value is False or value is None:
            continue
        elif isinstance(value, (list, tuple)):
            for item in value:
                args += [flag, str(item)]
        else:
            args += [flag, str(value)]
    return args


def _read_lines(process, count):
    """The first `count` lines the simulator prints, or SimulatorError."""
    lines = []
    pending = b""
    deadline = time.monotonic() + _START_SECONDS
    fd = process.stdout.fileno()
    while len(lines) < count:
        left = deadline - time.monotonic()
        if left <= 0:
            raise SimulatorError("the simulator did not start within 10 s")
        ready, _, _ = select.select([fd], [], [], left)
        if not ready:
            continue
        chunk = os.read(fd, 4096)
        if not chunk:
            error = process.stderr.read().decode(errors="replace").strip() if process.stderr else ""
            raise SimulatorError(f"the simulator stopped at start: {error or 'no message'}")
        pending += chunk
        while b"\n" in pending and len(lines) < count:
            line, pending = pending.split(b"\n", 1)
            lines.append(line.decode(errors="replace"))
    return lines


@contextlib.contextmanager
def simulated_logger(records=200, paced=False, *, first_year=None, new_year=False, seed=None, start=None,
                     simulator=None, **options):
    """Runs the simulator for the block and yields a SimulatedLogger.

    `records`: the number of generated records (with `seed`, `start`
    "yyyy/mm/dd hh:nn:ss" and `new_year`), or record lines to send as they
    are (20 hexadecimal digits, or "yyyy/mm/dd hh:nn:ss.cc,x,y,z,deg,tenths,
    humi"), with `first_year` the year of the first. `paced`: reply at 19200
    baud as a logger does (False: as fast as the pty takes it). Other
    keywords are the simulator's options (see `vktsim --help`), for
    example silent=True, no_answer=["D"], no_terminator=True,
    bad_length=3, non_hex=2, hang_up_after=2000, year_tag=3.
    """
    program = find_simulator(simulator)
    folder = tempfile.mkdtemp(prefix="vkt-sim-")
    saved = {name: os.environ.get(name) for name in ("VKTCOM_DEV_ROOT", "VKTCOM_SYSFS_ROOT")}
    process = None
    try:
        args = _arguments(records, paced, first_year, new_year, seed, start, options, folder)
        try:
            process = subprocess.Popen([program, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE)
        except OSError as e:
            raise SimulatorError(f"cannot run {program}: {e}") from None
        slave, dev, sys = _read_lines(process, 3)
        dev = dev.partition("=")[2]
        sys = sys.partition("=")[2]
        os.environ["VKTCOM_DEV_ROOT"] = dev
        os.environ["VKTCOM_SYSFS_ROOT"] = sys
        yield SimulatedLogger(process, slave, dev, sys)
    finally:
        for name, value in saved.items():
            if value is None:
                os.environ.pop(name, None)
            else:
                os.environ[name] = value
        if process is not None:
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
            for stream in (process.stdout, process.stderr):
                if stream:
                    stream.close()
        shutil.rmtree(folder, ignore_errors=True)
