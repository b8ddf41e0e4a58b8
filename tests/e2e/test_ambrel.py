"""End-to-end tests of Ambrel.exe under Wine (see ambrel_harness for the set-up)."""

import json
import os
import pathlib
import re
import shutil
import subprocess
import time
import unittest
import zipfile
import zlib
from xml.etree import ElementTree

from ambrel_harness import (EXE, bar_colour_counts, screen_pixels, POKE, windows_path, BALANCED, HIGH_PERFORMANCE,
                            POWER_SAVER, LEDGER_KEY, THROTTLE_MAXIMUM_1, MACHINE_KEY,
                            MACHINE_LEDGER_KEY, ServiceRun, remove_service,
                            WORK, AmbrelRun, clear_ledger, click, counter, delete_log, dismiss_menu, log_path,
                            expected_icon, find_icon, ledger, ledger_entry, log_entries,
                            log_pixels, mapped, menu_item_centre, pe_resources, pe_sections, poke,
                            read_log_raw, save_screenshot, set_log_pixels, shown_mode, store_text,
                            tooltip, tray_window, visible_window_ids, wait_for, window_geometry,
                            x_windows, TRAY_MENU, ocr, commonest_pixel, ViewRun, view_poke,
                            view_title, PAUSED, wine, poke_as_ambrel,
                            forget_history, history_file, export_history, keep_log,
                            reg_query, set_registry_value, delete_registry_value,
                            delete_registry_key)


def tearDownModule():
    keep_log()


# The menu's pause and resume commands.
ID_PAUSE = 40400
ID_RESUME = 40401

MAIN_THREAD_LIFETIME = [
    'Ambrel Ver.1.00\n', 'watch start\n', 'History: (its file) read\n', 'message loop start\n',
    'msg stopped\n', 'watch stopped\n', 'tray stopped\n', 'program end\n',
]


def lifetime_of(entries, thread):
    """A thread's messages with the history file's line at start as one text, whether the file
    was read or begins."""
    return [re.sub(r'^History: .*history\.dat (read|begins)\n$', 'History: (its file) read\n', m)
            for m in messages(entries, thread)]


def messages(entries, thread=None):
    return [m for t, m in entries if thread is None or t == thread]


def wait_for_mode(mode, timeout=10):
    """Waits until the tray icon's bar shows the colour of the mode."""
    return wait_for(lambda: shown_mode() == mode, timeout)


def close_and_wait(run):
    poke('close')
    return run.wait(30)


def watch_and_close(test, run):
    """Starts the run, waits for its first reading and closes it: it must end with 0."""
    run.start()
    try:
        test.assertTrue(run.wait_until_watching())
        test.assertEqual(0, close_and_wait(run))
    finally:
        run.kill()


def new_window(known, timeout=10):
    """A window that was not shown before (known: visible_window_ids()) and is big enough to be a
    menu or a box, as (name, width, height, x, y). Wine may reuse a menu's X window, so what
    counts is being shown."""
    def find():
        for window_id in visible_window_ids() - known:
            geometry = window_geometry(window_id)
            if geometry[1] > 20 and geometry[2] > 20:
                return geometry
        return None
    return wait_for(find, timeout)


def open_tray_menu():
    """Right-clicks the tray icon and returns the menu window. Under Wine a click that follows
    closely on a menu that has just closed is now and then lost before it reaches the tray: the
    pointer rests on the icon first, and a lost click is made again."""
    width, height, x, y = wait_for(tray_window, 10)
    subprocess.run(['xdotool', 'mousemove', str(x + 10), str(y + height // 2)], check=True)
    for _ in range(3):
        time.sleep(0.3)
        known = visible_window_ids()
        click(x + 10, y + height // 2, 3)
        menu = new_window(known, timeout=3)
        if menu is not None:
            return menu
    return None


def choose_in_tray_menu(entry, submenu=None, item=None):
    """Right-clicks the tray icon and clicks an entry of its menu, and then, for an entry that
    opens a submenu with the given entries, the item of that submenu."""
    before = visible_window_ids()
    menu = open_tray_menu()
    if menu is None:
        save_screenshot(WORK / 'menu-missing.png', 420, 200, 0, 0)
        return False
    known = visible_window_ids()
    click(*menu_item_centre(menu, TRAY_MENU, entry))
    if submenu is None and not wait_for(lambda: not (visible_window_ids() - before), 3):
        # Under load Wine now and then loses a click on a menu that has just opened: the menu
        # stays open, and the click is made again.
        click(*menu_item_centre(menu, TRAY_MENU, entry))
    if submenu is not None:
        opened = new_window(known)
        if opened is None:
            return False
        click(*menu_item_centre(opened, submenu, item))
    return True


SETTINGS_KEY = r'HKCU\Software\Ambrel'
PERSONALIZE_KEY = r'HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize'
CONTRAST_KEY = r'HKCU\Control Panel\Accessibility\HighContrast'
COLOURS_KEY = r'HKCU\Control Panel\Colors'
# Readings that warm up to the first step of the throttle (99 %) within some 20 s.
WARMING = ''.join(f'{counter(t)}\n' for t in (50, 50, 62, 62, 75, 88))
# A high-contrast theme's system colours (white on black).
HIGH_CONTRAST_COLOURS = {'Window': '0 0 0', 'WindowText': '255 255 255',
                         'Hilight': '26 235 255', 'GrayText': '63 242 63'}
RUN_KEY = r'HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
APPROVED_KEY = r'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
THROTTLE_AT = ['80 °C', '85 °C', '90 °C', '95 °C']
NOTICE = 'WndProc(): throttle notice: 99 % at 90 C\n'
HOTTEST_INSTEAD = ('CTempWatch: no thermal zone \\_TZ.TZ01; reading the hottest zone instead, '
                   'now \\_TZ.THRM\n')


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
            self.assertEqual(MAIN_THREAD_LIFETIME, lifetime_of(run_entries, main))
            worker = [t for t, m in run_entries if m == 'CiThreadEx.threadfnc() start\n'][0]
            worker_messages = messages(run_entries, worker)
            # A cool start writes nothing: the user's own values are in force.
            self.assertEqual(['CiThreadEx.threadfnc() start\n',
                              'temp monitor:   mode=0, vec=0, count=0, temp=50\n',
                              'CTempWatch.callbackfnc() THREADCALLBACK_INIT\n'],
                             worker_messages[:3])
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
                run = AmbrelRun('switches', args=args)
                watch_and_close(self, run)
                self.assertIsNone(read_log_raw())
                self.assertEqual(100, run.ac_value())

    def test_second_instance_ends_at_once_and_leaves_the_first_alone(self):
        delete_log()
        first = AmbrelRun('first').start()
        self.assertTrue(first.wait_until_watching())
        before = read_log_raw()
        # Another program's window of the hidden window's class is never asked anything.
        impostor = subprocess.Popen(['wine', POKE, 'impostor'], stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, text=True)
        with impostor:
            self.assertEqual('ready', impostor.stdout.readline().strip())
            known = visible_window_ids()
            second = AmbrelRun('second', args=('--logging', '--console'))
            self.assertEqual(0, second.run_to_end(timeout=20))
            self.assertEqual([], second.trace())
            # The first one answers with its history window; a third start leaves it open.
            window = new_window(known)
            self.assertTrue(window and window[0].startswith('Ambrel history'), window)
            # Beside the notification area at the taskbar's end (Wine's taskbar lies along the
            # bottom), not wherever the cursor happens to be.
            _, width, height, x, y = window
            screen = subprocess.run(['xdotool', 'getdisplaygeometry'], capture_output=True,
                                    text=True, check=True).stdout.split()
            self.assertEqual(int(screen[0]), x + width, window)
            self.assertLess(int(screen[1]) - (y + height), 24, window)
            self.assertEqual(0, subprocess.run(['wine', EXE], timeout=30).returncode)
            self.assertTrue(wait_for(lambda: messages(log_entries()).count(
                'WndProc(): second start\n') == 2))
            self.assertTrue(first.alive())
            self.assertEqual(1, messages(log_entries()).count('Ambrel Ver.1.00\n'))
            self.assertTrue(read_log_raw().startswith(before))
            self.assertEqual(['WndProc(): history open\n'],
                             [m for m in messages(log_entries())
                              if m.startswith('WndProc(): history')])
            # --exit ends the running instance in order; with none running it ends at once.
            for said in ('--exit: the instance has ended\n', '--exit: no instance runs\n'):
                self.assertEqual(0, subprocess.run(['wine', EXE, '--exit', '--logging'],
                                                   capture_output=True, timeout=30).returncode)
                self.assertIn(said, messages(log_entries()))
            self.assertEqual(0, first.wait(5))
            impostor.stdin.close()
            self.assertEqual('', impostor.stdout.read())
        self.assertIn('program end\n', messages(log_entries()))

    def test_mutex_that_may_not_be_opened_means_another_instance(self):
        delete_log()  # as another user's or an elevated copy's: it exists, opening it is denied
        squatter = subprocess.Popen(['wine', POKE, 'squat'], stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, text=True)
        with squatter, AmbrelRun('denied', args=('--logging', '--console')) as run:
            self.assertEqual('held', squatter.stdout.readline().strip())
            self.assertEqual(0, run.run_to_end(timeout=20))
        self.assertEqual([], run.trace())
        self.assertIsNone(read_log_raw())

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
        # Every value is capped at the level but never raised above its own: 93, 90, 92 and 50
        # are below 99, so the first step writes nothing, and 50 is never written at all.
        run = AmbrelRun('throttle', store=store_text(schemes=((BALANCED, 93, 90, 92, 50),)),
                        script=f'{counter(90)}\n', events=True).start()
        try:
            self.assertTrue(run.wait_until_watching())
            self.assertTrue(wait_for_mode(0))
            self.assertTrue(wait_for_mode(1, 20))
            self.assertTrue(wait_for(lambda: 'maximum processor state 93 %' in tooltip(), 5))
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [80], 20))
            self.assertTrue(wait_for_mode(2))
            self.assertEqual([80, 80, 80, 50], run.values())
            run.append_readings(60)
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [93], 40))
            self.assertTrue(wait_for_mode(0, 20))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        self.assertEqual([80, 93], run.ac_writes())
        self.assertEqual([80, 92], run.ac_writes(setting=THROTTLE_MAXIMUM_1))
        self.assertEqual([80, 90], run.ac_writes('PowerWriteDCValueIndex'))
        self.assertEqual([], run.ac_writes('PowerWriteDCValueIndex', THROTTLE_MAXIMUM_1))
        self.assertEqual(2, len(run.trace('PowerSetActiveScheme')))
        self.assertEqual([93, 90, 92, 50], run.values())
        # One query; the cap's check had its two counters in it while the cap lowered a value,
        # and removed them when it lowered nothing any more.
        self.assertEqual(1, len(run.trace('PdhOpenQueryA')))
        self.assertEqual(2, len(run.processor_counters()))
        self.assertEqual(2, len(run.trace('PdhRemoveCounter')))
        # The event log: the start, the cap's first lowering (the 80 % step: 99 % lowered
        # nothing), the episode's end at the stop, counted up to the user's own values, and the
        # stop, with nothing left to give back.
        started, lowered, ended, stopped = run.events()
        self.assertEqual((1, 'trace', ['1.0.0', '\\_TZ.TZ01', '85', 'yes', 'nothing']), started)
        self.assertEqual((3, 'warn', ['90', '80', BALANCED]), lowered)
        self.assertEqual((4, 'trace', '90'), (ended[0], ended[1], ended[2][1]))
        self.assertTrue(4 <= int(ended[2][0]) <= 30, ended)
        self.assertEqual((2, 'trace', ['0', 'none']), stopped)

    def test_a_scheme_switch_while_throttled_is_followed_and_each_scheme_gets_its_own_back(self):
        # Neither scheme has class-1 values (Windows before hybrid processors): said once.
        delete_log()
        run = AmbrelRun('switch', script=f'{counter(90)}\n', store=store_text(
            schemes=((BALANCED, 93, 70), (POWER_SAVER, 90, 50)))).start()
        try:
            self.assertTrue(wait_for(lambda: len(run.trace('PowerSetActiveScheme')) >= 1, 40))
            self.assertEqual({f'{BALANCED} AC': ledger_entry(93, 80),
                              f'{BALANCED} DC': ledger_entry(70, 70)}, ledger())
            run.change_store(f'active {POWER_SAVER}')
            # Within two readings the mode is in force in the newly active scheme.
            self.assertTrue(wait_for(lambda: run.ac_value(POWER_SAVER) == 80, 5))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        self.assertEqual(([93, 70], [90, 50], POWER_SAVER),
                         (run.values(BALANCED), run.values(POWER_SAVER), run.active_scheme()))
        self.assertEqual({}, ledger())
        self.assertEqual(1, read_log_raw().count(' AC1 cannot be read (error=2)'))


    def test_throttle_at_95_chosen_in_the_menu_on_a_localized_system(self):
        # There PdhAddCounterA refuses the English path; PdhAddEnglishCounterA takes it.
        delete_registry_value(SETTINGS_KEY, 'ThrottleAt')
        run = AmbrelRun('throttle-at', script=f'localized\n{counter(84)}\n').start()
        try:
            self.assertTrue(run.wait_until_watching())
            self.assertTrue(choose_in_tray_menu('Throttle at', THROTTLE_AT, '95 °C'))
            self.assertTrue(wait_for(lambda: 'WndProc(): WM_COMMAND: Receive ID_THROTTLE_AT 95\n'
                                     in messages(log_entries())))
            self.assertEqual(('REG_DWORD', '0x5f'), registry_value(SETTINGS_KEY, 'ThrottleAt'))
            run.append_readings(90)
            before = run.collections()
            self.assertTrue(wait_for(lambda: run.collections() >= before + 5, 20))
            self.assertEqual([], run.ac_writes())
            run.append_readings(96)
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [99], 20))
            self.assertTrue(wait_for(lambda: run.values() == [99, 99], 5), run.values())
            # Unticked, the battery value gets its own back at once; ticked, it is capped again.
            self.assertTrue(choose_in_tray_menu('On battery too'))
            self.assertTrue(wait_for(lambda: run.values() == [99, 100], 5))
            self.assertEqual(('REG_DWORD', '0x0'), registry_value(SETTINGS_KEY, 'OnBattery'))
            self.assertTrue(wait_for(lambda: tooltip().endswith('99 % (all cores, AC only)'), 5))
            self.assertTrue(choose_in_tray_menu('On battery too'))
            self.assertTrue(wait_for(lambda: run.values() == [99, 99], 5))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
            delete_registry_value(SETTINGS_KEY, 'ThrottleAt')
            delete_registry_value(SETTINGS_KEY, 'OnBattery')
        self.assertEqual([100, 100], run.values())
        # The watcher's counter and the menu's zone list, both added by their English paths.
        self.assertEqual({'0'}, {l.rsplit(' ', 1)[1] for l in run.trace('PdhAddEnglishCounterA')})
        self.assertEqual([], run.trace('PdhAddCounterA'))


    def test_the_first_step_up_notifies_once(self):
        delete_log()
        run = AmbrelRun('notice', script=f'{counter(90)}\n', events=True).start()
        try:
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [99], 20))
            # A dip into the band, back to 100 % and hot again, well within ten minutes.
            run.append_readings(84, 84, 60, 60, 60, 60, 90)
            self.assertTrue(wait_for(lambda: run.ac_writes() == [99, 100, 99], 40))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        self.assertEqual(1, messages(log_entries()).count(NOTICE))
        # The event log follows the same episode: one lowered/ended pair between start and stop.
        self.assertEqual([1, 3, 4, 2], [event[0] for event in run.events()])

    def capped_busy(self, name, performance):
        """A hot run whose processor is busy (95 % utility) at a steady performance while it is
        capped: it waits until --status says more than "unknown" of the cap's effect, and returns
        the run (ended), the last tooltip, and --status's JSON object, exit code and text."""
        run = AmbrelRun(name, script=f'performance {performance}\nutility 95\n{counter(90)}\n',
                        events=True).start()
        try:
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [80], 40))

            def status(*args):
                done = subprocess.run(['wine', EXE, '--status', *args], env=run.env,
                                      capture_output=True, timeout=60)
                return done.returncode, done.stdout.decode('utf-8')
            # Some 30 s of busy readings under the 80 % step.
            self.assertTrue(wait_for(lambda: json.loads(status('--json')[1])['effect'] != 'unknown',
                                     60), status('--json'))
            code, text = status('--json')
            data = json.loads(text)
            tip = tooltip()
            said = status()
            # The verdict stays: more busy readings change nothing of what was said.
            seen = len(run.processor_collections())
            self.assertTrue(wait_for(lambda: len(run.processor_collections()) >= seen + 4, 20))
            self.assertEqual(data['effect'], json.loads(status('--json')[1])['effect'])
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        return run, tip, data, code, said

    def test_a_cap_without_effect_says_so_once_everywhere(self):
        # The processor stays at 130 % of its base while "capped" at 80 %.
        delete_log()
        run, tip, data, code, said = self.capped_busy('effect-none', 130)
        self.assertIn('maximum processor state 80 % (no effect seen: the processor runs at 130 %)',
                      tip)
        self.assertEqual((1, 'WARNING', 1, True, 'none', 130),
                         (code, data['state'], data['exitCode'], data['lowered'], data['effect'],
                          data['processorPerformance']))
        self.assertEqual(1, said[0])
        self.assertIn('\r\nThe cap has no effect seen: the processor runs at 130 % while busy, '
                      'above the 80 % in force.\r\n', said[1])
        # One event, with the cap, the performance and the busy share; one notice in the run.
        no_effect = [e for e in run.events() if e[0] == 14]
        self.assertEqual([(14, 'warn', ['80', '130', '95'])], no_effect, run.events())
        log = messages(log_entries())
        self.assertEqual(1, log.count('WndProc(): no-effect notice: 130 % with 80 % in force\n'), log)
        # Sampled once per reading while capped, from the first lowering; closed at the end.
        # The check's counters were read from the watcher's one query, and went with it.
        self.assertEqual((1, 1, []), (len(run.trace('PdhOpenQueryA')),
                                      len(run.trace('PdhCloseQuery')),
                                      run.trace('PdhRemoveCounter')))
        self.assertLessEqual(len(run.processor_collections()), run.collections())

    def test_a_cap_that_takes_effect_is_seen_to(self):
        run, tip, data, code, said = self.capped_busy('effect-works', 80)
        self.assertEqual((1, 'works', 80), (code, data['effect'], data['processorPerformance']))
        self.assertTrue(tip.endswith('maximum processor state 80 % (all cores, AC and battery)'),
                        tip)
        self.assertIn('\r\nThe cap takes effect: the processor runs at 80 % while busy.\r\n',
                      said[1])
        self.assertEqual([], [e for e in run.events() if e[0] == 14])

    def test_a_pause_gives_back_at_once_leaves_a_hot_machine_uncapped_and_resume_caps_again(self):
        delete_log()
        run = AmbrelRun('pause', store=store_text(schemes=((BALANCED, 100, 90, 100, 60),)),
                        script=f'{counter(90)}\n', events=True).start()
        try:
            self.assertTrue(wait_for(lambda: run.values() == [80, 80, 80, 60], 40))
            self.assertTrue(wait_for_mode(2))
            # Paused at 80 %: every value has its own setting back at the next reading.
            asked = run.collections()
            poke('command', ID_PAUSE)
            self.assertTrue(wait_for(lambda: run.values() == [100, 90, 100, 60], 6))
            self.assertLessEqual(run.collections(), asked + 2)
            self.assertTrue(wait_for_mode(PAUSED))
            self.assertIsNotNone(wait_for(lambda: find_icon(expected_icon(16, 90, PAUSED)), 15))
            tip = re.fullmatch(r'Ambrel — 90 °C \(\\_TZ\.TZ01\), paused until (\d+):(\d\d)( [AP]M)?; '
                               r'maximum processor state 100 %', tooltip())
            self.assertIsNotNone(tip, tooltip())
            self.assertLessEqual(minutes_apart(tip, time.time() + 3600), 2)
            # Hot readings go on and take no step; the history goes on too.
            writes, paused_at = run.ac_writes(), run.collections()
            self.assertTrue(wait_for(lambda: run.collections() >= paused_at + 6, 30))
            self.assertEqual(writes, run.ac_writes())
            self.assertEqual(PAUSED, shown_mode())
            # Resumed, four hot readings in a row cap again.
            resumed_at = run.collections()
            poke('command', ID_RESUME)
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [99], 20))
            self.assertLessEqual(run.collections(), resumed_at + 6)
            self.assertTrue(wait_for_mode(1))
            # The command line asks the tray alone (no service here), and says it was done.
            self.assertEqual(0, wine(EXE, '--pause', '5'))
            self.assertTrue(wait_for(lambda: run.values() == [100, 90, 100, 60], 6))
            self.assertEqual(0, wine(EXE, '--resume'))
            self.assertTrue(wait_for(lambda: 'paused' not in tooltip(), 6), tooltip())
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        nobody = subprocess.run(['wine', EXE, '--resume'], capture_output=True, text=True,
                                timeout=120)
        self.assertEqual(5, nobody.returncode)
        self.assertIn('no Ambrel runs that could resume', nobody.stdout + nobody.stderr)
        log = messages(log_entries())
        self.assertIn('Controller: pause of 60 min by ', ''.join(log))
        paused = [e for e in run.events() if e[0] == 11]
        resumed = [e for e in run.events() if e[0] == 12]
        self.assertEqual(2, len(paused), run.events())
        self.assertRegex(paused[0][2][0], r' \(menu\)$')
        self.assertEqual('60', paused[0][2][1])
        self.assertEqual(('(Ambrel.exe --pause)', '5'), (paused[1][2][0][-20:], paused[1][2][1]))
        self.assertEqual(2, len(resumed), run.events())
        self.assertRegex(resumed[0][2][0], r'^resumed by .* \(menu\)$')
        self.assertRegex(resumed[1][2][0], r' \(Ambrel\.exe --resume\)$')


