"""The package installs with pip into a fresh virtual environment, offline
(Debian's setuptools, no build isolation), and the README's five-line
example runs from there against the simulator."""
import os
import pathlib
import re
import shutil
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parents[2]


def readme_example():
    text = (ROOT / "README.md").read_text(encoding="utf-8")
    section = text.split("## Python", 1)[1]
    return re.search(r"```python\n(.*?)```", section, re.S).group(1)


def test_readme_example_runs_from_a_fresh_virtual_environment(tmp_path):
    example = readme_example()
    assert len(example.strip().splitlines()) == 5

    source = tmp_path / "source"
    shutil.copytree(ROOT / "python", source, ignore=shutil.ignore_patterns(
        "tests", "bench", "build", "*.egg-info", "__pycache__"))
    venv = tmp_path / "venv"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(venv)], check=True, timeout=120)
    python = str(venv / "bin" / "python")
    environment = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    install = subprocess.run([python, "-m", "pip", "install", "--no-index", "--no-build-isolation", str(source)],
                             capture_output=True, text=True, env=environment, timeout=300)
    assert install.returncode == 0, install.stdout + install.stderr

    # The library and the simulator come from VKTCOM_LIBRARY and
    # VKTCOM_SIMULATOR: an installed package has no build tree beside it.
    where = subprocess.run([python, "-c", "import vktcom; print(vktcom.__file__)"], capture_output=True,
                           text=True, env=environment, cwd=tmp_path, timeout=60)
    assert where.stdout.startswith(str(venv)), where.stdout + where.stderr
    run = subprocess.run([python, "-c", example], capture_output=True, text=True, env=environment, cwd=tmp_path,
                         timeout=120)
    assert run.returncode == 0, run.stderr
    count, date, clock, temperature, x = run.stdout.split()
    assert count == "1000" and re.fullmatch(r"\d{4}-\d\d-\d\d", date) and float(temperature) > -129
