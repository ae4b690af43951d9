"""zorv: drive and fake a broadcast facility's control network from Python.

    import zorv

    with zorv.Client() as c:                      # connects; leaving the block disposes of it
        c.register(1, 1, 8)
        c.on_router_revertive(lambda ev: print(ev))
        c.route(1, 3, 7, now=True)
        for ev in c.events(timeout=1.0):          # or: async for ev in c.aevents()
            print(ev.dest, ev.source)
        print(c.name(1, 7))                       # None when the hub names none

Each Client and each Infodriver runs on a thread of its own that pumps its
window messages; calls reach that thread and return its results, with the GIL
released while they wait. Events arrive as immutable objects, to callbacks
(called on that thread, GIL held), to the blocking iterator events() and to
the asyncio iterator aevents().

Arguments are checked before anything is sent: a wrong type raises TypeError,
a number outside its 32-bit range ValueError. An argument that the library's
own checks refuse (device 0, a destination beyond the hub's limit, ...)
raises RefusedError, which carries the check's trace line. Any use of a
closed object raises DisposedError.
"""
from __future__ import annotations

import asyncio
import atexit
import collections
import dataclasses
import enum
import sys
import threading
import time
import traceback
import weakref
from typing import Any, Callable, Iterator, NamedTuple, Optional

from . import _zorv

__all__ = [
    "Client", "Infodriver", "RefusedError", "DisposedError", "RedundancyState", "PollType",
    "Event", "Connected", "Disconnected", "InfoRevertive", "RouterRevertive", "GpiRevertive", "DatabaseChange",
    "DeviceMode", "DeviceMessage", "PollError", "ConfigChange",
    "SlotWrite", "DriverMessage", "RedundancyChange", "Attached", "Detached",
    "Counters", "Limits", "Profile",
]

RefusedError = _zorv.RefusedError
RefusedError.__doc__ = "An argument refused by the library's checks; `trace` is the check's trace line."
RefusedError.trace = property(lambda self: self.args[0] if self.args else "", doc="The check's trace line.")
DisposedError = _zorv.DisposedError
DisposedError.__doc__ = "The Client or Infodriver was closed."

_TRANSPORTS = {"wm": 1, "zel": 2}
_U32 = 0xFFFFFFFF


class RedundancyState(enum.IntEnum):
    """A device's redundancy mode; other numbers the hub sends stay plain ints."""
    UNKNOWN = 0
    RX = 1
    TX = 2
    FORCE_TX = 3
    BROKEN = 5


class PollType(enum.IntEnum):
    """The kind of poll a registration names (accepted, not sent)."""
    UNKNOWN = 0
    IP = 1
    RP = 2
    GP = 3


def _state(value: int) -> Any:
    try:
        return RedundancyState(value)
    except ValueError:
        return value


# ---------------------------------------------------------------- events

_event = dataclasses.dataclass(frozen=True, slots=True)


class Event:
    """Base of every event."""
    __slots__ = ()


@_event
class Connected(Event):
    """The client connected to the hub."""


@_event
class Disconnected(Event):
    """The client left the hub, or the hub went away."""


@_event
class InfoRevertive(Event):
    """Slot `slot` of infodriver `device` holds `value`."""
    device: int
    slot: int
    value: str


@_event
class RouterRevertive(Event):
    """Destination `dest` of router `device` is on `source`."""
    device: int
    dest: int
    source: int


@_event
class GpiRevertive(Event):
    """Index `index` of GPI unit `device` is on (`state` True) or off."""
    device: int
    index: int
    state: bool


@_event
class DatabaseChange(Event):
    """Name `index` of database `database` of `device` changed."""
    device: int
    index: int
    database: int


@_event
class DeviceMode(Event):
    """The redundancy mode of `device`."""
    device: int
    index: int
    state: RedundancyState


@_event
class DeviceMessage(Event):
    """A device message from `workstation` (after register_messages())."""
    workstation: int
    device: int
    message: str
    reference: int


