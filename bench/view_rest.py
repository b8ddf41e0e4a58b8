#!/usr/bin/env python3
"""A view at rest: Ambrel.exe as the controller with the thermal zone at a steady 50 °C, and a
second Ambrel.exe on a desktop of its own (where it cannot find the controller's window, as in
another session), which becomes a view of it through the status pipe. Prints, per minute, the
context switches (wake-ups) and the CPU time of the view and of the controller: first while
nothing changes, then while the reading changes at every 2-second reading.

Needs what compare_floor.py needs (a Wine prefix with the fakes, WINEPREFIX, DISPLAY,
WINEDLLOVERRIDES) and AMBREL_EXE and AMBREL_POKE. Asserts nothing about the figures.
"""

import argparse
import os
import pathlib
import shutil
import subprocess
import sys
import time

from compare_floor import SCHEME, STEADY_50_C, cpu_ticks, context_switches, env_path, read, \
    tasks, use_wine_slot, wait_for, windows_path

DESKTOP = 'AmbrelView'


def ambrel_pids(exe):
    """Linux processes of this Wine prefix that run the program (its path is their first
    argument, as Wine sets it)."""
    name = pathlib.Path(exe).name.lower()
    prefix = os.environ.get('WINEPREFIX', '')
    return {int(p) for p in filter(str.isdigit, os.listdir('/proc'))
            if read(f'/proc/{p}/cmdline').split('\0')[0].lower().endswith(name)
            and f'WINEPREFIX={prefix}' in read(f'/proc/{p}/environ').split('\0')}


def measure(pids, seconds):
    before = {pid: (context_switches(pid), cpu_ticks(pid)) for pid in pids.values()}
    time.sleep(seconds)
    per_minute = 60.0 / seconds
    return {role: ((context_switches(pid) - before[pid][0]) * per_minute,
                   (cpu_ticks(pid) - before[pid][1]) * 10 * per_minute, len(tasks(pid)))
            for role, pid in pids.items()}


def show(title, figures):
    print(f'\n{title}')
    print(f'  {"":12} {"wake-ups/min":>13} {"CPU ms/min":>11} {"threads":>8}')
    for role, (switches, cpu_ms, threads) in figures.items():
        print(f'  {role:12} {switches:13.1f} {cpu_ms:11.1f} {threads:8d}')


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--seconds', type=float, default=60.0)
    parser.add_argument('--quick', action='store_true', help='10 s per phase')
    args = parser.parse_args()
    seconds = 10.0 if args.quick else args.seconds
    use_wine_slot(os.environ, 'view_rest')
    exe, poke = env_path('AMBREL_EXE'), env_path('AMBREL_POKE')
    work = pathlib.Path(os.environ.get('AMBREL_BENCH_DIR', '/tmp/ambrel-bench')) / 'view'
    shutil.rmtree(work, ignore_errors=True)
    work.mkdir(parents=True)
    (work / 'store.txt').write_text(f'active {SCHEME}\nscheme {SCHEME} 100 100\n')
    script = work / 'pdh.txt'
    script.write_text(f'{STEADY_50_C}\n')
    env = dict(os.environ, AMBREL_FAKE_POWER=windows_path(work / 'store.txt'),
               AMBREL_FAKE_PDH=windows_path(script))
    env.pop('AMBREL_FAKE_TRACE', None)

    def title():
        return subprocess.run(['wine', poke, 'desktop', DESKTOP, 'title'], env=env,
                              capture_output=True, text=True, timeout=60).stdout

    controller = subprocess.Popen(['wine', exe], env=env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
    view = None
    try:
        if not wait_for(lambda: len(ambrel_pids(exe)) == 1, 30):
            sys.exit('view_rest: the controller did not start')
        controller_pid = ambrel_pids(exe).pop()
        view = subprocess.Popen(['wine', poke, 'ondesktop', DESKTOP, windows_path(exe)], env=env,
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if not wait_for(lambda: '50 °C' in title(), 60):
            sys.exit('view_rest: the view did not show the reading')
        view_pid = (ambrel_pids(exe) - {controller_pid}).pop()
        pids = {'view': view_pid, 'controller': controller_pid}
        time.sleep(3)
        show(f'Nothing changes ({seconds:.0f} s):', measure(pids, seconds))
        # One reading per line, 50 and 51 °C in turn: the controller reports every reading.
        with open(script, 'a') as readings:
            readings.write(''.join(f'{STEADY_50_C + 10 * (i % 2)}\n' for i in range(1, 2000)))
        time.sleep(3)
        show(f'The reading changes every 2 s ({seconds:.0f} s):', measure(pids, seconds))
    finally:
        if view is not None:
            subprocess.run(['wine', poke, 'desktop', DESKTOP, 'close'], env=env, timeout=60)
            view.wait(30)
        subprocess.run(['wine', poke, 'close'], env=env, timeout=60)
        controller.wait(30)
    return 0


if __name__ == '__main__':
    sys.exit(main())
