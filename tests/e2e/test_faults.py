"""Hostile conditions end to end: the real wexa in tmux at 80x24 against a
misbehaving fake proxy server on 127.0.0.1:30000, in a working directory that
misbehaves, under signals, and in a terminal that is resized while it runs.

After every case the browser is still usable (or has ended the way it should),
the start page file ./cache/0.html holds its bytes unchanged, and no
AddressSanitizer or UndefinedBehaviorSanitizer report was written (in a
sanitizer build the reports go to files in the case's directory).

Usage: test_faults.py /path/to/wexa
"""

import glob
import os
import shutil
import signal
import stat
import subprocess
import sys
import tempfile
import time
import unittest

from fakeproxy import END, FakeProxy, close_after, drip, page_reply, reset_after, silent
from tmuxterm import TmuxTerm

WEXA = None
HERE = os.path.dirname(os.path.abspath(__file__))
START_PAGE = os.path.join(HERE, "..", "..", "shell", "startpage", "wexa.html")

CONNECTION_LOST = "CONNECTION LOST WITH WexaPServer!"
REPLY_TIMED_OUT = "NO COMPLETE REPLY FROM WexaPServer IN TIME!"
CACHE_WRITE_FAILED = "Cannot write the page to ./cache/"

ONE = page_reply("<TITLE>One</TITLE>\nThe first page, served whole.")


class Term(TmuxTerm):
    """The harness's terminal with a way to change its size."""

    def resize(self, width, height):
        self._run(["resize-window", "-t", self.target, "-x", str(width), "-y", str(height)])
        self.width, self.height = width, height


class Session:
    """One browser in a working directory of its own."""

    def __init__(self, test, start_html=None):
        self.test = test
        self.dir = tempfile.mkdtemp(prefix="wexa-faults-")
        os.mkdir(self.path("cache"))
        if start_html is None:
            shutil.copy(START_PAGE, self.path("cache", "0.html"))
        else:
            self.write("cache/0.html", start_html.encode("latin-1"))
        self.start_page = self.read("cache/0.html")
        self.write(".proxy.conf", b"127.0.0.1" + b"\0" * 9)
        self.term = None
        self.check_start_page = True

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def env(self):
        report = self.path("sanitizer-report")
        return {"ASAN_OPTIONS": "detect_leaks=0:abort_on_error=1:log_path=" + report,
                "UBSAN_OPTIONS": "print_stacktrace=1:halt_on_error=1:log_path=" + report}

    def launch(self, argv=None, width=80, height=24):
        """Starts wexa (or argv, which runs it) without passing the splash."""
        self.term = Term(argv or [WEXA], cwd=self.dir, env=self.env(), width=width, height=height)
        return self.term

    def start(self, argv=None):
        """Starts wexa and passes the splash screen to the page."""
        self.launch(argv)
        self.test.assertTrue(self.term.wait_for(lambda s: "Wexa" in s[17]), self.dump())
        self.term.send("Enter")
        self.test.assertTrue(self.term.wait_for(lambda s: "MODE:" in s[23] and "GLOBAL" in s[23]), self.dump())
        return self.term

    def dump(self):
        return "\n".join(self.term.screen()) if self.term else ""

    def title(self):
        return self.term.screen()[1]

    def wait_text(self, text, timeout=10.0):
        ok = self.term.wait_for(lambda s: any(text in line for line in s), timeout)
        self.test.assertTrue(ok, f"{text!r} not on screen:\n{self.dump()}")

    def wait_gone(self, text, timeout=10.0):
        ok = self.term.wait_for(lambda s: not any(text in line for line in s), timeout)
        self.test.assertTrue(ok, f"{text!r} still on screen:\n{self.dump()}")

    def wait_title(self, text, timeout=10.0):
        ok = self.term.wait_for(lambda s: text in s[1], timeout)
        self.test.assertTrue(ok, f"title {text!r} not shown:\n{self.dump()}")

    def open_url(self, typed):
        self.term.send("F2")
        self.wait_text("Enter URL")
        self.term.type(typed)
        self.term.send("Enter")

    def dismiss(self, text):
        """Closes the message window that shows text."""
        self.wait_text(text)
        self.term.send("Enter")
        self.wait_gone(text)

    def quit(self):
        self.term.send("q")
        self.wait_text("You are about to Shutdown Wexa!")
        self.term.send("Tab", "Enter")
        self.test.assertEqual(self.term.wait_exit(), 0, self.dump())

    def reports(self):
        return glob.glob(self.path("sanitizer-report*"))

    def close(self):
        if self.term:
            self.term.close()
        shutil.rmtree(self.dir, ignore_errors=True)