@_event
class PollError(Event):
    """A poll of `device` failed at `slot`."""
    device: int
    slot: int


@_event
class ConfigChange(Event):
    """A configuration-change message."""
    message: str


_CLIENT_EVENTS = (Connected, Disconnected, InfoRevertive, RouterRevertive, GpiRevertive, DatabaseChange,
                  DeviceMode, DeviceMessage, PollError, ConfigChange)


@_event
class SlotWrite(Event):
    """The infodriver asks this driver to write `text` into slot `index`."""
    device: int
    index: int
    text: str


@_event
class DriverMessage(Event):
    """A device message that reached the driver."""
    workstation: int
    device: int
    text: str
    second: str
    third: str


@_event
class RedundancyChange(Event):
    """The driver's redundancy state changed."""
    device: int
    state: RedundancyState


@_event
class Attached(Event):
    """The driver attached to its infodriver."""
    device: int


@_event
class Detached(Event):
    """The driver left its infodriver, or the infodriver went away."""
    device: int


_DRIVER_EVENTS = (SlotWrite, DriverMessage, RedundancyChange, Attached, Detached)


class Counters(NamedTuple):
    """Commands sent, revertives received, and whether either changed since the last call."""
    tx: int
    rx: int
    changed: bool


class Limits(NamedTuple):
    """The hub's limits."""
    devices: int
    sources: int
    indexes: int
    databases: int
    string: int


class Profile(NamedTuple):
    """A device's profile; `name` is None when the hub names none."""
    version: int
    sources: int
    dests: int
    name: Optional[str]


# ---------------------------------------------------------------- argument checks

def _int(name: str, value: Any, low: int, high: int) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    if not low <= value <= high:
        raise ValueError(f"{name} {value} is outside {low}..{high}")
    return value


def _u32(name: str, value: Any) -> int:
    return _int(name, value, 0, _U32)


def _i32(name: str, value: Any) -> int:
    return _int(name, value, -0x80000000, 0x7FFFFFFF)


def _str(name: str, value: Any) -> str:
    if not isinstance(value, str):
        raise TypeError(f"{name} must be a str, not {type(value).__name__}")
    if "\0" in value:
        raise ValueError(f"{name} must not contain a zero character")
    return value


def _bool(name: str, value: Any) -> bool:
    if not isinstance(value, bool):
        raise TypeError(f"{name} must be a bool, not {type(value).__name__}")
    return value


def _transport(value: Any) -> int:
    if value not in _TRANSPORTS:
        raise ValueError(f"transport must be one of {sorted(_TRANSPORTS)}, not {value!r}")
    return _TRANSPORTS[value]


def _timeout(value: Any) -> Optional[float]:
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, (int, float)) or value < 0:
        raise ValueError(f"timeout must be None or a number of seconds >= 0, not {value!r}")
    return float(value)


# ---------------------------------------------------------------- delivery

_open: "weakref.WeakSet[_Pumped]" = weakref.WeakSet()


@atexit.register
def _close_all() -> None:
    # Threads that still pump must stop before the interpreter goes: they
    # take the GIL for every event.
    for obj in list(_open):
        obj.close()


