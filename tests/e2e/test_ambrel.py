"""End-to-end tests of Ambrel.exe under Wine (see ambrel_harness for the set-up)."""

import os
import shutil
import subprocess
import time
import unittest
import zipfile

from ambrel_harness import (EXE, windows_path, BALANCED, HIGH_PERFORMANCE, WORK, AmbrelRun, click, counter,
                            delete_log, expected_icon, find_icon, log_entries, log_pixels, mapped,
                            poke, read_log_raw, save_screenshot, set_log_pixels, shown_mode,
                            store_text, tray_window, wait_for, x_windows)

MAIN_THREAD_LIFETIME = [
    'Ambrel Ver.1.00\n', 'watch start\n', 'message loop start\n', 'msg stopped\n',
    'watch stopped\n', 'tray stopped\n', 'program end\n',
]


def messages(entries, thread=None):
    return [m for t, m in entries if thread is None or t == thread]


def wait_for_mode(mode, timeout=10):
    """Waits until the tray icon's bar shows the colour of the mode."""
    return wait_for(lambda: shown_mode() == mode, timeout)


def close_and_wait(run):
    poke('close')
    return run.wait(30)


class Lifetime(unittest.TestCase):

    def test_logged_run_writes_lifetime_in_order_and_second_run_appends(self):
        delete_log()
        for number in (1, 2):
            run = AmbrelRun(f'logged-{number}').start()
            self.assertTrue(run.wait_until_watching())
            self.assertTrue(wait_for(lambda: 'CTempWatch.callbackfnc() THREADCALLBACK_INIT\n'
                                     in messages(log_entries())))
            self.assertEqual(0, close_and_wait(run))

        entries = log_entries()
        all_messages = messages(entries)
        self.assertEqual(2, all_messages.count('Ambrel Ver.1.00\n'))
        second = all_messages.index('Ambrel Ver.1.00\n', 1)
        for run_entries in (entries[:second], entries[second:]):
            main = run_entries[0][0]
            self.assertEqual(MAIN_THREAD_LIFETIME, messages(run_entries, main))
            worker = [t for t, m in run_entries if m == 'CiThreadEx.threadfnc() start\n'][0]
            worker_messages = messages(run_entries, worker)
            self.assertEqual(['CiThreadEx.threadfnc() start\n',
                              'power setting changed: throttle max=100\n',
                              'temp monitor:   mode=0, vec=0, count=0, temp=50\n',
                              'CTempWatch.callbackfnc() THREADCALLBACK_INIT\n'],
                             worker_messages[:4])
            self.assertEqual(['CTempWatch.callbackfnc() THREADCALLBACK_END\n',
                              'CiThreadEx.threadfnc() end\n'], worker_messages[-2:])
            order = messages(run_entries)
            self.assertLess(order.index('msg stopped\n'),
                            order.index('CTempWatch.callbackfnc() THREADCALLBACK_END\n'))
            self.assertLess(order.index('CiThreadEx.threadfnc() end\n'),
                            order.index('watch stopped\n'))
            self.assertEqual('program end\n', order[-1])

    def test_only_the_exact_switches_turn_the_log_on(self):
        for args in ([], ['--Logging'], ['-logging'], ['--logging=1'], ['--console2', 'logging'],
                     ['--LOGGING', '--CONSOLE', '—logging', ''], ['--logging' * 2000]):
            with self.subTest(args=args):
                delete_log()
                run = AmbrelRun('switches', args=args).start()
                self.assertTrue(run.wait_until_watching())
                self.assertEqual(0, close_and_wait(run))
                self.assertIsNone(read_log_raw())
                self.assertEqual(100, run.ac_value())

    def test_second_instance_ends_at_once_and_leaves_the_first_alone(self):
        delete_log()
        first = AmbrelRun('first').start()
        self.assertTrue(first.wait_until_watching())
        before = read_log_raw()
        second = AmbrelRun('second', args=('--logging', '--console'))
        self.assertEqual(0, second.run_to_end(timeout=20))
        self.assertEqual([], second.trace())
        time.sleep(0.5)
        self.assertTrue(first.alive())
        self.assertEqual(1, messages(log_entries()).count('Ambrel Ver.1.00\n'))
        self.assertTrue(read_log_raw().startswith(before))
        self.assertEqual(0, close_and_wait(first))


    def test_unknown_command_is_logged_and_ignored(self):
        delete_log()
        run = AmbrelRun('command').start()
        try:
            self.assertTrue(run.wait_until_watching())
            self.assertEqual(0, poke('command', 12345))
            self.assertTrue(wait_for(lambda: 'WndProc(): WM_COMMAND: Error Receive 12345\n'
                                     in messages(log_entries())))
            self.assertTrue(run.alive())
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()


