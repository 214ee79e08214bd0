"""Browsing comfort end to end: the real wexa in tmux at 80x24 against a
scripted fake proxy server on 127.0.0.1:30000, in the terminal type given on
the command line (tmux's own tmux-256color, or xterm).

One flow per fault or feature: a failed fetch leaves the page as it was, a
text field sends what it shows, the text cursor is visible, ESC acts at once,
the URL window edits like a line editor, loading shows progress and ESC
cancels it, leaving Local mode restores the status line; Local mode moves
both ways and by page, / searches, = shows where the page and the selected
element lead; a storm of resizes during a large page leaves it drawn.

Usage: test_comfort.py /path/to/wexa TERM
"""

import os
import re
import shutil
import socket
import sys
import time
import unittest

from fakeproxy import FakeProxy, error_reply, page_reply
from tmuxterm import TmuxTerm, browser_home, poll

WEXA = None
TERM = None

GLOBAL_KEYS = " F1(Help) F2(URL window) F3(Configure Proxy)"
RED, CYAN, WHITE = 1, 6, 7  # the focus colours: red on white; links: cyan

SGR = re.compile(r"\x1b\[([0-9;]*)m")


def cells(term):
    """The screen as rows of (character, foreground, background, reverse),
    read from tmux's capture with attributes."""
    rows = []
    # tmux writes only what changes from one cell to the next, across lines.
    fg = bg = None
    reverse = False
    for line in term.screen_with_attrs().split("\n")[:term.height]:
        row = []
        i = 0
        while i < len(line):
            m = SGR.match(line, i)
            if m:
                params = [int(p) if p else 0 for p in m.group(1).split(";")]
                j = 0
                while j < len(params):
                    p = params[j]
                    if p == 0:
                        fg = bg = None
                        reverse = False
                    elif p == 7:
                        reverse = True
                    elif p == 27:
                        reverse = False
                    elif 30 <= p <= 37:
                        fg = p - 30
                    elif p == 39:
                        fg = None
                    elif 40 <= p <= 47:
                        bg = p - 40
                    elif p == 49:
                        bg = None
                    elif p in (38, 48) and j + 2 < len(params) and params[j + 1] == 5:
                        if p == 38:
                            fg = params[j + 2]
                        else:
                            bg = params[j + 2]
                        j += 2
                    j += 1
                i = m.end()
                continue
            if line[i] == "\x1b":  # another escape sequence: not a cell
                i += 2
                continue
            if line[i] in "\x0e\x0f":  # shifts to and from line drawing
                i += 1
                continue
            row.append((line[i], fg, bg, reverse))
            i += 1
        rows.append(row)
    return rows + [[]] * (term.height - len(rows))


def runs(term, wanted, rows=range(4, 21)):
    """The texts of the page view drawn with the attributes wanted(fg, bg,
    reverse) accepts, one per run of such cells."""
    found = []
    screen = cells(term)
    for r in rows:
        text = ""
        for ch, fg, bg, rev in screen[r] + [(" ", None, None, False)]:
            if wanted(fg, bg, rev):
                text += ch
            elif text:
                found.append(text)
                text = ""
    return found


def focused(term):
    """The text of the focused element (drawn red on white), or None."""
    found = runs(term, lambda fg, bg, rev: fg == RED and bg == WHITE)
    return found[0] if len(found) == 1 else (found or None)


def links(term):
    """Texts drawn as links without the focus (cyan)."""
    return runs(term, lambda fg, bg, rev: fg == CYAN)


def marked(term):
    """Texts drawn in reverse video in the page view (search matches)."""
    return runs(term, lambda fg, bg, rev: rev)


def trickle(head, chunks, pause):
    """A reply behaviour: head at once, then each chunk after a pause, as
    long as the browser keeps the connection open."""
    def behaviour(conn, proxy):
        conn.sendall(head)
        for chunk in chunks:
            if not proxy.running or (pause > 0 and _peer_closed(conn, pause)):
                return
            conn.sendall(chunk)
        _peer_closed(conn, 5)
    return behaviour


def hold(conn, proxy):
    """Sends the start of a reply, then nothing, until the browser closes
    the connection (or the proxy stops); records when it was closed."""
    conn.sendall(b"OK\nTRUE\n<TITLE>Never</TITLE>\n")
    while proxy.running:
        if _peer_closed(conn, 0.2):
            proxy.closed_by_browser = True
            return


