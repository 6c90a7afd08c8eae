"""A plot of a download: the three acceleration axes, the temperature and the
humidity against time, in three panels, into a PNG or SVG file."""
import csv
import os

from .records import parse_time

FORMATS = (".png", ".svg")


# The column names of the default layout (`vkt download`, vktcom.to_csv), by
# those of the first layout (`--format csv-legacy`).
NAMED_COLUMNS = {"x_counts": "x", "y_counts": "y", "z_counts": "z", "humidity_raw": "humidity"}


def read_csv(path):
    """(times, x, y, z, temperature, humidity) lists from a CSV file with the
    columns date,time,x,y,z,temperature,humidity (`--format csv-legacy`) or
    those of the default layout of `vkt download` and vktcom.to_csv
    (timestamp,date,time,x_counts,y_counts,z_counts,temperature,humidity_raw).
    Rows whose date and time are no real time are left out."""
    columns = ([], [], [], [], [], [])
    with open(path, newline="", encoding="ascii", errors="replace") as f:
        reader = csv.DictReader(f)
        names = {NAMED_COLUMNS.get(n, n) for n in reader.fieldnames or ()}
        missing = {"date", "time", "x", "y", "z", "temperature", "humidity"} - names
        if missing:
            raise ValueError(f"{path} is no record CSV: it lacks the columns {', '.join(sorted(missing))}")
        for named in reader:
            row = {NAMED_COLUMNS.get(k, k): v for k, v in named.items()}
            when = parse_time(row["date"], row["time"])
            if when is None:
                continue
            try:
                values = (int(row["x"]), int(row["y"]), int(row["z"]), float(row["temperature"]),
                          int(row["humidity"]))
            except ValueError:
                continue
            columns[0].append(when)
            for column, value in zip(columns[1:], values):
                column.append(value)
    return columns


def columns_of(records):
    """The same columns from Record objects, leaving out records without a real time."""
    timed = [r for r in records if r.time is not None]
    return ([r.time for r in timed], [r.x for r in timed], [r.y for r in timed], [r.z for r in timed],
            [r.temperature for r in timed], [r.humidity for r in timed])


def plot(columns, output, title=None):
    """Draws the columns into `output` (.png or .svg); returns the number of
    records drawn."""
    extension = os.path.splitext(str(output))[1].lower()
    if extension not in FORMATS:
        raise ValueError(f"{output}: the plot is written as .png or .svg")
    try:
        import matplotlib
    except ImportError:
        raise ImportError("plotting needs matplotlib: apt install python3-matplotlib (Debian, Ubuntu); "
                          "elsewhere pip install 'vktcom[plot]'") from None
    matplotlib.use("Agg")
    from matplotlib import dates, pyplot

    times, xs, ys, zs, temperatures, humidities = columns
    figure, (acceleration, temperature, humidity) = pyplot.subplots(3, 1, sharex=True, figsize=(10, 7.5))
    acceleration.plot(times, xs, label="x", linewidth=0.8)
    acceleration.plot(times, ys, label="y", linewidth=0.8)
    acceleration.plot(times, zs, label="z", linewidth=0.8)
    acceleration.set_ylabel("acceleration (counts)")
    acceleration.legend(loc="upper right", ncol=3)
    temperature.plot(times, temperatures, color="tab:red", linewidth=0.8)
    temperature.set_ylabel("temperature (°C)")
    humidity.plot(times, humidities, color="tab:blue", linewidth=0.8)
    humidity.set_ylabel("humidity (counts)")
    humidity.set_xlabel("time")
    for axes in (acceleration, temperature, humidity):
        axes.grid(True, alpha=0.3)
    locator = dates.AutoDateLocator()
    humidity.xaxis.set_major_locator(locator)
    humidity.xaxis.set_major_formatter(dates.ConciseDateFormatter(locator))
    figure.suptitle(title or f"VKT logger download: {len(times)} records")
    figure.tight_layout()
    # A fixed creation date keeps a regenerated PNG or SVG identical.
    metadata = {"Software": None} if extension == ".png" else {"Date": None, "Creator": None}
    figure.savefig(output, dpi=100, metadata=metadata)
    pyplot.close(figure)
    return len(times)