def minutes_apart(match, when):
    """How many minutes a time of day read as hours, minutes and AM/PM lies from a moment."""
    hour, minute, half = int(match.group(1)), int(match.group(2)), match.group(3)
    if half:
        hour = hour % 12 + (12 if half.strip() == 'PM' else 0)
    local = time.localtime(when)
    apart = abs(hour * 60 + minute - (local.tm_hour * 60 + local.tm_min))
    return min(apart, 1440 - apart)


class Tray(unittest.TestCase):

    def icon_centre(self):
        tray = wait_for(tray_window, 10)
        self.assertIsNotNone(tray)
        width, height, x, y = tray
        return x + 10, y + height // 2


    def test_menu_about_and_exit_with_the_mouse(self):
        delete_log()
        run = AmbrelRun('tray', store=store_text(schemes=((BALANCED, 75, 60),))).start()
        try:
            self.assertTrue(run.wait_until_watching())
            x, y = self.icon_centre()
            save_screenshot(WORK / 'tray-icon.png', 40, 40, x - 20, y - 20)

            known = visible_window_ids()
            click(x, y, 1)  # the history window, not the menu
            self.assertTrue(wait_for(lambda: f'Receive NIN_SELECT at {x},{y}' in read_log_raw()))
            self.assertNotIn('WndProc(): WM_FROMTRAY: Receive WM_RBUTTONDOWN\n', read_log_raw())
            self.assertIsNotNone(new_window(known))
            time.sleep(0.5)
            click(x, y, 1)  # and a second click closes it
            self.assertTrue(wait_for(lambda: not (visible_window_ids() - known), 10))

            known = visible_window_ids()
            click(x, y, 3)
            menu = new_window(known)
            self.assertIsNotNone(menu, 'no popup menu appeared')
            self.assertIn('WndProc(): WM_FROMTRAY: Receive WM_RBUTTONDOWN\n',
                          messages(log_entries()))
            click(*menu_item_centre(menu, TRAY_MENU, 'About'))
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

            known = visible_window_ids()
            click(x, y, 3)
            menu = new_window(known)
            self.assertIsNotNone(menu)
            click(*menu_item_centre(menu, TRAY_MENU, 'Exit'))
            self.assertEqual(0, run.wait(30))
        finally:
            run.kill()
        self.assertIn('WndProc(): WM_COMMAND: Receive ID_EXIT\n', messages(log_entries()))
        self.assertEqual(75, run.ac_value())
        self.assertIsNone(shown_mode())


    def test_history_window_shows_the_throttle_and_closes(self):
        """50 -> 90 -> throttled -> 70 °C: a left click opens the history window, which shows the
        red band and the line above the dashed threshold line; Esc closes it, a second click on
        the icon too, and no window is left behind."""
        delete_log()
        run = AmbrelRun('history', script=f'performance 60\n{counter(50)}\n{counter(50)}\n'
                        f'{counter(90)}\n').start()
        try:
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [80], 40))
            run.append_readings(70)
            self.assertTrue(wait_for(lambda: '70 °C' in tooltip(), 10))
            x, y = self.icon_centre()
            known = visible_window_ids()
            click(x, y, 1)
            window = new_window(known)
            self.assertIsNotNone(window, 'no history window')
            self.assertTrue(window[0].startswith('Ambrel history'), window[0])
            # Off the icon, so that its tooltip goes; a timer tick draws the performance line.
            subprocess.run(['xdotool', 'mousemove', str(window[3] + 20), str(window[4] + 20)],
                           check=True)
            time.sleep(2.5)
            save_screenshot(WORK / 'history.png', *window[1:])
            pixels = screen_pixels(*window[1:])
            width = window[1]
            rows = lambda colour: sorted({i // width for i, p in enumerate(pixels)
                                          if all(abs(a - b) <= 12 for a, b in zip(p, colour))})
            self.assertGreater(bar_colour_counts(pixels)[2], 50, 'no red band')
            threshold, line = rows((200, 100, 0)), rows((20, 80, 200))
            self.assertTrue(threshold and line and line[0] < threshold[0] - 2,
                            f'threshold rows {threshold[:3]}, line rows {line[:3]}')
            self.assertTrue(rows((150, 60, 170)), 'no performance line')
            subprocess.run(['xdotool', 'key', 'Escape'], check=True)
            self.assertTrue(wait_for(lambda: visible_window_ids() <= known, 10))
            self.assertIn('WndProc(): history closed\n', messages(log_entries()))
            # A double click opens it as one click does, and leaves it open.
            subprocess.run(['xdotool', 'mousemove', str(x), str(y), 'click', '--repeat', '2',
                            '--delay', '120', '1'], check=True)
            self.assertIsNotNone(new_window(known), 'no history window after a double click')
            time.sleep(1)
            self.assertTrue(visible_window_ids() - known, 'the double click closed it again')
            subprocess.run(['xdotool', 'key', 'Escape'], check=True)
            self.assertTrue(wait_for(lambda: visible_window_ids() <= known, 10))

            # A click right after a window closed is now and then lost under Wine (as after a
            # menu); one lost click is made again.
            opened = None
            for _ in range(2):
                time.sleep(0.3)
                click(x, y, 1)
                opened = new_window(known, 5)
                if opened:
                    break
            self.assertIsNotNone(opened, 'no history window the second time')
            time.sleep(0.5)
            click(x, y, 1)
            self.assertTrue(wait_for(lambda: visible_window_ids() <= known, 10))
            time.sleep(1)
            self.assertTrue(visible_window_ids() <= known)
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        history = [m for m in messages(log_entries())
                   if m.startswith('WndProc(): history') or 'focus' in m]
        self.assertEqual(['WndProc(): history open\n', 'WndProc(): history closed\n'] * 3,
                         history)
        # The performance query lives only while the window is open: every query made is closed.
        # (The cap's check added its counters, with the busy share, to the watcher's query.)
        opened = [l for l in run.trace('PdhAddEnglishCounterA') if 'Processor' in l]
        self.assertEqual((3, 1), (len(opened) - 2 * len([l for l in opened if 'Utility' in l]),
                                  len([l for l in opened if 'Utility' in l])))
        self.assertEqual(4, len(run.trace('PdhOpenQueryA')))
        self.assertEqual(4, len([l for l in run.trace('PdhCloseQuery') if l.endswith('-> 0')]))

    def test_the_history_is_kept_across_runs_shown_over_the_week_and_the_days_and_exported(self):
        """A hot run that caps at 80 %, ended: its minutes are in the file and in --export, and
        a second, cool start shows them over 7 d (the red band of the first run) and sums up
        their lowering over Days; a spoiled file is set aside once and begun anew."""
        forget_history()
        forget_history(machine=True)
        set_registry_value(SETTINGS_KEY, 'HistoryRange', ('REG_DWORD', str(7 * 24 * 60)))
        delete_log()
        nothing = AmbrelRun('history-none')
        code, rows = export_history(nothing, nothing.dir / 'none.csv')
        self.assertEqual((3, None), (code, rows), 'an export without any history')
        run = AmbrelRun('history-kept', script=f'{counter(90)}\n').start()
        try:
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [80], 40))
            # While it runs, --export asks it for every minute up to now.
            code, rows = export_history(run, run.dir / 'running.csv')
            self.assertEqual(0, code)
            self.assertEqual('Time,Lowest °C,Highest °C,Cap %,Step %,Lowered,Paused', rows[0])
            self.assertTrue(any(r.endswith(',90,90,80,80,1,0') for r in rows[1:]), rows)
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        self.assertTrue(history_file().exists())
        self.assertIn('begins', ''.join(m for m in messages(log_entries()) if 'History:' in m))
        code, minutes = export_history(run, run.dir / 'minutes.csv')
        self.assertEqual(0, code)
        self.assertRegex(minutes[1], r'^\d{4}-\d\d-\d\dT\d\d:\d\d:00[+-]\d\d:\d\d,90,90,')
        code, days = export_history(run, run.dir / 'days.csv', '--days')
        self.assertEqual(0, code)
        self.assertEqual(2, len(days), days)
        peak, run_minutes, times, lowered, paused = map(int, days[1].split(',')[1:])
        self.assertEqual((90, 1, 0), (peak, times, paused))
        self.assertEqual(len(minutes) - 1, run_minutes)
        self.assertGreaterEqual(lowered, 1)
        code, _ = export_history(run, pathlib.Path('/nonexistent/dir/x.csv'))
        self.assertEqual(4, code)

        delete_log()
        second = AmbrelRun('history-second', script=f'{counter(50)}\n').start()
        try:
            self.assertTrue(second.wait_until_watching())
            self.assertIn('read', ''.join(m for m in messages(log_entries()) if 'History:' in m))
            x, y = self.icon_centre()
            known = visible_window_ids()
            # Under Wine a click now and then is lost (as after a menu): one is made again.
            window = None
            for _ in range(2):
                click(x, y, 1)
                window = new_window(known, 8)
                if window:
                    break
            self.assertIsNotNone(window, 'no history window')
            subprocess.run(['xdotool', 'mousemove', str(window[3] + 20), str(window[4] + 20)],
                           check=True)
            time.sleep(1)
            save_screenshot(WORK / 'history-week.png', *window[1:])
            # The first run's minutes at 80 % are red in the band at the right end of the week;
            # this run, at 50 °C, is green.
            self.assertGreater(bar_colour_counts(screen_pixels(*window[1:]))[2], 3)
            subprocess.run(['xdotool', 'key', 'Right'], check=True)
            days_shown = wait_for(lambda: [w for w in x_windows()
                                           if 'Last 30 days' in w[0] and w[1] > 20], 10)
            self.assertTrue(days_shown, [w[0] for w in x_windows() if 'Ambrel' in w[0]])
            self.assertIn('lowered on 1 day', days_shown[0][0])
            self.assertIn('peak 90', days_shown[0][0])
            time.sleep(1)
            save_screenshot(WORK / 'history-days.png', *window[1:])
            subprocess.run(['xdotool', 'key', 'Escape'], check=True)
            # The window has gone (the icon's tooltip may show where the pointer now is).
            self.assertTrue(wait_for(lambda: not any(
                window_geometry(w)[0].startswith('Ambrel history') for w in visible_window_ids()),
                10))
            # Export history… in the menu: the standard Save As dialog, then a row a minute.
            csv = second.dir / 'menu.csv'
            self.assertTrue(choose_in_tray_menu('Export history…'))
            self.assertTrue(wait_for(lambda: mapped('Export history'), 15), 'no Save As dialog')
            # Under load the dialog may take its keys only a moment after it shows: activated
            # first, and typed into again while it is still there without the file.
            for _ in range(3):
                subprocess.run(['xdotool', 'search', '--name', '^Export history',
                                'windowactivate', '--sync'], capture_output=True, timeout=20)
                time.sleep(1)
                subprocess.run(['xdotool', 'key', 'ctrl+a'], check=True)
                subprocess.run(['xdotool', 'type', windows_path(csv)], check=True)
                subprocess.run(['xdotool', 'key', 'Return'], check=True)
                if wait_for(lambda: csv.exists() or not mapped('Export history'), 10):
                    break
            self.assertTrue(wait_for(csv.exists, 15), 'nothing exported from the menu')
            self.assertTrue(wait_for(lambda: 'Export: ' in read_log_raw(), 10))
            exported = csv.read_bytes()[3:].decode('utf-8').splitlines()
            self.assertEqual(minutes[0], exported[0])
            # The first run's minutes (the second one began in its last minute, perhaps).
            self.assertEqual([m.split(',')[0] for m in minutes[1:]],
                             [m.split(',')[0] for m in exported[1:len(minutes)]])
            self.assertEqual(0, close_and_wait(second))
        finally:
            second.kill()
            delete_registry_value(SETTINGS_KEY, 'HistoryRange')

        # A spoiled file: set aside once, logged once, and the history begins anew.
        path = history_file()
        path.write_bytes(path.read_bytes()[:1000])
        delete_log()
        watch_and_close(self, AmbrelRun('history-spoiled'))
        lines = [m for m in messages(log_entries()) if 'History:' in m]
        self.assertEqual(1, len([m for m in lines if 'set aside' in m]), lines)
        self.assertTrue(path.with_name('history.dat.spoiled').exists())
        self.assertTrue(path.exists())

    def test_zones_listed_chosen_followed_and_remembered(self):
        # No TZ01 here; a zone frozen at 400 K; THRM last, so that appended readings are its own.
        script = (f'zone \\_TZ.CPUZ\n{counter(90)}\nzone \\_TZ.FROZ\n4002\n'
                  f'zone \\_TZ.THRM\n{counter(50)}\n')
        zones = ['\\_TZ.CPUZ  90 °C', '\\_TZ.FROZ  127 °C', '\\_TZ.THRM  50 °C', 'Hottest zone']
        delete_registry_value(SETTINGS_KEY, 'ThermalZone')
        delete_registry_value(RUN_KEY, 'Ambrel')
        delete_log()
        try:
            self.choose_remember_and_follow_zones(script, zones)
        finally:
            delete_registry_value(SETTINGS_KEY, 'ThermalZone')
            delete_registry_value(RUN_KEY, 'Ambrel')
            delete_registry_value(APPROVED_KEY, 'Ambrel')

    def choose_start_with_windows(self, done):
        """Chooses Start with Windows and waits until done() holds. Under load Wine now and then
        loses the click on an item of a menu that closes all the same: a click that arrived
        changes the Run value or the Task Manager mark, a lost one neither, and only then is the
        item chosen again."""
        def values():
            return registry_value(RUN_KEY, 'Ambrel'), registry_value(APPROVED_KEY, 'Ambrel')
        before = values()
        for _ in range(2):
            self.assertTrue(choose_in_tray_menu('Start with Windows'))
            if wait_for(done, 10):
                return True
            if values() != before:
                return False
        return False

    def choose_remember_and_follow_zones(self, script, zones):
        run = AmbrelRun('zones', script=script).start()
        try:
            self.assertTrue(run.wait_until_watching())
            # Nothing chosen and no TZ01: the hottest zone is read, the frozen one aside.
            self.assertTrue(wait_for(lambda: '90 °C (hottest zone)' in tooltip()), tooltip())
            self.assertIn(HOTTEST_INSTEAD.replace('THRM', 'CPUZ'), messages(log_entries()))
            self.assertTrue(choose_in_tray_menu('Thermal zone', zones, zones[0]))
            self.assertTrue(wait_for(lambda: tooltip().startswith(
                'Ambrel — 90 °C (\\_TZ.CPUZ), maximum processor state '), 20), tooltip())
            self.assertTrue(wait_for(lambda: 99 in run.ac_writes(), 20))
            listed = [m for m in messages(log_entries()) if m.startswith('thermal zone ')]
            self.assertEqual(['thermal zone \\_TZ.CPUZ: 90\n', 'thermal zone \\_TZ.FROZ: 127\n',
                              'thermal zone \\_TZ.THRM: 50\n'], listed)
            self.assertEqual(('REG_SZ', '\\_TZ.CPUZ'), registry_value(SETTINGS_KEY, 'ThermalZone'))

            # Start with Windows, on and off again.
            self.assertTrue(
                self.choose_start_with_windows(lambda: registry_value(RUN_KEY, 'Ambrel')))
            self.assertEqual(('REG_SZ', f'"{windows_path(EXE)}"'), registry_value(RUN_KEY, 'Ambrel'))
            # Disabled in Task Manager: unticked, so the item starts it again and clears the mark.
            set_registry_value(APPROVED_KEY, 'Ambrel', ('REG_BINARY', '030000000000000000000000'))
            self.assertTrue(self.choose_start_with_windows(
                lambda: registry_value(APPROVED_KEY, 'Ambrel') is None))
            self.assertEqual(('REG_SZ', f'"{windows_path(EXE)}"'), registry_value(RUN_KEY, 'Ambrel'))
            # Marked enabled: ticked, so the item removes the Run value.
            set_registry_value(APPROVED_KEY, 'Ambrel', ('REG_BINARY', '020000000000000000000000'))
            self.assertTrue(self.choose_start_with_windows(
                lambda: registry_value(RUN_KEY, 'Ambrel') is None))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()

        run = AmbrelRun('zones-again', script=script).start()
        try:
            self.assertTrue(run.wait_until_watching())
            self.assertIn('_TZ.CPUZ', run.trace('PdhAddEnglishCounterA')[0])
            self.assertTrue(choose_in_tray_menu('Thermal zone', zones, 'Hottest zone'))
            self.assertTrue(wait_for(lambda: '(hottest zone)' in tooltip()))
            self.assertEqual(('REG_SZ', '*'), registry_value(SETTINGS_KEY, 'ThermalZone'))
            run.append_readings(95)  # THRM becomes the hottest; the frozen zone never counts
            self.assertTrue(wait_for(lambda: tooltip().startswith('Ambrel — 95 °C'), 10))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()

    def test_a_steady_reading_shows_true_and_each_gesture_opens_the_menu_once_notify_off(self):
        delete_log()
        run = AmbrelRun('gestures', script=f'{counter(50)}\n').start()
        try:
            self.assertTrue(run.wait_until_watching())
            # Never updated: the first icon itself must be opaque on Wine's white tray.
            self.assertIsNotNone(wait_for(lambda: find_icon(expected_icon(16, 50, 0)), 15))
            # As the shell sends them with the icon's anchor. Enter (NIN_KEYSELECT, doubled) does
            # what a left click does, once: the history window opens and stays open.
            known = visible_window_ids()
            for _ in range(2):
                self.assertEqual(0, poke('tray', 1025, 300, 400))
            window = new_window(known)
            self.assertIsNotNone(window)
            self.assertTrue(window[0].startswith('Ambrel history'), window[0])
            time.sleep(1)
            self.assertEqual(['WndProc(): WM_FROMTRAY: Receive NIN_KEYSELECT at 300,400\n',
                              'WndProc(): history open\n'],
                             [m for m in messages(log_entries())
                              if 'NIN_' in m or m.startswith('WndProc(): history')])
            self.assertEqual(0, poke('tray', 1025, 300, 400))  # a new Enter closes it
            self.assertTrue(wait_for(lambda: not (visible_window_ids() - known), 10))
            # Opened from the keyboard and closed with Esc, it hands the focus back to the icon.
            for _ in range(2):
                self.assertEqual(0, poke('tray', 1025, 300, 400))
            window = new_window(known)
            self.assertIsNotNone(window)
            # The poked window may not hold the X focus: a click inside gives it, closing nothing.
            click(window[3] + window[1] // 2, window[4] + window[2] // 2)
            subprocess.run(['xdotool', 'key', 'Escape'], check=True)
            self.assertTrue(wait_for(lambda: not (visible_window_ids() - known), 10))
            # Logged just after the window has gone.
            self.assertTrue(wait_for(lambda: messages(log_entries()).count(
                'WndProc(): focus back to the notification area\n') == 1, 5))
            # The Apps key or Shift+F10 (WM_CONTEXTMENU): the menu, with its corner at the icon.
            known = visible_window_ids()
            self.assertEqual(0, poke('tray', 123, 300, 400))
            menu = new_window(known)
            self.assertIsNotNone(menu)
            self.assertEqual((300, 400), (menu[3], menu[4] + menu[2]))
            dismiss_menu()
            self.assertTrue(wait_for(lambda: not (visible_window_ids() - known), 5))
            self.assertEqual(1, messages(log_entries()).count(
                'WndProc(): WM_FROMTRAY: Receive WM_CONTEXTMENU at 300,400\n'))
            # Wine's tray, too, follows a right click with WM_CONTEXTMENU.
            self.assertIsNotNone(open_tray_menu())
            dismiss_menu()
            time.sleep(1)
            received = [m for m in messages(log_entries()) if 'WM_FROMTRAY' in m]
            self.assertEqual(['WM_CONTEXTMENU at 300,400\n', 'WM_RBUTTONDOWN\n'],
                             [m.split('Receive ')[1] for m in received[-2:]])
            # Notify when throttling, off: the first step up shows nothing.
            self.assertTrue(choose_in_tray_menu('Notify when throttling'))
            self.assertTrue(wait_for(lambda: registry_value(SETTINGS_KEY, 'Notify'), 10))
            self.assertEqual(('REG_DWORD', '0x0'), registry_value(SETTINGS_KEY, 'Notify'))
            run.append_readings(90)
            self.assertTrue(wait_for(lambda: 'Notify is off' in read_log_raw(), 20))
            self.assertNotIn(NOTICE, messages(log_entries()))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
            delete_registry_value(SETTINGS_KEY, 'Notify')

    def open_history(self):
        """Opens the history window with a click on the icon and moves the pointer off the icon,
        so that its tooltip goes; returns the window as (name, width, height, x, y). A click that
        Wine lost under load is made again."""
        x, y = self.icon_centre()
        subprocess.run(['xdotool', 'mousemove', str(x), str(y)], check=True)
        window = None
        for _ in range(3):
            time.sleep(0.3)
            known = visible_window_ids()
            click(x, y, 1)
            window = new_window(known, timeout=4)
            if window is not None:
                break
        self.assertIsNotNone(window, 'no history window')
        subprocess.run(['xdotool', 'mousemove', str(window[3] + 20), str(window[4] + 20)],
                       check=True)
        return window

    def shot_in_look(self, window, name, ground):
        """Waits until the window's ground is the colour, saves it as NAME.png and returns its
        pixels and the text read from it."""
        self.assertTrue(wait_for(lambda: commonest_pixel(screen_pixels(*window[1:])) == ground,
                                 10), f'{name}: ground not {ground}')
        time.sleep(0.5)
        save_screenshot(WORK / f'{name}.png', *window[1:])
        return screen_pixels(*window[1:]), ocr(WORK / f'{name}.png', negate=sum(ground) < 384)

    def test_history_window_follows_the_theme_and_high_contrast(self):
        """Light, then dark when the system says so while the window is open, then high
        contrast in the system's colours with the band hatched: the ground of each, the line of
        text legible, the window's text (a screen reader's name for it) carrying it."""
        saved = {name: registry_value(COLOURS_KEY, name) for name in HIGH_CONTRAST_COLOURS}
        set_registry_value(PERSONALIZE_KEY, 'SystemUsesLightTheme', ('REG_DWORD', '1'))
        # No notice over the window.
        set_registry_value(SETTINGS_KEY, 'Notify', ('REG_DWORD', '0'))
        try:
            run = AmbrelRun('look', script=WARMING).start()
            try:
                self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [99], 40))
                window = self.open_history()
                pixels, text = self.shot_in_look(window, 'history-light', (255, 255, 255))
                self.assertIn('maximum processor state 99', text)
                self.assertIn('Temperature', text)
                self.assertGreater(bar_colour_counts(pixels)[1], 50, 'no yellow band')
                name = subprocess.run(['wine', POKE, 'title', 'Ambrel History'],
                                      capture_output=True).stdout.decode()
                self.assertEqual('Ambrel history: 88 °C   \\_TZ.TZ01   maximum processor state '
                                 '99 %', name)
                set_registry_value(PERSONALIZE_KEY, 'SystemUsesLightTheme', ('REG_DWORD', '0'))
                poke('setting', 0, 'ImmersiveColorSet')
                _, text = self.shot_in_look(window, 'history-dark', (32, 32, 32))
                self.assertIn('maximum processor state 99', text)
                self.assertEqual(0, close_and_wait(run))
            finally:
                run.kill()
            for name, value in HIGH_CONTRAST_COLOURS.items():
                set_registry_value(COLOURS_KEY, name, value)
            set_registry_value(CONTRAST_KEY, 'Flags', '127')
            run = AmbrelRun('look-contrast', script=WARMING).start()
            try:
                self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [99], 40))
                pixels, text = self.shot_in_look(self.open_history(), 'history-high-contrast',
                                                 (0, 0, 0))
                self.assertIn('maximum processor state 99', text)
                # No step's colour (the pause's grey is among the smoothed text's greys).
                counts = bar_colour_counts(pixels)
                self.assertEqual({0: 0, 1: 0, 2: 0}, {m: counts[m] for m in (0, 1, 2)})
                # The system's colours only, and the greys of white text smoothed on black.
                system = {(26, 235, 255), (63, 242, 63)}
                self.assertEqual(set(), {p for p in pixels if p not in system and len(set(p)) > 1})
                self.assertGreater(sum(p == (26, 235, 255) for p in pixels), 20, 'no line')
                self.assertEqual(0, close_and_wait(run))
            finally:
                run.kill()
        finally:
            delete_registry_value(SETTINGS_KEY, 'Notify')
            delete_registry_value(PERSONALIZE_KEY, 'SystemUsesLightTheme')
            delete_registry_value(CONTRAST_KEY, 'Flags')
            for name, value in saved.items():
                if value:
                    set_registry_value(COLOURS_KEY, name, value[1])
                else:
                    delete_registry_value(COLOURS_KEY, name)

    def test_a_german_windows_shows_the_menu_and_the_tooltip_in_german(self):
        """The user's language from the Wine process's locale: the tooltip and the menu in
        German, read back (the menu by OCR), and its Exit item still ends the program."""
        german = {'LANG': 'de_DE.UTF-8', 'LC_ALL': 'de_DE.UTF-8'}
        run = AmbrelRun('german', script=f'{counter(47)}\n', env=german).start()
        try:
            self.assertTrue(run.wait_until_watching())
            self.assertTrue(wait_for(lambda: tooltip() == 'Ambrel — 47 °C (\\_TZ.TZ01), max. '
                                     'Leistungszustand des Prozessors 100 %', 10), tooltip())
            menu = open_tray_menu()
            self.assertIsNotNone(menu)
            time.sleep(0.5)
            save_screenshot(WORK / 'menu-german.png', *menu[1:])
            text = ocr(WORK / 'menu-german.png', language='deu')
            for entry in ('Verlauf', 'Verlauf exportieren', 'Für 1 Stunde pausieren', 'Thermische Zone', 'Drosseln ab',
                          'Auch im Akkubetrieb',
                          'Beim Drosseln benachrichtigen', 'Mit Windows starten', 'Beenden'):
                self.assertIn(entry, text)
            click(*menu_item_centre(menu, TRAY_MENU, 'Exit'))
            self.assertEqual(0, run.wait(30))
        finally:
            run.kill()

    def test_digits_at_their_designed_size_at_every_display_scale(self):
        """At 100, 150 and 200 % the tray shows the icon at its designed size, pixel for pixel,
        not a scaled 32-pixel one. (20 px, for 125 %, is checked drawn in tests/win/ui: Wine's
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
        # The cap at 99 % is noticed once, then the way out.
        capped = MAIN_THREAD_LIFETIME[:4] + [NOTICE]
        closed = capped + MAIN_THREAD_LIFETIME[4:]
        ended = capped + ['WndProc(): WM_ENDSESSION\n'] + MAIN_THREAD_LIFETIME[4:]
        for path, lifetime in (('close', closed), ('endsession', ended),
                               ('endsession closeapp', ended)):
            with self.subTest(path=path):
                delete_log()
                run = AmbrelRun('exit', store=store_text(schemes=((BALANCED, 100, 60),)),
                                script=f'{counter(90)}\n', args=('--logging', '--console')).start()
                try:
                    self.assertTrue(wait_for(lambda: run.ac_value() == 99, 20))
                    # Console input mode: QuickEdit (0x40) off, extended flags and Ctrl+C on.
                    mode = subprocess.run(['wine', POKE, 'consolemode'], capture_output=True,
                                          text=True).stdout
                    self.assertEqual(0x81, int(mode or -1) & 0xc1)
                    poke(*path.split())
                    self.assertEqual(0, run.wait(15), f'no end after {path}')
                finally:
                    run.kill()
                self.assertEqual([100, 60], run.values())
                self.assertEqual([99, 100], run.ac_writes())
                self.assertEqual(lifetime, lifetime_of(log_entries(), log_entries()[0][0]))

    def test_a_value_set_by_hand_while_running_is_kept(self):
        # An episode, the user's 60 % by hand at mode 0, a second episode, Exit: 60 stays.
        delete_log()
        run = AmbrelRun('by-hand', store=store_text(schemes=((BALANCED, 100, 70),)),
                        script=f'{counter(90)}\n' * 4 + f'{counter(60)}\n').start()
        try:
            self.assertTrue(wait_for(lambda: run.ac_writes() == [99, 100], 40))
            self.assertEqual(0, run.change_store(f'scheme {BALANCED} 60 70'))
            run.append_readings(90)
            self.assertTrue(wait_for_mode(1, 20))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        self.assertEqual(([60, 70], [99, 100]), (run.values(), run.ac_writes()))
        self.assertIn(f'SchemeKeeper: scheme {BALANCED} set to 60 by hand; that is its own value '
                      'now\n', messages(log_entries()))
        self.assertEqual({}, ledger())

    def test_a_start_after_a_kill_puts_the_value_back(self):
        killed = AmbrelRun('killed', store=store_text(schemes=((BALANCED, 93, 90, 92, 60),)),
                           script=f'{counter(90)}\n').start()
        try:
            # Activated after every value of the step to 80 % is written and settled; the step
            # to 99 % lowered nothing.
            self.assertTrue(wait_for(lambda: len(killed.trace('PowerSetActiveScheme')) >= 1, 40))
        finally:
            killed.process.kill()
            killed.process.wait()
        self.assertEqual([80, 80, 80, 60], killed.values())
        self.assertEqual({f'{BALANCED} AC': ledger_entry(93, 80),
                          f'{BALANCED} AC1': ledger_entry(92, 80),
                          f'{BALANCED} DC': ledger_entry(90, 80),
                          f'{BALANCED} DC1': ledger_entry(60, 60)}, ledger())
        delete_log()
        again = AmbrelRun('again', store=killed.store_file.read_text(), keep_ledger=True,
                          events=True).start()
        try:
            self.assertTrue(again.wait_until_watching())
            self.assertEqual(0, close_and_wait(again))
        finally:
            again.kill()
        self.assertEqual(([93], [93, 90, 92, 60]), (again.ac_writes(), again.values()))
        self.assertIn(f'SchemeKeeper: scheme {BALANCED} set back to 93, left at 80 by an earlier '
                      'run\n', messages(log_entries()))
        self.assertEqual({}, ledger())
        # One event names each value given back (DC1 was at its own 60 already).
        leftovers = [event for event in again.events() if event[0] == 5]
        self.assertEqual(1, len(leftovers), again.events())
        _, kind, (count, values) = leftovers[0]
        self.assertEqual(('warn', '3'), (kind, count))
        self.assertEqual({f'{BALANCED} AC 93 (was 80)', f'{BALANCED} AC1 92 (was 80)',
                          f'{BALANCED} DC 90 (was 80)'}, set(values.split(', ')))

    def test_taskbar_restart_brings_the_icon_back(self):
        delete_log()
        run = AmbrelRun('taskbar', script=f'{counter(47)}\n').start()
        try:
            self.assertTrue(run.wait_until_watching())
            self.assertTrue(wait_for_mode(0))
            self.assertEqual(0, poke('untray'))
            self.assertTrue(wait_for(lambda: shown_mode() is None, 10), 'the icon stayed')
            self.assertEqual(0, poke('taskbar'))
            self.assertTrue(wait_for_mode(0), 'the icon did not come back')
            self.assertTrue(run.alive())
            # Registered again with notification-icon version 4: a left click is NIN_SELECT.
            _, height, x, y = tray_window()
            click(x + 10, y + height // 2)
            self.assertTrue(wait_for(lambda: 'Receive NIN_SELECT' in read_log_raw(), 5))
            dismiss_menu()
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
            self.assertEqual(1, len(run.trace('PdhAddEnglishCounterA')))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        self.assertFalse(marker.exists())


COUNTER_PATH = r'\Thermal Zone Information(\_TZ.TZ01)\High Precision Temperature'


def fail(function, code, skip=0, times=1):
    return f'fail {function} {code} {skip} {times}\n'


def registry_value(key, name):
    """(type, data) of a registry value."""
    out = reg_query(key, '/v', name)
    for line in out.splitlines():
        fields = line.split(None, 2)
        if len(fields) == 3 and fields[0] == name:
            return fields[1], fields[2].strip()
    return None


class Failures(unittest.TestCase):
    """One failing platform call at a time: the program keeps running, logs what failed and
    restores the user's value at exit where it could read it."""

    # name, store extra, script, log texts expected, AC writes expected[, DLL overrides]. A
    # cool run writes nothing; HOT runs at 90 °C with 100 % in the store, so that a step writes.
    HOT = f'{counter(90)}\n'
    ROWS = [
        ('open fails', '', 'open-fail -1073738824\n',
         ['PdhOpenQuery = -1073738824', 'PdhCollectQueryData() = '], []),
        ('add fails', '', 'add-fail -1073738824\n',
         [f'PdhAddCounter({COUNTER_PATH}) = -1073738824', 'PdhCollectQueryData() = '], []),
        ('collection fails', '', 'collect-fail -2147481643\n',
         ['PdhCollectQueryData() = -2147481643'], []),
        ('formatting fails', '', f'{counter(50)}\nformat-fail -1073738810\n{counter(50)}\n',
         ['PdhGetFormattedCounterValue() = -1073738810'], []),
        # Nothing chosen: the hottest zone stands in for the missing TZ01.
        ('no TZ01', '', f'zone \\_TZ.THRM\n{counter(50)}\n', [HOTTEST_INSTEAD, 'temp=50\n'], []),
        ('no TZ01, noticed only at the reading', '',
         f'lazy-instances\nzone \\_TZ.THRM\n{counter(50)}\n', [HOTTEST_INSTEAD, 'temp=50\n'], []),
        ('only the plain Temperature counter', '', f'no-high-precision\n{counter(50)}\n',
         ['no High Precision Temperature counter: reading Temperature in whole kelvin\n',
          'temp=50\n'], []),
        ('active scheme unknown at start', fail('PowerGetActiveScheme', 5), None, [], []),
        ('reading fails at start', fail('PowerReadACValue', 5), None, [], []),
        # A failed write or activation is made again at the next reading.
        ('first write fails', fail('PowerWriteACValueIndex', 5),
         HOT, ['PowerWriteACValueIndex() error=5'], [99, 100]),
        ('activation fails', fail('PowerSetActiveScheme', 1450), HOT,
         ['PowerSetActiveScheme() error=5aa'], [99, 100]),
        ('write-back fails', fail('PowerWriteACValueIndex', 5, skip=1), HOT,
         ['PowerWriteACValueIndex() error=5'], [99]),
        ('pdh.dll missing', '', None, ['LoadLibraryExA(pdh.dll) error=',
         'PdhOpenQuery = -1073738818', 'PdhCollectQueryData() = -1073738818'], [],
         'pdh=d;powrprof=n,b'),
        ('powrprof.dll missing', '', HOT, ['LoadLibraryExA(powrprof.dll) error=',
         'PowerGetActiveScheme() error=7f'], [], 'pdh=n,b;powrprof=d'),
    ]

    def test_each_failing_call(self):
        for name, extra, script, logged, writes, *overrides in self.ROWS:
            with self.subTest(name):
                delete_log()
                own = 100 if script == self.HOT else 75
                run = AmbrelRun('failure', store=store_text(
                    schemes=((BALANCED, own, 60),), extra=extra), script=script, events=True)
                if overrides:
                    run.env['WINEDLLOVERRIDES'] = overrides[0] + ';mscoree,mshtml='
                run.start()
                try:
                    self.assertTrue(wait_for(lambda: 'CTempWatch.callbackfnc() '
                                             'THREADCALLBACK_INIT\n' in messages(log_entries())))
                    self.assertTrue(wait_for_mode(0), 'no icon')
                    if script == self.HOT:
                        self.assertTrue(wait_for(lambda: 'power setting changed' in
                                                 read_log_raw(), 20))
                    time.sleep(2.5)  # one tick after the first reading, or after the step
                    self.assertTrue(run.alive())
                    self.assertEqual(0, close_and_wait(run))
                finally:
                    run.kill()
                text = read_log_raw().replace('\r\n', '\n')
                for expected in logged:
                    self.assertIn(expected, text)
                self.assertEqual(writes, [w for w in run.ac_writes()])
                self.assertEqual('program end\n', messages(log_entries())[-1])
                # A failed value write reaches the event log once, with the platform's code.
                failed = 'PowerWriteACValueIndex() error=5' in logged
                self.assertEqual([(8, 'err', ['AC', BALANCED, '5'])] if failed else [],
                                 [event for event in run.events() if event[0] == 8])

    def test_diagnose_names_each_failure_and_writes_nothing(self):
        # The fakes' failure modes, each read by --diagnose: its exit code, the lines that name
        # the failure, and neither a power write nor a registry, ledger or log change.
        malformed = f'{BALANCED} XX'
        self.addCleanup(clear_ledger)
        rows = [
            ('all read', '', f'{counter(50)}\n', None, 0,
             ['Role in force: none', 'Thermal zones: 1 found', '  \\_TZ.TZ01  50 C',
              f'Active power scheme: {BALANCED}', '  maximum processor state AC  75 %',
              '  maximum processor state DC1 absent (no efficiency class 1)',
              f'  "{BALANCED} AC": the user\'s own value before Ambrel: 90 %, last written by '
              'Ambrel: 80 %, held before that write: 80 %',
              f'  "{malformed}" malformed', 'Service "Ambrel": not installed',
              'processor performance now: 100 % of its base, busy 0 % of the time',
              'processor with one core busy for a second: 100 % of its base, so it does not '
              'boost now', 'Everything could be read.']),
            ('a system in another language', '',
             f'localized\n{counter(50)}\nperformance 60\nperformance 60\nperformance 245\n'
             'utility 12\n', None, 0,
             ['  English   "\\Thermal Zone Information(\\_TZ.TZ01)\\High Precision '
              'Temperature" -> 0x00000000',
              '  localized "\\Thermal Zone Information(\\_TZ.TZ01)\\High Precision '
              'Temperature" -> 0xc0000bb8 (not added)',
              'processor performance now: 60 % of its base, busy 12 % of the time',
              'processor with one core busy for a second: 245 % of its base, so it boosts']),
            ('no zone readable', '', 'add-fail -1073738824\n', None, 1,
             ['Thermal zones: none found or none readable', '1 item(s) could not be read.']),
            ('pdh.dll missing', '', None, 'pdh=d;powrprof=n,b', 1,
             ['Thermal zones: none found or none readable',
              'processor performance: no counters (Windows 8 and later have them)']),
            ('active scheme unknown', fail('PowerGetActiveScheme', 5), None, None, 1,
             ['Active power scheme: cannot be read (error 5)']),
            ('a value unreadable', fail('PowerReadACValue', 5), None, None, 1,
             ['  maximum processor state AC  cannot be read (error 5)']),
        ]
        for name, extra, script, overrides, code, expected in rows:
            with self.subTest(name):
                delete_log()
                run = AmbrelRun('diagnose', store=store_text(schemes=((BALANCED, 75, 60),),
                                                              extra=extra), script=script)
                if overrides:
                    run.env['WINEDLLOVERRIDES'] = overrides + ';mscoree,mshtml='
                set_registry_value(LEDGER_KEY, f'{BALANCED} AC', ('REG_BINARY',
                                                                  ledger_entry(90, 80)[1]))
                set_registry_value(LEDGER_KEY, malformed, ('REG_BINARY', '01'))
                # The fakes keep their failure rules' counts in the store: only its values count.
                def unchanged():
                    return ledger(), [l for l in run.store_file.read_text().splitlines()
                                      if not l.startswith('fail ')]
                before = unchanged()
                done = subprocess.run(['wine', EXE, '--diagnose'], env=run.env,
                                      capture_output=True, text=True, timeout=60)
                lines = done.stdout.splitlines()
                self.assertEqual(code, done.returncode, done.stdout)
                for line in expected:
                    self.assertTrue(any(l.startswith(line) for l in lines), done.stdout)
                self.assertEqual(before, unchanged())
                self.assertEqual([], [l for l in run.trace() if l.startswith(
                    ('PowerWrite', 'PowerSetActiveScheme'))])
                self.assertFalse(log_path().exists())

    def test_a_failing_sensor_is_reported_and_the_events_stay_within_twenty_an_hour(self):
        fail = 'collect-fail -2147481643\n'
        run = AmbrelRun('sensor-events', script=f'{counter(50)}\n{fail * 3}{counter(50)}\n',
                        events=True).start()
        try:
            # A start under a busy machine may take a while: the events are counted from the
            # first reading on.
            self.assertTrue(run.wait_until_watching(40))
            self.assertTrue(wait_for(lambda: len(run.events()) >= 3, 30))
            _, failing, reading = run.events()[:3]
            self.assertEqual((6, 'err', ['\\_TZ.TZ01', 'the counter gives no value']), failing)
            self.assertEqual((7, 'trace', '\\_TZ.TZ01'), (reading[0], reading[1], reading[2][0]))
            self.assertTrue(4 <= int(reading[2][1]) <= 10, reading)
            # Failing at every other reading: twenty events in all, the stop's left out.
            with open(run.script_file, 'a') as script:
                script.write(f'{fail}{counter(50)}\n' * 10)
            self.assertTrue(wait_for(lambda: len(run.events()) >= 20, 60))
            before = run.collections()
            self.assertTrue(wait_for(lambda: run.collections() >= before + 4, 20))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        events = run.events()
        self.assertEqual(20, len(events))
        self.assertEqual({6, 7}, {event[0] for event in events[1:]})

    def test_a_bad_stored_threshold_falls_back_to_85(self):
        # A bad OnBattery falls back to ticked: the battery value is capped too.
        for value in (('REG_SZ', 'ninety'), ('REG_DWORD', '100')):
            with self.subTest(value=value):
                set_registry_value(SETTINGS_KEY, 'ThrottleAt', value)
                set_registry_value(SETTINGS_KEY, 'OnBattery', value)
                delete_log()
                run = AmbrelRun('bad-threshold', script=f'{counter(85)}\n').start()
                try:
                    self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [99], 20))
                    self.assertTrue(wait_for(lambda: run.values() == [99, 99], 5), run.values())
                    self.assertEqual(0, close_and_wait(run))
                finally:
                    run.kill()
                    delete_registry_value(SETTINGS_KEY, 'ThrottleAt')
                    delete_registry_value(SETTINGS_KEY, 'OnBattery')
                entries = messages(log_entries())
                self.assertEqual(1, entries.count(
                    'settings: ThrottleAt is not 80, 85, 90 or 95; using 85\n'))
                self.assertEqual(1, entries.count('settings: OnBattery is not 0 or 1; using 1\n'))

    def test_malformed_and_foreign_ledger_entries_are_removed_and_never_applied(self):
        delete_log()
        run = AmbrelRun('ledger-entries', store=store_text(
            schemes=((BALANCED, 75, 60), (HIGH_PERFORMANCE, 100, 90), (POWER_SAVER, 99, 50))))
        # Applied, each would write 50 (the registry table rows cover the other malformed forms).
        for name, value in {'not-a-scheme': ledger_entry(50, 100),
                            HIGH_PERFORMANCE: ('REG_BINARY', '320000006400000000'),
                            # 0 %, which its battery value holds as written: it stays at 90.
                            f'{HIGH_PERFORMANCE} DC': ledger_entry(0, 90),
                            '00000000-1111-2222-3333-444444444444': ledger_entry(50, 100),
                            # Named the earlier way, by the scheme alone (the AC class-0
                            # entry): a run ended between noting 80 and writing it over its 99.
                            POWER_SAVER: ledger_entry(70, 80, 99)}.items():
            set_registry_value(LEDGER_KEY, name, value)
        # Names that only UTF-16 can name, in this user's ledger and the service's: one outside
        # the code page is removed, one with an embedded zero cannot be and is passed by.
        for root, key in (('HKCU', LEDGER_KEY), ('HKLM', MACHINE_LEDGER_KEY)):
            self.assertEqual(0, poke('odd-names', root, r'Software\Ambrel\Restore'))
            self.addCleanup(clear_ledger, key)
            self.addCleanup(poke, 'odd-names', root, r'Software\Ambrel\Restore', 'clear')
        run.start()
        try:
            self.assertTrue(run.wait_until_watching(4))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        self.assertEqual(([70], {}), (run.ac_writes(),
                                      {k: v for k, v in ledger().items() if k[0] != 'x'}))
        self.assertEqual(70, run.ac_value(POWER_SAVER))
        self.assertEqual([100, 90], run.values(HIGH_PERFORMANCE))
        text = read_log_raw()
        self.assertEqual(5, text.count('RestoreLedger: malformed entry'))
        self.assertEqual(1, text.count('cannot be removed; passed by'))
        self.assertEqual(1, text.count('ForeignLedgers: 2 values of HKEY_LOCAL_MACHINE'))
        self.assertIn('scheme 00000000-1111-2222-3333-444444444444 no longer exists', text)
        self.assertIn('program end', text)

    def test_a_ledger_key_that_cannot_be_created_leaves_todays_behaviour(self):
        # No lasting key can be made below a volatile one, whatever the rights (which Wine does
        # not enforce).
        clear_ledger('HKCU\\Software\\Ambrel')
        self.assertEqual(0, poke('volatile-key', 'Software\\Ambrel'))
        try:
            delete_log()
            run = AmbrelRun('no-ledger', store=store_text(schemes=((BALANCED, 100, 60),)),
                            script=f'{counter(90)}\n').start()
            try:
                self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [99], 40))
                self.assertEqual(0, close_and_wait(run))
            finally:
                run.kill()
        finally:
            clear_ledger('HKCU\\Software\\Ambrel')
        self.assertEqual([99, 100], run.ac_writes())
        self.assertEqual(1, read_log_raw().count('RestoreLedger: HKEY_CURRENT_USER\\Software\\'
                                                 'Ambrel\\Restore cannot be opened'))

    def test_log_directory_missing_unwritable_or_too_long(self):
        saved = {name: registry_value('HKCU\\Environment', name) for name in ('TEMP', 'TMP')}
        try:
            for directory in (r'C:\no\such\directory', r'C:\windows\win.ini',
                              'C:\\' + 'long' * 80):
                with self.subTest(directory=directory[:40]):
                    for name in saved:
                        set_registry_value('HKCU\\Environment', name, directory)
                    run = AmbrelRun('log-directory',
                                    store=store_text(schemes=((BALANCED, 75, 60),)))
                    watch_and_close(self, run)
                    self.assertEqual([], run.ac_writes())
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
        self.assertEqual(99, run.ac_writes()[0])