class _Pumped:
    """What Client and Infodriver share: the native object, callbacks and the event queue."""

    _PENDING = 100_000  # events kept for events()/aevents(); the oldest go first

    def __init__(self, native_type: Any, classes: tuple) -> None:
        self._classes = classes
        self._callbacks: dict[type, list[Callable[[Any], Any]]] = collections.defaultdict(list)
        self._reported: set[int] = set()
        self.callback_errors = 0
        self._pending: collections.deque = collections.deque(maxlen=self._PENDING)
        self._ready = threading.Condition()
        self._sinks: list[_AsyncSink] = []
        # The native object holds its receiver, which must not hold this object:
        # dropping the last reference then closes it at once.
        ref = weakref.ref(self)

        def receive(code: int, *args: Any) -> None:
            owner = ref()
            if owner is not None:
                owner._receive(code, *args)
        self._native = native_type(receive)
        _open.add(self)

    def __enter__(self):
        # Connects; a peer that does not answer closes the object.
        try:
            if not self.connect():
                raise ConnectionError(f"zorv: {self!r} found no peer to connect to")
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc_info) -> None:
        self.close()

    def __del__(self) -> None:
        native = getattr(self, "_native", None)
        if native is None or native.closed:
            return
        try:
            native.close()
        except RuntimeError:
            # The last reference went inside one of the object's own events:
            # its thread cannot stop itself, so another one closes it (and
            # keeps the native object alive until then).
            threading.Thread(target=native.close, name="zorv close", daemon=True).start()

    def close(self) -> None:
        """Disposes of the object: its thread stops; later use raises DisposedError. A second close does nothing.

        Inside one of the object's own events it is refused (RuntimeError): the event runs on the thread to stop.
        """
        self._native.close()

    @property
    def closed(self) -> bool:
        """True once closed."""
        return self._native.closed

    # Runs on the object's thread, GIL held, for every event.
    def _receive(self, code: int, *args: Any) -> None:
        cls = self._classes[code]
        event = cls(*args)
        for fn in tuple(self._callbacks.get(cls, ())):
            try:
                fn(event)
            except Exception:
                self._report(fn)
        with self._ready:
            if self._sinks:
                for sink in self._sinks:
                    sink.add(event)
            else:
                self._pending.append(event)
                self._ready.notify_all()

    def _report(self, fn: Callable) -> None:
        # Each callback's first exception is printed; later ones only counted.
        self.callback_errors += 1
        if id(fn) in self._reported:
            return
        self._reported.add(id(fn))
        print(f"zorv: callback {getattr(fn, '__qualname__', fn)!s} raised (its later errors are only counted in "
              f"callback_errors):", file=sys.stderr)
        traceback.print_exc()

    def _subscribe(self, cls: type, fn: Callable) -> Callable:
        if not callable(fn):
            raise TypeError("the callback must be callable")
        self._callbacks[cls].append(fn)
        return fn

    def remove_callback(self, fn: Callable) -> None:
        """Removes a callback from every event it was subscribed to."""
        for fns in self._callbacks.values():
            while fn in fns:
                fns.remove(fn)

    def events(self, timeout: Optional[float] = 1.0) -> Iterator[Event]:
        """Events in order of arrival, from the oldest not yet taken (up to 100000 are kept).

        Ends when none arrives within `timeout` seconds (None: never ends). The
        wait releases the GIL. Events taken by an aevents() iterator never come here.
        """
        return _EventIterator(self, _timeout(timeout))

    def aevents(self, timeout: Optional[float] = None) -> "_AsyncEventIterator":
        """`async for ev in obj.aevents()`: the events, fed to the running loop.

        Starts with the events kept so far; ends when none arrives within
        `timeout` seconds (None: never ends). While it runs, events() gets none.
        """
        return _AsyncEventIterator(self, _timeout(timeout))

    def _take(self, timeout: Optional[float]) -> Optional[Event]:
        deadline = None if timeout is None else time.monotonic() + timeout
        with self._ready:
            while not self._pending:
                left = None if deadline is None else deadline - time.monotonic()
                if left is not None and left <= 0:
                    return None
                self._ready.wait(left)
            return self._pending.popleft()


class _EventIterator:
    def __init__(self, owner: _Pumped, timeout: Optional[float]) -> None:
        self._owner, self._timeout = owner, timeout

    def __iter__(self) -> "_EventIterator":
        return self

    def __next__(self) -> Event:
        event = self._owner._take(self._timeout)
        if event is None:
            raise StopIteration
        return event