class Throttle(unittest.TestCase):

    def test_hot_sensor_throttles_and_cool_one_restores_with_the_bar_following(self):
        run = AmbrelRun('throttle', store=store_text(schemes=((BALANCED, 93, 70),)),
                        script=f'{counter(90)}\n').start()
        try:
            self.assertTrue(run.wait_until_watching())
            self.assertTrue(wait_for_mode(0))
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [99], 20))
            self.assertTrue(wait_for_mode(1))
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [80], 20))
            self.assertTrue(wait_for_mode(2))
            run.append_readings(60)
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [100], 40))
            self.assertTrue(wait_for_mode(0))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        self.assertEqual([100, 99, 80, 99, 100, 93], run.ac_writes())
        self.assertEqual(93, run.ac_value())
        self.assertEqual(1, len(run.trace('PdhOpenQueryA')))


class Tray(unittest.TestCase):

    def icon_centre(self):
        tray = wait_for(tray_window, 10)
        self.assertIsNotNone(tray)
        width, height, x, y = tray
        return x + 10, y + height // 2

    def menu_window(self, known):
        def new_window():
            for window in x_windows():
                if window not in known and window[1] > 20 and window[2] > 20:
                    return window
            return None
        return wait_for(new_window, 10)

    def test_menu_about_and_exit_with_the_mouse(self):
        delete_log()
        run = AmbrelRun('tray', store=store_text(schemes=((BALANCED, 75, 60),))).start()
        try:
            self.assertTrue(run.wait_until_watching())
            x, y = self.icon_centre()
            save_screenshot(WORK / 'tray-icon.png', 40, 40, x - 20, y - 20)

            click(x, y, 1)
            time.sleep(0.5)
            self.assertNotIn('WndProc(): WM_FROMTRAY: Receive WM_RBUTTONDOWN\n',
                             messages(log_entries()))

            known = x_windows()
            click(x, y, 3)
            menu = self.menu_window(known)
            self.assertIsNotNone(menu, 'no popup menu appeared')
            _, width, height, mx, my = menu
            self.assertIn('WndProc(): WM_FROMTRAY: Receive WM_RBUTTONDOWN\n',
                          messages(log_entries()))
            # About is the upper item, Exit the lower one.
            click(mx + width // 2, my + height // 4)
            self.assertTrue(wait_for(lambda: mapped('Ambrel'), 10), 'no About box')
            self.assertIn('WndProc(): WM_COMMAND: Receive ID_ABOUT\n', messages(log_entries()))

            # While the box is open the icon still follows the readings.
            before = run.collections()
            run.append_readings(90, 90, 90, 90)
            self.assertTrue(wait_for_mode(1, 20))
            self.assertGreater(run.collections(), before)

            box = [w for w in x_windows() if w[0] == 'Ambrel'][0]
            _, width, height, bx, by = box
            save_screenshot(WORK / 'about-box.png', width, height, bx, by)
            click(bx + width // 2, by + 2 * height // 3)  # the OK button
            self.assertTrue(wait_for(lambda: not mapped('Ambrel'), 10))

            known = x_windows()
            click(x, y, 3)
            menu = self.menu_window(known)
            self.assertIsNotNone(menu)
            _, width, height, mx, my = menu
            click(mx + width // 2, my + 3 * height // 4)
            self.assertEqual(0, run.wait(30))
        finally:
            run.kill()
        self.assertIn('WndProc(): WM_COMMAND: Receive ID_EXIT\n', messages(log_entries()))
        self.assertEqual(75, run.ac_value())
        self.assertIsNone(shown_mode())


    def test_digits_at_their_designed_size_at_every_display_scale(self):
        """At 100, 150 and 200 % the tray shows the icon at its designed size, pixel for pixel,
        not a scaled 32-pixel one. (20 px, for 125 %, is checked drawn in tests/win/tray: Wine's
        tray blacks out parts of the bottom rows of a 20-pixel icon.)"""
        saved = log_pixels()
        try:
            for dpi, size, t in ((96, 16, 38), (144, 24, 72), (192, 32, 29)):
                with self.subTest(dpi=dpi):
                    set_log_pixels(dpi)
                    run = AmbrelRun(f'scale-{dpi}', script=f'{counter(47)}\n{counter(t)}\n').start()
                    try:
                        self.assertTrue(run.wait_until_watching())
                        found = wait_for(lambda: find_icon(expected_icon(size, t, 0)), 15)
                        save_screenshot(WORK / f'tray-{dpi}dpi.png', *(tray_window() or (1, 1, 0, 0)))
                        self.assertIsNotNone(found, f'no {size} px icon showing {t}')
                    finally:
                        run.kill()
        finally:
            set_log_pixels(saved)


class Exits(unittest.TestCase):
    """Every orderly way out writes the user's value back."""

    def test_saved_value_is_written_back_on_every_orderly_path(self):
        for path in ('close', 'endsession'):
            with self.subTest(path=path):
                run = AmbrelRun(f'exit-{path}', store=store_text(schemes=((BALANCED, 75, 60),)),
                                args=('--logging', '--console')).start()
                try:
                    self.assertTrue(run.wait_until_watching())
                    self.assertEqual(100, run.ac_value())
                    poke(path)
                    self.assertTrue(wait_for(lambda: run.ac_value() == 75, 15),
                                    f'value not restored after {path}')
                    self.assertEqual([100, 75], run.ac_writes())
                finally:
                    run.kill()
                self.assertEqual([100, 75], run.ac_writes(), 'written again after the stop')

    def test_taskbar_restart_brings_the_icon_back(self):
        run = AmbrelRun('taskbar', script=f'{counter(47)}\n').start()
        try:
            self.assertTrue(run.wait_until_watching())
            self.assertTrue(wait_for_mode(0))
            self.assertEqual(0, poke('untray'))
            self.assertTrue(wait_for(lambda: shown_mode() is None, 10), 'the icon stayed')
            self.assertEqual(0, poke('taskbar'))
            self.assertTrue(wait_for_mode(0), 'the icon did not come back')
            self.assertTrue(run.alive())
        finally:
            run.kill()

class Hardening(unittest.TestCase):

    def test_dlls_planted_beside_the_program_are_not_loaded(self):
        run = AmbrelRun('planted')
        folder = run.dir / 'download'
        folder.mkdir()
        shutil.copy(EXE, folder / 'Ambrel.exe')
        for name in ('pdh.dll', 'powrprof.dll'):
            shutil.copy(os.environ['AMBREL_PLANTED_DLL'], folder / name)
        marker = run.dir / 'planted-dll-was-loaded'
        run.env['AMBREL_PLANT_MARKER'] = windows_path(marker)
        run.exe = str(folder / 'Ambrel.exe')
        run.start()
        try:
            self.assertTrue(run.wait_until_watching())
            self.assertEqual(1, len(run.trace('PdhAddCounterA')))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        self.assertFalse(marker.exists())


COUNTER_PATH = r'\Thermal Zone Information(\_TZ.TZ01)\High Precision Temperature'


def fail(function, code, skip=0, times=1):
    return f'fail {function} {code} {skip} {times}\n'


def registry_value(key, name):
    """(type, data) of a registry value."""
    out = subprocess.run(['wine', 'reg', 'query', key, '/v', name], capture_output=True,
                         text=True).stdout
    for line in out.splitlines():
        fields = line.split(None, 2)
        if len(fields) == 3 and fields[0] == name:
            return fields[1], fields[2].strip()
    return None


def set_registry_value(key, name, value):
    kind, data = value if isinstance(value, tuple) else ('REG_SZ', value)
    subprocess.run(['wine', 'reg', 'add', key, '/v', name, '/t', kind, '/d', data, '/f'],
                   capture_output=True, check=True)


class Failures(unittest.TestCase):
    """One failing platform call at a time: the program keeps running, logs what failed and
    restores the user's value at exit where it could read it."""

    # name, store extra, script, log texts expected, AC writes expected
    ROWS = [
        ('open fails', '', 'open-fail -1073738824\n',
         ['PdhOpenQuery = -1073738824', 'PdhCollectQueryData() = '], [100, 75]),
        ('add fails', '', 'add-fail -1073738824\n',
         [f'PdhAddCounter({COUNTER_PATH}) = -1073738824', 'PdhCollectQueryData() = '],
         [100, 75]),
        ('collection fails', '', 'collect-fail -2147481643\n',
         ['PdhCollectQueryData() = -2147481643'], [100, 75]),
        ('formatting fails', '', f'{counter(50)}\nformat-fail -1073738810\n{counter(50)}\n',
         ['PdhGetFormattedCounterValue() = -1073738810'], [100, 75]),
        # Without the value read at start there is nothing to restore.
        ('active scheme unknown at start', fail('PowerGetActiveScheme', 5), None, [], [100]),
        ('reading fails at start', fail('PowerReadACValue', 5), None, [], [100]),
        ('first write fails', fail('PowerWriteACValueIndex', 5),
         None, ['PowerWriteACValueIndex() error=5'], [75]),
        ('activation fails', fail('PowerSetActiveScheme', 1450), None,
         ['PowerSetActiveScheme() error=5aa'], [100, 75]),
        ('write-back fails', fail('PowerGetActiveScheme', 5, skip=3), None,
         ['PowerGetActiveScheme() error=5'], [100]),
    ]

    def test_each_failing_call(self):
        for name, extra, script, logged, writes in self.ROWS:
            with self.subTest(name):
                delete_log()
                run = AmbrelRun('failure', store=store_text(
                    schemes=((BALANCED, 75, 60),), extra=extra), script=script)
                run.start()
                try:
                    self.assertTrue(wait_for(lambda: 'CTempWatch.callbackfnc() '
                                             'THREADCALLBACK_INIT\n' in messages(log_entries())))
                    time.sleep(2.5)  # one tick after the first reading
                    self.assertTrue(run.alive())
                    self.assertEqual(0, close_and_wait(run))
                finally:
                    run.kill()
                text = read_log_raw()
                for expected in logged:
                    self.assertIn(expected, text)
                self.assertEqual(writes, [w for w in run.ac_writes()])
                self.assertEqual('program end\n', messages(log_entries())[-1])

    def test_log_directory_missing_unwritable_or_too_long(self):
        saved = {name: registry_value('HKCU\\Environment', name) for name in ('TEMP', 'TMP')}
        try:
            for directory in (r'C:\no\such\directory', r'C:\windows\win.ini',
                              'C:\\' + 'long' * 80):
                with self.subTest(directory=directory[:40]):
                    for name in saved:
                        set_registry_value('HKCU\\Environment', name, directory)
                    run = AmbrelRun('log-directory',
                                    store=store_text(schemes=((BALANCED, 75, 60),))).start()
                    try:
                        self.assertTrue(run.wait_until_watching())
                        self.assertEqual(0, close_and_wait(run))
                    finally:
                        run.kill()
                    self.assertEqual([100, 75], run.ac_writes())
        finally:
            for name, value in saved.items():
                set_registry_value('HKCU\\Environment', name, value)

    def test_extreme_counter_values_and_temperatures(self):
        values = [-2**31, -1, 0, 2**31 - 1, 2**31 - 1, 2**31 - 1, 2**31 - 1,
                  counter(-300), counter(-9), counter(-10), counter(1000)]
        run = AmbrelRun('extremes', script=''.join(f'{v}\n' for v in values))
        delete_log()
        run.start()
        try:
            self.assertTrue(wait_for(lambda: run.collections() >= len(values), 40))
            self.assertTrue(run.alive())
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        temps = [int(m.split('temp=')[1]) for m in messages(log_entries())
                 if m.startswith('temp monitor:')]

        def celsius(v):
            t = abs(v * 10 - 27265) // 100 * (1 if v * 10 - 27265 >= 0 else -1)
            return max(-2**31, min(2**31 - 1, t))
        self.assertEqual([celsius(v) for v in values], temps[:len(values)])
        # Four readings far above the threshold took the first step.
        self.assertEqual(99, run.ac_writes()[1])


class Package(unittest.TestCase):

    def test_unpacked_release_runs(self):
        run = AmbrelRun('package')
        with zipfile.ZipFile(os.environ['AMBREL_PACKAGE']) as package:
            self.assertEqual({'Ambrel.exe', 'README.md', 'LICENSE.txt'}, set(package.namelist()))
            package.extractall(run.dir / 'unpacked')
        run.exe = str(run.dir / 'unpacked' / 'Ambrel.exe')
        run.start()
        try:
            self.assertTrue(run.wait_until_watching())
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        self.assertEqual([100, 100], run.ac_writes())


if __name__ == '__main__':
    unittest.main()
