"""Port numbers and device paths on Linux, by the library's port table
(vkt_port_device, vkt_device_port): a port number stands for a terminal
device under the device folder ($VKTCOM_DEV_ROOT, else /dev)."""
import ctypes
import os
import re

from . import _library


def device_path(port, library=None):
    """The device path the library opens for port number `port`
    ("/dev/ttyUSB0" for 1); None when the number stands for no device."""
    api = _library.load_library(library)
    buffer = ctypes.create_string_buffer(4096)
    length = api.vkt_port_device(port, buffer, len(buffer))
    return buffer.value.decode("utf-8", "surrogateescape") if 0 < length < len(buffer) else None


def port_number(port, library=None):
    """The port number for N, "COMN" or a device path ("/dev/ttyUSB0", a
    device name such as "ttyACM2", or a link to one such as
    /dev/serial/by-id/...). Raises ValueError when the argument names no
    port of the library's table."""
    if isinstance(port, bool):
        raise ValueError(f"not a port: {port!r}")
    if isinstance(port, int):
        number = port
    elif isinstance(port, str) and re.fullmatch(r"(?i)(com)?\d+", port.strip()):
        number = int(re.sub(r"(?i)^com", "", port.strip()))
    elif isinstance(port, (str, os.PathLike)):
        path = os.fspath(port)
        number = _library.load_library(library).vkt_device_port(os.fsencode(path))
        if number == 0:
            raise ValueError(f"{path} is no device of the port table (vkt ports lists the serial devices)")
    else:
        raise ValueError(f"not a port: {port!r}")
    if not 1 <= number <= 65535 or device_path(number, library) is None:
        raise ValueError(f"COM{number} stands for no device of the port table")
    return number


def port_text(port, library=None):
    path = device_path(port, library)
    return f"COM{port} ({path})" if path else f"COM{port}"