def _peer_closed(conn, timeout):
    conn.settimeout(timeout)
    try:
        return conn.recv(4096) == b""
    except socket.timeout:
        return False
    except OSError:
        return True


class Term(TmuxTerm):
    def resize(self, width, height):
        self._run(["resize-window", "-t", self.target, "-x", str(width), "-y", str(height)])
        self.width, self.height = width, height


class ComfortTest(unittest.TestCase):
    start_html = "<TITLE>Start</TITLE>Nothing here."

    def setUp(self):
        self.dir = browser_home(self.start_html.encode("latin-1"), prefix="wexa-comfort-")
        self.proxy = FakeProxy().start()
        self.proxy.closed_by_browser = False
        self.term = None

    def tearDown(self):
        if self.term:
            self.term.close()
        self.proxy.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def start_browser(self, title="Start", env=None):
        settings = {"TERM": TERM}
        settings.update(env or {})
        self.term = Term([WEXA], cwd=self.dir, env=settings)
        self.assertTrue(self.term.wait_for(lambda s: "Wexa" in s[17]), self.dump())
        self.term.send("Enter")
        self.wait_title(title)
        self.wait_status("GLOBAL")

    def dump(self):
        return "\n".join(self.term.screen()) if self.term else ""

    def wait(self, predicate, what, timeout=10.0):
        self.assertTrue(self.term.wait_for(predicate, timeout), f"{what}:\n{self.dump()}")

    def wait_title(self, title, timeout=10.0):
        self.wait(lambda s: title in s[1], f"title {title!r}", timeout)

    def wait_text(self, text, timeout=10.0):
        self.wait(lambda s: any(text in line for line in s), f"{text!r} not on screen", timeout)

    def wait_gone(self, text):
        self.wait(lambda s: not any(text in line for line in s), f"{text!r} still on screen")

    def wait_status(self, text):
        self.wait(lambda s: text in s[23], f"{text!r} not on the status line")

    def wait_focus(self, text):
        ok = poll(lambda: focused(self.term) == text, 10)
        self.assertTrue(ok, f"focus on {focused(self.term)!r}, not {text!r}:\n{self.dump()}")

    def open_url(self, typed):
        self.term.send("F2")
        self.wait_text("Enter URL")
        self.term.type(typed)
        self.term.send("Enter")

    def dismiss(self, text):
        self.wait_text(text)
        self.term.send("Enter")
        self.wait_gone(text)

    def request(self, count):
        self.assertTrue(self.proxy.wait_requests(count), f"{len(self.proxy.received())} requests:\n{self.dump()}")
        return self.proxy.received()[count - 1]


def filler(first, count):
    return "".join(f"Filler line {i:02d}<BR>" for i in range(first, first + count))


class FailedFetch(ComfortTest):
    LINKS = ("<TITLE>Links</TITLE>" + filler(0, 25) + "<A HREF=sub/missing.html>missing</A><BR>"
             "<A HREF=nohost.html>unreachable</A><BR><A HREF=good.html>good</A><BR>" + filler(25, 20))

    def test_a_failed_link_leaves_page_scroll_focus_status_line_and_url_as_they_were(self):
        self.proxy.on("GET", "http://h/dir/links.html", page_reply(self.LINKS))
        self.proxy.on("GET", "http://h/dir/sub/missing.html", error_reply("HTTP 404 Not Found"))
        self.proxy.on("GET", "http://h/dir/nohost.html", error_reply("Could not resolve host: nohost.test"))
        self.proxy.on("GET", "http://h/dir/good.html", page_reply("<TITLE>Good</TITLE>Arrived."))
        self.start_browser()
        self.open_url("h/dir/links.html")
        self.wait_title("Links")
        self.term.send("NPage")
        self.wait(lambda s: "Filler line 17" in s[4], "scrolled a page")
        self.term.send("Escape")
        self.wait_status("FOLLOW LINK")
        self.wait_focus("missing")
        for link, error, next_link in (("missing", "HTTP 404 Not Found", "unreachable"),
                                       ("unreachable", "Could not resolve host: nohost.test", "good")):
            before = self.term.screen()
            self.term.send("Enter")
            self.dismiss(error)
            # The page, its scroll position, the focused link, the status
            # line and Local mode: all as they were.
            self.wait(lambda s: s == before, "the screen before the failed link")
            self.assertEqual(focused(self.term), link)
            self.term.send("Tab")
            self.wait_focus(next_link)
        # The next link is resolved against the page shown, not against the
        # address that failed.
        self.term.send("Enter")
        self.wait_title("Good")
        self.assertEqual(self.request(4), b"GET\nhttp://h/dir/good.html\n")
        self.term.send("Left")
        self.wait_title("Links")
        self.assertEqual(len(self.proxy.received()), 4)


