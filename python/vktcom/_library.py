"""Finding and loading libvktcom.so, and the prototypes of its functions.

Lookup order: a path the caller gives, else $VKTCOM_LIBRARY, else the
installed library (libvktcom.so.1, then libvktcom.so, by the loader's
search), else the build tree's build/libvktcom.so when this package runs
from a source checkout.
"""
import ctypes
import os
import pathlib
import threading

from .errors import LibraryError

PARAM_BUFFER_SIZE = 4096
RESERVETIME_BUFFER_SIZE = 64
RECORD_DATA_SIZE = 22

INSTALLED_NAMES = ("libvktcom.so.1", "libvktcom.so")


class VktRecord(ctypes.Structure):
    """struct vkt_record of vktcom.h: 48 bytes, no padding."""

    _fields_ = [
        ("row", ctypes.c_int32),
        ("year", ctypes.c_int32),
        ("data_length", ctypes.c_int32),
        ("decoded", ctypes.c_uint8),
        ("month", ctypes.c_uint8),
        ("year_tag", ctypes.c_uint8),
        ("day", ctypes.c_uint8),
        ("hour", ctypes.c_uint8),
        ("min", ctypes.c_uint8),
        ("sec", ctypes.c_uint8),
        ("n", ctypes.c_uint8),
        ("x", ctypes.c_int8),
        ("y", ctypes.c_int8),
        ("z", ctypes.c_int8),
        ("deg", ctypes.c_int8),
        ("msec", ctypes.c_uint8),
        ("humi", ctypes.c_uint8),
        ("data", ctypes.c_char * RECORD_DATA_SIZE),
    ]


assert ctypes.sizeof(VktRecord) == 48

_c = ctypes
# name: (result, argument types)
_PROTOTYPES = {
    "form_open": (None, []),
    "form_close": (None, []),
    "form_release": (None, []),
    "com_open": (_c.c_int32, [_c.c_int32]),
    "com_close": (None, []),
    "com_search": (_c.c_int32, []),
    "vkt_dll_ver": (_c.c_int32, []),
    "vkt_connect": (_c.c_ubyte, []),
    "vkt_clkset": (_c.c_ubyte, []),
    "vkt_startsetcheck": (_c.c_ubyte, []),
    "vkt_inputdata": (_c.c_ubyte, []),
    "vkt_datacount": (_c.c_int32, []),
    "vkt_set_command": (_c.c_int32, [_c.c_char_p]),
    "vkt_get_param": (None, [_c.c_char_p]),
    "vkt_get_reservetime": (None, [_c.c_char_p]),
    "vkt_process_messages": (None, []),
    "vkt_get_records": (_c.c_int32, [_c.c_int32, _c.c_int32, _c.POINTER(VktRecord)]),
    # Linux extensions (vktcom_ext.h): texts by the buffer rule, each with its size.
    "vkt_port_device": (_c.c_int32, [_c.c_int32, _c.c_char_p, _c.c_int32]),
    "vkt_device_port": (_c.c_int32, [_c.c_char_p]),
    "vkt_get_param_year": (_c.c_int32, [_c.c_char_p, _c.c_int32]),
    "vkt_get_param_count": (_c.c_int32, [_c.c_char_p, _c.c_int32]),
    "vkt_download_text": (_c.c_int32, [_c.c_char_p, _c.c_int32]),
    "vkt_decode_records": (_c.c_int32, [_c.c_char_p, _c.c_char_p, _c.POINTER(VktRecord), _c.c_int32]),
    "vkt_trace_start": (_c.c_int32, [_c.c_char_p]),
    "vkt_trace_stop": (None, []),
}


def text_of(function, *arguments):
    """The whole text that an extension copies by the buffer rule
    (`function(*arguments, buffer, size)` returns the text's full length)."""
    size = 64
    while True:
        buffer = ctypes.create_string_buffer(size)
        length = function(*arguments, buffer, size)
        if length < size:
            return buffer.value.decode("latin-1")
        size = length + 1


def source_tree_library():
    """build/libvktcom.so of the source checkout this package lies in, or None."""
    here = pathlib.Path(__file__).resolve().parent
    candidate = here.parent.parent / "build" / "libvktcom.so"
    return str(candidate) if candidate.is_file() else None


class Library:
    """The loaded module with typed functions as attributes."""

    def __init__(self, path):
        try:
            self._dll = ctypes.CDLL(path, mode=os.RTLD_NOW | os.RTLD_LOCAL)
        except OSError as e:
            raise LibraryError(f"cannot load {path}: {e}") from None
        self.path = path
        for name, (result, arguments) in _PROTOTYPES.items():
            try:
                function = getattr(self._dll, name)
            except AttributeError:
                raise LibraryError(f"{path} is not the vktcom library or is too old: it lacks {name}") from None
            function.restype = result
            function.argtypes = arguments
            setattr(self, name, function)


_loaded = {}
_lock = threading.Lock()


def load_library(path=None):
    """The vktcom library, loaded once per path (the library keeps one state
    per process). Raises LibraryError naming every place it tried."""
    if path is None:
        path = os.environ.get("VKTCOM_LIBRARY") or None
    with _lock:
        if path is not None:
            candidates = [str(path)]
        else:
            candidates = list(INSTALLED_NAMES)
            tree = source_tree_library()
            if tree:
                candidates.append(tree)
        failures = []
        for candidate in candidates:
            if candidate in _loaded:
                return _loaded[candidate]
            try:
                library = Library(candidate)
            except LibraryError as e:
                failures.append(str(e))
                continue
            _loaded[candidate] = library
            return library
    if len(failures) == 1:
        raise LibraryError(failures[0])
    raise LibraryError("cannot load the vktcom library (set VKTCOM_LIBRARY to its path): " + "; ".join(failures))