class Service(unittest.TestCase):
    """Ambrel.exe --service as the machine's controller under Wine's service manager, no tray."""

    def tearDown(self):
        remove_service()
        for key in (MACHINE_KEY, r'HKLM\Software\Policies\Ambrel'):
            delete_registry_key(key)

    def test_machine_settings_cap_at_90_and_net_stop_gives_every_value_back(self):
        # The machine's own threshold (95) gives way to the policy's (90); the machine leaves the
        # battery out; the user's key says 80 and is not the service's.
        set_registry_value(MACHINE_KEY, 'ThrottleAt', ('REG_DWORD', '95'))
        set_registry_value(MACHINE_KEY, 'OnBattery', ('REG_DWORD', '0'))
        set_registry_value(r'HKLM\Software\Policies\Ambrel', 'ThrottleAt', ('REG_DWORD', '90'))
        set_registry_value(r'HKCU\Software\Ambrel', 'ThrottleAt', ('REG_DWORD', '80'))
        set_registry_value(SETTINGS_KEY, 'HistoryRange', ('REG_DWORD', str(90 * 24 * 60)))
        self.addCleanup(delete_registry_value, SETTINGS_KEY, 'HistoryRange')
        machine_history = forget_history(machine=True)
        try:
            with ServiceRun('service', store=store_text(schemes=((BALANCED, 100, 90, 100, 60),)),
                            script=f'{counter(90)}\n') as service:
                self.assertEqual(0, service.install())
                self.assertEqual(0, service.start())
                self.assertTrue(service.wait_until(lambda: service.values() == [80, 90, 80, 60],
                                                   40))
                self.assertEqual({f'{BALANCED} AC': ledger_entry(100, 80),
                                  f'{BALANCED} AC1': ledger_entry(100, 80)},
                                 ledger(MACHINE_LEDGER_KEY))
                self.assertEqual({}, ledger())
                # Should it hang, the dump names its threads' functions, and leaves it running.
                threads = service.dump_threads('a look at the running service')
                for function in ('ServiceMain', 'CiThreadEx::threadfnc', 'RunMessageLoop'):
                    self.assertIn(function, threads)
                # A tray started beside it is a view of it: the service's 90 °C and red bar, the
                # machine's threshold not the user's to change, and its Exit ends the view alone.
                delete_log()
                tray = AmbrelRun('beside', script=f'{counter(95)}\n').start()
                try:
                    self.assertTrue(wait_for(lambda: '90 °C' in poke_output('title'), 30))
                    self.assertTrue(wait_for_mode(2))
                    # The service's week and days reach the view over their pipe: its window,
                    # asked to open on Days, sums up the lowering once they have come, and
                    # --export writes the minutes (the service's file is ten minutes away yet).
                    def days_shown():
                        return [w[0] for w in x_windows() if 'Last 30 days' in w[0] and w[1] > 20]
                    poke('tray', 1024, 600, 700)  # NIN_SELECT
                    shown = wait_for(days_shown, 15)
                    self.assertTrue(shown, [w[0] for w in x_windows() if 'Ambrel' in w[0]])
                    self.assertIn('lowered on 1 day', shown[0])
                    self.assertIn('peak 90', shown[0])
                    poke('tray', 1024, 600, 700)
                    self.assertTrue(wait_for(lambda: not days_shown(), 10))
                    code, rows = export_history(tray, tray.dir / 'service.csv')
                    self.assertEqual(0, code)
                    self.assertTrue(any(row.split(',')[5] == '1' for row in rows[1:]), rows)
                    # The greyed item sends nothing; a command posted from outside is refused.
                    self.assertTrue(choose_in_tray_menu('Throttle at', THROTTLE_AT, '80 °C'))
                    subprocess.run(['xdotool', 'key', 'Escape', 'Escape'], check=True)
                    poke('command', 40200)
                    line = 'WndProc(): WM_COMMAND: ID_THROTTLE_AT is set for this machine\n'
                    self.assertTrue(wait_for(lambda: line in messages(log_entries()), 10))
                    # A view cannot pause the machine; an administrator can, and the view shows
                    # it: the machine's own values back at once, the grey bar, until when.
                    poke('command', ID_PAUSE)
                    line = ('WndProc(): WM_COMMAND: ID_PAUSE refused: a view cannot pause the '
                            'machine\n')
                    self.assertTrue(wait_for(lambda: line in messages(log_entries()), 10))
                    self.assertEqual(0, wine(EXE, '--pause', '30'))
                    self.assertTrue(wait_for(lambda: service.values() == [100, 90, 100, 60], 6))
                    self.assertTrue(wait_for(lambda: 'paused until' in poke_output('title'), 10))
                    self.assertTrue(wait_for_mode(PAUSED))
                    self.assertEqual(2, wine(EXE, '--pause', '121'))
                    # Resumed, the service caps again: 99 % after four readings, then 80 %.
                    self.assertEqual(0, wine(EXE, '--resume'))
                    self.assertTrue(wait_for(lambda: service.values() == [99, 90, 99, 60], 12))
                    self.assertTrue(wait_for(lambda: service.values() == [80, 90, 80, 60], 20))
                    self.assertNotIn('paused', poke_output('title'))
                    self.assertEqual(0, close_and_wait(tray))
                finally:
                    tray.kill()
                self.assertTrue(service.alive())
                # The view touched no power setting (its menu lists the zones, nothing more).
                self.assertEqual([], [call for call in tray.trace() if not call.startswith('Pdh')])
                self.assertEqual([80, 90, 80, 60], service.values())
                self.assertEqual(0, service.stop())
                self.assertTrue(service.wait_until(lambda: not service.alive(), 10))
                self.assertEqual([100, 90, 100, 60], service.values())
                self.assertEqual({}, ledger(MACHINE_LEDGER_KEY))
                # Its history is kept in its own directory, written whole at its stop.
                self.assertEqual(86260, machine_history.stat().st_size)
        finally:
            delete_registry_value(r'HKCU\Software\Ambrel', 'ThrottleAt')

    def test_a_killed_service_is_undone_at_its_next_start(self):
        with ServiceRun('service-killed', store=store_text(schemes=((BALANCED, 93, 70),)),
                        script=f'{counter(90)}\n') as killed:
            self.assertEqual(0, killed.install())
            self.assertEqual(0, killed.start())
            self.assertTrue(killed.wait_until(lambda: killed.values() == [80, 70], 40))
            self.assertTrue(killed.kill_process())
            self.assertEqual({f'{BALANCED} AC': ledger_entry(93, 80), f'{BALANCED} DC': ledger_entry(70, 70)},
                             ledger(MACHINE_LEDGER_KEY))
            # The next start, on a cool machine, first gives the value back.
            again = ServiceRun('service-again', store=killed.store_file.read_text(),
                               keep_ledger=True)
            # The service manager takes a moment to see the process gone.
            self.assertTrue(wait_for(lambda: again.start() == 0, 30, 1))
            self.assertTrue(again.wait_until(lambda: again.values() == [93, 70], 20))
            self.assertEqual([93], again.ac_writes())
            self.assertEqual({}, ledger(MACHINE_LEDGER_KEY))

    def test_a_guard_held_by_another_program_keeps_the_service_from_nothing(self):
        # Any user may make the guard's name before the service starts: no Ambrel serves the
        # pipe, so the service takes it for a squatter's, says so, and caps a hot machine.
        squatter = subprocess.Popen(['wine', POKE, 'squat'], stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, text=True)
        log = pathlib.Path(os.environ['WINEPREFIX'], 'drive_c', 'ProgramData', 'Ambrel',
                           'Ambrel.log')
        log.unlink(missing_ok=True)
        try:
            self.assertEqual('held', squatter.stdout.readline().strip())
            with ServiceRun('service-squatted', store=store_text(schemes=((BALANCED, 93, 70),)),
                            script=f'{counter(90)}\n') as service:
                self.assertEqual(0, service.install(logging=True))
                self.assertEqual(0, service.start())
                self.assertTrue(service.wait_until(lambda: service.values() == [80, 70], 60))
                self.assertIn('is held by a program that is not Ambrel',
                              log.read_text(errors='replace'))
                self.assertEqual(0, service.stop())
                self.assertTrue(wait_for(lambda: service.values() == [93, 70], 20))
        finally:
            squatter.communicate(timeout=30)

    def test_a_service_started_beside_a_controlling_tray_waits_and_then_takes_over(self):
        tray = AmbrelRun('tray-first', script=f'{counter(90)}\n').start()
        try:
            self.assertTrue(wait_for(lambda: tray.ac_writes()[-1:] == [99], 20))
            with ServiceRun('service-second', script=f'{counter(90)}\n',
                            keep_ledger=True) as service:
                self.assertEqual(0, service.install())
                self.assertEqual(0, service.start())
                time.sleep(4)
                self.assertEqual([], service.trace())
                # The waiting service controls nothing: the pause goes to the tray that does.
                self.assertEqual(0, wine(EXE, '--pause', '5'))
                self.assertTrue(wait_for(lambda: tray.values() == [100, 100], 6))
                self.assertIn('paused until', tooltip())
                self.assertEqual(0, close_and_wait(tray))
                self.assertEqual([100, 100], tray.values())
                self.assertTrue(service.wait_until(lambda: service.values() == [80, 80], 40))
        finally:
            tray.kill()

    def test_a_tray_killed_while_capping_is_undone_by_its_view_and_never_taken_for_its_own(self):
        killed = AmbrelRun('tray-killed', store=store_text(schemes=((BALANCED, 93, 70),
                                                                    (HIGH_PERFORMANCE, 100, 90))),
                           script=f'{counter(90)}\n').start()
        try:
            self.assertTrue(wait_for(lambda: killed.values()[:2] == [80, 70], 40))
        finally:
            killed.process.kill()
            killed.process.wait()
        # A user's own key is theirs to write: an entry naming what its scheme holds as written
        # would have the service write 5 % there. The service reads no user's key at all.
        set_registry_value(LEDGER_KEY, f'{HIGH_PERFORMANCE} AC',
                           ('REG_BINARY', ledger_entry(5, 100)[1]))
        with ServiceRun('service-after-tray', store=killed.store_file.read_text(),
                        script=f'{counter(60)}\n', keep_ledger=True) as service:
            self.assertEqual(0, service.install())
            self.assertEqual(0, service.start())
            self.assertTrue(wait_for(lambda: service.collections() >= 3, 30))
            self.assertEqual(([], {}, [100, 90]), (service.ac_writes(), ledger(MACHINE_LEDGER_KEY),
                                                   service.values(HIGH_PERFORMANCE)))
            self.assertEqual([80, 70], service.values()[:2])
            # The user logs on: their start of Ambrel is a view of the service, and gives back
            # what their own tray left, with their own rights (the planted entry is theirs too).
            delete_registry_value(LEDGER_KEY, f'{HIGH_PERFORMANCE} AC')
            view = AmbrelRun('view-after-tray', keep_ledger=True)
            view.env['AMBREL_FAKE_POWER'] = service.env['AMBREL_FAKE_POWER']  # the one machine
            view.start()
            try:
                self.assertTrue(wait_for(lambda: '60 °C' in poke_output('title'), 30))
                self.assertTrue(wait_for(lambda: service.values()[:2] == [93, 70], 10))
                self.assertEqual(0, close_and_wait(view))
            finally:
                view.kill()
            self.assertEqual(([], [93], [100, 90], {}),
                             (service.ac_writes(), view.ac_writes(),
                              service.values(HIGH_PERFORMANCE), ledger()))
            # Hot again: the cap's 80 % was never noted as the scheme's own value.
            service.append_readings(90)
            self.assertTrue(wait_for(lambda: service.values()[0] == 80, 40))
            self.assertEqual(ledger_entry(93, 80), ledger(MACHINE_LEDGER_KEY)[f'{BALANCED} AC'])
            self.assertEqual(0, service.stop())
            self.assertTrue(wait_for(lambda: service.values()[:2] == [93, 70], 20))

    def test_a_service_killed_while_capping_is_undone_by_the_next_tray(self):
        with ServiceRun('service-killed-first', store=store_text(schemes=((BALANCED, 93, 70),)),
                        script=f'{counter(90)}\n') as killed:
            self.assertEqual(0, killed.install())
            self.assertEqual(0, killed.start())
            self.assertTrue(wait_for(lambda: killed.values() == [80, 70], 40))
            self.assertTrue(killed.kill_process())
            remove_service()
            self.assertEqual({f'{BALANCED} AC': ledger_entry(93, 80),
                              f'{BALANCED} DC': ledger_entry(70, 70)}, ledger(MACHINE_LEDGER_KEY))
            # The user's tray wins the guard: it gives the value back and caps from 93, not 80.
            tray = AmbrelRun('tray-after-service', store=killed.store_file.read_text(),
                             script=f'{counter(60)}\n', keep_ledger=True).start()
            try:
                self.assertTrue(wait_for(lambda: tray.values() == [93, 70], 20))
                tray.append_readings(90)
                self.assertTrue(wait_for(lambda: tray.values()[0] == 80, 40))
                self.assertEqual(ledger_entry(93, 80), ledger()[f'{BALANCED} AC'])
                self.assertEqual(0, close_and_wait(tray))
            finally:
                tray.kill()
            self.assertEqual(([93, 80, 93], [93, 70]), (tray.ac_writes(), tray.values()))

    def test_the_log_goes_to_program_data_and_never_to_a_file_someone_else_put_there(self):
        directory = pathlib.Path(os.environ['WINEPREFIX'], 'drive_c', 'ProgramData', 'Ambrel')
        log = directory / 'Ambrel.log'
        shutil.rmtree(directory, ignore_errors=True)
        victim = WORK / 'victim.txt'
        try:
            with ServiceRun('service-log') as service:
                self.assertEqual(0, service.install(logging=True))
                self.assertEqual(0, service.start())
                self.assertTrue(wait_for(lambda: log.exists() and 'watch start\n' in
                                         messages(log_entries(log.read_text('latin-1'))), 30))
                self.assertFalse(unix_path(r'C:\windows\temp\Ambrel.log').exists())
                # Wine's service manager keeps no failure actions and cannot read them back: the
                # service then sets none, as what is there might be an administrator's.
                self.assertIn('service: its restart after a crash cannot be read (124)\n',
                              messages(log_entries(log.read_text('latin-1'))))
                self.assertEqual(0, service.stop())
                self.assertTrue(wait_for(lambda: not service.alive(), 10))
                # The log replaced by a hard link to another file: that file is never written.
                victim.write_text('not the log\n')
                log.unlink()
                os.link(victim, log)
                # The directory replaced by one that anyone may change: nothing is written there.
                for case in ('hard link', 'open directory'):
                    with self.subTest(case):
                        self.assertTrue(wait_for(lambda: service.start() == 0, 30, 1))
                        self.assertTrue(wait_for(lambda: service.trace(), 30))
                        self.assertEqual(0, service.stop())
                        self.assertTrue(wait_for(lambda: not service.alive(), 10))
                        self.assertEqual('not the log\n', victim.read_text())
                        self.assertEqual(case == 'hard link', log.exists())
                    shutil.rmtree(directory)
                    directory.mkdir(mode=0o777)
                    directory.chmod(0o777)
        finally:
            shutil.rmtree(directory, ignore_errors=True)
            victim.unlink(missing_ok=True)

    def test_a_start_by_hand_says_so_and_fails(self):
        run = AmbrelRun('service-by-hand', script=f'{counter(95)}\n')
        ended = subprocess.run(['wine', EXE, '--service', '--logging'], env=run.env,
                               capture_output=True, text=True, timeout=30)
        self.assertEqual(3, ended.returncode)
        self.assertIn('Ambrel.exe --service runs only as the Windows service "Ambrel"', ended.stderr)
        self.assertEqual(([], [100, 100]), (run.trace(), run.values()))


