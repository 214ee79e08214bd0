"""End to end through the real proxy server: the real wexa in tmux at 80x24,
the real wexapserver on 127.0.0.1:30000, and the demo site on a free
loopback port as the web server.

Usage: test_proxy_e2e.py /path/to/wexa /path/to/wexapserver
"""

import os
import shutil
import socket
import subprocess
import sys
import time
import unittest

from tmuxterm import open_start_page, poll

WEXA = WEXAPSERVER = None
HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.join(HERE, "..", "..")
START_PAGE = os.path.join(TOP, "shell", "startpage", "wexa.html")
DEMO = os.path.join(TOP, "demo", "demosite.py")


def answers_ping(port=30000):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1) as s:
            s.settimeout(2)
            s.sendall(b"PING\n")
            return s.recv(64).startswith(b"ALIVE")
    except OSError:
        return False


class ThroughTheProxy(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.demo = subprocess.Popen([sys.executable, DEMO, "0"], stdout=subprocess.PIPE, text=True)
        line = cls.demo.stdout.readline()  # names the address it listens on
        cls.demo_port = int(line.strip().rsplit(":", 1)[-1].split("/")[0])
        cls.proxy = subprocess.Popen([WEXAPSERVER, "--port", "30000"], stderr=subprocess.DEVNULL)
        if not poll(answers_ping, 10):
            cls.tearDownClass()
            raise RuntimeError("wexapserver did not start on 127.0.0.1:30000")

    @classmethod
    def tearDownClass(cls):
        for p in (cls.proxy, cls.demo):
            p.terminate()
            p.wait(timeout=10)

    def setUp(self):
        self.dir, self.term = open_start_page(self, WEXA, START_PAGE, "wexa-proxy-e2e-")

    def tearDown(self):
        self.term.close()
        shutil.rmtree(self.dir, ignore_errors=True)

    def dump(self):
        return "\n".join(self.term.screen())

    def wait_title(self, title, timeout=15.0):
        self.assertTrue(self.term.wait_for(lambda s: title in s[1], timeout), self.dump())

    def page_text(self):
        return "\n".join(self.term.screen()[4:21])

    def open_demo(self, path):
        self.term.send("F2")
        self.assertTrue(self.term.wait_for(lambda s: any("Enter URL" in l for l in s)), self.dump())
        self.term.type(f"127.0.0.1:{self.demo_port}/{path}")
        self.term.send("Enter")

    def tab_until(self, help_text, limit=20):
        """Tab in Local mode until the help line shows help_text."""
        for _ in range(limit):
            if help_text in self.term.screen()[23]:
                return
            self.term.send("Tab")
            self.term.wait_for(lambda s: help_text in s[23], 0.5)
        self.assertIn(help_text, self.term.screen()[23], self.dump())

    def test_open_a_page_follow_a_link_and_come_back(self):
        self.open_demo("index.html")
        self.wait_title("Wexa demo site")
        self.assertIn("The wexa demo site", self.page_text())
        self.term.send("Escape")  # Local mode: the first link has the focus
        self.assertTrue(self.term.wait_for(lambda s: "FOLLOW LINK" in s[23]), self.dump())
        self.term.send("Enter")
        self.wait_title("The keeper of Skerry Light")
        self.term.send("Left")
        self.wait_title("Wexa demo site")

    def test_submit_the_demo_form_and_read_what_the_server_received(self):
        self.open_demo("form.html")
        self.wait_title("The order form")
        self.term.send("Escape")  # the name field is first: its edit loop runs
        self.assertTrue(self.term.wait_for(lambda s: "INS-MODE" in s[23]), self.dump())
        self.term.type("X")        # after the value Ada
        self.term.send("Tab")      # into the password field
        self.assertTrue(self.term.wait_for(lambda s: "TEXT-<Alphanumeric>" in s[23]), self.dump())
        self.term.type("pw1")
        self.term.send("Tab")      # onto the drop-down list
        self.assertTrue(self.term.wait_for(lambda s: "UP/DOWN" in s[23]), self.dump())
        self.tab_until("CHECK/UNCHECK")  # the newsletter box: untick it
        self.term.send("Enter")
        self.tab_until("SUBMIT-<Enter>")
        self.term.send("Enter")
        self.wait_title("What the server received")
        text = self.page_text()
        self.term.send("End")  # the last fields are below the first screen
        self.assertTrue(self.term.wait_for(lambda s: "[name]" in "".join(s[4:21])), self.dump())
        text += self.page_text()
        self.assertIn("Method: POST", text)
        self.assertIn("[name] = [AdaX]", text)
        self.assertIn("[secret] = [pw1]", text)
        self.assertIn("[colour] = [green]", text)
        self.assertIn("[size] = [medium]", text)
        self.assertNotIn("[newsletter] = [yes]", text)

    def test_read_a_news_article_in_reader_view_follow_a_link_and_come_back(self):
        self.open_demo("news.html")
        self.wait_title("Council votes to keep Skerry Light burning")
        # The full page: the link to the reader view first, then the site's
        # menus; the article starts screens further down.
        self.assertEqual(self.term.screen()[4].strip("x ").strip(), "Reader view")
        self.assertNotIn("The harbour council voted", self.page_text())
        self.term.send("Escape")  # Local mode: the first link has the focus
        self.assertTrue(self.term.wait_for(lambda s: "FOLLOW LINK" in s[23]), self.dump())
        self.term.send("Enter")
        self.assertTrue(self.term.wait_for(lambda s: "Full page" in s[4], 15), self.dump())
        # The article on the first screen: its title, byline, date and text.
        text = self.page_text()
        for shown in ("Council votes to keep Skerry Light burning", "Ann Ross",
                      "The harbour council voted on Tuesday night to keep Skerry Light working"):
            self.assertIn(shown, text)
        for left in ("Skip to content", "Most read", "Share this story"):
            self.assertNotIn(left, text)
        # A link inside the article: "Full page" first, then the story's own.
        self.term.send("Escape")
        self.assertTrue(self.term.wait_for(lambda s: "FOLLOW LINK" in s[23]), self.dump())
        self.term.send("Tab")
        self.term.send("Enter")
        self.wait_title("The keeper of Skerry Light")
        # Back: the reader page again, from the browser's history.
        self.term.send("Left")
        self.wait_title("Council votes to keep Skerry Light burning")
        self.assertTrue(self.term.wait_for(lambda s: "Full page" in s[4]), self.dump())
        self.assertIn("The harbour council voted on Tuesday night", self.page_text())


if __name__ == "__main__":
    WEXA = os.path.abspath(sys.argv.pop(1))
    WEXAPSERVER = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
