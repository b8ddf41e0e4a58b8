"""Runs the real Ambrel.exe under Wine with the fake thermal zone and power store, and reads
back what it did: the store, the fakes' call trace, the log file and the screen.

Needs WINEPREFIX, DISPLAY and the fake DLLs installed in the prefix (scripts/test does that),
AMBREL_EXE and AMBREL_POKE (set by CTest). Under scripts/test this module, on import, takes a free
Wine slot for the test and every program it starts (scripts/wine_slot.py).
"""

import collections
import getpass
import os
import pathlib
import re
import shutil
import signal
import struct
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / 'scripts'))
from wine_slot import use_wine_slot  # noqa: E402

use_wine_slot(os.environ, 'ambrel_harness')


def prefix_programs(*names):
    """The Unix processes of this prefix that run one of the named programs, as (pid, command
    line): found by the prefix in their environment."""
    mine = b'WINEPREFIX=' + os.environ.get('WINEPREFIX', '').encode()
    found = []
    for proc in pathlib.Path('/proc').glob('[0-9]*'):
        try:
            command = (proc / 'cmdline').read_bytes().replace(b'\0', b' ').decode(errors='replace')
            if (any(name in command for name in names) and
                    mine in (proc / 'environ').read_bytes().split(b'\0')):
                found.append((int(proc.name), command.strip()))
        except OSError:
            continue
    return found


def say_what_the_slot_holds():
    """Names the slot and any Ambrel.exe or poke.exe that an earlier test left running in it, on
    standard error, which a failing test's output shows."""
    if 'AMBREL_WINE_SLOT_DIR' in os.environ:
        left = prefix_programs('Ambrel.exe', 'poke.exe')
        print(f'Wine prefix {os.environ.get("WINEPREFIX")}: '
              f'{left or "no program of an earlier test"} (at {time.strftime("%H:%M:%S")})',
              file=sys.stderr, flush=True)


say_what_the_slot_holds()

EXE = os.environ.get('AMBREL_EXE', '')
POKE = os.environ.get('AMBREL_POKE', '')
WORK = pathlib.Path(os.environ.get('AMBREL_E2E_DIR', '/tmp/ambrel-e2e'))

BALANCED = '381b4222-f694-41f0-9685-ff5bb260df2e'
HIGH_PERFORMANCE = '8c5e7fda-e8bf-4a96-9a85-a6e23a8c635c'
POWER_SAVER = 'a1841308-3541-4fab-bc81-f71556f20b4a'
# The maximum processor state settings for efficiency class 0 and class 1.
THROTTLE_MAXIMUM = 'bc5038f7-23e0-4960-96da-33abaf5935ec'
THROTTLE_MAXIMUM_1 = 'bc5038f7-23e0-4960-96da-33abaf5935ed'

# The restore ledger: one REG_BINARY per value written into, named "<scheme> AC", "... AC1",
# "... DC" or "... DC1" (its own value, the value written, the value before that write).
LEDGER_KEY = 'HKCU\\Software\\Ambrel\\Restore'
# The service's settings and ledger, and where the fakes loaded by a service find their files.
MACHINE_KEY = 'HKLM\\Software\\Ambrel'
MACHINE_LEDGER_KEY = MACHINE_KEY + '\\Restore'
FAKES_KEY = 'HKLM\\Software\\Ambrel Fakes'
FAKE_VARIABLES = ('AMBREL_FAKE_POWER', 'AMBREL_FAKE_PDH', 'AMBREL_FAKE_TRACE')

# Counter values (tenths of a kelvin) for whole degrees Celsius.
def counter(celsius):
    return celsius * 10 + 2732

# ReportEventW under Wine: the call as a fixme of advapi with the id (third number), then each
# insert on the eventlog channel.
EVENT_CALL = re.compile(r'fixme:advapi:ReportEventW \([^,]*,0x[0-9a-f]+,0x[0-9a-f]+,0x([0-9a-f]+),')
EVENT_INSERT = re.compile(r'(trace|warn|err):eventlog:ReportEventW L"(.*)"$')

ENTRY = re.compile(r'(\d\d/\d\d/\d\d \d\d:\d\d:\d\d\.\d\d\d) (\d{4,}) ')

BAR_COLOURS = {0: (11, 137, 67), 1: (218, 218, 35), 2: (218, 35, 41), 3: (140, 140, 140)}
# The "mode" that the bar shows while paused.
PAUSED = 3


