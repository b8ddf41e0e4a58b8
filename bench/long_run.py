#!/usr/bin/env python3
"""Runs Ambrel.exe under Wine at its real 2000 ms interval for a long time, with the simulated
sensor sweeping across the thresholds, and samples its memory and threads once a minute; at the
end it exits the program through its own Exit command and checks the saved value came back.

Usage: long_run.py [--minutes N]     (default 60)

Needs what the end-to-end tests need (WINEPREFIX, DISPLAY, the fakes in the prefix, AMBREL_EXE,
AMBREL_POKE; bench/run long sets them up). Prints figures; asserts nothing about them.
"""

import argparse
import os
import pathlib
import sys
import time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / 'tests' / 'e2e'))
from ambrel_harness import BALANCED, AmbrelRun, counter, poke, store_text, wait_for  # noqa: E402


def sweep():
    """One pass: up to 90 °C and down to 60 °C, long enough at each end for both steps."""
    return [50] * 5 + [90] * 10 + [82] * 3 + [60] * 10


def linux_pid(exe_name):
    for entry in pathlib.Path('/proc').iterdir():
        if not entry.name.isdigit():
            continue
        try:
            command = (entry / 'cmdline').read_bytes().decode('latin-1')
        except OSError:
            continue
        if command.split('\0')[0].lower().endswith(exe_name.lower()):
            return int(entry.name)
    return None


def status(pid):
    fields = {}
    for line in pathlib.Path(f'/proc/{pid}/status').read_text().splitlines():
        key, _, value = line.partition(':')
        fields[key] = value.strip()
    return fields


def kib(value):
    return int(value.split()[0])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('--minutes', type=int, default=60)
    minutes = parser.parse_args().minutes

    script = ''.join(f'{counter(t)}\n' for t in sweep()) + 'repeat\n'
    run = AmbrelRun('long-run', store=store_text(schemes=((BALANCED, 93, 70),)), script=script,
                    args=()).start()
    if not run.wait_until_watching():
        sys.exit('long_run: Ambrel did not start watching')
    pid = linux_pid('Ambrel.exe')
    print(f'{"minute":>6} {"readings":>9} {"writes":>7} {"VmRSS KiB":>10} {"RssAnon KiB":>12} '
          f'{"VmHWM KiB":>10} {"threads":>8}')
    samples = []
    for minute in range(minutes + 1):
        fields = status(pid)
        sample = (minute, run.collections(), len(run.ac_writes()), kib(fields['VmRSS']),
                  kib(fields['RssAnon']), kib(fields['VmHWM']), int(fields['Threads']))
        samples.append(sample)
        print('{:6d} {:9d} {:7d} {:10d} {:12d} {:10d} {:8d}'.format(*sample), flush=True)
        if minute < minutes:
            time.sleep(60)
    poke('command', 40015)
    code = run.wait(30)
    first, last = samples[min(1, len(samples) - 1)], samples[-1]
    print(f'exit code {code}; value back to {run.ac_value()} % (was 93 %)')
    print(f'RssAnon from minute {first[0]} to {last[0]}: {last[4] - first[4]:+d} KiB over '
          f'{last[1] - first[1]} readings')
    return 0 if code == 0 and run.ac_value() == 93 else 1


if __name__ == '__main__':
    sys.exit(main())