class TextFieldValues(ComfortTest):
    # As the proxy server writes a text area and a text box with defaults
    # of several words: blanks as "_".
    start_html = ("<TITLE>Order</TITLE><FORM ACTION=~~Fab METHOD=POST>Notes: "
                  "<INPUT TYPE=TEXTBOX NAME=f0 VALUE=Leave_at_the_door><BR>Name: "
                  "<INPUT TYPE=TEXTBOX NAME=f1 VALUE=Ada_L><BR><INPUT TYPE=SUBMIT VALUE=Send></FORM>")

    def test_the_value_sent_is_what_the_field_shows_and_an_untouched_one_goes_as_offered(self):
        self.proxy.on("FORM-POST", "http://~~Fab", page_reply("<TITLE>Sent</TITLE>Thanks", cacheable=False))
        self.start_browser("Order")
        self.wait_text("Notes: [Leave at the door ]")
        self.wait_text("Name: [Ada L             ]")
        self.term.send("Escape")  # the notes field takes the keys, the cursor after the text
        self.wait_status("INS-MODE")
        self.term.type(" please, ring twice")
        self.term.send("Tab")  # on into the name field, left as it is
        self.wait(lambda s: "INS-MODE" in s[23] and s[5][1:].startswith("Name: [Ada L"), "in the name field")
        self.term.send("Tab")
        self.wait_status("SUBMIT-<Enter>")
        # The notes field shows the end of the text, where the user typed.
        self.wait_text("Notes: <please, ring twice]")
        self.term.send("Enter")
        self.assertEqual(self.request(1),
                         b"FORM-POST\nhttp://~~Fab\n2\nf1\nAda_L\n"
                         b"f0\nLeave at the door please, ring twice\n\n~~~\n")
        self.wait_title("Sent")


class TextCursor(ComfortTest):
    start_html = "<TITLE>Start</TITLE><FORM ACTION=h/f>Name: <INPUT TYPE=TEXTBOX NAME=q VALUE=ab></FORM>"

    def test_the_cursor_shows_where_text_goes_in_a_field_and_in_the_url_window(self):
        self.start_browser()
        self.assertEqual(self.term.query("#{cursor_flag}"), "0")
        self.term.send("Escape")
        self.wait_status("INS-MODE")
        # The field's text starts at column 8 of screen row 4; the cursor
        # stands after "ab".
        self.assertTrue(poll(lambda: self.term.query("#{cursor_flag} #{cursor_x},#{cursor_y}") == "1 10,4", 5),
                        self.term.query("#{cursor_flag} #{cursor_x},#{cursor_y}"))
        self.term.send("Escape")
        self.wait_status("GLOBAL")
        self.assertTrue(poll(lambda: self.term.query("#{cursor_flag}") == "0", 5))
        self.term.send("F2")
        self.wait_text("Enter URL")
        self.term.type("h/x")
        # The input line is row 14; "http://" takes columns 3 to 9.
        self.assertTrue(poll(lambda: self.term.query("#{cursor_flag} #{cursor_x},#{cursor_y}") == "1 13,14", 5),
                        self.term.query("#{cursor_flag} #{cursor_x},#{cursor_y}"))


class EscapeDelay(ComfortTest):
    start_html = "<TITLE>Start</TITLE><A HREF=a.html>a link</A>" + filler(0, 30)

    def escape_then_rest_of_an_arrow_key(self, env):
        """ESC, a pause well above a short escape delay and well below a
        second, then the rest of the cursor-up sequence: a short delay has
        read ESC alone by then (Local mode), a long one reads cursor up."""
        self.start_browser(env=env)
        self.term.send("Escape")
        time.sleep(0.3)
        self.term.type("OA")
        time.sleep(1.5)
        return self.term.screen()[23]

    def test_escape_acts_at_once_unless_the_user_set_a_delay(self):
        status = self.escape_then_rest_of_an_arrow_key({"ESCDELAY": None})
        self.assertIn("LOCAL", status, self.dump())
        self.term.close()
        status = self.escape_then_rest_of_an_arrow_key({"ESCDELAY": "1000"})
        self.assertIn("GLOBAL", status, self.dump())