def windows_path(path):
    return 'Z:' + str(path).replace('/', '\\')


def store_text(active=BALANCED, schemes=((BALANCED, 100, 100), (HIGH_PERFORMANCE, 100, 90)),
               extra=''):
    """schemes: (GUID, AC, DC) or, with class-1 values, (GUID, AC, DC, AC1, DC1)."""
    lines = [f'active {active}'] + ['scheme ' + ' '.join(map(str, s)) for s in schemes]
    return '\n'.join(lines) + '\n' + extra


def prefix_folder(layout, variable):
    """The Unix path of a folder of the prefix: where Wine keeps it (layout, below drive_c, with
    the Unix user's name for USER), or where Wine says %variable% is, where the prefix has no such
    folder. Each question to Wine is a start of Wine more, and one in some thousand ends without
    having run under load."""
    drive = pathlib.Path(os.environ.get('WINEPREFIX', pathlib.Path.home() / '.wine')) / 'drive_c'
    folder = drive / layout.replace('USER', getpass.getuser())
    if folder.is_dir():
        return folder
    windows = subprocess.run(['wine', 'cmd', '/c', f'echo %{variable}%'], capture_output=True,
                             text=True, check=True).stdout.strip()
    return pathlib.Path(subprocess.run(['winepath', '-u', windows], capture_output=True,
                                       text=True, check=True).stdout.strip())


def wine_temp_dir():
    """The Unix path of the prefix's %TEMP%, where the log file goes (the prefix's set-up puts it
    in the user's profile)."""
    return prefix_folder('users/USER/Temp', 'TEMP')


def history_file(machine=False):
    """The Unix path of the user's (or the service's) history file in the prefix."""
    folder = (prefix_folder('ProgramData', 'ProgramData') if machine else
              prefix_folder('users/USER/AppData/Local', 'LOCALAPPDATA'))
    return folder / 'Ambrel' / 'history.dat'


def forget_history(machine=False):
    """No history kept, as on a first run: the file, its new file and one set aside."""
    path = history_file(machine)
    for name in (path, path.with_name(path.name + '.new'), path.with_name(path.name + '.spoiled')):
        try:
            name.unlink()
        except FileNotFoundError:
            pass
    return path


def export_history(run, csv, *more):
    """Ambrel.exe --export CSV [more...] as a user runs it; its exit code and the CSV's rows
    (without the byte-order mark), None where it wrote none."""
    code = subprocess.run(['wine', EXE, '--export', windows_path(csv), *more], env=run.env,
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                          timeout=60).returncode
    if not csv.exists():
        return code, None
    text = csv.read_bytes()
    if not text.startswith(b'\xef\xbb\xbf'):
        return code, ['no byte-order mark']
    return code, text[3:].decode('utf-8').splitlines()


def log_path():
    return wine_temp_dir() / 'Ambrel.log'


def delete_log():
    try:
        log_path().unlink()
    except FileNotFoundError:
        pass


def keep_log():
    """A copy of the log beside the test's files (the slot's next test deletes it), where one can
    be made: it is kept for a reader, and never fails a test. The copy that an earlier run of the
    same test left (in the suite, its failed first try where it needed a second) is kept as
    Ambrel.earlier.log."""
    try:
        text = read_log_raw()
        if text is not None:
            WORK.mkdir(parents=True, exist_ok=True)
            kept = WORK / 'Ambrel.log'
            if kept.exists():
                kept.replace(WORK / 'Ambrel.earlier.log')
            kept.write_text(text, encoding='latin-1')
    except (OSError, subprocess.SubprocessError) as error:
        print(f'the log was not kept: {error}', file=sys.stderr, flush=True)


def read_log_raw():
    try:
        return log_path().read_bytes().decode('latin-1')
    except FileNotFoundError:
        return None


def log_entries(text=None):
    """The log as (thread id, message) pairs; messages keep their line breaks as "\\n"."""
    text = read_log_raw() if text is None else text
    if text is None:
        return []
    text = text.replace('\r\n', '\n')
    parts = ENTRY.split(text)
    # parts: [before, stamp, thread, message, stamp, thread, message, ...]
    return [(int(parts[i + 1]), parts[i + 2]) for i in range(1, len(parts) - 2, 3)]


def wait_for(predicate, timeout=20.0, interval=0.1):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(interval)
    return predicate()