class FaultTest(unittest.TestCase):
    def setUp(self):
        self.sessions = []
        self.proxy = None

    def tearDown(self):
        try:
            for s in self.sessions:
                if s.term:
                    s.term.close()
                for report in s.reports():
                    with open(report, errors="replace") as f:
                        self.fail("sanitizer report %s:\n%s" % (report, f.read()))
                if s.check_start_page and os.path.isdir(s.path("cache")):
                    self.assertEqual(s.read("cache/0.html"), s.start_page, "the start page file changed")
        finally:
            for s in self.sessions:
                s.close()
            if self.proxy:
                self.proxy.stop()

    def session(self, start_html=None):
        s = Session(self, start_html)
        self.sessions.append(s)
        return s

    def start_proxy(self):
        self.proxy = FakeProxy().start()
        self.proxy.on("GET", "http://h/one", ONE)
        return self.proxy


class ProxyMisbehaves(FaultTest):
    """Each case shows page One first, then asks for a page the proxy
    mangles; afterwards the history still holds the start page and One, in
    that order, and both come back from the cache."""

    def visit_one_then(self, url, reply):
        proxy = self.start_proxy()
        proxy.on("GET", "http://" + url, reply)
        s = self.session()
        s.start()
        s.open_url("h/one")
        s.wait_title("One")
        s.wait_text("The first page, served whole.")
        s.open_url(url)
        return s, proxy

    def assert_history_then_quit(self, s, proxy, forward_title=None, timeout=10.0):
        """Back from the current entry leads through One to the start page,
        forward again; no request is made for any of it. timeout: how long
        the forward page may take to be shown again."""
        requests = len(proxy.received())
        if forward_title is not None:
            s.term.send("Left")
            s.wait_title("One")
        s.term.send("Left")
        s.wait_title("Wexa start page")
        s.wait_text("Welcome to wexa")
        s.term.send("Right")
        s.wait_title("One")
        s.wait_text("The first page, served whole.")
        if forward_title is not None:
            s.term.send("Right")
            s.wait_title(forward_title, timeout)
        self.assertEqual(len(proxy.received()), requests, "back and forward asked the proxy")
        s.quit()

    def assert_page_one_still_usable(self, s):
        """The page on screen is still One, and redrawing it (the help
        window over it and away again) shows its text, not an empty view."""
        s.wait_title("One")
        s.term.send("F1")
        s.wait_text("Wexa Help Window")
        s.term.send("Escape")
        s.wait_gone("Wexa Help Window")
        s.wait_text("The first page, served whole.")

    def test_orderly_close_in_mid_line_ends_the_page_there(self):
        s, proxy = self.visit_one_then("h/half", close_after(b"OK\nTRUE\n<TITLE>Half</TITLE>\nthe first half of the li"))
        s.wait_title("Half")
        s.wait_text("the first half of the li")
        self.assertEqual(s.read("cache/8.html"), b"<TITLE>Half</TITLE>the first half of the li")
        self.assert_history_then_quit(s, proxy, forward_title="Half")

    def test_close_before_the_cache_flag_keeps_the_page_shown(self):
        s, proxy = self.visit_one_then("h/status-only", close_after(b"OK\n"))
        self.assertTrue(proxy.wait_requests(2))
        self.assert_page_one_still_usable(s)
        self.assertFalse(os.path.exists(s.path("cache", "8.html")))
        self.assert_history_then_quit(s, proxy)

    def test_reset_connection_is_reported_and_nothing_is_kept(self):
        s, proxy = self.visit_one_then(
            "h/reset", reset_after(b"OK\nTRUE\n<TITLE>Reset</TITLE>\nonly part of a page\n"))
        s.dismiss(CONNECTION_LOST)
        self.assert_page_one_still_usable(s)
        self.assertFalse(os.path.exists(s.path("cache", "8.html")))
        self.assert_history_then_quit(s, proxy)

    def test_replies_without_a_page_leave_everything_as_it_was(self):
        proxy = self.start_proxy()
        proxy.on("GET", "http://h/no-status", b"just some\nlines of text\n" + END)
        proxy.on("GET", "http://h/bare-error", b"ERROR\n" + END)
        proxy.on("GET", "http://h/no-flag", b"OK\n<TITLE>Flagless</TITLE>\n" + END)
        s = self.session()
        s.start()
        s.open_url("h/one")
        s.wait_title("One")
        for count, url in enumerate(["h/no-status", "h/bare-error", "h/no-flag"], start=2):
            s.open_url(url)
            self.assertTrue(proxy.wait_requests(count))
            self.assert_page_one_still_usable(s)
            self.assertFalse(any("ERROR" in line for line in s.term.screen()), s.dump())
        self.assert_history_then_quit(s, proxy)

    def test_fifty_megabyte_page_is_shown_and_kept(self):
        line = b"Line %07d of a very big page, with words to fill it up<BR>\n"
        count = 50 * 1024 * 1024 // len(line % 0)
        body = b"".join(line % i for i in range(count))
        s, proxy = self.visit_one_then("h/big", b"OK\nTRUE\n<TITLE>Big</TITLE>\n" + body + END)
        s.wait_title("Big", timeout=60)
        s.wait_text("Line 0000000 of a very big page")
        self.assertEqual(os.path.getsize(s.path("cache", "8.html")), len(b"<TITLE>Big</TITLE>") + len(body) - count)
        s.term.send("End")
        # Every row is reached, far beyond what one curses pad can hold: End
        # shows the page's last line.
        last = b"Line %07d" % (count - 1)
        self.assertTrue(s.term.wait_for(lambda l: any(last.decode() in r for r in l[4:21]), 30), s.dump())
        self.assert_history_then_quit(s, proxy, forward_title="Big", timeout=60)

    def test_megabyte_line_without_a_newline_wraps_on_the_page(self):
        s, proxy = self.visit_one_then("h/wide", close_after(b"OK\nTRUE\n<TITLE>Wide</TITLE>" + b"x" * (1 << 20)))
        s.wait_title("Wide", timeout=30)
        self.assertTrue(s.term.wait_for(lambda l: all(r[1:79] == "x" * 78 for r in l[4:21])), s.dump())
        self.assertEqual(s.read("cache/8.html"), b"<TITLE>Wide</TITLE>" + b"x" * (1 << 20))
        s.term.send("End")
        self.assertTrue(s.term.wait_for(lambda l: l[23][70] == " " and l[23][72] != " "), s.dump())
        self.assert_history_then_quit(s, proxy, forward_title="Wide")

    def test_nul_and_control_bytes_never_reach_the_terminal(self):
        nasty = bytes(range(0, 32)).replace(b"\n", b"") + b"\x7f\x9b\xff"
        page = (b"OK\nTRUE\n<TITLE>Bytes\x1b]2;hijacked\x07" + b"\x85" * 3 + b"</TITLE>\n"
                b"before\x00\x00after \x1b[2J\x1b[31mred " + nasty + b" end\n" + END)
        proxy = self.start_proxy()
        proxy.on("GET", "http://h/bytes", page)
        s = self.session()
        s.start()
        title_before = s.term.query("#{pane_title}")
        s.open_url("h/one")
        s.wait_title("One")
        s.open_url("h/bytes")
        s.wait_title("Bytes")
        screen = s.term.screen()
        # Control bytes are dropped from the title, other bytes shown as '?'.
        self.assertTrue(screen[1][1:].startswith("Bytes]2;hijacked??? "), s.dump())
        # In the text: NUL bytes dropped, control bytes dropped by pass one,
        # bytes above 126 shown as '?', one cell each.
        self.assertIn("beforeafter [2J[31mred ??? end", screen[4], s.dump())
        self.assertEqual(s.term.query("#{pane_title}"), title_before)
        # The frame is whole: rows 2 and 22 are lines, every row has both borders.
        self.assertTrue(all(len(row) == 80 for row in screen), s.dump())
        self.assertIn("F1(Help) F2(URL window) F3(Configure Proxy)", screen[23])
        self.assert_history_then_quit(s, proxy, forward_title="Bytes")

    def test_drip_and_silence_end_at_the_reply_time_out(self):
        """Two browsers at once: one proxy connection drips a byte a second,
        the other never answers. Both give up within the reply time-out
        (30 seconds in all), report it, and keep the page they showed."""
        proxy = self.start_proxy()
        proxy.on("GET", "http://h/drip", drip(b"OK\nTRUE\n<TITLE>Drip</TITLE>\n" + b"d" * 100 + b"\n" + END))
        proxy.on("GET", "http://h/silent", silent)
        browsers = []
        for url in ("h/drip", "h/silent"):
            s = self.session()
            s.start()
            s.open_url("h/one")
            s.wait_title("One")
            browsers.append((s, url))
        started = time.monotonic()
        for s, url in browsers:
            s.open_url(url)
        for s, url in browsers:
            s.wait_text(REPLY_TIMED_OUT, timeout=45)
        elapsed = time.monotonic() - started
        self.assertLess(elapsed, 40)
        self.assertGreater(elapsed, 25)  # neither gave up early
        for s, url in browsers:
            s.term.send("Enter")
            s.wait_gone(REPLY_TIMED_OUT)
            self.assert_page_one_still_usable(s)
            self.assertFalse(os.path.exists(s.path("cache", "8.html")))
            self.assert_history_then_quit(s, proxy)