class Package(unittest.TestCase):

    def test_unpacked_release_runs(self):
        run = AmbrelRun('package')
        with zipfile.ZipFile(os.environ['AMBREL_PACKAGE']) as package:
            self.assertEqual({'Ambrel.exe', 'README.txt', 'LICENSE.txt'}, set(package.namelist()))
            package.extractall(run.dir / 'unpacked')
        run.exe = str(run.dir / 'unpacked' / 'Ambrel.exe')
        watch_and_close(self, run)
        self.assertEqual(([], 0), (run.ac_writes(), len(run.trace('PowerSetActiveScheme'))))


class Build(unittest.TestCase):
    """The executable as built: no debug sections, its symbol file, other builds' resources."""

    def test_release_is_stripped_and_links_its_symbol_file(self):
        sections = pe_sections(EXE)
        self.assertEqual([], [name for name in sections if name.startswith('.debug')])
        symbols = pathlib.Path(EXE + '.debug')
        link = sections['.gnu_debuglink'][2]
        name, crc = link[:link.index(b'\0')], int.from_bytes(link[-4:], 'little')
        self.assertEqual((symbols.name.encode(), zlib.crc32(symbols.read_bytes())), (name, crc))
        kept = pe_sections(symbols)
        self.assertIn('.debug_info', kept)
        # Made from this very link: every section at the same address with the same size.
        self.assertEqual({n: v[:2] for n, v in sections.items() if n != '.gnu_debuglink'},
                         {n: v[:2] for n, v in kept.items() if n in sections})

    def test_other_builds_have_the_same_resources(self):
        others = [path for path in os.environ.get('AMBREL_OTHER_BUILDS', '').split('|') if path]
        self.assertTrue(others)
        ours = pe_resources(EXE)
        self.assertIn((24, 1, 1033), ours)  # the manifest
        self.assertIn((11, 1, 1033), ours)  # the event log's message table
        for other in others:
            with self.subTest(other):
                self.assertEqual(ours, pe_resources(other))