def poke_as_ambrel():
    """poke.exe under the name Ambrel.exe: a pipe server that a viewer of this session takes for
    an Ambrel (poke.exe itself is a program that is not Ambrel's)."""
    path = WORK / 'as-ambrel' / 'Ambrel.exe'
    # A work directory outlives the build: a copy made from an older poke.exe is made anew.
    if not path.exists() or path.stat().st_mtime < pathlib.Path(POKE).stat().st_mtime:
        path.parent.mkdir(parents=True, exist_ok=True)
        shutil.copy2(POKE, path)
    return str(path)


def poke(*args):
    return subprocess.run(['wine', POKE, *map(str, args)], stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=60).returncode


class AmbrelRun:
    """One run of Ambrel.exe with its own store, thermal-zone script and trace."""

    def __init__(self, name, store=None, script=None, args=('--logging',), keep_ledger=False,
                 events=False, env=None):
        # Either controller takes over what the other left: a fresh run starts with neither.
        if not keep_ledger:
            clear_ledger()
            clear_ledger(MACHINE_LEDGER_KEY)
        self.dir = WORK / name
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)
        self.store_file = self.dir / 'store.txt'
        self.script_file = self.dir / 'pdh.txt'
        self.trace_file = self.dir / 'trace.txt'
        self.store_file.write_text(store if store is not None else store_text())
        self.script_file.write_text(script if script is not None else f'{counter(50)}\n')
        self.trace_file.write_text('')
        self.args = list(args)
        self.exe = EXE
        self.process = None
        self.env = dict(os.environ,
                        AMBREL_FAKE_POWER=windows_path(self.store_file),
                        AMBREL_FAKE_PDH=windows_path(self.script_file),
                        AMBREL_FAKE_TRACE=windows_path(self.trace_file), **(env or {}))
        # Wine writes each event's inserts to its eventlog debug channel, on standard error.
        self.stderr_file = self.dir / 'stderr.txt' if events else None
        if events:
            self.env['WINEDEBUG'] = '-all,fixme+advapi,+eventlog'

    def start(self):
        # A run that is still ending would hold the single-instance guard.
        wait_for(lambda: poke('exists') != 0, 15)
        stderr = open(self.stderr_file, 'ab') if self.stderr_file else subprocess.DEVNULL
        self.process = subprocess.Popen(['wine', self.exe, *self.args], env=self.env,
                                        stdout=subprocess.DEVNULL, stderr=stderr)
        if self.stderr_file:
            stderr.close()
        return self

    def run_to_end(self, timeout=30):
        """Starts a run that is expected to end by itself and returns its exit code."""
        self.start()
        return self.wait(timeout)

    def wait(self, timeout=30):
        return self.process.wait(timeout=timeout)

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.kill()

    def kill(self):
        if self.alive():
            poke('close')
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()

    def append_readings(self, *celsius):
        with open(self.script_file, 'a') as script:
            script.write(''.join(f'{counter(t)}\n' for t in celsius))

    def trace(self, function=None):
        lines = self.trace_file.read_text(errors='replace').splitlines()
        return [l for l in lines if function is None or l.startswith(function + ' ')]

    def events(self):
        """The events reported so far: (event id, type, [inserts]), the id without its severity
        bits and the type as Wine's channel names it (trace: information, warn, err)."""
        events = []
        for line in self.stderr_file.read_text(errors='replace').splitlines():
            call = EVENT_CALL.search(line)
            if call:
                events.append((int(call.group(1), 16) & 0xFFFF, None, []))
                continue
            insert = EVENT_INSERT.search(line)
            if insert and events:
                inserts = events[-1][2]
                text = re.sub(r'\\(.)', r'\1', insert.group(2))  # Wine's escapes of \\ and "
                events[-1] = (events[-1][0], insert.group(1), inserts + [text])
        return events

    def ac_writes(self, function='PowerWriteACValueIndex', setting=THROTTLE_MAXIMUM):
        """The AC class-0 values written to the store, in order (or those of another write
        function and setting)."""
        return [int(re.search(r' value=(\d+)', l).group(1)) for l in self.trace(function)
                if l.endswith('-> 0') and f' setting={setting} ' in l]

    def collections(self):
        """The readings so far: the watcher's collections, not those of the history window's
        query, which holds only the processor's performance."""
        return len([l for l in self.trace('PdhCollectQueryData')
                    if ' reading=performance=' not in l])

    def processor_collections(self):
        """The collections that took the processor's values: the history window's, and the
        watcher's while the cap's check has its counters in the watcher's query."""
        return [l for l in self.trace('PdhCollectQueryData') if 'performance=' in l]

    def processor_counters(self):
        """The processor's counters added: by the history window while it is open, and by the
        check of the cap's effect while the cap lowers a value."""
        return [l for l in self.trace() if l.startswith('PdhAdd')
                and 'path="\\Processor Information(' in l]

    def ac_value(self, scheme=BALANCED):
        return self.values(scheme)[0]

    def values(self, scheme=BALANCED):
        """The scheme's values as stored: [AC, DC] or [AC, DC, AC1, DC1]; [None] when absent."""
        for line in self.store_file.read_text().splitlines():
            fields = line.split()
            if fields[:2] == ['scheme', scheme]:
                return [int(f) for f in fields[2:]]
        return [None]

    def change_store(self, line):
        """Replaces the store's active line or one scheme line while the program runs."""
        return poke('store', windows_path(self.store_file), line)

    def active_scheme(self):
        return self.store_file.read_text().split()[1]

    def wait_until_watching(self, timeout=20):
        """Waits for the first reading (which writes nothing: the user's own values are in
        force until a step)."""
        return wait_for(lambda: self.collections() >= 1, timeout)