def mounting_works():
    """Whether this process may mount a small file system in a mount
    namespace of its own (root with the right capabilities)."""
    if shutil.which("unshare") is None:
        return "unshare is not installed"
    probe = tempfile.mkdtemp(prefix="wexa-mount-")
    try:
        done = subprocess.run(["unshare", "-m", "sh", "-c", "mount -t tmpfs -o size=16k probe " + probe],
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=10)
        if done.returncode != 0:
            return "cannot mount in a mount namespace: " + done.stdout.decode(errors="replace").strip()
        return None
    finally:
        os.rmdir(probe)


class WorkingDirectoryMisbehaves(FaultTest):
    def test_missing_cache_directory_is_refused_with_a_message(self):
        for make in ("nothing", "a file"):
            with self.subTest(cache=make):
                s = self.session()
                s.check_start_page = False
                shutil.rmtree(s.path("cache"))
                if make == "a file":
                    s.write("cache", b"not a directory")
                s.launch()
                self.assertEqual(s.term.wait_exit(), 1, s.dump())
                self.assertIn("wexa: there is no directory ./cache/ here", "\n".join(s.term.screen()))

    def test_unreadable_start_page_is_reported_and_browsing_goes_on(self):
        proxy = self.start_proxy()
        s = self.session()
        s.check_start_page = False
        os.remove(s.path("cache", "0.html"))
        os.mkdir(s.path("cache", "0.html"))
        s.launch()
        self.assertTrue(s.term.wait_for(lambda l: "Wexa" in l[17]), s.dump())
        s.term.send("Enter")
        s.dismiss("The start page ./cache/0.html cannot be read")
        s.wait_title("Untitled")
        s.open_url("h/one")
        s.wait_title("One")
        s.term.send("Left")
        s.wait_title("Untitled")
        s.term.send("Right")
        s.wait_title("One")
        self.assertEqual(len(proxy.received()), 1)
        s.quit()
        self.assertTrue(os.path.isdir(s.path("cache", "0.html")))

    def test_stream_file_that_cannot_be_written_is_reported(self):
        for name in ("pass1.tmp", "pass2.tmp"):
            with self.subTest(directory=name):
                proxy = self.start_proxy()
                s = self.session()
                os.mkdir(s.path(name))
                s.launch()
                self.assertTrue(s.term.wait_for(lambda l: "Wexa" in l[17]), s.dump())
                s.term.send("Enter")
                message = "Cannot write %s; no page shown" % name
                s.dismiss(message)
                # The frame stays around an empty page; the browser goes on.
                s.wait_text("F1(Help) F2(URL window) F3(Configure Proxy)")
                s.open_url("h/one")
                s.dismiss(message)
                self.assertEqual(proxy.received(), [b"GET\nhttp://h/one\n"])
                s.quit()
                self.assertTrue(os.path.isdir(s.path(name)))
                proxy.stop()
                self.proxy = None

    def test_proxy_configuration_of_any_shape_falls_back_to_the_default_address(self):
        shapes = {
            "empty": b"",
            "too short, no terminator": b"127.0.0.1",
            "too long, junk after the address": b"127.0.0.1\0" + b"\xff" * 40,
            "not an address": b"no.such.address\0\0\0",
            "a directory": None,
            "a pipe no one writes to": "fifo",
        }
        proxy = self.start_proxy()
        for shape, content in shapes.items():
            with self.subTest(conf=shape):
                s = self.session()
                os.remove(s.path(".proxy.conf"))
                if content is None:
                    os.mkdir(s.path(".proxy.conf"))
                elif content == "fifo":
                    os.mkfifo(s.path(".proxy.conf"))
                else:
                    s.write(".proxy.conf", content)
                s.start()
                requests = len(proxy.received())
                s.open_url("h/one")  # the fake proxy listens on the default address
                s.wait_title("One")
                self.assertEqual(len(proxy.received()), requests + 1)
                s.quit()
                if content is None:
                    self.assertTrue(os.path.isdir(s.path(".proxy.conf")))
                elif content == "fifo":
                    self.assertTrue(stat.S_ISFIFO(os.stat(s.path(".proxy.conf")).st_mode))
                else:
                    self.assertEqual(s.read(".proxy.conf"), content)

    def run_with_cache_mount(self, s, prepare):
        """Starts wexa in a mount namespace of its own where ./cache/ is a
        64 KiB memory file system holding a copy of the start page; prepare
        is shell text run before wexa (filling or write-protecting it). After
        wexa ends, whether the start page kept its bytes is written to
        start-page-check, and the names in the cache to cache-listing."""
        reason = mounting_works()
        if reason:
            self.skipTest(reason)
        s.write("start-page.html", s.start_page)
        script = ("mount -t tmpfs -o size=64k wexa-cache cache || exit 90\n"
                  "cp start-page.html cache/0.html || exit 91\n"
                  + prepare +
                  '"$0"\n'
                  "status=$?\n"
                  "if cmp -s cache/0.html start-page.html; then echo intact; else echo damaged; fi"
                  " > start-page-check\n"
                  "ls cache > cache-listing\n"
                  "exit $status\n")
        return s.start(["unshare", "-m", "--propagation", "private", "/bin/sh", "-c", script, WEXA])

    def test_read_only_cache_keeps_the_pages_it_has(self):
        proxy = self.start_proxy()
        s = self.session()
        self.run_with_cache_mount(s, "mount -o remount,ro cache || exit 92\n")
        s.wait_text("Welcome to wexa")
        s.open_url("h/one")
        s.dismiss(CACHE_WRITE_FAILED)
        s.wait_title("Wexa start page")
        s.wait_text("Welcome to wexa")
        self.assertEqual(len(proxy.received()), 1)
        s.quit()
        self.assertEqual(s.read("start-page-check"), b"intact\n")
        self.assertEqual(s.read("cache-listing").split(), [b"0.html"])

    def test_full_cache_reports_the_page_it_cannot_keep(self):
        proxy = self.start_proxy()
        proxy.on("GET", "http://h/large", page_reply("<TITLE>Large</TITLE>\n" + "words " * 40000))
        s = self.session()
        self.run_with_cache_mount(s, "dd if=/dev/zero of=cache/filler bs=1k 2>/dev/null\n")
        s.open_url("h/large")
        s.dismiss(CACHE_WRITE_FAILED)
        s.wait_title("Wexa start page")
        s.wait_text("Welcome to wexa")
        s.quit()
        self.assertEqual(s.read("start-page-check"), b"intact\n")
        # No page file was made: the history did not take the page.
        self.assertNotIn(b"9.html", s.read("cache-listing").split())


