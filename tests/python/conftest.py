"""Shared fixtures: orq-hub and infodriver-host with the sample facility, in a
fresh directory and a window session of their own, for the whole session."""
import os
import shutil
import subprocess
import sys
import uuid
from pathlib import Path

import pytest

# The helpers shared with the other Python tests; DEADLINE and first_line serve test_zorv.py too.
sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "support"))
from processes import DEADLINE, first_line, stop  # noqa: E402

ROOT = Path(__file__).resolve().parents[2]
BIN = Path(os.environ.get("ZORV_BIN", ROOT / "build" / "bin"))
FACILITY = Path(os.environ.get("ZORV_FACILITY", ROOT / "peers" / "orq" / "facility"))
EXAMPLES = ROOT / "examples" / "python"


@pytest.fixture(scope="session")
def facility(tmp_path_factory):
    """The running hub and infodriver; this process and its children use their session and configuration."""
    root = tmp_path_factory.mktemp("zorv")
    shutil.copytree(FACILITY, root / "facility")
    (root / "config").mkdir()
    os.environ.setdefault("QX_SESSION", f"pytest-{uuid.uuid4().hex[:12]}")
    os.environ.update(QX_ROOT=str(root), QX_SYSTEM="config", QX_DRIVES=str(root / "drives"), QX_WORKSTATION="1")
    os.environ["PYTHONPATH"] = os.pathsep.join(p for p in (str(Path(__import__("zorv").__file__).parents[1]),
                                                          os.environ.get("PYTHONPATH")) if p)
    processes = []
    try:
        for program in ("orq-hub", "infodriver-host"):
            processes.append(subprocess.Popen([str(BIN / program), "-c", str(root / "facility")] +
                                              (["-q"] if program == "orq-hub" else []), stdout=subprocess.PIPE))
            first_line(processes[-1], program)
        yield root
    finally:
        for process in reversed(processes):
            stop(process)


@pytest.fixture
def client(facility):
    import zorv
    with zorv.Client() as c:
        list(c.events(timeout=0))  # the connection's own event
        yield c


def run_example(name: str, *args: str, **popen) -> subprocess.Popen:
    return subprocess.Popen([sys.executable, str(EXAMPLES / name), *args], stdout=subprocess.PIPE, **popen)
