"""The Wine slot of one test process (see scripts/wine-session): under scripts/test every
Windows-side test takes the first slot that no other test holds, by a lock on
AMBREL_WINE_SLOT_DIR/K.lock that it keeps until it ends, and runs itself and every program it
starts on that slot's display and prefix (AMBREL_WINE_DISPLAY_K, AMBREL_WINE_PREFIX_K). CTest runs
as many tests at once as there are slots, so one is always free but for the moment a test that
has just ended takes to let go of its own. Without AMBREL_WINE_SLOT_DIR (a hand run) nothing
changes."""
import fcntl
import os
import pathlib
import time

# The lock stays held as long as its descriptor is open: for the whole process. Python's
# descriptors are not inherited, so no Wine program that outlives the test holds it.
_held = None


def use_wine_slot(environ, who, wait_seconds=60):
    global _held
    slots = environ.get('AMBREL_WINE_SLOT_DIR', '')
    if not slots or _held is not None:
        return
    count = int(environ.get('AMBREL_WINE_SLOT_COUNT', '0'))
    deadline = time.monotonic() + wait_seconds
    while True:
        for slot in range(count):
            fd = os.open(pathlib.Path(slots) / f'{slot}.lock', os.O_CREAT | os.O_RDWR)
            try:
                fcntl.flock(fd, fcntl.LOCK_EX | fcntl.LOCK_NB)
            except BlockingIOError:
                os.close(fd)
                continue
            _held = fd
            try:
                environ['DISPLAY'] = environ[f'AMBREL_WINE_DISPLAY_{slot}']
                environ['WINEPREFIX'] = environ[f'AMBREL_WINE_PREFIX_{slot}']
            except KeyError:
                raise SystemExit(f'{who}: no Wine slot {slot} in this environment')
            return
        if time.monotonic() > deadline:
            raise SystemExit(f'{who}: no free Wine slot among {count}')
        time.sleep(0.2)
