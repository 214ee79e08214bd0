"""End-to-end tests of the browser: the real wexa in tmux at 80x24, with a
scripted fake proxy server on 127.0.0.1:30000.

Usage: test_browser.py /path/to/wexa
"""

import os
import shutil
import sys
import tempfile
import unittest

from fakeproxy import FakeProxy, error_reply, page_reply
from tmuxterm import TmuxTerm

WEXA = None
HERE = os.path.dirname(os.path.abspath(__file__))
START_PAGE = os.path.join(HERE, "..", "..", "shell", "startpage", "wexa.html")

LONG_PAGE = "<TITLE>Long page</TITLE>" + "".join(f"Line {i:03d}<BR>\n" for i in range(60))


class BrowserTest(unittest.TestCase):
    """Each test gets a fresh working directory with the start page."""

    start_html = None  # None: the start page that ships with the browser

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="wexa-e2e-")
        os.mkdir(os.path.join(self.dir, "cache"))
        if self.start_html is None:
            shutil.copy(START_PAGE, os.path.join(self.dir, "cache", "0.html"))
        else:
            self.write("cache/0.html", self.start_html)
        self.write_bytes(".proxy.conf", b"127.0.0.1" + b"\0" * 9)
        self.proxy = None
        self.term = None

    def tearDown(self):
        if self.term:
            self.term.close()
        if self.proxy:
            self.proxy.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def write(self, name, text):
        self.write_bytes(name, text.encode("latin-1"))

    def write_bytes(self, name, data):
        with open(os.path.join(self.dir, name), "wb") as f:
            f.write(data)

    def read_bytes(self, name):
        with open(os.path.join(self.dir, name), "rb") as f:
            return f.read()

    def start_proxy(self):
        self.proxy = FakeProxy().start()
        return self.proxy

    def start_browser(self):
        """Starts wexa and passes the splash screen."""
        self.term = TmuxTerm([WEXA], cwd=self.dir)
        self.assertTrue(self.term.wait_for(lambda s: "Wexa" in s[17]), self.dump())
        self.term.send("Enter")
        self.assertTrue(self.term.wait_for(lambda s: "MODE:" in s[23] and "GLOBAL" in s[23]), self.dump())
        return self.term

    def row(self, r):
        return self.term.screen()[r]

    def wait_text(self, text, timeout=10.0):
        ok = self.term.wait_for(lambda s: any(text in line for line in s), timeout)
        self.assertTrue(ok, f"{text!r} not on screen:\n{self.dump()}")

    def dump(self):
        return "\n".join(self.term.screen()) if self.term else ""

    def open_url(self, typed):
        self.term.send("F2")
        self.wait_text("Enter URL")
        self.term.type(typed)
        self.term.send("Enter")


class StartUpAndQuit(BrowserTest):
    def test_splash_then_start_page_with_frame_and_status_line(self):
        proxy = self.start_proxy()
        self.term = TmuxTerm([WEXA], cwd=self.dir)
        self.assertTrue(self.term.wait_for(lambda s: "Wexa" in s[17]), self.dump())
        self.term.send("x")
        self.assertTrue(self.term.wait_for(lambda s: "Wexa start page" in s[1]), self.dump())
        screen = self.term.screen()
        self.assertIn("F1(Help) F2(URL window) F3(Configure Proxy)", screen[23])
        self.assertIn("GLOBAL", screen[23][62:68])
        self.assertIn("Welcome to wexa", "\n".join(screen[4:21]))
        # The start page is read from the cache: no request at all.
        self.assertEqual(proxy.received(), [])

    def test_unbound_key_rings_the_bell(self):
        self.start_browser()
        before = self.term.bells()
        self.term.send("x")
        self.assertTrue(self.term.wait_for(lambda s: self.term.bells() > before, 5))

    def test_quit_needs_confirmation_and_restores_the_terminal(self):
        self.start_browser()
        self.term.send("q")
        self.wait_text("You are about to Shutdown Wexa!")
        self.term.send("Enter")  # CANCEL has the focus at first
        self.assertTrue(self.term.wait_for(lambda s: not any("Shutdown" in l for l in s)), self.dump())
        self.assertTrue(self.term.alive())
        self.term.send("Q")
        self.wait_text("You are about to Shutdown Wexa!")
        self.term.send("Tab", "Enter")
        self.assertEqual(self.term.wait_exit(), 0)
        # Back on the normal screen: the browser's frame is gone.
        self.assertFalse(any("MODE:" in line for line in self.term.screen()), self.dump())