class TerminalRestored(FaultTest):
    """wexa runs under a small shell script that records its exit status
    and, once it has ended, the terminal's modes (stty -a)."""

    def start_wrapped(self, s):
        s.write("run.sh", b'sh -c \'echo $$ > wexa.pid; exec "$0"\' "$1"\n'
                          b'echo $? > wexa.status\n'
                          b'stty -a > stty.txt\n')
        s.start(["/bin/sh", s.path("run.sh"), WEXA])
        with open(s.path("wexa.pid")) as f:
            return int(f.read())

    def assert_terminal_usable(self, s, status):
        self.assertEqual(s.term.wait_exit(), 0, s.dump())  # the wrapper's own status
        self.assertEqual(s.read("wexa.status").strip(), str(status).encode())
        modes = s.read("stty.txt").decode().split()
        for mode in ("echo", "icanon", "icrnl", "opost", "isig"):
            self.assertIn(mode, modes, "stty -a:\n" + " ".join(modes))
        self.assertEqual(s.term.query("#{alternate_on}"), "0", "still on the browser's screen")
        self.assertFalse(any("MODE:" in line for line in s.term.screen()), s.dump())

    def test_quitting_restores_the_terminal(self):
        s = self.session()
        self.start_wrapped(s)
        s.term.send("q")
        s.wait_text("You are about to Shutdown Wexa!")
        s.term.send("Tab", "Enter")
        self.assert_terminal_usable(s, 0)

    def test_terminating_signals_restore_the_terminal(self):
        for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGINT, signal.SIGQUIT, signal.SIGABRT):
            with self.subTest(signal=sig.name):
                s = self.session()
                pid = self.start_wrapped(s)
                os.kill(pid, sig)
                self.assert_terminal_usable(s, 128 + sig.value)