MACHINE_RUN_KEY = r'HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
POLICY_KEY = r'HKLM\Software\Policies\Ambrel'
INSTALLED = r'C:\Program Files\Ambrel\Ambrel.exe'
EVENT_SOURCE_KEY = r'HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Ambrel'
# The event source's registration, as the package writes it.
EVENT_SOURCE = [('REG_EXPAND_SZ', INSTALLED), ('REG_DWORD', '0x7')]


def msiexec(*args):
    return subprocess.run(['wine', 'msiexec', *args, '/qn'], capture_output=True,
                          timeout=180).returncode


def unix_path(path):
    return pathlib.Path(subprocess.run(['winepath', '-u', path], capture_output=True, text=True,
                                       check=True).stdout.strip())


def installed_products():
    """The product codes of the Apps & features entries named Ambrel."""
    out = reg_query(r'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall', '/s')
    products, key = [], ''
    for line in out.splitlines():
        if line.startswith('HKEY_'):
            key = line.rsplit('\\', 1)[-1]
        elif line.split(None, 2)[:2] == ['DisplayName', 'REG_SZ'] and line.split()[-1] == 'Ambrel':
            products.append(key)
    return products


def installed_traces():
    """What the package leaves on the machine: its files, its Start menu shortcut (under Wine in
    the user's Programs folder, on Windows in the common one), its Run value, its Apps & features
    entry, its event source."""
    drive = pathlib.Path(os.environ['WINEPREFIX'], 'drive_c')
    menus = [*drive.glob('ProgramData/Microsoft/Windows/Start Menu/Programs/Ambrel.lnk'),
             *drive.glob('users/*/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Ambrel.lnk')]
    found = sorted(p.name for p in unix_path(INSTALLED).parent.glob('*'))
    found += [menu.name for menu in menus]
    run = registry_value(MACHINE_RUN_KEY, 'Ambrel')
    if run:
        found.append(run[1])
    found += ['Ambrel' for _ in installed_products()]
    for name in ('EventMessageFile', 'TypesSupported'):
        value = registry_value(EVENT_SOURCE_KEY, name)
        if value:
            found.append(value)
    return found


