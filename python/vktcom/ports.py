"""Port numbers and device paths on Linux, by the library's fixed table:
COM1-COM20 are ttyUSB0-ttyUSB19, COM21-COM40 ttyACM0-ttyACM19, COM41-COM72
ttyS0-ttyS31; other numbers name no device."""
import os
import re

_TABLE = (("ttyUSB", 1, 20), ("ttyACM", 21, 20), ("ttyS", 41, 32))


def dev_root():
    """$VKTCOM_DEV_ROOT when set and not empty, else /dev (as the library)."""
    root = os.environ.get("VKTCOM_DEV_ROOT") or "/dev"
    return root.rstrip("/") or "/"


def device_name(port):
    """ "ttyUSB0" for port 1; None when the number names no device."""
    for prefix, first, size in _TABLE:
        if first <= port < first + size:
            return f"{prefix}{port - first}"
    return None


def device_path(port):
    name = device_name(port)
    return os.path.join(dev_root(), name) if name else None


def _number_of_name(name):
    match = re.fullmatch(r"(ttyUSB|ttyACM|ttyS)(\d+)", name)
    if not match:
        return None
    for prefix, first, size in _TABLE:
        if prefix == match.group(1) and int(match.group(2)) < size:
            return first + int(match.group(2))
    return None


def port_number(port):
    """The port number for N, "COMN" or a device path ("/dev/ttyUSB0", or a
    link to one such as /dev/serial/by-id/...). Raises ValueError when the
    argument names no port of the table."""
    if isinstance(port, bool):
        raise ValueError(f"not a port: {port!r}")
    if isinstance(port, int):
        number = port
    elif isinstance(port, str) and re.fullmatch(r"(?i)(com)?\d+", port.strip()):
        number = int(re.sub(r"(?i)^com", "", port.strip()))
    elif isinstance(port, (str, os.PathLike)):
        path = os.fspath(port)
        number = _number_of_name(os.path.basename(path))
        if number is None:
            number = _number_of_name(os.path.basename(os.path.realpath(path)))
        if number is None:
            raise ValueError(f"{path} is no device of the port table (ttyUSB0-19, ttyACM0-19, ttyS0-31)")
    else:
        raise ValueError(f"not a port: {port!r}")
    if device_name(number) is None:
        raise ValueError(f"COM{number} names no device (ports are COM1-COM72)")
    return number


def port_text(port):
    path = device_path(port)
    return f"COM{port} ({path})" if path else f"COM{port}"