class _AsyncSink:
    """Events for one aevents() iterator, handed to its loop in batches: one
    call_soon_threadsafe (one wake of the loop) per batch, not per event.
    add() runs under the owner's lock."""

    def __init__(self, lock: threading.Condition, loop: asyncio.AbstractEventLoop) -> None:
        self.lock, self.loop, self.queue = lock, loop, asyncio.Queue()
        self._batch: list = []

    def add(self, event: Event) -> None:
        self._batch.append(event)
        if len(self._batch) == 1:
            try:
                self.loop.call_soon_threadsafe(self._flush)
            except RuntimeError:  # the loop has closed
                self._batch.clear()

    def _flush(self) -> None:
        with self.lock:
            batch, self._batch = self._batch, []
        for event in batch:
            self.queue.put_nowait(event)


class _AsyncEventIterator:
    def __init__(self, owner: _Pumped, timeout: Optional[float]) -> None:
        self._owner, self._timeout = owner, timeout
        self._sink: Optional[_AsyncSink] = None

    def __aiter__(self) -> "_AsyncEventIterator":
        return self

    def _attach(self) -> asyncio.Queue:
        if self._sink is None:
            sink = _AsyncSink(self._owner._ready, asyncio.get_running_loop())
            with self._owner._ready:
                while self._owner._pending:
                    sink.queue.put_nowait(self._owner._pending.popleft())
                self._owner._sinks.append(sink)
            self._sink = sink
        return self._sink.queue

    def _detach(self) -> None:
        if self._sink is not None:
            with self._owner._ready:
                self._owner._sinks.remove(self._sink)
            self._sink = None

    async def __anext__(self) -> Event:
        queue = self._attach()
        if not queue.empty():  # no task and no timer for an event already there
            return queue.get_nowait()
        try:
            return await asyncio.wait_for(queue.get(), self._timeout)
        except asyncio.TimeoutError:
            self._detach()
            raise StopAsyncIteration from None

    async def aclose(self) -> None:
        """Stops taking events."""
        self._detach()

    def __del__(self) -> None:
        self._detach()


def _event_callback(cls: type, name: str) -> Callable:
    def subscribe(self, fn: Callable[[Any], Any]) -> Callable[[Any], Any]:
        return self._subscribe(cls, fn)
    subscribe.__name__ = name
    subscribe.__doc__ = (f"Calls fn({cls.__name__}) for every such event, on the object's thread with the GIL held; "
                         "returns fn, so it serves as a decorator. An exception fn raises is reported once and "
                         "does not stop the object.")
    return subscribe


def _range_operation(name: str, doc: str) -> Callable:
    def operation(self, device: int, start: int, end: int, now: bool = False) -> None:
        getattr(self._native, name)(*self._range(device, start, end), _bool("now", now))
    operation.__name__, operation.__doc__ = name, doc + " (now=False: the hub may hold it)"
    return operation


def _lock_operation(name: str, doc: str) -> Callable:
    def operation(self, device: int, start: int, end: int, lock: bool = True, now: bool = False) -> None:
        getattr(self._native, name)(*self._range(device, start, end), _bool("lock", lock), _bool("now", now))
    operation.__name__, operation.__doc__ = name, doc
    return operation


# ---------------------------------------------------------------- Client