class TerminalResized(FaultTest):
    START = ("<TITLE>Resizing</TITLE>Some text on the page.<BR>"
             "Name: <INPUT TYPE=TEXTBOX NAME=q><BR>" + "".join("Row %02d<BR>" % i for i in range(30)))

    def shrink_and_restore(self, s, width=60, height=20):
        """Makes the terminal too small, checks the notice, types keys that
        must be ignored, then restores 80x24 and checks the screen came back
        exactly as it was."""
        before = s.term.screen()
        s.term.resize(width, height)
        self.assertTrue(s.term.wait_for(lambda l: l[0] == "wexa needs at least 80x24"
                                        and not any(l[1:])), s.dump())
        s.term.send("q", "Escape", "F2")
        time.sleep(0.3)  # the keys reach the browser while the notice shows
        s.term.resize(80, 24)
        self.assertTrue(s.term.wait_for(lambda l: l == before), "after:\n%s\nbefore:\n%s" % (s.dump(), "\n".join(before)))

    def test_small_terminal_shows_a_notice_and_the_screen_comes_back(self):
        s = self.session(self.START)
        s.start()
        s.wait_text("Some text on the page.")
        self.shrink_and_restore(s)
        self.shrink_and_restore(s, width=100, height=10)
        # Still the same browser: keys work.
        s.term.send("Down")
        s.wait_text("Row 15")
        # Over the help window.
        s.term.send("F1")
        s.wait_text("Wexa Help Window")
        self.shrink_and_restore(s)
        s.term.send("Escape")
        s.wait_gone("Wexa Help Window")
        # Over the quit confirmation; the Enter then picks CANCEL.
        s.term.send("q")
        s.wait_text("You are about to Shutdown Wexa!")
        self.shrink_and_restore(s, width=79, height=24)
        s.term.send("Enter")
        s.wait_gone("You are about to Shutdown Wexa!")
        s.quit()

    def test_text_field_keeps_the_keys_across_a_resize(self):
        s = self.session(self.START)
        s.start()
        s.term.send("Escape")  # Local mode: the field, the first element, gets the keys
        s.wait_text("Keys: INS-MODE")
        s.term.type("ab")
        s.wait_text("Name: [ab")
        self.shrink_and_restore(s, width=80, height=23)
        s.term.type("c")
        s.wait_text("Name: [abc")
        s.term.send("Escape")
        s.wait_text("GLOBAL")
        s.quit()

    def test_resize_while_typing_cancels_the_input_window(self):
        proxy = self.start_proxy()
        s = self.session(self.START)
        s.start()
        before = s.term.screen()
        for key, title in (("F2", "Enter URL"), ("F3", "Enter new IP Address")):
            s.term.send(key)
            s.wait_text(title)
            s.term.type("127.0")
            s.wait_text("127.0")
            s.term.resize(70, 24)
            self.assertTrue(s.term.wait_for(lambda l: l[0] == "wexa needs at least 80x24"), s.dump())
            s.term.resize(80, 24)
            # The window is gone, as after an empty input; nothing was asked.
            self.assertTrue(s.term.wait_for(lambda l: l == before), s.dump())
        self.assertEqual(proxy.received(), [])
        s.quit()

    def test_larger_terminal_keeps_the_80x24_screen(self):
        s = self.session(self.START)
        s.start()
        s.wait_text("Some text on the page.")
        before = s.term.screen()
        s.term.resize(100, 30)
        expected = before + [""] * 6
        self.assertTrue(s.term.wait_for(lambda l: l == expected), s.dump())
        s.term.resize(80, 24)
        self.assertTrue(s.term.wait_for(lambda l: l == before), s.dump())
        s.quit()

    def test_started_on_a_larger_terminal_it_draws_80x24(self):
        s = self.session(self.START)
        s.launch(width=100, height=30)
        self.assertTrue(s.term.wait_for(lambda l: "Wexa" in l[17]), s.dump())
        s.term.send("Enter")
        s.wait_text("Some text on the page.")
        screen = s.term.screen()
        self.assertIn("MODE:", screen[23])
        # The frame's right edge is column 79, on every row.
        self.assertTrue(all(len(line) == 80 for line in screen[:24]), s.dump())
        self.assertEqual(screen[24:], [""] * 6)
        s.quit()


if __name__ == "__main__":
    WEXA = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
