"""End-to-end test of a page far longer than a curses pad can hold: the real
wexa in tmux at 80x24 against a fake proxy server on 127.0.0.1:30000 that
serves a 10 MB page of about 150,000 rows. End must show the page's last
line, a search must find a word near the end, and a link near the end must
take the focus and be followed (the proxy receives the request for it).

Usage: test_long_page.py /path/to/wexa
"""

import os
import shutil
import sys
import unittest

from fakeproxy import FakeProxy, page_reply
from tmuxterm import TmuxTerm, browser_home

WEXA = None

START = "<TITLE>Start</TITLE>Read <A HREF=http://127.0.0.1/long.html>the long page</A>, now"
LONG_URL = "http://127.0.0.1/long.html"
FAR_URL = "http://127.0.0.1/far.html"
PAGE_BYTES = 10 * 1024 * 1024


def long_page():
    """About 10 MB: numbered lines, then, near the end, a word to search for
    and a link, then the last line."""
    lines = ["<TITLE>Long page</TITLE>"]
    size = 0
    n = 0
    while size < PAGE_BYTES:
        line = f"Line {n:06d} of the long page, with words enough to fill a row.<BR>"
        lines.append(line)
        size += len(line) + 1
        n += 1
    lines.append("Here is the uncommonword to search for.<BR>")
    lines += [f"Filler {k} after the word.<BR>" for k in range(40)]
    lines.append("Go <A HREF=far.html>far away</A>, the link near the end.<BR>")
    lines += [f"Closing {k}.<BR>" for k in range(3)]
    lines.append("The very last line.")
    return "\n".join(lines)


class LongPage(unittest.TestCase):
    def setUp(self):
        self.dir = browser_home(START.encode("latin-1"))
        self.proxy = FakeProxy().start()
        self.term = None

    def tearDown(self):
        if self.term:
            self.term.close()
        self.proxy.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def dump(self):
        return "\n".join(self.term.screen()) if self.term else ""

    def wait_text(self, text, timeout=20.0):
        ok = self.term.wait_for(lambda s: any(text in line for line in s[4:21]), timeout=timeout)
        self.assertTrue(ok, f"{text!r} not in the page view:\n{self.dump()}")

    def link_line(self):
        """The screen line of the link near the end, colours included."""
        lines = [line for line in self.term.screen_with_attrs().split("\n") if "far away" in line]
        self.assertEqual(len(lines), 1, self.dump())
        return lines[0]

    def test_end_search_and_a_link_near_the_end(self):
        html = long_page()
        self.proxy.on("GET", LONG_URL, page_reply(html, cacheable=False))
        self.term = TmuxTerm([WEXA], cwd=self.dir)
        self.assertTrue(self.term.wait_for(lambda s: "Wexa" in s[17]), self.dump())
        self.term.send("Enter")
        self.assertTrue(self.term.wait_for(lambda s: "Start" in s[1] and "GLOBAL" in s[23]), self.dump())

        self.term.send("Escape")
        self.assertTrue(self.term.wait_for(lambda s: "FOLLOW LINK" in s[23]), self.dump())
        self.term.send("Enter")
        self.assertTrue(self.term.wait_for(lambda s: "Long page" in s[1], timeout=30), self.dump())
        self.wait_text("Line 000000 of the long page")
        self.assertTrue(self.term.wait_for(lambda s: "GLOBAL" in s[23]), self.dump())

        # The last screen of the page, far beyond row 32,767.
        self.term.send("End")
        self.wait_text("The very last line.")
        self.assertTrue(self.term.wait_for(lambda s: "100%" in s[23]), self.dump())
        self.term.send("Home")
        self.wait_text("Line 000000 of the long page")

        # From the top, a search finds the word near the end.
        self.term.send("/")
        self.assertTrue(self.term.wait_for(lambda s: any("Search for" in line for line in s)), self.dump())
        self.term.type("uncommonword")
        self.term.send("Enter")
        # The match on the first row shown.
        ok = self.term.wait_for(lambda s: "Here is the uncommonword to search for." in s[4], timeout=20)
        self.assertTrue(ok, self.dump())

        # The link near the end: at the end of the page, Local mode gives the
        # focus to the first element in view, the link.
        self.term.send("End")
        self.wait_text("The very last line.")
        self.term.send("Escape")
        self.assertTrue(self.term.wait_for(lambda s: "FOLLOW LINK" in s[23]), self.dump())
        focused = self.link_line()

        # Searches in Local mode draw the page anew around their matches,
        # first far from the link, then back beside it: the link, in view
        # again, keeps the focus and is drawn focused.
        for text, shown in (("Line 000005 ", "Line 000005 of"), ("Filler 30 ", "Filler 30 after")):
            self.term.send("/")
            self.assertTrue(self.term.wait_for(lambda s: any("Search for" in line for line in s)), self.dump())
            self.term.type(text)
            self.term.send("Enter")
            self.wait_text(shown)
        self.wait_text("far away")
        self.assertEqual(self.link_line(), focused, self.term.screen_with_attrs())
        self.assertTrue(self.term.wait_for(lambda s: "FOLLOW LINK" in s[23]), self.dump())
        # Enter follows it.
        self.term.send("Enter")
        self.assertTrue(self.proxy.wait_requests(2, timeout=20), self.dump())
        self.assertEqual(self.proxy.received()[1], f"GET\n{FAR_URL}\n".encode())


if __name__ == "__main__":
    WEXA = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