# A desktop of this window station of its own: an Ambrel started there finds no hidden window
# of the running one (FindWindow sees its own desktop only), as one in another session does.
VIEW_DESKTOP = 'AmbrelView'


def view_poke(*args):
    return poke('desktop', VIEW_DESKTOP, *args)


def view_title():
    return subprocess.run(['wine', POKE, 'desktop', VIEW_DESKTOP, 'title'], capture_output=True,
                          text=True, timeout=60).stdout


class ViewRun(AmbrelRun):
    """A run on the view's desktop, while the controller runs elsewhere: a view of it."""

    def start(self):
        stderr = open(self.stderr_file, 'ab') if self.stderr_file else subprocess.DEVNULL
        self.process = subprocess.Popen(
            ['wine', POKE, 'ondesktop', VIEW_DESKTOP, windows_path(self.exe), *self.args],
            env=self.env, stdout=subprocess.DEVNULL, stderr=stderr)
        if self.stderr_file:
            stderr.close()
        return self

    def kill(self):
        if self.alive():
            view_poke('close')
            try:
                self.process.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.process.kill()


def delete_registry_key(key):
    """Deletes a key with all its values and subkeys (nothing where it is not there)."""
    wine('reg', 'delete', key, '/f')


def clear_ledger(key=LEDGER_KEY):
    delete_registry_key(key)


# Wine's reg and net say something whenever they run, also when they fail, while a program that
# Wine never ran at all ends with exit 1 and nothing said: under load about one start in a
# thousand (one of 1200 starts of `wine reg query` beside six busy processes). sc says nothing about a
# service that is not there, Ambrel.exe and poke.exe answer with exit codes alone: their starts
# are taken as they come.
SAYS_SOMETHING = ('reg', 'net')


def run_wine(args, timeout=120):
    """Runs a Wine program quietly and returns what it did (subprocess.CompletedProcess, bytes).
    A start of reg or net that ended with exit 1 and said nothing is made again, at most twice,
    and named on standard error."""
    args = [str(a) for a in args]
    for _ in range(3):
        done = subprocess.run(['wine', *args], capture_output=True, timeout=timeout)
        if (args[0] not in SAYS_SOMETHING or done.returncode != 1 or done.stdout or
                done.stderr):
            break
        print(f'wine {" ".join(args)}: exit 1 and nothing said; started again', file=sys.stderr,
              flush=True)
    return done


def wine(*args):
    """Runs a Wine program quietly and returns its exit code."""
    return run_wine(args).returncode


# Wine's debugger attaches to a running process, writes every thread's stack of every process of
# the prefix (the service manager's too) and detaches again, leaving the process running.
THREAD_DUMP_COMMANDS = 'attach 0x{pid}\ninfo thread\nbt all\ndetach\nquit\n'
FRAME_IN_EXE = re.compile(r'^(\s*(?:=>)?(\d+) 0x([0-9a-f]+)) in (\w+) \(\+0x[0-9a-f]+\)', re.M)
THREAD_HEADING = re.compile(r'^Backtracing for thread \w+ in process \w+ \((.*)\):$')


