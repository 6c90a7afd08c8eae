"""Every failure is an exception that names its cause: no logger, a port
that cannot be opened, a silent logger, a download that times out, a bad
record line, an unplugged logger, a library that cannot be loaded."""
import ctypes.util
import os
import subprocess
import sys

import pytest

import vktcom
from vktcom import LibraryError


def test_no_logger_found(empty_machine):
    with pytest.raises(vktcom.NoLoggerFound, match="no logger found"):
        with vktcom.Logger():
            pass


def test_a_port_without_a_device_cannot_be_opened():
    with vktcom.simulated_logger(records=1):
        with pytest.raises(vktcom.PortOpenError, match=r"cannot open COM2 \(.*ttyUSB1\)"):
            with vktcom.Logger(port=2):
                pass
        # The simulated adapter itself opens by number, name or device path.
        for port in (1, "COM1", "com1", os.path.join(os.environ["VKTCOM_DEV_ROOT"], "ttyUSB0")):
            with vktcom.Logger(port=port) as logger:
                assert logger.port == 1


def test_a_silent_logger_gives_no_reply():
    with vktcom.simulated_logger(records=5, silent=True), vktcom.Logger() as logger:
        with pytest.raises(vktcom.NoReplyError, match="does not answer on COM1"):
            logger.connect()


def test_a_download_without_its_end_times_out():
    with vktcom.simulated_logger(records=20, no_terminator=True), vktcom.Logger() as logger:
        logger.connect()
        with pytest.raises(vktcom.DownloadTimeout, match="timed out"):
            logger.download()


def test_a_line_of_wrong_length_names_the_line_and_the_others_are_kept():
    with vktcom.simulated_logger(records=10, bad_length=3, new_year=True), vktcom.Logger() as logger:
        with pytest.raises(vktcom.BadRecordLine, match=r"bad record line 3 \(19 characters\)") as caught:
            logger.download()
        received = logger.received_records()
    assert caught.value.index == 3 and caught.value.length == 19
    assert isinstance(caught.value, vktcom.DownloadError)
    # The lines that were records, dated by the library across the new year.
    assert [r.row for r in received] == [1, 2, 3, 5, 6, 7, 8, 9, 10]
    assert received[-1].year == received[0].year + 1
    assert all(a.time < b.time for a, b in zip(received, received[1:]))


def test_a_line_with_a_non_hexadecimal_digit_names_the_line():
    with vktcom.simulated_logger(records=10, non_hex=2), vktcom.Logger() as logger:
        with pytest.raises(vktcom.BadRecordLine, match="bad record line 2 .*not a hexadecimal digit") as caught:
            logger.download()
    assert caught.value.length == 20 and "G" in caught.value.line.upper()


def test_an_unplugged_logger_ends_the_download():
    # The handshake's replies take a few hundred bytes; the adapter goes
    # away in the middle of the records.
    with vktcom.simulated_logger(records=500, hang_up_after=3000) as sim, vktcom.Logger() as logger:
        logger.connect()
        with pytest.raises(vktcom.LoggerUnplugged, match="unplugged during the download"):
            logger.download()
        assert not sim.plugged


def test_an_unanswered_command_is_no_reply_and_an_answered_one_returns_its_time():
    with vktcom.simulated_logger(records=1, no_answer=["t"]), vktcom.Logger() as logger:
        logger.connect()
        assert logger.send("m") < vktcom.logger.NO_REPLY_SECONDS
        with pytest.raises(vktcom.NoReplyError, match="command 't'"):
            logger.send("t")
        with pytest.raises(ValueError):
            logger.send("")


def test_clock_setting_and_the_pending_reservation():
    with vktcom.simulated_logger(records=1), vktcom.Logger() as logger:
        logger.connect()
        assert logger.reservation is None
        logger.check_reservation()  # nothing pending passes
        logger.set_clock()
    with vktcom.simulated_logger(records=1, no_answer=["s"]), vktcom.Logger() as logger:
        logger.connect()
        with pytest.raises(vktcom.ClockError):
            logger.set_clock()


def test_a_library_that_cannot_be_loaded_is_named(tmp_path, monkeypatch):
    monkeypatch.setenv("VKTCOM_LIBRARY", str(tmp_path / "libnothing.so"))
    with pytest.raises(LibraryError, match="libnothing.so"):
        vktcom.Logger()
    not_ours = tmp_path / "libother.so"
    not_ours.write_bytes(b"not a shared object")
    with pytest.raises(LibraryError, match="libother.so"):
        vktcom.Logger(library=str(not_ours))


def test_ports_map_into_the_port_table(tmp_path):
    assert [vktcom.port_number(p) for p in (1, "COM20", "com21", "/dev/ttyUSB0", "/dev/ttyACM2", "ttyS31")] == [
        1, 20, 21, 1, 23, 72]
    link = tmp_path / "usb-logger-if00"
    link.symlink_to("/dev/ttyUSB4")
    assert vktcom.port_number(str(link)) == 5
    for bad in (0, 73, "COM0", "/dev/ttyUSB20", "/dev/pts/3", "", True, 1.5):
        with pytest.raises(ValueError):
            vktcom.port_number(bad)


def test_library_lookup_order(tmp_path, monkeypatch, built_programs):
    built, _ = built_programs
    # A path given beats the variable.
    monkeypatch.setenv("VKTCOM_LIBRARY", str(tmp_path / "libnothing.so"))
    assert vktcom.load_library(built).path == built
    # With neither, an installed library, else this checkout's build: in a
    # process of its own, since the loader reuses a library already loaded.
    tree = vktcom._library.source_tree_library()
    if ctypes.util.find_library("vktcom") is not None or tree is None:
        pytest.skip("a vktcom library is installed, or this checkout has no build/")
    environment = {k: v for k, v in os.environ.items() if k != "VKTCOM_LIBRARY"}
    environment["PYTHONPATH"] = os.path.dirname(os.path.dirname(vktcom.__file__))
    found = subprocess.run([sys.executable, "-c", "import vktcom; print(vktcom.load_library().path)"],
                           capture_output=True, text=True, env=environment, timeout=60)
    assert found.stdout.strip() == tree, found.stderr
