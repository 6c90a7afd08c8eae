"""Downloads from the simulated logger through the Python API: the records'
values, the year of each record, and fields that form no real time."""
import datetime

import pytest

import vktcom
from conftest import download

FIRST = "35EDB5E501FE4017192D"
SECOND = "18400050807F00FB0064"


def test_worked_example_of_the_download():
    info, records = download(records=[FIRST, SECOND], first_year=2009)
    assert info.year == 2009 and info.count == 2
    first, second = records
    assert first.time == datetime.datetime(2009, 3, 15, 13, 45, 30, 250000)
    assert (first.x, first.y, first.z, first.temperature, first.humidity) == (1, -2, 64, 23.5, 45)
    assert first.raw == FIRST and first.row == 1 and first.year_tag == 1
    assert second.time == datetime.datetime(2010, 1, 2, 0, 0, 5)
    assert (second.x, second.y, second.z, second.temperature, second.humidity) == (-128, 127, 0, -5.0, 100)
    assert isinstance(first.temperature, float) and isinstance(first.x, int)
    # The CSV rows carry the library's own texts, as `vkt download` writes them.
    rows = list(records.to_rows(layout="csv-legacy"))
    assert rows[0] == ["date", "time", "x", "y", "z", "temperature", "humidity"]
    assert rows[1] == ["2009/03/15", "13:45:30.25", 1, -2, 64, "23.5", 45]
    assert rows[2] == ["2010/01/02", "00:00:05.00", -128, 127, 0, "-5.0", 100]
    lines = records.to_csv().splitlines()
    assert lines[0] == "timestamp,date,time,x_counts,y_counts,z_counts,temperature,humidity_raw"
    assert lines[1] == "2009-03-15T13:45:30.25,2009/03/15,13:45:30.25,1,-2,64,23.5,45"


def line(month=3, tag=0, day=15, hour=13, minute=45, second=30, tenths=5, x=1, y=-2, z=64, deg=23,
         hundredths=25, humidity=45):
    """A record line for the fields, packed as the logger packs them."""
    word = month << 24 | tag << 22 | day << 17 | hour << 12 | minute << 6 | second
    return f"{word:07X}{tenths:X}" + "".join(f"{v & 0xFF:02X}" for v in (x, y, z, deg, hundredths, humidity))


def test_the_line_packing_of_the_tests_is_the_loggers():
    assert line(tag=1) == FIRST


def test_every_change_of_year_tag_is_the_next_year():
    lines = [line(tag=t) for t in (0, 0, 1, 1, 2)]
    _, records = download(records=lines, first_year=2009)
    assert [r.year for r in records] == [2009, 2009, 2010, 2010, 2011]
    assert [r.time.year for r in records] == [2009, 2009, 2010, 2010, 2011]
    # 3 to 0 is a change like any other.
    _, records = download(records=[line(tag=3), line(tag=0)], first_year=2019)
    assert [r.time.year for r in records] == [2019, 2020]


def test_generated_records_across_new_year_keep_time_in_order():
    _, records = download(records=300, new_year=True)
    times = [r.time for r in records]
    assert None not in times
    assert times == sorted(times)
    years = sorted({t.year for t in times})
    assert len(years) == 2 and years[1] == years[0] + 1


def test_fields_that_form_no_real_time_give_none_and_keep_the_fields():
    lines = [line(month=13), line(second=60), line(hundredths=150), line(month=0), line(day=31, month=4),
             line(hour=24), line(minute=63), line()]
    _, records = download(records=lines, first_year=2009)
    assert len(records) == len(lines)
    assert [r.time is None for r in records] == [True] * 7 + [False]
    assert (records[0].month, records[1].second, records[2].hundredths, records[3].month) == (13, 60, 150, 0)
    # No timestamp where there is no real time; the library's texts as they are.
    assert records[2].to_row() == ["", "2009/03/15", "13:45:30.150", 1, -2, 64, "23.5", 45]
    assert records[0].to_row(layout="csv-legacy")[0] == "2009/13/15"
    assert records[-1].timestamp_text == "2009-03-15T13:45:30.25"
    assert all(r.x == 1 and r.temperature == 23.5 for r in records)


def test_negative_temperatures_follow_the_sign_of_the_whole_degrees():
    # The library's text is "deg.tenths": -5 and 5 read -5.5, 0 and 3 read 0.3.
    lines = [line(deg=-5, tenths=5), line(deg=0, tenths=3), line(deg=-128, tenths=9), line(deg=12, tenths=12)]
    _, records = download(records=lines, first_year=2009)
    assert [r.temperature for r in records] == [-5.5, 0.3, -128.9, 12.12]
    assert [r.temperature_text for r in records] == ["-5.5", "0.3", "-128.9", "12.12"]


def test_progress_reports_the_records_received_at_the_end():
    calls = []
    with vktcom.simulated_logger(records=50), vktcom.Logger() as logger:
        records = logger.download(progress=lambda done, total: calls.append((done, total)))
    assert len(records) == 50
    assert calls[-1] == (50, 50)
    assert all(done <= 50 for done, _ in calls)


def test_a_second_download_gives_the_same_records_and_a_dataframe():
    with vktcom.simulated_logger(records=40), vktcom.Logger(port="COM1") as logger:
        logger.connect()
        first = logger.download()
        logger.connect()  # the year of the first record again
        second = logger.download()
    assert first == second and len(first) == 40
    pandas = pytest.importorskip("pandas")
    frame = first.to_dataframe()
    assert list(frame.columns[:7]) == ["time", "x", "y", "z", "temperature", "humidity", "raw"]
    assert len(frame) == 40
    assert frame["time"].iloc[0] == pandas.Timestamp(first[0].time)
    assert str(frame["x"].dtype) == "int8"


def test_an_empty_logger_gives_no_records():
    info, records = download(records=0)
    assert info.count == 0
    assert records == [] and list(records.to_rows()) == [list(vktcom.CSV_HEADER)]


def test_a_trace_shows_the_calls_and_the_bytes_on_the_line(tmp_path):
    trace = tmp_path / "vkt.trace"
    with vktcom.simulated_logger(records=[FIRST]), vktcom.Logger(trace=trace) as logger:
        logger.connect()
        logger.download()
    text = trace.read_text()
    assert "vkt_connect()" in text and "vkt_inputdata -> 1" in text
    assert "write 1 bytes: 6D | m" in text  # the handshake's "m"
    assert FIRST in text.replace(" ", "") or "33 35 45 44" in text  # the record's bytes as received
