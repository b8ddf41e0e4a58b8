#!/usr/bin/env python3
"""Runs Ambrel.exe and the floor (a bare hidden-window program) side by side under Wine and
prints what each costs: CPU time after start-up, peak resident memory, context switches per
minute, threads and handles; then the time each takes to start (Ambrel: until its tray icon is
on the screen; the floor: until its hidden window exists), median of several runs.

Two more programs run alongside: the floor that also reads the (simulated) thermal zone on every
wake, which shows how much of Ambrel's cost is the sensor's rather than its own; and the bare
tray, that sensor floor with one static tray icon added once, which also carries what the shell
costs a tray program.

With --service, Ambrel runs as the Windows service (Ambrel.exe --service, made with `sc create`
and started with `net start`), with no tray icon, against the same floors.

Needs a Wine prefix with the fake pdh.dll and powrprof.dll installed, WINEPREFIX, DISPLAY and
WINEDLLOVERRIDES set (bench/run and scripts/test do that), and the paths of the programs:
AMBREL_EXE, AMBREL_FLOOR, AMBREL_FLOOR_SENSOR, AMBREL_FLOOR_TRAY, AMBREL_PROBE, AMBREL_POKE. It
prints figures and asserts nothing about them: the exit code only says whether the measurement
could be made (a program that ends during it makes the run fail).
"""

import argparse
import os
import pathlib
import shutil
import signal
import statistics
import subprocess
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / 'scripts'))
from wine_slot import use_wine_slot  # noqa: E402

AMBREL_CLASS = 'Ambrel'
FLOOR_CLASS = 'AmbrelFloor'
SENSOR_CLASS = 'AmbrelFloorSensor'
TRAY_FLOOR_CLASS = 'AmbrelFloorTray'
LABELS = {AMBREL_CLASS: 'Ambrel', FLOOR_CLASS: 'floor', SENSOR_CLASS: 'floor+sensor',
          TRAY_FLOOR_CLASS: 'bare tray'}
# The window that Wine's explorer shows while at least one tray icon exists.
TRAY_CLASS = '__winex11_standalone_tray'
TRAY_TITLE = 'Wine System Tray'

# Where the fakes loaded by a service find their files (a service gets none of our variables).
FAKES_KEY = r'HKLM\Software\Ambrel Fakes'
USER_KEY = r'HKCU\Software\Ambrel'

SCHEME = '381b4222-f694-41f0-9685-ff5bb260df2e'
STEADY_50_C = 3232  # counter value, tenths of a kelvin
STEADY_90_C = 3632
# --hot: the processor busy and boosting at 130 % of its base whatever the cap says, so that the
# check of the cap's effect samples every reading and finds no effect within the minute.
HOT_SCRIPT = f'performance 130\nutility 95\n{STEADY_90_C}\n'
# The 80 % step is in force after eight readings: a hot measurement starts after it.
HOT_SETTLE_SECONDS = 20.0
SETTLE_SECONDS = 3.0
CLOCK_TICKS = os.sysconf('SC_CLK_TCK')


def env_path(name):
    value = os.environ.get(name, '')
    if not value or not pathlib.Path(value).is_file():
        sys.exit(f'compare_floor: {name} must name the built program (now "{value}")')
    return value


def windows_path(path):
    return 'Z:' + str(path).replace('/', '\\')


def wine(*args):
    return subprocess.run(['wine', *args], capture_output=True, timeout=120).returncode


class ServiceProcess:
    """The Ambrel service as the measurement sees a process it started: its pid, poll, wait."""

    def __init__(self, pid):
        self.pid = pid
        self.returncode = None

    def poll(self):
        if self.returncode is None and not os.path.exists(f'/proc/{self.pid}'):
            self.returncode = 0
        return self.returncode

    def wait(self, timeout=20):
        if not wait_for(lambda: self.poll() is not None, timeout):
            raise subprocess.TimeoutExpired('Ambrel service', timeout)
        return self.returncode

    def kill(self):
        os.kill(self.pid, signal.SIGKILL)


def service_pid():
    """The pid of this prefix's Ambrel.exe --service, or None."""
    prefix = os.environ.get('WINEPREFIX', '')
    for entry in filter(str.isdigit, os.listdir('/proc')):
        if ('Ambrel.exe --service' in read(f'/proc/{entry}/cmdline').replace('\0', ' ') and
                f'WINEPREFIX={prefix}' in read(f'/proc/{entry}/environ').split('\0')):
            return int(entry)
    return None