def wine_children(name, parent):
    """The Windows process ids (hex) of the processes named name that parent started, from the
    process tree that winedbg shows."""
    out = subprocess.run(['wine', 'winedbg'], input='info process\nquit\n', capture_output=True,
                         text=True, timeout=120).stdout
    found, top = [], None
    for line in out.splitlines():
        entry = re.match(r"^\s*=?\s*([0-9a-f]{8})\s+\d+\s+(.*?)'(.*)'", line)
        if not entry:
            continue
        depth = entry.group(2).count('\\_')
        if depth == 0:
            top = entry.group(3)
        elif depth == 1 and top == parent and entry.group(3) == name:
            found.append(entry.group(1))
    return found


def name_frames(text, exe):
    """The dump with each frame in the program named after its function, from the symbol file
    beside the executable (the executable itself is stripped)."""
    symbols = pathlib.Path(exe + '.debug')
    module = pathlib.Path(exe).stem.lower()
    frames = [m for m in FRAME_IN_EXE.finditer(text) if m.group(4) == module]
    if not frames or not symbols.exists() or not shutil.which('llvm-symbolizer'):
        return text
    # A return address lies behind its call: the byte before it is in the calling line.
    addresses = [hex(int(m.group(3), 16) - (m.group(2) != '0')) for m in frames]
    out = subprocess.run(['llvm-symbolizer', f'--obj={symbols}', *addresses],
                         capture_output=True, text=True, timeout=60).stdout
    names = [block.split('\n')[0] for block in out.strip().split('\n\n')]
    if len(names) != len(frames):
        return text
    for m, function in reversed(list(zip(frames, names))):
        text = text[:m.end()] + f' {function}' + text[m.end():]
    return text


def program_threads(dump, exe):
    """The part of a dump that shows the threads of the program's own processes."""
    kept, keep = [], False
    for line in dump.splitlines():
        heading = THREAD_HEADING.match(line)
        if heading:
            keep = heading.group(1).lower().endswith(pathlib.Path(exe).name.lower())
        elif line.startswith('Wine-dbg>'):
            keep = False
        if keep:
            kept.append(line)
    return '\n'.join(kept)


class ServiceRun(AmbrelRun):
    """The Ambrel service, made with `sc create` and driven with `net start` and `net stop`, with its
    own store, script and trace, which the fakes in the service find through FAKES_KEY. Where the
    service makes no progress, or does not stop, in time, every thread of it is dumped."""

    # `net stop` waits for the stop as long as the service's stop wait hint allows, and more.
    STOP_TIMEOUT = 60

    def __init__(self, name, store=None, script=None, keep_ledger=False):
        super().__init__(name, store, script, args=('--service',), keep_ledger=keep_ledger)
        for variable in FAKE_VARIABLES:
            set_registry_value(FAKES_KEY, variable, self.env[variable])

    def install(self, exe=None, logging=False):
        binary = windows_path(exe or self.exe)
        switches = ' --logging' if logging else ''
        return wine('sc', 'create', 'Ambrel', 'binPath=', f'{binary} --service{switches}')

    def start(self):
        return wine('net', 'start', 'Ambrel')

    def state(self):
        """The service's state as `sc query` gives it (1 stopped, 2 start pending, 4 running), or
        None when there is no such service."""
        out = subprocess.run(['wine', 'sc', 'query', 'Ambrel'], capture_output=True,
                             text=True).stdout
        found = re.search(r'STATE\s*:\s*(\d+)', out)
        return int(found.group(1)) if found else None

    def stop(self):
        # `net start` returns once the service has connected, while it may still report its start
        # pending, when it takes no stop yet: the stop is asked for once it runs.
        wait_for(lambda: self.state() != 2, 20)
        try:
            code = run_wine(['net', 'stop', 'Ambrel'], self.STOP_TIMEOUT).returncode
        except subprocess.TimeoutExpired:
            code = None
        if code != 0 and self.alive():
            self.dump_threads(f'net stop gave {code}')
        return code

    def wait_until(self, predicate, timeout=40):
        """wait_for, with a dump of the service's threads when the predicate does not come true."""
        found = wait_for(predicate, timeout)
        if not found and self.alive():
            self.dump_threads(f'no progress in {timeout} s')
        return found

    def dump_threads(self, why):
        """Writes every thread's stack of the prefix to threads.txt in the run's folder, prints
        the service's own threads on standard error, which the test's output shows, and returns
        them."""
        dump = ''
        for pid in wine_children('Ambrel.exe', 'services.exe'):
            dump += subprocess.run(['wine', 'winedbg'], input=THREAD_DUMP_COMMANDS.format(pid=pid),
                                   capture_output=True, text=True, errors='replace',
                                   timeout=180).stdout
        dump = name_frames(dump, self.exe)
        (self.dir / 'threads.txt').write_text(f'{why}\n{dump}')
        own = program_threads(dump, self.exe)
        print(f'\n== {why}: the service\'s threads ({self.dir / "threads.txt"} has every '
              f'process)\n{own or dump or "no service process"}', file=sys.stderr, flush=True)
        return own

    def pids(self):
        """The service processes of this prefix."""
        return [pid for pid, _ in prefix_programs('Ambrel.exe --service')]

    def kill_process(self):
        for pid in self.pids():
            os.kill(pid, signal.SIGKILL)
        return wait_for(lambda: not self.pids(), 10)

    def alive(self):
        return bool(self.pids())

    def kill(self):
        """Stops and removes the service, and forgets the fakes' files."""
        remove_service()


