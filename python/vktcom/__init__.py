"""vktcom: VKT data loggers from Python.

    import vktcom
    with vktcom.Logger() as logger:          # search the logger's port
        info = logger.connect()              # parameter lines, year, count
        records = logger.download()          # a list of vktcom.Record
    records.to_csv("download.csv")

vktcom.simulated_logger() plays a logger with the project's simulator, so
that the same code runs without one.
"""
import pathlib as _pathlib

from ._library import load_library
from .errors import (BadRecordLine, ClockError, DownloadError, DownloadTimeout, LibraryError, LoggerUnplugged,
                     NoLoggerFound, NoReplyError, PortOpenError, ReservationError, SimulatorError, VktError)
from .logger import ConnectInfo, Logger
from .ports import port_number
from .records import CSV_HEADER, LEGACY_CSV_HEADER, Record, RecordList, to_csv, to_dataframe, to_rows
from .simulator import SimulatedLogger, simulated_logger

# The project's version, written once in its VERSION file.
__version__ = (_pathlib.Path(__file__).resolve().parent / "VERSION").read_text(encoding="ascii").strip()

__all__ = [
    "BadRecordLine", "CSV_HEADER", "LEGACY_CSV_HEADER", "ClockError", "ConnectInfo", "DownloadError", "DownloadTimeout",
    "LibraryError", "Logger", "LoggerUnplugged", "NoLoggerFound", "NoReplyError", "PortOpenError", "Record",
    "RecordList", "ReservationError", "SimulatedLogger", "SimulatorError", "VktError", "load_library",
    "port_number", "simulated_logger", "to_csv", "to_dataframe", "to_rows",
]