class Programs:
    def __init__(self, service=False, hot=False):
        self.service = service
        self.ambrel = env_path('AMBREL_EXE')
        self.floor = env_path('AMBREL_FLOOR')
        self.floor_sensor = env_path('AMBREL_FLOOR_SENSOR')
        self.floor_tray = env_path('AMBREL_FLOOR_TRAY')
        self.probe_exe = env_path('AMBREL_PROBE')
        self.poke = env_path('AMBREL_POKE')
        work = pathlib.Path(os.environ.get('AMBREL_BENCH_DIR', '/tmp/ambrel-bench'))
        shutil.rmtree(work, ignore_errors=True)
        work.mkdir(parents=True)
        (work / 'store.txt').write_text(f'active {SCHEME}\nscheme {SCHEME} 100 100\n')
        (work / 'pdh.txt').write_text(HOT_SCRIPT if hot else f'{STEADY_50_C}\n')
        self.env = dict(os.environ,
                        AMBREL_FAKE_POWER=windows_path(work / 'store.txt'),
                        AMBREL_FAKE_PDH=windows_path(work / 'pdh.txt'))
        self.env.pop('AMBREL_FAKE_TRACE', None)

    def start(self, exe):
        if self.service and exe == self.ambrel:
            return self.start_service()
        return subprocess.Popen(['wine', exe], env=self.env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def start_service(self):
        for variable in ('AMBREL_FAKE_POWER', 'AMBREL_FAKE_PDH'):
            wine('reg', 'add', FAKES_KEY, '/v', variable, '/t', 'REG_SZ', '/d',
                 self.env[variable], '/f')
        binary = windows_path(pathlib.Path(self.ambrel).resolve())
        wine('sc', 'create', 'Ambrel', 'binPath=', f'{binary} --service')
        if wine('net', 'start', 'Ambrel') != 0 or service_pid() is None:
            self.stop_service()
            sys.exit('compare_floor: the Ambrel service did not start')
        return ServiceProcess(service_pid())

    def stop_service(self):
        wine('net', 'stop', 'Ambrel')
        wine('sc', 'delete', 'Ambrel')
        wine('reg', 'delete', FAKES_KEY, '/f')

    def has_window(self, window_class):
        """The service's window is in session 0's own window station, out of the probe's sight:
        there it is the process that must be there."""
        if self.service and window_class == AMBREL_CLASS:
            return service_pid() is not None
        return self.probe('counts', window_class).returncode == 0

    def probe(self, *args):
        return subprocess.run(['wine', self.probe_exe, *args], env=self.env, capture_output=True,
                              text=True, timeout=60)

    def start_probe(self, verb, window_class):
        """A probe waiting for a window; returns once it is polling."""
        process = subprocess.Popen(['wine', self.probe_exe, verb, window_class], env=self.env,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        if process.stdout.readline().strip() != 'ready':
            sys.exit('compare_floor: the probe did not start')
        return process

    def close(self, window_class):
        """Asks the program to end as the user would (WM_CLOSE to its window)."""
        if window_class == AMBREL_CLASS and self.service:
            self.stop_service()
        elif window_class == AMBREL_CLASS:
            subprocess.run(['wine', self.poke, 'close'], env=self.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        else:
            self.probe('close', window_class)

    def stop(self, processes):
        """Ends the programs, a dict of window class to process."""
        for window_class in processes:
            self.close(window_class)
        for process in processes.values():
            try:
                process.wait(timeout=20)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()


def wait_for(predicate, timeout, interval=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if predicate():
            return True
        time.sleep(interval)
    return predicate()


# --- what Linux knows of a process -----------------------------------------------------------

def read(path):
    try:
        return pathlib.Path(path).read_text(errors='replace')
    except OSError:
        return ''


def status_field(pid, name):
    for line in read(f'/proc/{pid}/status').splitlines():
        if line.startswith(name + ':'):
            return int(line.split()[1])
    return 0


def cpu_ticks(pid):
    """utime + stime in clock ticks (fields 14 and 15 of /proc/PID/stat)."""
    stat = read(f'/proc/{pid}/stat')
    fields = stat[stat.rfind(')') + 2:].split()
    return int(fields[11]) + int(fields[12]) if len(fields) > 12 else 0


def tasks(pid):
    try:
        return os.listdir(f'/proc/{pid}/task')
    except OSError:
        return []


def run_nanoseconds(pid):
    """Time on a processor summed over the threads, from schedstat (nanoseconds)."""
    total = 0
    for task in tasks(pid):
        fields = read(f'/proc/{pid}/task/{task}/schedstat').split()
        total += int(fields[0]) if fields else 0
    return total


def context_switches(pid):
    total = 0
    for task in tasks(pid):
        for line in read(f'/proc/{pid}/task/{task}/status').splitlines():
            if line.startswith(('voluntary_ctxt_switches:', 'nonvoluntary_ctxt_switches:')):
                total += int(line.split()[1])
    return total


def sample(pid):
    return {'ticks': cpu_ticks(pid), 'ns': run_nanoseconds(pid), 'switches': context_switches(pid)}


def require_running(processes, when):
    """Stops the run when a measured program has ended: the figures of a process that is gone
    (its threads and memory already released) would be meaningless."""
    for cls, process in processes.items():
        if process.poll() is not None:
            sys.exit(f'compare_floor: {LABELS[cls]} ({cls}) ended {when} with exit code '
                     f'{process.returncode}; no figures (is another copy running in this '
                     f'Wine prefix?)')


def prefix_processes():
    """The wineserver and explorer.exe of this Wine prefix (other prefixes may be running)."""
    prefix = os.environ.get('WINEPREFIX', os.path.expanduser('~/.wine'))
    ours = {f'WINEPREFIX={prefix}', f'WINEPREFIX={os.path.realpath(prefix)}'}
    found = {}
    for entry in filter(str.isdigit, os.listdir('/proc')):
        if not ours & set(read(f'/proc/{entry}/environ').split('\0')):
            continue
        command = read(f'/proc/{entry}/cmdline').replace('\0', ' ')
        if 'wineserver' in command:
            found['wineserver'] = int(entry)
        elif 'explorer.exe' in command:
            found['explorer.exe'] = int(entry)
    return found


def rss_by_file(pid):
    """Resident KiB per mapped file (anonymous memory under its bracketed name or "anon")."""
    totals = {}
    name = 'anon'
    for line in read(f'/proc/{pid}/smaps').splitlines():
        fields = line.split()
        if fields and '-' in fields[0] and len(fields) >= 5 and ':' not in fields[0]:
            name = os.path.basename(' '.join(fields[5:])) if len(fields) > 5 else 'anon'
        elif fields[:1] == ['Rss:']:
            totals[name] = totals.get(name, 0) + int(fields[1])
    return totals


def windows_counts(programs, window_class):
    """Handle, GDI/USER object and Windows thread counts as the probe reads them."""
    out = programs.probe('counts', window_class).stdout.split()
    return dict(item.split('=') for item in out if '=' in item)


def tray_viewable():
    out = subprocess.run(['xwininfo', '-name', TRAY_TITLE], capture_output=True,
                         text=True).stdout
    return 'IsViewable' in out


# --- the side-by-side run --------------------------------------------------------------------

# The tray menu's History command: opens the history window as the menu item does.
ID_HISTORY = 40017


def measure_side_by_side(programs, settle, seconds, history=False):
    names = {AMBREL_CLASS: programs.ambrel, FLOOR_CLASS: programs.floor,
             SENSOR_CLASS: programs.floor_sensor, TRAY_FLOOR_CLASS: programs.floor_tray}
    started = time.monotonic()
    processes = {cls: programs.start(exe) for cls, exe in names.items()}
    try:
        for cls in names:
            if not programs.has_window(cls) and \
                    not wait_for(lambda c=cls: programs.has_window(c), 30):
                sys.exit(f'compare_floor: no window of class {cls}')
        if history:
            subprocess.run(['wine', programs.poke, 'command', str(ID_HISTORY)], env=programs.env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        time.sleep(max(0.0, started + settle - time.monotonic()))
        require_running(processes, 'before the measurement')
        shared = prefix_processes()
        first = {cls: sample(p.pid) for cls, p in processes.items()}
        first_shared = {name: sample(pid) for name, pid in shared.items()}
        began = time.monotonic()
        time.sleep(seconds)
        last = {cls: sample(p.pid) for cls, p in processes.items()}
        last_shared = {name: sample(pid) for name, pid in shared.items()}
        elapsed = time.monotonic() - began
        figures = {}
        for cls, process in processes.items():
            counts = windows_counts(programs, cls)
            memory = {key: status_field(process.pid, field)
                      for key, field in (('hwm_kib', 'VmHWM'), ('rss_kib', 'VmRSS'),
                                         ('linux_threads', 'Threads'))}
            by_file = rss_by_file(process.pid)
            # Read after the figures: a process that ended in between gave zeros.
            require_running(processes, 'during the measurement')
            figures[cls] = {
                'cpu_ms': (last[cls]['ticks'] - first[cls]['ticks']) * 1000 / CLOCK_TICKS,
                'run_ms': (last[cls]['ns'] - first[cls]['ns']) / 1e6,
                'switches_per_min': (last[cls]['switches'] - first[cls]['switches'])
                                    * 60 / elapsed,
                **memory,
                'windows_threads': int(counts.get('threads', -1)),
                'handles_listed': int(counts.get('listed_handles', -1)),
                'handles_api': int(counts.get('handles', -1)),
                'gdi': int(counts.get('gdi', -1)),
                'user': int(counts.get('user', -1)),
                'rss_by_file': by_file,
            }
        shared_figures = {name: {'run_ms': (last_shared[name]['ns'] - first_shared[name]['ns'])
                                           / 1e6,
                                 'switches_per_min': (last_shared[name]['switches']
                                                      - first_shared[name]['switches'])
                                                     * 60 / elapsed}
                          for name in shared if name in last_shared}
        return figures, shared_figures, settle, elapsed
    finally:
        programs.stop(processes)


def ratio(a, b):
    if a < 0 or b < 0:
        return '-'
    return f'{a / b:.2f}' if b else ('-' if not a else 'inf')


def measurable(value):
    return value if value > 0 else 'n/m'


def print_rss_difference(a, b, name):
    print(f'resident memory that Ambrel has and {name} has not, by mapping (KiB):')
    files = set(a['rss_by_file']) | set(b['rss_by_file'])
    extra = sorted(((a['rss_by_file'].get(n, 0) - b['rss_by_file'].get(n, 0), n) for n in files),
                   reverse=True)
    for kib, file in extra:
        if abs(kib) >= 64:
            print(f'  {kib:+7d}  {file}')


def print_side_by_side(figures, shared, settle, elapsed, service=False):
    a = figures[AMBREL_CLASS]
    # Each reference with the goal for Ambrel's ratio to it, per row key.
    references = [(FLOOR_CLASS, {'cpu_ms': 1.5, 'run_ms': 1.5, 'switches_per_min': 1.5,
                                 'hwm_kib': 1.1}),
                  (SENSOR_CLASS, {}),
                  (TRAY_FLOOR_CLASS, {'cpu_ms': 1.05, 'run_ms': 1.05, 'switches_per_min': 1.05,
                                      'hwm_kib': 1.02})]
    what = 'the Ambrel service' if service else 'Ambrel.exe'
    print(f'== {what} against the floors, {elapsed:.0f} s after a {settle:.0f} s '
          f'start-up, side by side')
    rows = [
        ('CPU time, utime+stime (ms)', 'cpu_ms'),
        ('CPU time, schedstat (ms)', 'run_ms'),
        ('context switches per minute', 'switches_per_min'),
        ('peak resident memory, VmHWM (KiB)', 'hwm_kib'),
        ('resident memory at the end (KiB)', 'rss_kib'),
        ('threads (Linux tasks)', 'linux_threads'),
        ('threads (Windows)', 'windows_threads'),
        ('handles (system process list)', 'handles_listed'),
    ]
    print(f'{"":36} {"Ambrel":>8}' + ''.join(f' {LABELS[cls]:>12} {"ratio":>6} {"goal":>6}'
                                              for cls, _ in references))
    for label, key in rows:
        line = f'{label:36} {a[key]:>8.0f}'
        for cls, goals in references:
            value = figures[cls][key]
            goal = f'<={goals[key]}' if key in goals else ''
            line += f' {value:>12.0f} {ratio(a[key], value):>6} {goal:>6}'
        print(line)
    for label, key in (('handles (GetProcessHandleCount)', 'handles_api'),
                       ('GDI objects (GetGuiResources)', 'gdi'),
                       ('USER objects (GetGuiResources)', 'user')):
        print(f'{label:36} {measurable(a[key]):>8}' +
              ''.join(f' {measurable(figures[cls][key]):>12} {"":>6} {"":>6}'
                      for cls, _ in references))
    print('(n/m: Wine answers 0 for this call, so it is not measurable under Wine; -1: the '
          "service's window is out of the probe's sight)")
    for name, values in sorted(shared.items()):
        print(f'shared {name}: CPU {values["run_ms"]:.0f} ms, '
              f'{values["switches_per_min"]:.0f} context switches per minute')
    print_rss_difference(a, figures[FLOOR_CLASS], 'the floor')
    print_rss_difference(a, figures[TRAY_FLOOR_CLASS], 'the bare tray')


# --- start-up --------------------------------------------------------------------------------

def time_startup(programs, exe, window_class, waits):
    """Seconds from starting exe until each probe (verb, class) has seen its window."""
    probes = [programs.start_probe(verb, cls) for verb, cls in waits]
    started = time.monotonic()
    process = programs.start(exe)
    times = []
    for probe in probes:
        line = probe.stdout.readline().strip()
        times.append(time.monotonic() - started if line == 'found' else float('nan'))
        probe.wait()
    programs.stop({window_class: process})
    return times


def measure_startup(programs, runs):
    floor, ambrel_window, ambrel_icon = [], [], []
    for _ in range(runs):
        floor += time_startup(programs, programs.floor, FLOOR_CLASS, [('wait', FLOOR_CLASS)])
        if not wait_for(lambda: not tray_viewable(), 20):
            sys.exit('compare_floor: the tray is still on the screen from an earlier run')
        window, icon = time_startup(programs, programs.ambrel, AMBREL_CLASS,
                                    [('wait', AMBREL_CLASS), ('wait-visible', TRAY_CLASS)])
        ambrel_window.append(window)
        ambrel_icon.append(icon)
    return floor, ambrel_window, ambrel_icon


def print_startup(floor, ambrel_window, ambrel_icon):
    def ms(values):
        return f'{statistics.median(values) * 1000:7.0f} ms  (runs: ' + \
               ', '.join(f'{v * 1000:.0f}' for v in values) + ')'
    print(f'== start-up under Wine, median of {len(floor)} run(s), from "wine X.exe"')
    print(f'floor: hidden window exists        {ms(floor)}')
    print(f'Ambrel: hidden window exists       {ms(ambrel_window)}')
    print(f'Ambrel: tray icon on the screen    {ms(ambrel_icon)}')
    print(f'ratio first icon / floor window    {statistics.median(ambrel_icon) / statistics.median(floor):.2f}')


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--seconds', type=float, default=60.0,
                        help='length of the side-by-side measurement after start-up')
    parser.add_argument('--runs', type=int, default=5, help='start-up runs of each program')
    parser.add_argument('--quick', action='store_true',
                        help='a short run (2 s, one start-up each) that only shows it works')
    parser.add_argument('--skip-startup', action='store_true')
    parser.add_argument('--service', action='store_true',
                        help='run Ambrel as the Windows service (no tray icon, no start-up '
                             'timing)')
    parser.add_argument('--history', action='store_true',
                        help="measure Ambrel with its history window open (Ambrel's figures only "
                             'change)')
    parser.add_argument('--range', type=int, choices=(30, 1440, 10080, 129600),
                        help='the minutes the history window shows (the user\'s HistoryRange, '
                             'removed again afterwards)')
    parser.add_argument('--hot', action='store_true',
                        help='a capped minute: the thermal zone at 90 C, Ambrel at the 80 %% step '
                             'from the measurement on, the processor busy at 130 %%')
    parser.add_argument('--settle', type=float, default=SETTLE_SECONDS,
                        help='seconds from the start until the measurement begins; over 900 the '
                             "history window's half hour shows its whole span, as at rest")
    args = parser.parse_args()
    settle = max(args.settle, HOT_SETTLE_SECONDS) if args.hot else args.settle
    if args.quick:
        settle, args.seconds, args.runs = 1.0, 2.0, 1

    use_wine_slot(os.environ, 'compare_floor')
    programs = Programs(args.service, args.hot)
    # A run that is still ending would hold the single-instance guard.
    if not wait_for(lambda: programs.probe('counts', AMBREL_CLASS).returncode != 0 and
                    service_pid() is None, 15):
        sys.exit('compare_floor: an Ambrel.exe is already running in this prefix')
    if args.range:
        wine('reg', 'add', USER_KEY, '/v', 'HistoryRange', '/t', 'REG_DWORD', '/d',
             str(args.range), '/f')
    try:
        print_side_by_side(*measure_side_by_side(programs, settle, args.seconds, args.history),
                           service=args.service)
    finally:
        if args.range:
            wine('reg', 'delete', USER_KEY, '/v', 'HistoryRange', '/f')
    if not args.skip_startup and not args.service:
        print_startup(*measure_startup(programs, args.runs))
    return 0


if __name__ == '__main__':
    sys.exit(main())