def remove_service():
    wine('net', 'stop', 'Ambrel')
    wine('sc', 'delete', 'Ambrel')
    delete_registry_key(FAKES_KEY)


def reg_query(*args):
    """What `wine reg query ARGS` prints, '' where the key or value is not there (reg's "Unable
    to find"), never because reg did not run (run_wine)."""
    out = run_wine(['reg', 'query', *args]).stdout.decode('utf-8', 'replace')
    return '' if 'Unable to find' in out else out


def set_registry_value(key, name, value):
    """Sets a value: (type, data), or a string for REG_SZ."""
    kind, data = value if isinstance(value, tuple) else ('REG_SZ', value)
    done = run_wine(['reg', 'add', key, '/v', name, '/t', kind, '/d', data, '/f'])
    if done.returncode != 0:
        raise subprocess.CalledProcessError(done.returncode, done.args, done.stdout, done.stderr)


def delete_registry_value(key, name):
    wine('reg', 'delete', key, '/v', name, '/f')


def ledger(key=LEDGER_KEY):
    """The ledger's values as {name: (type, data)}, an entry's data without its stamp (the
    time it was first noted, its last four bytes)."""
    out = reg_query(key)
    values = {}
    for fields in (line.split() for line in out.splitlines()):
        # A name may hold a space ("<scheme> AC"): the type is the first REG_ field.
        kind = next((i for i, f in enumerate(fields) if f.startswith('REG_')), 0)
        if kind > 0:
            data = ' '.join(fields[kind + 1:])
            if fields[kind] == 'REG_BINARY' and len(data) == 32:
                data = data[:24]
            values[' '.join(fields[:kind])] = (fields[kind], data)
    return values


def ledger_entry(original, written, previous=None):
    """An entry as stored: the scheme's own value, the value written and the value before that
    write (the same once the write is done)."""
    previous = written if previous is None else previous
    return ('REG_BINARY', f'{original:02X}000000{written:02X}000000{previous:02X}000000')


# --- the screen -----------------------------------------------------------------------------

def x_windows():
    """Top-level X windows as (name, width, height, x, y)."""
    out = subprocess.run(['xwininfo', '-root', '-children'], capture_output=True, text=True).stdout
    found = []
    for line in out.splitlines():
        m = re.search(r'0x[0-9a-f]+ (".*?"|\(has no name\)).*?(\d+)x(\d+)\S* +'
                      r'\+?(-?\d+)\+?(-?\d+)\s*$', line)
        if m:
            name = m.group(1).strip('"')
            found.append((name, int(m.group(2)), int(m.group(3)), int(m.group(4)),
                          int(m.group(5))))
    return found


def visible_window_ids():
    """The X ids of the top-level windows that are shown now."""
    out = subprocess.run(['xdotool', 'search', '--onlyvisible', '--maxdepth', '1', '--name', ''],
                         capture_output=True, text=True).stdout
    return set(out.split())


def window_geometry(window_id):
    """(name, width, height, x, y) of an X window."""
    out = subprocess.run(['xwininfo', '-id', window_id], capture_output=True, text=True).stdout
    values = dict(re.findall(r'^\s*(Absolute upper-left [XY]|Width|Height):\s*(-?\d+)', out, re.M))
    name = re.search(r'Window id: \S+ (.*)', out)
    return (name.group(1).strip('"') if name else '', int(values.get('Width', 0)),
            int(values.get('Height', 0)), int(values.get('Absolute upper-left X', 0)),
            int(values.get('Absolute upper-left Y', 0)))


