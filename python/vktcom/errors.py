"""The exceptions of the package: each names what went wrong."""


class VktError(Exception):
    """Base of every error this package raises."""


class LibraryError(VktError):
    """The vktcom library cannot be loaded, or lacks a function."""


class NoLoggerFound(VktError):
    """The port search found no logger's adapter."""


class PortOpenError(VktError):
    """The logger's port cannot be opened (no such device, held by another
    program, no permission)."""


class NoReplyError(VktError):
    """The logger did not answer a command within 3 seconds."""


class LoggerUnplugged(VktError):
    """The logger's device went away during an exchange."""


class ClockError(VktError):
    """Setting the logger's clock, or sending the reservation, failed."""


class ReservationError(VktError):
    """The pending start-time reservation is not a date in the next 30 days."""


class DownloadError(VktError):
    """The record download failed."""


class DownloadTimeout(DownloadError):
    """The logger fell silent for 3 seconds before the download was complete."""


class BadRecordLine(DownloadError):
    """A line of the download was not 20 hexadecimal digits; no record was
    decoded. `index` is the line's index (0 for the first), `line` its text
    (cut to 21 characters), `length` its whole length."""

    def __init__(self, message, index, line, length):
        super().__init__(message)
        self.index = index
        self.line = line
        self.length = length


class SimulatorError(VktError):
    """The simulator program cannot be found or started."""