class Client(_Pumped):
    """A client of the local hub, on a thread of its own that pumps its messages.

    `with Client(transport="zel") as c:` connects (ConnectionError when no hub
    answers) and disposes of the client when the block ends. Every operation
    waits for the client's thread and returns its result; several Python
    threads may share one client. Numbers are checked (TypeError,
    ValueError) before anything is sent; the library's checks raise
    RefusedError. A missing name or value is None.
    """

    def __init__(self, transport: str = "zel") -> None:
        self._transport = _transport(transport)
        super().__init__(_zorv.Client, _CLIENT_EVENTS)

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return f"<zorv.Client {state}>"

    # -- connection and settings
    def connect(self) -> bool:
        """Connects to the hub with the client's transport; True when connected."""
        return self._native.connect(self._transport)

    def disconnect(self) -> bool:
        """Leaves the hub; True when it was connected."""
        return self._native.disconnect()

    @property
    def connected(self) -> bool:
        """True while the hub's window exists."""
        return self._native.is_connected()

    @property
    def write_enabled(self) -> bool:
        """Whether commands that change state are sent (set it to gate them)."""
        return self._native.is_write_enabled()

    @write_enabled.setter
    def write_enabled(self, enable: bool) -> None:
        self._native.write_enable(_bool("write_enabled", enable))

    def set_close_host_on_exit(self, close: bool = False) -> None:
        """Whether disposing of the client closes the hub."""
        self._native.set_close_host_on_exit(_bool("close", close))

    def counters(self) -> Counters:
        """Commands sent and revertives received."""
        return Counters(*self._native.counters())

    def reset_counters(self) -> None:
        """Both counters to 0."""
        self._native.reset_counters()

    def flush(self) -> None:
        """Releases the commands the hub holds (those sent without now=True)."""
        self._native.flush()

    def limits(self) -> Limits:
        """The hub's highest device, source and index, its databases and its longest text."""
        return Limits(*self._native.limits())

    # -- registration
    def register(self, device: int, start: int, end: int, overwrite: bool = True,
                 poll_type: PollType = PollType.IP) -> None:
        """Registers indexes start..end of the device for its revertives."""
        self._native.register(_u32("device", device), _u32("start", start), _u32("end", end),
                              _bool("overwrite", overwrite), int(PollType(poll_type)))

    def deregister(self, device: int, start: Optional[int] = None, end: Optional[int] = None) -> None:
        """Deregisters the whole device, one index (start), or start..end."""
        device = _u32("device", device)
        if start is None and end is None:
            self._native.deregister_device(device)
        elif end is None:
            self._native.deregister_index(device, _u32("start", start))
        else:
            self._native.deregister_range(device, _u32("start", start), _u32("end", end))

    def deregister_all(self) -> None:
        """Deregisters everything."""
        self._native.deregister_all()

    def registration_extent(self, device: int) -> Optional[tuple[int, int]]:
        """The lowest and highest registered index of the device; None when unknown."""
        return self._native.registration_extent(_u32("device", device))

    # -- routers, infodrivers, GPIs
    def route(self, device: int, dest: int, source: int, mask: str = ",---", now: bool = False) -> None:
        """Switches destination `dest` of router `device` to `source` (now=False: the hub may hold it)."""
        self._native.route(_u32("device", device), _u32("dest", dest), _i32("source", source), _str("mask", mask),
                           _bool("now", now))



    def router_file(self, device: int) -> None:
        """The hub re-reads the router's file."""
        self._native.router_file(_u32("device", device))

    def info_write(self, device: int, index: int, value: str, now: bool = False) -> None:
        """Writes slot `index` of infodriver `device`."""
        self._native.info_write(_u32("device", device), _u32("index", index), _str("value", value), _bool("now", now))



    def gpi_switch(self, device: int, index: int, state: bool, now: bool = False) -> None:
        """Switches GPI `index` of `device` on (True) or off."""
        self._native.gpi_switch(_u32("device", device), _u32("index", index), _bool("state", state), _bool("now", now))



    def gpi_file(self, device: int) -> None:
        """The hub re-reads the GPI unit's file."""
        self._native.gpi_file(_u32("device", device))

    def device_message(self, workstation: int, device: int, message: str, reference: int = 0) -> None:
        """Sends a message to the subscribed clients of `workstation` (0: all)."""
        self._native.device_message(_i32("workstation", workstation), _u32("device", device),
                                    _str("message", message), _i32("reference", reference))

    def profile(self, device: int) -> Optional[Profile]:
        """The device's profile; None when the hub does not know the device."""
        version, sources, dests, name = self._native.profile(_u32("device", device))
        if version == 0 and sources == 0 and dests == 0 and not name:
            return None
        return Profile(version, sources, dests, name or None)

    # -- value cache and databases
    def cache_enable(self, state: bool) -> None:
        """Switches the hub's value cache on or off."""
        self._native.cache_enable(_bool("state", state))

    def cache_flush(self, device: int) -> None:
        """Empties the cache of one device."""
        self._native.cache_flush(_u32("device", device))

    def cache_index(self, device: int, start: int, end: int, value: str) -> Optional[int]:
        """The index in start..end holding `value`; None when none does."""
        return self._native.cache_index(*self._range(device, start, end), _str("value", value)) or None

    def cache_test(self, device: int, start: int, end: int) -> bool:
        """True when start..end is cached."""
        return self._native.cache_test(*self._range(device, start, end))

    def cache_value(self, device: int, index: int) -> Optional[str]:
        """The cached value; None when the cache holds none."""
        return self._native.cache_value(_u32("device", device), _u32("index", index)) or None

    def name(self, device: int, index: int, db: int = 0) -> Optional[str]:
        """Name `index` of database `db`; None when the hub has none (or an empty one)."""
        return self._native.name(_u32("device", device), _u32("index", index), _u32("db", db)) or None

    def name_index(self, device: int, name: str, db: int = 0) -> Optional[int]:
        """The index of `name` in database `db`; None when no index has it."""
        return self._native.name_index(_u32("device", device), _u32("db", db), _str("name", name)) or None

    def set_name(self, device: int, index: int, name: str, db: int = 0, tally_dump: bool = False,
                 include_handle: bool = False) -> bool:
        """Renames entry `index` of database `db`; True when sent (False: writes are disabled)."""
        return self._native.set_name(_u32("device", device), _u32("index", index), _u32("db", db), _str("name", name),
                                     _bool("tally_dump", tally_dump), _bool("include_handle", include_handle))

    def flush_names(self, device: int = 0) -> None:
        """Drops the cached names of the device (0: of all)."""
        self._native.flush_names(_u32("device", device))

    # -- messages
    def register_messages(self) -> None:
        """Subscribes to device messages."""
        self._native.register_messages()

    def deregister_messages(self) -> None:
        """Ends the subscription to device messages."""
        self._native.deregister_messages()

    def send_config_change(self, message: str) -> None:
        """Sends a configuration-change message to every subscribed client."""
        self._native.send_config_change(_str("message", message))

    @staticmethod
    def _range(device: int, start: int, end: int) -> tuple[int, int, int]:
        return _u32("device", device), _u32("start", start), _u32("end", end)

    router_poll = _range_operation("router_poll", "Revertives of destinations start..end to every registered client.")
    router_query = _range_operation("router_query", "Revertives of destinations start..end to this client.")
    router_lock = _lock_operation("router_lock", "Locks (or unlocks) destinations start..end.")
    info_poll = _range_operation("info_poll", "Revertives of slots start..end to every registered client.")
    info_query = _range_operation("info_query", "Revertives of slots start..end to this client.")
    info_lock = _lock_operation("info_lock", "Locks (or unlocks) slots start..end.")
    gpi_poll = _range_operation("gpi_poll", "Revertives of indexes start..end to every registered client.")
    gpi_query = _range_operation("gpi_query", "Revertives of indexes start..end to this client.")
    gpi_lock = _lock_operation("gpi_lock", "Locks (or unlocks) indexes start..end.")

    on_connected = _event_callback(Connected, "on_connected")
    on_disconnected = _event_callback(Disconnected, "on_disconnected")
    on_info_revertive = _event_callback(InfoRevertive, "on_info_revertive")
    on_router_revertive = _event_callback(RouterRevertive, "on_router_revertive")
    on_gpi_revertive = _event_callback(GpiRevertive, "on_gpi_revertive")
    on_database_change = _event_callback(DatabaseChange, "on_database_change")
    on_device_mode = _event_callback(DeviceMode, "on_device_mode")
    on_device_message = _event_callback(DeviceMessage, "on_device_message")
    on_poll_error = _event_callback(PollError, "on_poll_error")
    on_config_change = _event_callback(ConfigChange, "on_config_change")