def mapped(window_id_name):
    out = subprocess.run(['xwininfo', '-name', window_id_name], capture_output=True,
                         text=True).stdout
    return 'IsViewable' in out


def tray_window():
    for name, width, height, x, y in x_windows():
        if name == 'Wine System Tray' and width > 1:
            return width, height, x, y
    return None


def screen_pixels(width, height, x, y):
    """The RGB pixels of a screen rectangle, row by row."""
    shot = subprocess.run(['import', '-window', 'root', '-crop', f'{width}x{height}+{x}+{y}',
                           '-depth', '8', 'rgb:-'], capture_output=True, check=True).stdout
    return [tuple(shot[i:i + 3]) for i in range(0, width * height * 3, 3)]


def save_screenshot(path, width, height, x, y):
    subprocess.run(['import', '-window', 'root', '-crop', f'{width}x{height}+{x}+{y}', '+repage',
                    str(path)], check=True)


def ocr(path, language='eng', negate=False):
    """The text tesseract reads in a screenshot, enlarged four times first (and turned to dark
    on light for light text on a dark ground)."""
    big = pathlib.Path(path).with_suffix('.ocr.png')
    subprocess.run(['convert', str(path), '-resize', '400%', *(['-negate'] if negate else []),
                    str(big)], check=True)
    return subprocess.run(['tesseract', str(big), '-', '-l', language], capture_output=True,
                          text=True).stdout


def commonest_pixel(pixels):
    return collections.Counter(pixels).most_common(1)[0][0]


def bar_colour_counts(pixels):
    """How many pixels match each mode's bar colour (within a small tolerance)."""
    counts = {mode: 0 for mode in BAR_COLOURS}
    for pixel in pixels:
        for mode, colour in BAR_COLOURS.items():
            if all(abs(a - b) <= 12 for a, b in zip(pixel, colour)):
                counts[mode] += 1
    return counts


def shown_mode():
    """The mode whose bar colour the tray shows, or None when no icon bar is visible."""
    tray = tray_window()
    if tray is None or not mapped('Wine System Tray'):
        return None
    counts = bar_colour_counts(screen_pixels(*tray))
    mode, count = max(counts.items(), key=lambda item: item[1])
    others = sum(counts.values()) - count
    return mode if count >= 8 and others < count // 4 else None


# --- display scale and the icon's pixels ----------------------------------------------------

DESKTOP_KEY = r'HKCU\Control Panel\Desktop'


def log_pixels():
    """The prefix's display scale in dots per inch, or None when it is not set."""
    out = reg_query(DESKTOP_KEY, '/v', 'LogPixels')
    m = re.search(r'LogPixels\s+REG_DWORD\s+0x([0-9a-fA-F]+)', out)
    return int(m.group(1), 16) if m else None


def set_log_pixels(dpi):
    """Sets (None: removes) the prefix's display scale for the programs started afterwards, and
    ends this prefix's desktop process, which holds the tray: the next window starts a new one
    at the new scale. (Ended with Wine's taskkill, the desktop would not come back.)"""
    if dpi:
        set_registry_value(DESKTOP_KEY, 'LogPixels', ('REG_DWORD', str(dpi)))
    else:
        delete_registry_value(DESKTOP_KEY, 'LogPixels')
    for pid, _ in prefix_programs('explorer.exe /desktop'):
        try:
            os.kill(pid, signal.SIGTERM)
        except OSError:
            continue
    # The tray's window goes first; under load the process takes seconds more to end.
    wait_for(lambda: tray_window() is None and not prefix_programs('explorer.exe /desktop'), 20)
    # The wineserver lets go of the old desktop a moment after its process has gone; a window
    # made before then would find no desktop at all.
    time.sleep(3)