def service_state():
    """The Ambrel service's state as `sc query` gives it (1 stopped, 4 running), or the error
    number when there is no such service."""
    out = subprocess.run(['wine', 'sc', 'query', 'Ambrel'], capture_output=True, text=True).stdout
    state = re.search(r'STATE\s*:\s*(\d+)', out)
    return int(state.group(1)) if state else 1060


class Deploy(unittest.TestCase):
    """The installer package under Wine's msiexec, and the policies an administrator sets."""

    def setUp(self):
        self.msi = windows_path(os.environ['AMBREL_MSI'])
        # Also what an earlier build of the package left (each build has its own product code).
        for product in installed_products():
            msiexec('/x', product)
        delete_registry_key(POLICY_KEY)

    tearDown = setUp

    def newer_package(self):
        """The same files packed as a newer version, from the package build's staging directory."""
        newer = WORK / 'Ambrel-newer.msi'
        defines = ['Version=99.0.0', 'ExeSource=Ambrel.exe', 'ReadmeSource=README.txt',
                   'LicenceSource=LICENSE.txt', 'IconSource=appicon.ico']
        subprocess.run(['wixl', '--arch', 'x64', *[a for d in defines for a in ('-D', d)], '-o',
                        newer, 'Ambrel.wxs'], cwd=pathlib.Path(os.environ['AMBREL_MSI']).parent /
                       'deploy' / 'stage', capture_output=True, check=True)
        deploy = pathlib.Path(__file__).resolve().parents[2] / 'deploy'
        subprocess.run(['cmake', f'-DMSI={newer}',
                        f'-DIDT={deploy / "MsiServiceConfigFailureActions.idt"},'
                        f'{deploy / "MsiLockPermissionsEx.idt"}',
                        f'-DMSIINFO={shutil.which("msiinfo")}',
                        f'-DMSIBUILD={shutil.which("msibuild")}', '-P',
                        deploy / 'AddFailureActions.cmake'], capture_output=True, check=True)
        return newer

    def msi_rows(self, table):
        out = subprocess.run(['msiinfo', 'export', os.environ['AMBREL_MSI'], table],
                             capture_output=True, text=True, check=True).stdout
        return [line.split('\t') for line in out.splitlines()[3:]]

    def test_the_package_locks_the_service_to_administrators_and_restarts_it_twice_at_most(self):
        # The service's own access list (Wine's service manager enforces none, so it is read
        # back from the package): the system and the administrators control it, users may only
        # ask how it is; none of them may start, stop or send it the pause (CR, RP, WP).
        lock = self.msi_rows('MsiLockPermissionsEx')
        self.assertEqual([('AmbrelService', 'ServiceInstall')], [tuple(row[1:3]) for row in lock])
        self.assertIn('AmbrelService', [row[0] for row in self.msi_rows('ServiceInstall')])
        aces = re.findall(r'\(A;;([A-Z]+);;;([A-Z]{2})\)', lock[0][3])
        self.assertTrue(lock[0][3].startswith('D:P('))
        rights = {sid: {granted[i:i + 2] for i in range(0, len(granted), 2)} for granted, sid in aces}
        self.assertEqual({'SY', 'BA', 'IU', 'AU'}, set(rights))
        self.assertLessEqual({'CR', 'RP', 'WP', 'DC', 'WD', 'WO'}, rights['SY'] & rights['BA'])
        for user in ('IU', 'AU'):
            self.assertEqual({'CC', 'LC', 'SW', 'LO', 'RC'}, rights[user])
        # Restart, restart, then nothing until a day without a failure; at install only (event 1),
        # so a repair leaves an administrator's own settings alone.
        rows = {row[0]: row[1:] for row in self.msi_rows('MsiServiceConfigFailureActions')}
        self.assertEqual(1, len(rows))
        name, event, reset, _, _, actions, delays, component = next(iter(rows.values()))
        self.assertEqual(('Ambrel', '1', '86400', 'ServiceProgram'), (name, event, reset, component))
        self.assertEqual((['1', '1', '0'], ['5000', '5000', '0']),
                         (actions.split('[~]'), delays.split('[~]')))
        # Read by its standard action, after the service is made and before it starts, where
        # Windows Installer knows it (5.0 on); an older one would fail on an unknown action.
        sequence = {row[0]: (row[1], int(row[2])) for row in self.msi_rows('InstallExecuteSequence')}
        condition, at = sequence['MsiConfigureServices']
        self.assertIn('VersionMsi >= "5.00"', condition)
        self.assertLess(sequence['InstallServices'][1], at)
        self.assertLess(at, sequence['StartServices'][1])
        self.assertIn('ServiceProgram', [row[0] for row in self.msi_rows('Component')])
        # Stopped, and waited for, at an install and an uninstall, before files go; removed at
        # the uninstall (stop 0x2 | 0x20, remove 0x80; start 0x1 at install only).
        (control,) = self.msi_rows('ServiceControl')
        self.assertEqual(('Ambrel', 0x1 | 0x2 | 0x20 | 0x80, '1', 'ServiceProgram'),
                         (control[1], int(control[2]), control[4], control[5]))

    def test_silent_install_upgrade_and_uninstall_end_the_throttled_program_in_order(self):
        newer = self.newer_package()
        installed = ['Ambrel.exe', 'LICENSE.txt', 'README.txt', 'Ambrel.lnk', f'"{INSTALLED}"',
                     'Ambrel', *EVENT_SOURCE]
        self.assertEqual(0, msiexec('/i', self.msi))
        self.assertEqual(installed, installed_traces())
        # The newer version replaces this one (one entry left), then goes itself (nothing left).
        for command, left in (('/i', installed), ('/x', [])):
            delete_log()
            with AmbrelRun('installed', store=store_text(schemes=((BALANCED, 100, 70),)),
                           script=f'{counter(90)}\n') as run:
                run.exe = str(unix_path(INSTALLED))
                run.start()
                self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [99], 20))
                self.assertEqual(0, msiexec(command, windows_path(newer)))
                self.assertEqual(0, run.wait(5))
            self.assertEqual((100, {}), (run.ac_value(), ledger()))
            self.assertEqual('program end\n', messages(log_entries())[-1])
            self.assertEqual(left, installed_traces())

    def test_service_feature_installs_starts_and_ends_the_service_in_order(self):
        newer = self.newer_package()
        with ServiceRun('msi-service', store=store_text(schemes=((BALANCED, 100, 70),)),
                        script=f'{counter(90)}\n') as service:
            # Off by default.
            self.assertEqual(0, msiexec('/i', self.msi))
            self.assertNotIn('Service', installed_traces())
            self.assertEqual(1060, service_state())
            self.assertEqual(0, msiexec('/x', self.msi))
            # On: installed, started, and throttling the hot machine with nobody's tray.
            self.assertEqual(0, msiexec('/i', self.msi, 'SERVICE=1'))
            self.assertIn('Service', installed_traces())
            self.assertEqual(4, service_state())
            self.assertTrue(wait_for(lambda: service.values() == [80, 70], 40))
            # The upgrade replaces the older service, which gives the value back at its stop, and
            # starts the newer one; the uninstall stops and removes it: the store as found, no
            # ledger. Windows Installer waits for the older one's stop before files go (the
            # ServiceControl row's Wait, checked above); Wine's msiexec asks for it and goes on,
            # and under load starts the newer one while the older one still runs, so the stop
            # comes first here, as for the uninstall below.
            self.assertEqual(0, service.stop())
            self.assertTrue(wait_for(lambda: not service.pids(), 10))
            self.assertEqual(([100, 70], [99, 80, 100]), (service.values(), service.ac_writes()))
            self.assertEqual(0, msiexec('/i', windows_path(newer), 'SERVICE=1'))
            self.assertEqual(4, service_state())
            self.assertTrue(wait_for(lambda: service.values() == [80, 70], 40))
            self.assertEqual([99, 80, 100, 99, 80], service.ac_writes())
            # A note that the service did not make in this run outlives its stop, not the
            # uninstall. Windows Installer waits for the stop before any file goes (the row's
            # Wait); Wine's msiexec asks for it and goes on, and cannot remove the program of a
            # service still giving its values back, so the stop comes first here.
            set_registry_value(MACHINE_LEDGER_KEY, '00000000-1111-2222-3333-444444444444 AC',
                               ledger_entry(100, 99))
            self.assertEqual(0, service.stop())
            self.assertTrue(wait_for(lambda: not service.pids(), 10))
            self.assertEqual([99, 80, 100, 99, 80, 100], service.ac_writes())
            self.assertEqual(1, len(ledger(MACHINE_LEDGER_KEY)))
            self.assertEqual(0, msiexec('/x', windows_path(newer)))
            self.assertEqual(([100, 70], {}), (service.values(), ledger(MACHINE_LEDGER_KEY)))
            self.assertEqual([99, 80, 100, 99, 80, 100], service.ac_writes())
            self.assertEqual((1060, [], []), (service_state(), service.pids(), installed_traces()))

    def test_start_at_logon_left_out(self):
        self.assertEqual(0, msiexec('/i', self.msi, 'STARTATLOGON=0'))
        self.assertEqual(['Ambrel.exe', 'LICENSE.txt', 'README.txt', 'Ambrel.lnk', 'Ambrel',
                          *EVENT_SOURCE], installed_traces())
        # The program as its build left it (signed, where the build signs it).
        built = pathlib.Path(os.environ['AMBREL_MSI']).parent / 'Ambrel.exe'
        self.assertEqual(built.read_bytes(), unix_path(INSTALLED).read_bytes())
        # With nothing running, the end of the program is asked for all the same.
        self.assertEqual(0, msiexec('/x', self.msi))
        self.assertEqual([], installed_traces())
        # The event source's key goes with its values.
        self.assertEqual('', reg_query(EVENT_SOURCE_KEY))

    def test_policy_threshold_wins_over_the_users_and_locks_its_item(self):
        set_registry_value(SETTINGS_KEY, 'ThrottleAt', ('REG_DWORD', '80'))
        set_registry_value(POLICY_KEY, 'ThrottleAt', ('REG_DWORD', '95'))
        set_registry_value(POLICY_KEY, 'AllowPause', ('REG_DWORD', '0'))
        self.addCleanup(delete_registry_value, POLICY_KEY, 'AllowPause')
        delete_log()
        run = AmbrelRun('policy', script=f'{counter(90)}\n').start()
        try:
            self.assertTrue(run.wait_until_watching())
            # The greyed item sends nothing; a command posted from outside is refused.
            self.assertTrue(choose_in_tray_menu('Throttle at', THROTTLE_AT, '80 °C'))
            subprocess.run(['xdotool', 'key', 'Escape', 'Escape'], check=True)
            poke('command', 40200)
            refused = 'WndProc(): WM_COMMAND: ID_THROTTLE_AT is set by policy\n'
            self.assertTrue(wait_for(lambda: refused in messages(log_entries())))
            # AllowPause 0: the menu's pause and the command line's are refused.
            poke('command', ID_PAUSE)
            forbidden = 'WndProc(): WM_COMMAND: ID_PAUSE is forbidden by policy\n'
            self.assertTrue(wait_for(lambda: forbidden in messages(log_entries())))
            self.assertEqual(3, wine(EXE, '--pause', '30'))
            before = run.collections()
            self.assertTrue(wait_for(lambda: run.collections() >= before + 5, 20))
            self.assertEqual([], run.ac_writes())
            run.append_readings(96)
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [99], 20))
            self.assertEqual(0, close_and_wait(run))
            self.assertEqual(('REG_DWORD', '0x50'), registry_value(SETTINGS_KEY, 'ThrottleAt'))
        finally:
            run.kill()
            delete_registry_value(SETTINGS_KEY, 'ThrottleAt')
        self.assertEqual(1, messages(log_entries()).count(refused))

    def test_bad_policy_values_are_logged_once_and_ignored(self):
        for name, value in (('ThrottleAt', ('REG_DWORD', '100')), ('ThermalZone', ('REG_SZ', '')),
                            ('OnBattery', ('REG_DWORD', '2')), ('Notify', ('REG_SZ', '1'))):
            set_registry_value(POLICY_KEY, name, value)
        delete_log()
        run = AmbrelRun('bad-policy', script=f'{counter(85)}\n').start()
        try:
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [99], 20))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
        logged = messages(log_entries())
        for line in ('ThrottleAt is not 80, 85, 90 or 95', 'ThermalZone is not a zone name or *',
                     'OnBattery is not 0 or 1', 'Notify is not 0 or 1'):
            self.assertEqual(1, logged.count(f'policy: {line}; ignored\n'), line)

    def test_start_for_every_user_shows_ticked_greyed_and_refuses_the_command(self):
        delete_registry_value(RUN_KEY, 'Ambrel')
        delete_log()
        run = AmbrelRun('all-users').start()
        try:
            self.assertTrue(run.wait_until_watching())
            widths = []
            for machine_value in (None, f'"{INSTALLED}"'):
                if machine_value:
                    set_registry_value(MACHINE_RUN_KEY, 'Ambrel', machine_value)
                menu = open_tray_menu()
                self.assertIsNotNone(menu)
                widths.append(menu[1])
                dismiss_menu()
                time.sleep(0.5)
            # "Start with Windows (all users)" widens the menu; its greyed item sends nothing, and
            # a command posted from outside is refused.
            self.assertGreater(widths[1], widths[0])
            self.assertTrue(choose_in_tray_menu('Start with Windows'))
            subprocess.run(['xdotool', 'key', 'Escape'], check=True)
            poke('command', 40300)
            refused = 'WndProc(): WM_COMMAND: ID_START_WITH_WINDOWS is set for all users\n'
            self.assertTrue(wait_for(lambda: refused in messages(log_entries())))
            self.assertEqual(0, close_and_wait(run))
        finally:
            run.kill()
            delete_registry_value(MACHINE_RUN_KEY, 'Ambrel')
        self.assertEqual(1, messages(log_entries()).count(refused))
        self.assertIsNone(registry_value(RUN_KEY, 'Ambrel'))
        # A user's own start left beside the machine's would start it twice: gone at the next start.
        set_registry_value(RUN_KEY, 'Ambrel', f'"{INSTALLED}"')
        set_registry_value(MACHINE_RUN_KEY, 'Ambrel', f'"{INSTALLED}"')
        try:
            watch_and_close(self, AmbrelRun('all-users-again'))
        finally:
            delete_registry_value(MACHINE_RUN_KEY, 'Ambrel')
        self.assertIsNone(registry_value(RUN_KEY, 'Ambrel'))

    def test_template_is_well_formed_and_names_the_values_read(self):
        source = pathlib.Path(os.environ['AMBREL_SOURCE_DIR'])
        policy = source / 'deploy' / 'policy'
        admx = policy / 'Ambrel.admx'
        admls = {path.parent.name: path for path in policy.glob('*/Ambrel.adml')}
        self.assertEqual(0, subprocess.run(['xmllint', '--noout', admx, *admls.values()]).returncode)
        read = set(re.findall(r'const char (?:SETTING|POLICY)_\w+\[\] = "(\w+)";',
                              (source / 'settings' / 'Settings.h').read_text() +
                              (source / 'settings' / 'Policy.h').read_text()))
        key = re.search(r'POLICY_KEY_PATH\[\] = "(.*)";', (source / 'settings' / 'Policy.h').read_text())
        ns = {'p': 'http://schemas.microsoft.com/GroupPolicy/2006/07/PolicyDefinitions'}
        template = ElementTree.parse(admx).getroot()
        policies = template.findall('.//p:policy', ns)
        self.assertEqual({key.group(1).replace('\\\\', '\\')}, {p.get('key') for p in policies})
        named = {e.get('valueName') for p in policies for e in p.iter()}
        self.assertEqual(read, named - {None})
        # The categories and versions that the policies name are the template's own.
        for used, defined in (('parentCategory', 'category'), ('supportedOn', 'definition')):
            self.assertLessEqual({e.get('ref') for e in template.findall(f'.//p:policy/p:{used}', ns)},
                                 {e.get('name') for e in template.findall(f'.//p:{defined}', ns)})
        elements = {e.get('id') for e in template.findall('.//p:elements/*', ns)}
        wanted = set(re.findall(r'\$\((string|presentation)\.(\w+)\)', admx.read_text()))

        def texts(adml):
            root = ElementTree.parse(adml).getroot()
            self.assertLessEqual({e.get('refId') for e in root.findall('.//p:presentation/*', ns)},
                                 elements)
            return {(kind, e.get('id')): ''.join(e.itertext()) for kind in ('string', 'presentation')
                    for e in root.findall(f'.//p:{kind}', ns)}

        # A folder for each language of the program, every one with the texts the template refers
        # to and no other, naming the menu items as the program's menu does in that language.
        tables = string_tables(source / 'res' / 'Strings.rc')
        self.assertEqual({CULTURES[language] for language in tables}, set(admls))
        english = texts(admls['en-US'])
        self.assertEqual(set(), wanted - set(english))
        menu = {text: name for name, text in tables['LANG_ENGLISH'].items() if name.startswith('IDS_MENU')}
        for language, table in tables.items():
            with self.subTest(CULTURES[language]):
                given = texts(admls[CULTURES[language]])
                self.assertEqual(set(english), set(given))
                for text_id, text in english.items():
                    for item in re.findall(r'"([^"]+)"', text) + [line.strip() for line in text.splitlines()]:
                        if item in menu:
                            self.assertIn(table[menu[item]], given[text_id], item)