class TerminalChecks(BrowserTest):
    def test_small_terminal_is_refused_with_a_message(self):
        self.term = TmuxTerm([WEXA], cwd=self.dir, width=70, height=20)
        self.assertEqual(self.term.wait_exit(), 1)
        self.assertTrue(any("needs at least 80x24" in line for line in self.term.screen()), self.dump())

    def test_unknown_terminal_type_is_refused_with_a_message(self):
        self.term = TmuxTerm([WEXA], cwd=self.dir, env={"TERM": "no-such-terminal"})
        self.assertEqual(self.term.wait_exit(), 1)
        self.assertTrue(any('unknown terminal type "no-such-terminal"' in l for l in self.term.screen()), self.dump())

    def test_shell_escape_gives_a_working_shell_and_comes_back(self):
        self.start_browser()
        self.term.send("S")
        self.assertTrue(self.term.wait_for(lambda s: not any("MODE:" in l for l in s)), self.dump())
        self.term.type("echo shell-$((6*7))")
        self.term.send("Enter")
        self.wait_text("shell-42")
        self.term.type("exit")
        self.term.send("Enter")
        self.assertTrue(self.term.wait_for(lambda s: "Wexa start page" in s[1] and "MODE:" in s[23]), self.dump())
        self.wait_text("Welcome to wexa")


class Scrolling(BrowserTest):
    start_html = LONG_PAGE

    def test_scroll_keys_and_marks(self):
        self.start_browser()
        self.assertIn("Line 000", self.row(4))
        self.assertEqual(self.row(23)[72], " ")  # nothing above
        self.term.send("Down")
        self.assertTrue(self.term.wait_for(lambda s: "Line 001" in s[4]), self.dump())
        self.term.send("End")
        self.assertTrue(self.term.wait_for(lambda s: "Line 059" in "".join(s[4:21])), self.dump())
        self.assertNotEqual(self.row(23)[72], " ")  # the up mark
        self.term.send("Home")
        self.assertTrue(self.term.wait_for(lambda s: "Line 000" in s[4]), self.dump())
        self.term.send("NPage")
        self.assertTrue(self.term.wait_for(lambda s: "Line 017" in s[4]), self.dump())
        self.term.send("PPage")
        self.assertTrue(self.term.wait_for(lambda s: "Line 000" in s[4]), self.dump())


class HelpScreen(BrowserTest):
    def test_help_opens_scrolls_and_closes_with_escape(self):
        self.start_browser()
        self.term.send("F1")
        self.wait_text("Wexa Help Window")
        self.wait_text("F1       : Wexa Help-Window.")
        self.term.send("Enter")  # only ESC closes it
        self.wait_text("Wexa Help Window")
        for _ in range(20):
            self.term.send("Down")
        self.wait_text("Wexa Version 1.1")
        self.term.send("Escape")
        self.assertTrue(self.term.wait_for(lambda s: not any("Help Window" in l for l in s)), self.dump())
        self.wait_text("Welcome to wexa")


