"""Child processes of the Python tests: the first line a child prints, and a
child stopped, each within the deadline."""
import os
import subprocess
import time

DEADLINE = 10.0  # seconds for anything to happen


def first_line(process: subprocess.Popen, what: str, wanted: str = "") -> str:
    """The first line a child prints that contains `wanted`, within the deadline."""
    os.set_blocking(process.stdout.fileno(), False)
    buffered = b""
    end = time.monotonic() + DEADLINE
    while time.monotonic() < end:
        buffered += process.stdout.read() or b""
        *lines, buffered = buffered.split(b"\n")
        for line in lines:
            if wanted.encode() in line:
                return line.decode()
        if process.poll() is not None:
            raise AssertionError(f"{what} ended early with {process.returncode}")
        time.sleep(0.01)
    raise AssertionError(f"{what} printed nothing within {DEADLINE:g} s")


def stop(process: subprocess.Popen) -> None:
    """Terminates a child that still runs; kills it when it outlasts the deadline."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(DEADLINE)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