class UrlWindow(ComfortTest):
    def test_cursor_keys_edit_escape_cancels_and_long_input_scrolls_up_to_the_limit(self):
        self.proxy.on("GET", "http://h/page2.html", page_reply("<TITLE>Two</TITLE>Second page"))
        self.start_browser()
        self.term.send("F2")
        self.wait_text("Enter URL")
        self.term.type("xh/page")
        self.term.send("Home", "DC", "End")
        self.term.type(".html")
        self.term.send("Left", "Left", "Left", "Left", "Left", "BSpace", "Right", "Left")
        self.term.type("e2")
        self.wait_text("http://h/page2.html")
        self.term.send("Enter")
        self.wait_title("Two")
        self.assertEqual(self.request(1), b"GET\nhttp://h/page2.html\n")

        # ESC closes the window: no request, nothing changed.
        before = self.term.screen()
        self.term.send("F2")
        self.wait_text("Enter URL")
        self.term.type("h/other")
        self.term.send("Escape")
        self.wait(lambda s: s == before, "the screen before the URL window")

        # 192 characters after "http://" make the longest URL the history
        # keeps; the input scrolls, and one more character is refused with
        # a message.
        long_url = "h/" + "".join(chr(ord("a") + i % 26) for i in range(190))
        self.proxy.on("GET", "http://" + long_url, page_reply("<TITLE>Long</TITLE>Long address"))
        self.term.send("F2")
        self.wait_text("Enter URL")
        self.term.type(long_url)
        self.wait_text(long_url[-60:])
        self.term.type("Z")
        self.wait_text("at most 192 characters")
        self.assertFalse(any(long_url[-20:] + "Z" in line for line in self.term.screen()), self.dump())
        self.term.send("Enter")
        self.wait_title("Long")
        self.assertEqual(self.request(2), b"GET\nhttp://" + long_url.encode() + b"\n")


class Loading(ComfortTest):
    start_html = "<TITLE>Start</TITLE>The page before." + filler(0, 30)

    def test_loading_is_shown_escape_cancels_and_typed_keys_are_dropped(self):
        lines = b"".join(b"Slow line %03d<BR>\n" % i for i in range(300))
        self.proxy.on("GET", "http://h/slow", trickle(b"OK\nTRUE\n<TITLE>Slow</TITLE>\n",
                                                      [lines[i:i + 600] for i in range(0, len(lines), 600)]
                                                      + [b"~~~~~~\n"], 0.2))
        self.proxy.on("GET", "http://h/hangs", hold)
        self.start_browser()
        before = self.term.screen()

        # A page that takes a few seconds: the status line tells what is
        # fetched; keys typed meanwhile (quit, page down) do nothing.
        self.open_url("h/slow")
        self.wait_status("Loading http://h/slow")
        self.term.send("q", "NPage")
        self.wait_title("Slow", timeout=20)
        self.wait(lambda s: "Slow line 000" in s[4] and GLOBAL_KEYS in s[23], "the top of the new page")
        time.sleep(0.5)
        self.assertFalse(any("Shutdown" in line for line in self.term.screen()), self.dump())
        self.assertIn("Slow line 000", self.term.screen()[4])

        # A server that never finishes: ESC gives up at once, the page on
        # screen stays as it was.
        self.term.send("Left")
        self.wait(lambda s: s == before, "back on the start page")
        self.open_url("h/hangs")
        self.wait_status("Loading http://h/hangs")
        self.term.send("Escape")
        self.wait(lambda s: s == before, "the page before the cancelled fetch")
        self.assertTrue(poll(lambda: self.proxy.closed_by_browser, 5), "the connection stayed open")
        self.term.send("Right")
        self.wait_title("Slow")


