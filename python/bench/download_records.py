"""Benchmark: a download of N records from the simulated logger (unpaced),
and the conversion of the downloaded records into Python Record objects,
printed beside each other.

    python3 python/bench/download_records.py [--records 100000] [--rounds 3]

The conversion is what happens once vkt_inputdata has returned: one
vkt_get_records call for every row, then the Record objects. For contrast it
also times the way of one foreign call per field (vkt_get_date,
vkt_get_time, vkt_get_x, ... per record) on a share of the rows.
"""
import argparse
import ctypes
import os
import pathlib
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent))

import vktcom  # noqa: E402
from vktcom import _library  # noqa: E402
from vktcom.records import records_from_buffer  # noqa: E402


def per_field(api, rows):
    """Rows read back the way a ctypes wrapper with one call per accessor does."""
    names = ("vkt_get_date", "vkt_get_time", "vkt_get_x", "vkt_get_y", "vkt_get_z", "vkt_get_deg", "vkt_get_humi")
    functions = []
    for name in names:
        f = getattr(api._dll, name)
        f.argtypes = [ctypes.c_int32, ctypes.c_char_p]
        f.restype = None
        functions.append(f)
    buffer = ctypes.create_string_buffer(64)
    out = []
    for row in range(1, rows + 1):
        fields = []
        for f in functions:
            f(row, buffer)
            fields.append(buffer.value.decode())
        out.append(fields)
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--records", type=int, default=100_000)
    parser.add_argument("--rounds", type=int, default=3, help="conversions timed (the best is reported)")
    parser.add_argument("--per-field-rows", type=int, default=10_000)
    args = parser.parse_args()

    with vktcom.simulated_logger(records=args.records, paced=False), vktcom.Logger() as logger:
        api = logger._api
        logger.connect()
        start = time.perf_counter()
        if not api.vkt_inputdata():
            sys.exit("the download failed")
        download_seconds = time.perf_counter() - start
        rows = api.vkt_datacount()

        best_wall = best_cpu = best_copy = float("inf")
        for _ in range(args.rounds):
            wall, cpu = time.perf_counter(), time.process_time()
            buffer = (_library.VktRecord * rows)()
            copied = api.vkt_get_records(1, rows, buffer)
            copy = time.perf_counter() - wall
            records = records_from_buffer(buffer, copied)
            best_wall = min(best_wall, time.perf_counter() - wall)
            best_cpu = min(best_cpu, time.process_time() - cpu)
            best_copy = min(best_copy, copy)
            del buffer
        assert len(records) == rows == args.records, (len(records), rows)

        sample = min(args.per_field_rows, rows)
        start = time.perf_counter()
        per_field(api, sample)
        per_field_seconds = (time.perf_counter() - start) * rows / max(sample, 1)

    print(f"records:                        {rows}")
    print(f"download (unpaced simulator):   {download_seconds:8.3f} s")
    print(f"conversion to Record objects:   {best_wall:8.3f} s wall, {best_cpu:.3f} s CPU "
          f"(best of {args.rounds}; bound 0.3 s)")
    print(f"  of which vkt_get_records:     {best_copy:8.3f} s wall")
    print(f"one call per field (estimated from {sample} rows): {per_field_seconds:8.3f} s")
    print(f"load average: {os.getloadavg()[0]:.2f}")


if __name__ == "__main__":
    main()