class Fetching(BrowserTest):
    def test_url_window_get_and_refresh(self):
        proxy = self.start_proxy()
        proxy.on("GET", "http://127.0.0.1/a.html", page_reply("<TITLE>Page A</TITLE>\nFirst line \nsecond line"))
        proxy.on("REFRESH", "http://127.0.0.1/a.html", page_reply("<TITLE>Page A again</TITLE>\nNew"))
        self.start_browser()
        self.open_url("127.0.0.1/a.html")
        self.assertTrue(self.term.wait_for(lambda s: "Page A" in s[1]), self.dump())
        self.assertEqual(proxy.received()[0], b"GET\nhttp://127.0.0.1/a.html\n")
        self.wait_text("First line second line")
        # The first page fetched is cached under the highest free digit.
        self.assertEqual(self.read_bytes("cache/9.html"), b"<TITLE>Page A</TITLE>First line second line")
        self.term.send("r")
        self.assertTrue(self.term.wait_for(lambda s: "Page A again" in s[1]), self.dump())
        self.assertEqual(proxy.received()[1], b"REFRESH\nhttp://127.0.0.1/a.html\n")

    def test_bare_host_gets_a_slash(self):
        proxy = self.start_proxy()
        proxy.on("GET", "http://example.test/", page_reply("<TITLE>Home</TITLE>Hi"))
        self.start_browser()
        self.open_url("example.test")
        self.assertTrue(self.term.wait_for(lambda s: "Home" in s[1]), self.dump())
        self.assertEqual(proxy.received()[0], b"GET\nhttp://example.test/\n")

    def test_empty_url_window_changes_nothing(self):
        proxy = self.start_proxy()
        self.start_browser()
        self.open_url("   ")
        self.assertTrue(self.term.wait_for(lambda s: not any("Enter URL" in l for l in s)), self.dump())
        self.assertIn("Wexa start page", self.row(1))
        self.assertEqual(proxy.received(), [])

    def test_non_cacheable_page_stays_out_of_the_history(self):
        proxy = self.start_proxy()
        proxy.on("GET", "http://h/form", page_reply("<TITLE>Reply</TITLE>Thanks", cacheable=False))
        self.start_browser()
        self.open_url("h/form")
        self.assertTrue(self.term.wait_for(lambda s: "Reply" in s[1]), self.dump())
        self.assertEqual(self.read_bytes("cache/t.html"), b"<TITLE>Reply</TITLE>Thanks")
        self.assertFalse(os.path.exists(os.path.join(self.dir, "cache", "9.html")))
        # Back has nowhere to go: the start page is still the current entry.
        self.term.send("Left")
        self.term.send("x")  # something to wait for: the bell
        self.assertIn("Reply", self.row(1))

    def test_error_reply_is_shown_and_the_page_stays(self):
        proxy = self.start_proxy()
        proxy.on("GET", "http://h/missing", error_reply("HTTP 404 Not Found"))
        self.start_browser()
        self.open_url("h/missing")
        self.wait_text("HTTP 404 Not Found")
        self.wait_text("ERROR")
        self.term.send("Enter")
        self.assertTrue(self.term.wait_for(lambda s: not any("404" in l for l in s)), self.dump())
        self.assertIn("Wexa start page", self.row(1))
        self.wait_text("Welcome to wexa")

    def test_long_error_text_is_cut_to_fit_the_window(self):
        proxy = self.start_proxy()
        text = "A" * 30 + "B" * 40
        proxy.on("GET", "http://h/long", error_reply(text))
        self.start_browser()
        self.open_url("h/long")
        self.wait_text("A" * 30 + "B" * 28)
        row = next(l for l in self.term.screen() if "AAAA" in l)
        # Inside the window's border: window columns 1 to 58 are screen 10 to 67.
        self.assertEqual(row.index("A"), 10)
        self.assertNotIn("B" * 29, row)

    def test_connection_refused(self):
        self.start_browser()  # no proxy listening
        self.open_url("h/page")
        self.wait_text("CONNECTION FAILED WITH WexaPServer!")
        self.term.send("Enter")
        self.assertTrue(self.term.wait_for(lambda s: not any("CONNECTION" in l for l in s)), self.dump())
        self.assertIn("Wexa start page", self.row(1))


class History(BrowserTest):
    def test_back_and_forward_come_from_the_cache(self):
        proxy = self.start_proxy()
        proxy.on("GET", "http://h/one", page_reply("<TITLE>One</TITLE>first"))
        proxy.on("GET", "http://h/two", page_reply("<TITLE>Two</TITLE>second"))
        self.start_browser()
        self.open_url("h/one")
        self.assertTrue(self.term.wait_for(lambda s: "One" in s[1]), self.dump())
        self.open_url("h/two")
        self.assertTrue(self.term.wait_for(lambda s: "Two" in s[1]), self.dump())
        self.assertEqual(self.read_bytes("cache/8.html"), b"<TITLE>Two</TITLE>second")
        self.term.send("Left")
        self.assertTrue(self.term.wait_for(lambda s: "One" in s[1]), self.dump())
        self.term.send("Left")
        self.assertTrue(self.term.wait_for(lambda s: "Wexa start page" in s[1]), self.dump())
        self.term.send("Right")
        self.assertTrue(self.term.wait_for(lambda s: "One" in s[1]), self.dump())
        self.assertEqual(len(proxy.received()), 2)  # no traffic for back and forward


class ProxyAddressDialog(BrowserTest):
    def test_address_answering_alive_is_kept_in_the_file(self):
        self.write_bytes(".proxy.conf", b"")
        proxy = self.start_proxy()
        self.start_browser()
        self.term.send("F3")
        self.wait_text("Enter new IP Address")
        self.term.type("127.0.0.1")
        self.term.send("Enter")
        self.wait_text("Proxy Server address configured successfully")
        self.assertEqual(proxy.received()[0], b"PING\n")
        self.term.send("Enter")
        self.term.send("Enter")
        self.assertTrue(self.term.wait_for(lambda s: not any("successfully" in l for l in s)), self.dump())
        conf = self.read_bytes(".proxy.conf")
        self.assertEqual(len(conf), 18)
        self.assertTrue(conf.startswith(b"127.0.0.1\0"))

    def test_address_without_server_is_refused(self):
        self.start_browser()
        self.term.send("F3")
        self.wait_text("Enter new IP Address")
        self.term.type("127.0.0.1")
        self.term.send("Enter")
        self.wait_text("Proxy Server address configuration failed!")
        self.assertEqual(self.read_bytes(".proxy.conf"), b"127.0.0.1" + b"\0" * 9)


if __name__ == "__main__":
    WEXA = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