class LeavingLocalMode(ComfortTest):
    start_html = ("<TITLE>Start</TITLE>See <A HREF=a.html>a link</A>; pick "
                  "<SELECT NAME=c><OPTION VALUE=1>One<OPTION VALUE=2>Two</SELECT>")

    def test_global_mode_gets_its_status_line_back_and_help_stays_clear_of_the_mode_word(self):
        self.start_browser()
        global_status = self.term.screen()[23]
        self.assertEqual(links(self.term), ["a link"])
        self.term.send("Escape")
        self.wait_status("FOLLOW LINK")
        self.wait_focus("a link")
        self.term.send("Escape")
        self.wait(lambda s: s[23] == global_status, "the Global mode status line")
        # The link drawn as links are, without the focus.
        self.assertTrue(poll(lambda: focused(self.term) is None, 5), self.dump())
        self.assertEqual(links(self.term), ["a link"])
        self.term.send("Escape")
        self.wait_focus("a link")
        self.term.send("Tab")
        self.wait_status("UP/DOWN")
        status = self.term.screen()[23]
        # Everything of the help text, and a blank before the mode word.
        self.assertIn("Keys: UP/DOWN-<Arrow keys>;SELECT-<Enter/Tab>;UNSELECT-<Tab> LOCAL", status)


class Navigation(ComfortTest):
    # Forty links, one per line, a text field among them, and text after.
    start_html = ("<TITLE>Start</TITLE>" + "".join(
        (f"Row {i:02d} <A HREF=l{i}.html>link {i:02d}</A><BR>" if i != 20 else
         "Row 20 <FORM ACTION=h/f><INPUT TYPE=TEXTBOX NAME=t></FORM><BR>") for i in range(40))
        + filler(0, 20))

    def test_up_down_shift_tab_page_keys_first_in_view_and_the_position(self):
        self.start_browser()
        self.assertTrue(self.term.screen()[23][74:78] == " 28%", self.dump())  # rows 0-16 of 60
        self.term.send("Escape")
        self.wait_focus("link 00")
        self.term.send("Down")
        self.wait_focus("link 01")
        self.term.send("Down", "Up", "Up")
        self.wait_focus("link 00")
        self.term.send("BTab")  # backwards from the first: the last link
        self.wait_focus("link 39")
        self.wait(lambda s: s[23][74:78] == " 66%", "the position further down")
        self.term.send("Tab")
        self.wait_focus("link 00")
        # Page Down: the view moves 17 rows, the first link in view is picked.
        self.term.send("NPage")
        self.wait(lambda s: s[4][1:].startswith("Row 17"), "a page down")
        self.wait_focus("link 17")
        self.wait(lambda s: s[23][74:78] == " 56%", "the position a page down")
        self.term.send("Down", "Down")
        self.wait_focus("link 19")
        # Down into the text field: it takes the keys; Down leaves it, Up
        # from the next link comes back into it, Up again goes on backwards.
        self.term.send("Down")
        self.wait_status("INS-MODE")
        self.term.type("hi")
        self.term.send("Down")
        self.wait_focus("link 21")
        self.term.send("Up")
        self.wait_status("INS-MODE")
        self.term.send("Up")
        self.wait_focus("link 19")
        self.wait_text("Row 20 [hi")
        self.term.send("PPage")
        self.wait(lambda s: s[4][1:].startswith("Row 00"), "a page up")
        self.wait_focus("link 00")
        # ESC to Global mode, two pages down, ESC again: the first link in
        # view has the focus, not the first of the page.
        self.term.send("Escape")
        self.wait_status("GLOBAL")
        self.term.send("NPage", "NPage")
        self.wait(lambda s: s[4][1:].startswith("Row 34"), "two pages down")
        self.term.send("Escape")
        self.wait_focus("link 34")

        # The help screen lists the new keys.
        self.term.send("Escape")
        self.wait_status("GLOBAL")
        self.term.send("F1")
        self.wait_text("Wexa Help Window")
        for _ in range(6):
            self.term.send("Down")
        self.wait_text("/        : Search")
        self.wait_text("=        : Show")
        for _ in range(14):
            self.term.send("Down")
        self.wait_text("DOWN or TAB")
        self.wait_text("UP or S-TAB")


