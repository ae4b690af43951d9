"""The zorv module against orq-hub and infodriver-host (see conftest.py)."""
import asyncio
import subprocess
import threading
import time

import pytest
from conftest import BIN, DEADLINE, first_line, run_example

import zorv


def test_route_gives_revertive_to_callback(client):
    seen, got = [], threading.Event()
    client.on_router_revertive(lambda ev: (seen.append(ev), got.set()))
    client.register(1, 1, 8)
    client.route(1, 3, 7, now=True)
    assert got.wait(DEADLINE)
    assert seen[0] == zorv.RouterRevertive(1, 3, 7)


def test_iterator_yields_events_in_order(client):
    client.register(1, 1, 8)
    client.route(1, 4, 2, now=True)
    client.route(1, 5, 3, now=True)
    events = [ev for _, ev in zip(range(2), client.events(timeout=DEADLINE))]
    assert events == [zorv.RouterRevertive(1, 4, 2), zorv.RouterRevertive(1, 5, 3)]


@pytest.mark.asyncio
async def test_asyncio_iterator(client):
    client.register(1, 1, 8)
    client.route(1, 6, 9, now=True)
    async for ev in client.aevents(timeout=DEADLINE):
        assert ev == zorv.RouterRevertive(1, 6, 9)
        break
    else:
        pytest.fail("no event")


def test_refused_argument_raises_with_trace_line(client):
    with pytest.raises(zorv.RefusedError) as refused:
        client.route(0, 1, 1)
    assert refused.value.trace == "qxClient: Device Number of out range (less than 1)"


@pytest.mark.parametrize("call, error", [
    (lambda c: c.route("1", 1, 1), TypeError),
    (lambda c: c.route(1, 1, 1, now=1), TypeError),
    (lambda c: c.route(-1, 1, 1), ValueError),
    (lambda c: c.route(1, 2**32, 1), ValueError),
    (lambda c: c.route(1, 1, 2**31), ValueError),
    (lambda c: c.info_write(2, 1, 5), TypeError),
    (lambda c: c.info_write(2, 1, "a\0b"), ValueError),
    (lambda c: c.name(1, 1, db=None), TypeError),
])
def test_bad_arguments_raise_before_sending(client, call, error):
    before = client.counters().tx
    with pytest.raises(error):
        call(client)
    assert client.counters().tx == before


def test_missing_name_is_none(client):
    assert client.name(1, 1) == "CAM 1"
    assert client.name(1, 7) is None
    assert client.profile(9) is None


def test_python_driver_answers_write_from_cpp_client(facility):
    driver = run_example("fake_driver.py", "2", "--writes", "1")
    try:
        first_line(driver, "fake_driver.py", "attached")
        out = subprocess.run([str(BIN / "zorvctl"), "info", "write", "2", "3", "on air"], capture_output=True,
                             text=True, timeout=DEADLINE)
        assert out.stdout == "info 2 slot 3 = 'fake: ON AIR'\n"
        assert driver.wait(DEADLINE) == 0
    finally:
        driver.kill()
        driver.wait()


def test_route_and_watch_example(facility):
    example = run_example("route_and_watch.py", "1", "2", "9")
    assert example.wait(DEADLINE) == 0
    assert example.stdout.read().decode() == "Studio router: MON 2 (2) <- GFX (9) confirmed\n"


def test_gil_released_while_waiting(client):
    # The route comes from another Python thread while this one waits for its
    # revertive, and the callback runs on the client's thread meanwhile: both
    # need the GIL.
    client.register(1, 1, 8)
    called = threading.Event()
    client.on_router_revertive(lambda ev: called.set())
    helper = threading.Timer(0.05, lambda: client.route(1, 7, 4, now=True))
    helper.start()
    assert next(client.events(timeout=DEADLINE)) == zorv.RouterRevertive(1, 7, 4)
    assert called.is_set()
    helper.join()


def test_callback_that_raises_is_reported_once(client, capsys):
    def broken(ev):
        raise RuntimeError("broken callback")
    client.on_router_revertive(broken)
    client.register(1, 1, 8)
    client.route(1, 1, 3, now=True)
    client.route(1, 1, 4, now=True)
    assert [ev.source for _, ev in zip(range(2), client.events(timeout=DEADLINE))] == [3, 4]
    assert client.callback_errors == 2
    assert capsys.readouterr().err.count("RuntimeError: broken callback") == 1


def test_two_threads_share_a_client(client):
    errors = []

    def work(dest):
        try:
            for source in range(1, 21):
                client.route(1, dest, source, now=True)
                assert client.name(1, 1) == "CAM 1"
        except Exception as error:  # noqa: BLE001 - handed to the main thread
            errors.append(error)
    threads = [threading.Thread(target=work, args=(dest,)) for dest in (1, 2)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join(DEADLINE)
    assert errors == [] and not any(t.is_alive() for t in threads)


def test_disposed_client_raises(facility):
    with zorv.Client() as c:
        assert c.connected
    assert c.closed
    with pytest.raises(zorv.DisposedError):
        c.route(1, 1, 1)
    c.close()  # a second close does nothing


def test_last_reference_dropped_inside_an_event_closes_the_client(facility):
    holder = {"client": zorv.Client()}
    c = holder["client"]
    native = c._native  # outlives the Python object, to see it closed
    released = threading.Event()

    def drop(ev):
        released.wait(DEADLINE)
        holder.clear()  # the last reference goes when this event returns, on the client's own thread
    c.connect()
    c.register(1, 1, 8)
    c.on_router_revertive(drop)
    c.route(1, 1, 6, now=True)
    del c
    released.set()
    deadline = time.monotonic() + DEADLINE
    while not native.closed and time.monotonic() < deadline:
        time.sleep(0.01)
    assert native.closed


def test_standby_driver_takes_over_when_tx_leaves(client):
    first = zorv.Infodriver(2, answer=lambda write: "first")
    with first, zorv.Infodriver(2, answer=lambda write: "second") as second:
        assert (first.state, second.state) == (zorv.RedundancyState.TX, zorv.RedundancyState.RX)
        first.close()
        assert zorv.RedundancyChange(2, zorv.RedundancyState.TX) in second.events(timeout=DEADLINE)
        client.register(2, 1, 1)
        client.info_write(2, 1, "x", now=True)
        assert next(client.events(timeout=DEADLINE)) == zorv.InfoRevertive(2, 1, "second")