def expected_icon(size, t, mode):
    """The icon's pixels, row by row, for a reading from 10 to 99 (every icon is opaque, the
    first one too), from the pixel map res/tempicon*.txt and the seven-segment codes."""
    codes = [0x7E, 0x30, 0x6D, 0x79, 0x33, 0x5B, 0x5F, 0x70, 0x7F, 0x7B]
    lit = {s + first for first, digit in ((0, t % 10), (7, t // 10)) for s in range(7)
           if codes[digit] & (0x40 >> s)}
    path = pathlib.Path(os.environ['AMBREL_SOURCE_DIR'], 'res',
                        'tempicon.txt' if size == 32 else f'tempicon{size}.txt')
    rows = [line.split()[1] for line in path.read_text().splitlines() if line[:1] not in '#']

    def colour(c):
        if c == 'f':
            return BAR_COLOURS[mode]
        return (240, 240, 240) if c != '.' and int(c, 16) in lit else (0, 0, 0)
    return [[colour(c) for c in row] for row in rows]


def find_icon(expected):
    """Where the tray shows the expected pixels exactly, as (x, y) in the tray, or None."""
    tray = tray_window()
    if tray is None:
        return None
    width, height, size = tray[0], tray[1], len(expected)
    pixels = screen_pixels(*tray)
    for y in range(height - size + 1):
        for x in range(width - size + 1):
            if all(pixels[(y + r) * width + x:(y + r) * width + x + size] == expected[r]
                   for r in range(size)):
                return x, y
    return None


def click(x, y, button=1):
    subprocess.run(['xdotool', 'mousemove', str(x), str(y), 'click', str(button)], check=True)


def dismiss_menu():
    """Closes an open menu with a click far away from it, as a user would."""
    click(1200, 1000)


def tooltip():
    """The tray icon's tooltip, which the program also gives its hidden window as title."""
    return subprocess.run(['wine', POKE, 'title'], capture_output=True,
                          timeout=60).stdout.decode('utf-8', 'replace')


# The tray menu's entries from the top; '-' is the separator.
TRAY_MENU = ['History', 'Export history…', 'Pause for 1 hour', 'Thermal zone', 'Throttle at', 'On battery too', 'Notify when throttling',
             'Start with Windows', '-', 'About', 'Exit']
MENU_BORDERS = 3    # pixels above the first and below the last entry, together
MENU_SEPARATOR = 7  # pixels of a separator


def menu_item_centre(menu, entries, name):
    """The centre of an entry of a menu window (name, width, height, x, y) whose entries are
    given, with the item height worked out from the window's height."""
    _, width, height, x, y = menu
    separators = entries.count('-')
    item = (height - MENU_BORDERS - MENU_SEPARATOR * separators) / (len(entries) - separators)
    top = y + MENU_BORDERS // 2
    for entry in entries[:entries.index(name)]:
        top += MENU_SEPARATOR if entry == '-' else item
    return x + width // 2, int(top + item / 2)


def pe_sections(path):
    """The sections of a PE file: name -> (RVA, virtual size, raw bytes). Names longer than eight
    characters (".debug_info", ".gnu_debuglink") are read from the COFF string table."""
    data = pathlib.Path(path).read_bytes()
    coff = struct.unpack_from('<I', data, 0x3C)[0] + 4
    count, symbols, symbol_count, optional_size = struct.unpack_from('<2xH4xII H', data, coff)
    strings = symbols + symbol_count * 18
    sections = {}
    for i in range(count):
        header = coff + 20 + optional_size + 40 * i
        name, size, rva, raw_size, raw = struct.unpack_from('<8sIIII', data, header)
        name = name.rstrip(b'\0').decode()
        if name.startswith('/'):
            offset = strings + int(name[1:])
            name = data[offset:data.index(b'\0', offset)].decode()
        # The raw data is padded to the file alignment; the virtual size is the section's own.
        sections[name] = (rva, size, data[raw:raw + min(raw_size, size)] if raw else b'')
    return sections


def pe_resources(path):
    """Every resource of a PE file: (type, name, language) -> bytes (ids as numbers, names as
    strings), read from its resource directory."""
    rva, _, rsrc = pe_sections(path)['.rsrc']

    def entries(offset):
        named, numbered = struct.unpack_from('<12xHH', rsrc, offset)
        for i in range(named + numbered):
            key, target = struct.unpack_from('<II', rsrc, offset + 16 + 8 * i)
            if key & 0x80000000:
                length = struct.unpack_from('<H', rsrc, key & 0x7FFFFFFF)[0]
                start = (key & 0x7FFFFFFF) + 2
                key = rsrc[start:start + 2 * length].decode('utf-16-le')
            yield key, target

    found = {}
    for kind, names in entries(0):
        for name, languages in entries(names & 0x7FFFFFFF):
            for language, leaf in entries(languages & 0x7FFFFFFF):
                data_rva, size = struct.unpack_from('<II', rsrc, leaf)
                found[(kind, name, language)] = rsrc[data_rva - rva:data_rva - rva + size]
    return found