class Search(ComfortTest):
    start_html = ("<TITLE>Start</TITLE>" + filler(0, 30) + "A Needle here<BR>" + filler(30, 10)
                  + "and a needle there, NEEDLE<BR>" + filler(40, 10))

    def test_slash_finds_case_insensitively_marks_and_n_goes_on(self):
        self.start_browser()
        self.term.send("/")
        self.wait_text("Search for")
        self.term.type("neeDLE")
        self.term.send("Enter")
        self.wait(lambda s: any("A Needle here" in line for line in s[4:21]), "the first match in view")
        self.assertTrue(poll(lambda: marked(self.term) == ["Needle"], 5), marked(self.term))
        self.term.send("n")
        self.wait(lambda s: any("and a needle there" in line for line in s[4:21]), "the second match")
        self.assertTrue(poll(lambda: marked(self.term) == ["needle"], 5), marked(self.term))
        self.term.send("n")  # the third, on the same line
        self.assertTrue(poll(lambda: marked(self.term) == ["NEEDLE"], 5), marked(self.term))
        self.term.send("n")  # from the end round to the first again
        self.assertTrue(poll(lambda: marked(self.term) == ["Needle"], 5), marked(self.term))
        self.term.send("/")
        self.wait_text("Search for")
        self.term.type("haystack")
        self.term.send("Enter")
        self.dismiss("Not found: haystack")
        self.assertEqual(marked(self.term), ["Needle"])


class WhereItLeads(ComfortTest):
    PAGE = ("<TITLE>Page</TITLE><A HREF=~~Lh127.0.0.1:30080!sub!x.html>token link</A>, "
            "<A HREF=other.html>plain link</A><BR><FORM ACTION=http://h/act METHOD=POST>"
            "<INPUT TYPE=TEXTBOX NAME=q><INPUT TYPE=SUBMIT VALUE=Go></FORM>")

    def test_equals_shows_the_page_url_and_the_target_of_the_selected_element(self):
        self.proxy.on("GET", "http://h/dir/page.html", page_reply(self.PAGE))
        self.start_browser()
        self.open_url("h/dir/page.html")
        self.wait_title("Page")
        self.term.send("=")
        self.wait_text("http://h/dir/page.html")
        self.term.send("Enter")
        self.wait_gone("http://h/dir/page.html")
        self.term.send("Escape")
        self.wait_focus("token link")
        for target in ("http://127.0.0.1:30080/sub/x.html", "http://h/dir/other.html"):
            self.term.send("=")
            self.wait_text(target)
            self.wait_text("http://h/dir/page.html")
            self.term.send("Enter")
            self.wait_gone(target)
            self.term.send("Tab")
        self.wait_status("INS-MODE")  # the text field; Tab leaves it
        self.term.send("Tab")
        self.wait_status("SUBMIT-<Enter>")
        self.term.send("=")
        self.wait_text("POST to http://h/act")


class ResizeDuringLoad(ComfortTest):
    def test_a_storm_of_resizes_while_a_large_page_arrives_leaves_it_drawn(self):
        line = b"Big line %06d with some words to make it long enough<BR>\n"
        body = b"".join(line % i for i in range(3 * 1024 * 1024 // len(line % 0)))
        chunks = [body[i:i + 256 * 1024] for i in range(0, len(body), 256 * 1024)] + [b"~~~~~~\n"]
        self.proxy.on("GET", "http://h/big", trickle(b"OK\nTRUE\n<TITLE>Big</TITLE>\n", chunks, 0.05))
        self.start_browser()
        self.open_url("h/big")
        # The resizes go on while the page arrives, while it is laid out and
        # after it is shown; some are too small for the browser.
        for width, height in [(100, 30), (60, 20), (80, 24), (79, 24), (120, 40),
                              (80, 23), (90, 24), (70, 30), (81, 25), (80, 24)]:
            self.term.resize(width, height)
            time.sleep(0.15)
        self.wait_title("Big", timeout=30)
        self.wait(lambda s: "Big line 000000" in s[4] and "Big line 000016" in s[20] and GLOBAL_KEYS in s[23],
                  "the page drawn after the resizes", timeout=30)
        time.sleep(1)
        screen = self.term.screen()
        self.assertIn("Big line 000000", screen[4], self.dump())
        self.assertIn("Big line 000016", screen[20], self.dump())


if __name__ == "__main__":
    WEXA = os.path.abspath(sys.argv.pop(1))
    TERM = sys.argv.pop(1)
    unittest.main(verbosity=2)