# ---------------------------------------------------------------- Infodriver

class Infodriver(_Pumped):
    """A driver attached to infodriver `device`, to fake a device in tests.

    `with Infodriver(2) as d:` attaches (ConnectionError when no infodriver
    answers) and detaches when the block ends. Writes that the infodriver asks
    for are answered by `answer`: given a SlotWrite it returns the text to set
    (None: set nothing); the default sets the text asked for. While the driver
    is rx (another driver is tx) the infodriver ignores its writes.
    """

    def __init__(self, device: int, transport: str = "zel",
                 answer: Optional[Callable[[SlotWrite], Optional[str]]] = None) -> None:
        self.device = _i32("device", device)
        self._transport = _transport(transport)
        self.answer = answer if answer is not None else (lambda write: write.text)
        super().__init__(_zorv.Infodriver, _DRIVER_EVENTS)
        self._subscribe(SlotWrite, self._answer)

    def __repr__(self) -> str:
        return f"<zorv.Infodriver {self.device} {'closed' if self.closed else 'open'}>"

    def _answer(self, write: SlotWrite) -> None:
        text = self.answer(write)
        if text is not None:
            self.set_slot(write.index, text, now=True)

    def connect(self) -> bool:
        """Attaches to the infodriver; True when attached."""
        return self._native.connect(self.device, self._transport)

    def disconnect(self) -> bool:
        """Leaves the infodriver; True when it was attached."""
        return self._native.disconnect()

    @property
    def connected(self) -> bool:
        """True while the infodriver's window exists."""
        return self._native.is_connected()

    def set_slot(self, index: int, text: str, now: bool = True) -> None:
        """Sets slot `index` (the infodriver reports it to the hub)."""
        self._native.set_slot(_i32("index", index), _str("text", text), _bool("now", now))

    def get_slot(self, index: int) -> Optional[str]:
        """The slot's text as the infodriver holds it; None when empty."""
        return self._native.get_slot(_i32("index", index)) or None

    def send_slot_range(self, first: int, last: int) -> None:
        """Asks the infodriver to report slots first..last to the hub."""
        self._native.send_slot_range(_i32("first", first), _i32("last", last))

    def send_device_message(self, workstation: int, device: int, text: str, second: str = "",
                            third: str = "") -> None:
        """Sends a device message to `workstation` (0: every workstation)."""
        self._native.send_device_message(_i32("workstation", workstation), _i32("device", device), _str("text", text),
                                         _str("second", second), _str("third", third))

    @property
    def state(self) -> RedundancyState:
        """UNKNOWN, RX or TX."""
        return _state(self._native.state())

    def set_state(self, state: RedundancyState, force: bool = False) -> None:
        """Asks for TX (force: demand it) or RX."""
        self._native.set_redundancy_state(int(RedundancyState(state)), _bool("force", force))

    @property
    def mode(self) -> int:
        """1: primary (takes tx when offered), 2: secondary (stays rx)."""
        return self._native.mode()

    def set_mode(self, mode: int, apply: bool = False, force: bool = False) -> None:
        """Stores the mode (1 primary, 2 secondary); with apply, asks for TX or RX accordingly."""
        self._native.set_redundancy_mode(_int("mode", mode, 1, 2), _bool("apply", apply), _bool("force", force))

    def counters(self) -> Counters:
        """Slot writes and messages sent, notifications received."""
        return Counters(*self._native.counters())

    on_slot_write = _event_callback(SlotWrite, "on_slot_write")
    on_device_message = _event_callback(DriverMessage, "on_device_message")
    on_redundancy_change = _event_callback(RedundancyChange, "on_redundancy_change")
    on_attached = _event_callback(Attached, "on_attached")
    on_detached = _event_callback(Detached, "on_detached")


# The native codes carry plain numbers; the event objects carry the enums.
def _typed(cls: type, field: str) -> None:
    make = cls.__init__

    def __init__(self, *args: Any) -> None:
        make(self, *args)
        object.__setattr__(self, field, _state(getattr(self, field)))
    cls.__init__ = __init__


_typed(DeviceMode, "state")
_typed(RedundancyChange, "state")