# The Group Policy template's language folders by the languages of res/Strings.rc.
CULTURES = {'LANG_ENGLISH': 'en-US', 'LANG_GERMAN': 'de-DE', 'LANG_FRENCH': 'fr-FR',
            'LANG_SPANISH': 'es-ES', 'LANG_JAPANESE': 'ja-JP', 'LANG_CHINESE': 'zh-CN'}


def string_tables(path):
    """The string tables of a resource script by language (LANG_GERMAN): {IDS_...: text}."""
    blocks = re.split(r'^LANGUAGE ', path.read_text(encoding='utf-8'), flags=re.M)[1:]
    return {block.split(',')[0]: dict(re.findall(r'^\s+(IDS_\w+) "(.*)"$', block, re.M))
            for block in blocks}

if __name__ == '__main__':
    unittest.main()


def poke_output(*args):
    return subprocess.run(['wine', POKE, *args], capture_output=True, text=True,
                          timeout=60).stdout.strip()


def reading_times():
    """Seconds of the day of each reading in the log."""
    found = re.findall(r'(\d\d):(\d\d):(\d\d\.\d\d\d) \d{4,} temp monitor', read_log_raw())
    return [int(h) * 3600 + int(m) * 60 + float(s) for h, m, s in found]


class Pipe(unittest.TestCase):

    def test_pipe_drops_abusers_and_the_readings_stay_on_time(self):
        delete_log()
        forget_history()
        script = ''.join(f'{counter(50 + i % 7)}\n' for i in range(100))
        with AmbrelRun('pipe-abuse', script=script) as run, ViewRun('pipe-abuse-view') as view:
            self.assertTrue(run.start().wait_until_watching())
            view.start()
            self.assertTrue(wait_for(lambda: ' °C' in view_title(), 20))
            # Clients that come and go, and six processes that open more connections than the
            # controller takes and never read: one of them always finds an instance to connect
            # to at once, those that do not read are dropped within a few seconds, the view
            # goes on reading, and the log takes a line for each kind of event.
            logged = len(log_entries())
            # Beside them, six readers of the kept history that never read: more than it sends
            # to at once, refused or dropped all the same.
            flood = [subprocess.Popen(['wine', POKE, 'pipe', *verb], stdout=subprocess.PIPE,
                                      text=True)
                     for verb in [('cycle', '200')] + [('many', '5', '8')] * 6 +
                     [('kept', 'many', '6', '8')]]
            cycled, *kept, readers = [holder.communicate(timeout=90)[0].split()
                                      for holder in flood]
            self.assertEqual(['kept', '0'], readers)
            ended, shown = time.monotonic(), view_title()
            self.assertTrue(wait_for(lambda: view_title() != shown, 3), shown)
            self.assertLess(time.monotonic() - ended, 2.5)
            self.assertEqual(['cycled', '200'], cycled[:2])
            self.assertLess(int(cycled[3]), 1000, cycled)
            self.assertEqual([['kept', '0']] * 6, kept)
            grown = [m for _, m in log_entries()[logged:] if not m.startswith('temp monitor:')]
            readers = [m for m in grown if m.startswith('HistoryPipe: ')]
            self.assertLessEqual(len(grown) - len(readers), 5, grown)
            self.assertLessEqual(len(readers), 3, readers)
            holders = [subprocess.Popen(['wine', POKE, 'pipe', verb], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
                       for verb in ('half', 'noread')]
            for holder in holders:
                self.assertEqual('connected', holder.stdout.readline().strip())
            for what in ('garbage', 'oversized', 'status'):
                self.assertEqual('dropped', poke_output('pipe', 'send', what), what)
            self.assertEqual('kept 4', poke_output('pipe', 'many', '30'))
            history, day, *rest = poke_output('pipe', 'watch', '4').splitlines()
            self.assertRegex(history, r'^history [1-9]\d*$')
            self.assertRegex(day, r'^day [1-9]\d* 0 0 5[0-6]$')
            # A minute that is complete meanwhile sends the day again.
            statuses = [line for line in rest if not line.startswith('day ')]
            self.assertTrue(statuses)
            for status in statuses:
                self.assertRegex(status, r'^status 5[0-6] 0 0 100 85 0 ?$')
            # Those that never read are dropped once their unsent data has waited 5 s.
            time.sleep(7)
            for holder in holders:
                self.assertEqual('dropped', holder.communicate(timeout=30)[0].strip())
            # The history is still sent whole to the next reader.
            code, rows = export_history(run, run.dir / 'after.csv')
            self.assertEqual(0, code)
            self.assertRegex(rows[-1], r',5[0-6],5[0-6],100,100,0,0$')
            self.assertEqual(0, close_and_wait(run))
        logged = messages(log_entries())
        for why in ('garbage', 'an oversized message', 'a message that a viewer may not send',
                    'it reads too slowly'):
            self.assertTrue(any(m.endswith(f' dropped: {why}\n') for m in logged), why)
        self.assertTrue(any(m.startswith('HistoryPipe: reader ') and
                            m.endswith(' dropped: it reads too slowly\n') for m in logged))
        # Refusals are logged once a minute, the others counted in a line at the minute's end
        # or the controller's: not one is lost.
        refusals = sum(m.endswith(' refused: too many connections of its process\n')
                       for m in logged)
        counted = [int(c) for m in logged for c in re.findall(r' (\d+) refused, ', m)]
        self.assertLessEqual(refusals, 2)
        self.assertGreaterEqual(refusals + sum(counted), 26, counted)
        times = reading_times()
        self.assertGreater(len(times), 7)
        self.assertLess(max(b - a for a, b in zip(times, times[1:])), 2.5)

    def test_the_name_stays_the_controllers_and_extreme_values_reach_a_viewer_whole(self):
        # A zone name from the registry with control characters and a broken sensor's top
        # counter: a viewer gets both as near as a status holds them, and nobody gets the name
        # from clients that come and go.
        delete_log()
        zone = '\\_TZ.\x01B\x7f'
        set_registry_value(SETTINGS_KEY, 'ThermalZone', zone)
        self.addCleanup(delete_registry_value, SETTINGS_KEY, 'ThermalZone')
        with AmbrelRun('pipe-squat', script=f'zone {zone}\n{2**31 - 1}\n') as run:
            self.assertTrue(run.start().wait_until_watching())
            self.assertEqual('nothing', poke_output('pipe', 'squat', '8'))
            history, day, status = poke_output('pipe', 'watch', '3').splitlines()
            self.assertRegex(history, r'^history [1-9]\d*$')
            self.assertRegex(day, r'^day [1-9]\d* [01] \d+ 500$')
            self.assertRegex(status, r'^status 500 [0-2] 0 \d+ 85 0 \\_TZ\.\?B\?$')
            self.assertEqual(0, close_and_wait(run))
        self.assertFalse([m for m in messages(log_entries()) if 'CreateNamedPipe' in m])

    def test_a_refused_view_waits_longer_each_time_and_the_name_is_taken_once_free(self):
        # Another program holds the name as the controller starts, and refuses every connection:
        # the controller says so once, the view tries again after 2, 4, 8 s, never at once, and
        # both find each other once the name is free.
        delete_log()
        refuser = subprocess.Popen(['wine', POKE, 'pipe', 'refuse', '24'],
                                   stdout=subprocess.PIPE, text=True)
        self.assertEqual('serving', refuser.stdout.readline().strip())
        with AmbrelRun('controller-refused', script=f'{counter(70)}\n', events=True) as run, \
                ViewRun('view-refused') as view:
            self.assertTrue(run.start().wait_until_watching())
            view.start()
            refused = refuser.communicate(timeout=60)[0].split()
            self.assertEqual('refused', refused[0])
            times = [float(t) for t in refused[1:]]
            gaps = [b - a for a, b in zip(times, times[1:])]
            self.assertTrue(3 <= len(times) <= 5, times[:20])
            self.assertGreater(gaps[0], 1.8, times[:20])
            for shorter, longer in zip(gaps, gaps[1:]):
                self.assertGreater(longer, 1.8 * shorter, times[:20])
            self.assertTrue(wait_for(lambda: '70 °C' in view_title(), 40))
            self.assertEqual(0, close_and_wait(run))
        failed = [m for m in messages(log_entries()) if 'CreateNamedPipe' in m]
        self.assertEqual(1, len(failed), failed)
        error = failed[0].split('error=')[1].strip()
        self.assertEqual([(10, 'err', [error])], [e for e in run.events() if e[0] == 10])

    def test_a_view_shows_the_day_its_controller_sends_in_english_and_german(self):
        """A server sends a view a day of 24 hours lowered three times: a click on "24 h" in its
        history window shows the day minute by minute under the summary, read back by OCR, and
        is remembered, so that the next window (in German) opens on it."""
        german = {'LANG': 'de_DE.UTF-8', 'LC_ALL': 'de_DE.UTF-8'}
        self.addCleanup(delete_registry_value, SETTINGS_KEY, 'HistoryRange')
        self.addCleanup(delete_registry_value, SETTINGS_KEY, 'Notify')
        set_registry_value(SETTINGS_KEY, 'Notify', ('REG_DWORD', '0'))
        delete_registry_value(SETTINGS_KEY, 'HistoryRange')
        for name, env, language, summary in (
                ('history-day', None, 'eng', 'Today: lowered 3 times, 14 min in all, peak 94'),
                ('history-day-german', german, 'deu',
                 'Heute: 3-mal gesenkt, insgesamt 14 Min., Spitze 94')):
            holders = [subprocess.Popen(['wine', program, *verb], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
                       for program, verb in ((POKE, ['squat']),
                                             (poke_as_ambrel(), ['pipe', 'day', '62']))]
            try:
                self.assertEqual(['held', 'serving'],
                                 [holder.stdout.readline().strip() for holder in holders])
                with ViewRun(name, env=env) as view:
                    view.start()
                    self.assertTrue(wait_for(lambda: '62 °C' in view_title(), 20), view_title())
                    known = visible_window_ids()
                    view_poke('tray', 1024, 600, 700)  # NIN_SELECT
                    window = new_window(known)
                    self.assertIsNotNone(window, 'no history window')
                    if language == 'eng':
                        # On the half hour until "24 h" at the right end of its first row is
                        # clicked.
                        _, width, height, x, y = window
                        click(x + width - 20, y + 10, 1)
                        self.assertTrue(wait_for(
                            lambda: registry_value(SETTINGS_KEY, 'HistoryRange'), 10))
                    self.assertEqual(('REG_DWORD', '0x5a0'),
                                     registry_value(SETTINGS_KEY, 'HistoryRange'))
                    time.sleep(1)
                    save_screenshot(WORK / f'{name}.png', *window[1:])
                    text = ' '.join(ocr(WORK / f'{name}.png', language=language).split())
                    self.assertIn(summary, text)
                    pixels = screen_pixels(*window[1:])
                    counts = bar_colour_counts(pixels)
                    self.assertGreater(counts[1], 3, 'no yellow band')
                    self.assertGreater(counts[2], 3, 'no red band')
                    view_poke('close')
                    self.assertEqual(0, view.wait(20))
            finally:
                for holder in holders:
                    holder.communicate(timeout=30)

    def test_a_flooded_view_shows_the_newest_status(self):
        # Something holds the guard and its server sends statuses, or whole days, as fast as the
        # view reads them: the view's window takes a few a second, and the last status however
        # long the flood.
        for days in ([], ['day']):
            holders = [subprocess.Popen(['wine', program, *verb], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)
                       for program, verb in ((POKE, ['squat']),
                                             (poke_as_ambrel(), ['pipe', 'flood', '6', '77',
                                                                 *days]))]
            try:
                self.assertEqual(['held', 'serving'],
                                 [holder.stdout.readline().strip() for holder in holders])
                with ViewRun(f'view-flooded{"-days" * bool(days)}') as view:
                    view.start()
                    flooded = holders[1].stdout.readline().split()
                    self.assertGreater(int(flooded[1]), 600, flooded)
                    self.assertTrue(wait_for(lambda: '77 °C' in view_title(), 10), days)
                    self.assertTrue(view.alive())
            finally:
                for holder in holders:
                    holder.communicate(timeout=30)

    def test_a_server_that_is_not_ambrel_is_never_shown(self):
        # A program that is not Ambrel holds the guard's name and serves the pipe's with a good
        # status: the view shows that the pipe is not Ambrel's, never its reading.
        holders = [subprocess.Popen(['wine', POKE, *verb], stdin=subprocess.PIPE,
                                    stdout=subprocess.PIPE, text=True)
                   for verb in (['squat'], ['pipe', 'day', '62'])]
        try:
            self.assertEqual(['held', 'serving'],
                             [holder.stdout.readline().strip() for holder in holders])
            with ViewRun('view-impostor') as view:
                view.start()
                self.assertTrue(wait_for(lambda: 'not Ambrel' in view_title(), 20), view_title())
                time.sleep(3)
                self.assertNotIn('62', view_title())
                view_poke('close')
                self.assertEqual(0, view.wait(20))
        finally:
            for holder in holders:
                holder.communicate(timeout=30)

    def test_view_shows_the_controller_never_controls_and_waits_for_its_return(self):
        delete_log()
        self.addCleanup(delete_registry_value, SETTINGS_KEY, 'Notify')
        with AmbrelRun('controller', script=f'{counter(90)}\n') as run, \
                ViewRun('view', script=f'{counter(90)}\n', events=True) as view:
            run.start()
            self.assertTrue(wait_for(lambda: run.ac_writes()[-1:] == [99], 20))
            view.start()
            self.assertTrue(wait_for(lambda: '80 %' in view_title(), 40))
            self.assertEqual(poke_output('title'), view_title())
            # One notice of the episode from each: the view gives its own.
            self.assertEqual(2, sum(m.startswith('WndProc(): throttle notice: ')
                                    for m in messages(log_entries())))
            # The machine's battery choice is not the user's; Notify is.
            view_poke('command', 40320)
            view_poke('command', 40301)
            for line in ('WndProc(): WM_COMMAND: ID_ON_BATTERY is set for this machine\n',
                         'WndProc(): WM_COMMAND: Receive ID_NOTIFY\n'):
                self.assertTrue(wait_for(lambda: line in messages(log_entries())), line)
            self.assertEqual(0, close_and_wait(run))
            self.assertEqual(100, run.ac_value())
            self.assertTrue(wait_for(
                lambda: view_title() == 'Ambrel — Ambrel has ended in the other session', 20))
            with AmbrelRun('controller-again', script=f'{counter(70)}\n') as again:
                again.start()
                self.assertTrue(wait_for(lambda: '70 °C' in view_title(), 20))
                # Exit ends the view alone.
                view_poke('close')
                self.assertEqual(0, view.wait(20))
                self.assertTrue(again.alive())
            # It neither read nor wrote anything of its own, and left the event log to the
            # controller.
            self.assertEqual(([], []), (view.trace(), view.events()))

    def test_status_answers_for_each_state_of_the_controller(self):
        # Nothing controls; then a tray that lowers nothing, one that lowers a value, and one
        # whose sensor fails: each its exit code, first word and JSON keys, and nothing written.
        def ask(run, *args):
            done = subprocess.run(['wine', EXE, '--status', *args], env=run.env,
                                  capture_output=True, timeout=60)
            return done.returncode, done.stdout.decode('utf-8')

        def answer(run):
            code, text = ask(run, '--json')
            self.assertEqual(1, text.count('\n'), (code, text))
            data = json.loads(text)
            self.assertEqual((1, code), (data['version'], data['exitCode']), text)
            return data

        nobody = AmbrelRun('status-nobody')
        self.assertEqual({'version': 1, 'state': 'CRITICAL', 'exitCode': 2,
                          'error': 'no-controller', 'windowsError': 2}, answer(nobody))
        self.assertEqual((2, 'CRITICAL: no Ambrel controls this machine (its status pipe is not '
                             'there)\r\n'), ask(nobody))
        keys = {'version', 'state', 'exitCode', 'temperature', 'reading', 'failingSince', 'zone',
                'mode', 'maxProcessorState', 'lowered', 'onBattery', 'effect',
                'processorPerformance', 'pausedSeconds', 'controller',
                'session',
                'user', 'throttleAt', 'setByPolicy', 'peak30min', 'throttledMinutes30min'}
        failing = f'{counter(60)}\n' + 'collect-fail -2147481643\n' * 60
        for name, script, state, lowered, reading in (
                ('cool', f'{counter(50)}\n', 'OK', False, 'ok'),
                ('hot', f'{counter(90)}\n', 'WARNING', True, 'ok'),
                ('failing', failing, 'CRITICAL', False, 'failed')):
            with self.subTest(name):
                with AmbrelRun(f'status-{name}', script=script) as run:
                    self.assertTrue(run.start().wait_until_watching())
                    self.assertTrue(wait_for(lambda: answer(run)['state'] == state, 40), name)
                    data = answer(run)
                    self.assertEqual(keys, set(data), data)
                    self.assertEqual((lowered, reading, 'tray', '\\_TZ.TZ01', 85, []),
                                     (data['lowered'], data['reading'], data['controller'],
                                      data['zone'], data['throttleAt'], data['setByPolicy']))
                    self.assertEqual(reading == 'failed', data['failingSince'] is not None, data)
                    if name == 'failing':
                        self.assertEqual(60, data['peak30min'])
                    # The cap's effect is checked only while it lowers a value: the fake's processor
                    # idles, so that proves nothing yet; a cool run opens no processor query at all.
                    self.assertEqual('unknown' if lowered else None, data['effect'], data)
                    if name == 'cool':
                        self.assertEqual([], run.processor_counters())
                    code, text = ask(run)
                    lines = text.splitlines()
                    if lowered:
                        self.assertEqual('Whether the cap takes effect is not known yet: the processor '
                                         'has not been busy enough.', lines.pop(1))
                    self.assertEqual((['OK', 'WARNING', 'CRITICAL'].index(state), 4), (code, len(lines)))
                    self.assertTrue(lines[0].startswith(f'{state}: Ambrel — '), lines)
                    self.assertTrue(lines[1].startswith('Controller: Ambrel in the notification area'))
                    self.assertEqual('Throttle at 85 °C; set by policy: nothing', lines[2])
                    if name == 'cool':
                        self.assertEqual('Last 30 minutes: peak 50 °C, throttled for 0 min', lines[3])
                        said = subprocess.run(['wine', EXE, '--diagnose'], env=run.env,
                                              capture_output=True, text=True, timeout=60).stdout
                        self.assertRegex(said, r"status: 50 C, step of the cap: none \(the user's own values\), "
                                               r"last reading: OK, .*, set by policy: nothing, settings: the user's")
                    writes = run.ac_writes()
                    self.assertEqual(0, close_and_wait(run))
                self.assertEqual([99] if lowered else [], writes[:1])

    def test_a_garbled_or_hostile_answer_is_unknown_and_never_a_crash(self):
        run = AmbrelRun('status-hostile')
        for what, line in (('garbage', 'the answer on Ambrel\'s status pipe is garbled'),
                           ('oversized', 'the answer on Ambrel\'s status pipe is garbled'),
                           ('range', 'the answer on Ambrel\'s status pipe is garbled'),
                           ('twohistories', 'the answer on Ambrel\'s status pipe is garbled'),
                           ('close', 'the controller ended the connection without an answer'),
                           ('silent', 'no answer on Ambrel\'s status pipe within 5 s'),
                           # The same garbage from a program that is not Ambrel is never read.
                           ('impostor', 'the status pipe is served by process ')):
            with self.subTest(what):
                program = POKE if what == 'impostor' else poke_as_ambrel()
                answer = 'garbage' if what == 'impostor' else what
                server = subprocess.Popen(['wine', program, 'pipe', 'answer', answer],
                                          stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                          text=True)
                try:
                    self.assertEqual('serving', server.stdout.readline().strip())
                    args = ['--json'] if what == 'range' else []
                    done = subprocess.run(['wine', EXE, '--status', *args], env=run.env,
                                          capture_output=True, text=True, timeout=60)
                finally:
                    server.communicate(timeout=30)
                self.assertEqual(3, done.returncode, done.stdout)
                if args:
                    self.assertEqual({'version': 1, 'state': 'UNKNOWN', 'exitCode': 3,
                                      'error': 'garbled'}, json.loads(done.stdout))
                elif what == 'impostor':
                    self.assertRegex(done.stdout, f'^UNKNOWN: {line}[1-9][0-9]*, a program that '
                                                  'is not Ambrel; its answer is not shown\n$')
                else:
                    self.assertEqual(f'UNKNOWN: {line}\n', done.stdout)
        # A kept history spoiled on its pipe is never exported: --export goes on to the files,
        # and there are none.
        forget_history()
        forget_history(machine=True)
        for spoiled in ('version', 'checksum', 'long'):
            with self.subTest(spoiled):
                server = subprocess.Popen(['wine', poke_as_ambrel(), 'pipe', 'kept', 'answer',
                                           spoiled], stdin=subprocess.PIPE,
                                          stdout=subprocess.PIPE, text=True)
                try:
                    self.assertEqual('serving', server.stdout.readline().strip())
                    self.assertEqual((3, None), export_history(run, run.dir / f'{spoiled}.csv'))
                finally:
                    server.communicate(timeout=30)
        done = subprocess.run(['wine', EXE, '--status', '--jsno'], env=run.env,
                              capture_output=True, text=True, timeout=60)
        self.assertEqual((3, 'UNKNOWN: --jsno is not a switch of --status; use Ambrel.exe '
                             '--status [--json]\n'), (done.returncode, done.stdout))
