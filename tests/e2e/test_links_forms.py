"""End-to-end tests of links and forms: the real wexa in tmux at 80x24, with a
scripted fake proxy server on 127.0.0.1:30000. Pages are built by pass one
from links and form controls; the tests follow links with the keyboard, fill
in and reset forms, submit them, and check the exact bytes the proxy server
received and the page shown afterwards.

Usage: test_links_forms.py /path/to/wexa
"""

import os
import shutil
import sys
import unittest

from fakeproxy import FakeProxy, page_reply
from tmuxterm import TmuxTerm, browser_home

WEXA = None

# The tokenizer drops the blanks that follow a tag, so the texts after the
# links start with a punctuation mark.
LINK_START = "<TITLE>Start</TITLE>Go to <A HREF=http://127.0.0.1/dir/a.html>page A</A>, now"
PAGE_A = "<TITLE>Page A</TITLE>First <A HREF=other.html>other</A>, then <A HREF=b.html>to B</A>."
PAGE_B = "<TITLE>Page B</TITLE>This is B"

# One control of every kind that is sent with a form. Tab order: text box,
# password, checkbox, red, blue, list, reset, submit.
FORM_PAGE = """<TITLE>Form page</TITLE><FORM ACTION=127.0.0.1/cgi/echo METHOD={method}>
Name: <INPUT TYPE=TEXTBOX NAME=user VALUE=abc><BR>
Pass: <INPUT TYPE=PASSWORD NAME=pw><BR>
<INPUT TYPE=checkbox NAME=agree VALUE=yes>:agree<BR>
<INPUT TYPE=radio NAME=col VALUE=red CHECKED>:red <INPUT TYPE=radio NAME=col VALUE=blue>:blue<BR>
Size: <SELECT NAME=size><OPTION VALUE=s>Small<OPTION VALUE=l>Large</SELECT><BR>
<INPUT TYPE=RESET VALUE=Clear> <INPUT TYPE=SUBMIT VALUE=Send>
</FORM>"""

ACTION = "http://127.0.0.1/cgi/echo"


def field(text):
    """A text field as the page shows it: 18 columns between brackets."""
    return "[" + text.ljust(18) + "]"


REPLY = page_reply("<TITLE>Thanks</TITLE>Form received", cacheable=False)


class LinksFormsTest(unittest.TestCase):
    """Each test gets a fresh working directory whose start page is
    start_html."""

    start_html = ""

    def setUp(self):
        self.dir = browser_home(self.start_html.encode("latin-1"))
        self.proxy = FakeProxy().start()
        self.term = None

    def tearDown(self):
        if self.term:
            self.term.close()
        self.proxy.stop()
        shutil.rmtree(self.dir, ignore_errors=True)

    def start_browser(self, title):
        """Starts wexa, passes the splash screen and waits for the start page."""
        self.term = TmuxTerm([WEXA], cwd=self.dir)
        self.assertTrue(self.term.wait_for(lambda s: "Wexa" in s[17]), self.dump())
        self.term.send("Enter")
        self.wait_title(title)
        self.assertTrue(self.term.wait_for(lambda s: "GLOBAL" in s[23]), self.dump())

    def dump(self):
        return "\n".join(self.term.screen()) if self.term else ""

    def wait_title(self, title):
        self.assertTrue(self.term.wait_for(lambda s: title in s[1]), f"title {title!r}:\n{self.dump()}")

    def wait_text(self, text):
        ok = self.term.wait_for(lambda s: any(text in line for line in s))
        self.assertTrue(ok, f"{text!r} not on screen:\n{self.dump()}")

    def wait_row(self, text):
        """The page line that shows text (it must appear)."""
        self.wait_text(text)
        return next(line for line in self.term.screen() if text in line)

    def local_mode(self, help_text):
        """ESC to Local mode; waits for the focused element's help line, so
        that the next key is not read as part of an escape sequence."""
        self.term.send("Escape")
        self.assertTrue(self.term.wait_for(lambda s: "LOCAL" in s[23] or help_text in s[23]), self.dump())
        self.wait_text(help_text)

    def wait_request(self, count):
        self.assertTrue(self.proxy.wait_requests(count), f"{len(self.proxy.received())} requests:\n{self.dump()}")
        return self.proxy.received()[count - 1]


class FollowingLinks(LinksFormsTest):
    start_html = LINK_START

    def test_absolute_link_then_relative_link_resolved_against_the_page_folder(self):
        self.proxy.on("GET", "http://127.0.0.1/dir/a.html", page_reply(PAGE_A))
        self.proxy.on("GET", "http://127.0.0.1/dir/b.html", page_reply(PAGE_B))
        self.start_browser("Start")
        self.assertIn("Go to page A, now", self.wait_row("page A"))

        # The start page's only link has the focus at once.
        self.local_mode("FOLLOW LINK")
        self.term.send("Enter")
        self.assertEqual(self.wait_request(1), b"GET\nhttp://127.0.0.1/dir/a.html\n")
        self.wait_title("Page A")
        self.wait_text("First other, then to B.")
        # A followed link leaves the browser in Global mode.
        self.assertTrue(self.term.wait_for(lambda s: "GLOBAL" in s[23]), self.dump())

        # The second link: ESC, Tab past the first, Enter.
        self.local_mode("FOLLOW LINK")
        self.term.send("Tab")
        self.term.send("Enter")
        self.assertEqual(self.wait_request(2), b"GET\nhttp://127.0.0.1/dir/b.html\n")
        self.wait_title("Page B")
        self.wait_text("This is B")
        self.assertEqual(len(self.proxy.received()), 2)


class TextFieldsAndModes(LinksFormsTest):
    start_html = (
        "<TITLE>Fields</TITLE><FORM ACTION=h/f>One <INPUT TYPE=TEXTBOX NAME=a>"
        "| Two <INPUT TYPE=TEXTBOX NAME=b><BR>Three <INPUT TYPE=TEXTBOX NAME=c></FORM><BR>"
        "<A HREF=x.html>a link</A>"
    )

    def test_tab_walks_through_consecutive_text_fields(self):
        self.start_browser("Fields")
        # The first field takes input as soon as Local mode starts.
        self.local_mode("INS-MODE")
        self.term.type("first")
        self.term.send("Tab")
        self.term.type("second")
        self.term.send("Tab")
        self.term.type("third")
        self.term.send("Tab")
        # After the run of fields the focus is on the link.
        self.wait_text("FOLLOW LINK")
        self.assertIn("One " + field("first") + "| Two " + field("second"), self.wait_row("One ["))
        self.assertIn("Three " + field("third"), self.wait_row("Three ["))
        self.assertTrue(self.term.wait_for(lambda s: "LOCAL" in s[23]), self.dump())

    def test_escape_out_of_the_last_text_field_returns_to_global_mode(self):
        self.start_browser("Fields")
        self.local_mode("INS-MODE")
        self.term.send("Tab")
        self.term.send("Tab")
        self.term.type("zz")
        self.term.send("Escape")
        self.assertTrue(self.term.wait_for(lambda s: "GLOBAL" in s[23]), self.dump())
        self.assertIn("Three " + field("zz"), self.wait_row("Three ["))
        # Keys are the browser's again: an unbound key rings the bell, where
        # Local mode would have handed it to the focused element.
        before = self.term.bells()
        self.term.send("x")
        self.assertTrue(self.term.wait_bells(before + 1, 5), self.dump())


    def test_escape_in_the_middle_of_a_run_of_fields_stops_there(self):
        self.start_browser("Fields")
        self.local_mode("INS-MODE")
        self.term.send("Tab")
        self.term.type("mid")
        self.term.send("Escape")
        self.assertTrue(self.term.wait_for(lambda s: "GLOBAL" in s[23]), self.dump())
        # The third field is not being edited: typed keys are the browser's.
        before = self.term.bells()
        self.term.send("x")
        self.assertTrue(self.term.wait_bells(before + 1, 5), self.dump())
        self.assertIn("| Two " + field("mid"), self.wait_row("One ["))
        self.assertIn("Three " + field(""), self.wait_row("Three ["))

    def test_escape_in_the_first_field_leaves_no_pending_tab(self):
        self.start_browser("Fields")
        self.local_mode("INS-MODE")
        before = self.term.bells()
        self.term.send("Escape")
        self.assertTrue(self.term.wait_for(lambda s: "GLOBAL" in s[23]), self.dump())
        # Entering Global mode rings no extra bell for a left-over Tab; the
        # next unbound key rings exactly once.
        self.term.send("x")
        self.assertTrue(self.term.wait_bells(before + 1, 5), self.dump())
        self.assertEqual(self.term.bells(), before + 1)


class Forms(LinksFormsTest):
    start_html = FORM_PAGE.format(method="GET")

    def fill_in(self):
        """Fills every field: text box abc -> abcde, password pw1, checkbox
        on, the blue radio button, the list's second option. Leaves the
        focus on the list."""
        self.local_mode("INS-MODE")
        self.term.type("de")
        self.term.send("Tab")  # from the text box straight into the password
        self.term.type("pw1")
        self.term.send("Tab")
        self.wait_text("CHECK/UNCHECK")
        self.term.send("Enter")
        self.term.send("Tab", "Tab")  # red, then blue
        self.term.send("Enter")
        self.term.send("Tab")  # the list
        self.wait_text("UP/DOWN")
        self.term.send("Enter")  # opens the pop-up
        self.term.send("Down")
        self.term.send("Enter")
        self.assertIn("Size: Large", self.wait_row("Size: "))

    def check_filled_in_screen(self):
        self.assertIn("Name: " + field("abcde"), self.wait_row("Name: "))
        self.assertIn("Pass: " + field("***"), self.wait_row("Pass: "))
        self.assertIn("[X]:agree", self.wait_row("agree"))
        self.assertIn("( ):red (*):blue", self.wait_row("blue"))

    def test_submit_sends_every_named_value_in_reverse_page_order(self):
        self.proxy.on("FORM-GET", ACTION, REPLY)
        self.start_browser("Form page")
        self.assertIn("Name: " + field("abc"), self.wait_row("Name: "))
        self.assertIn("Size: Small", self.wait_row("Size: "))
        self.fill_in()
        self.check_filled_in_screen()
        self.term.send("Tab", "Tab")  # past Clear to Send
        self.wait_text("SUBMIT-<Enter>")
        self.term.send("Enter")
        # The unchecked red button is not sent.
        self.assertEqual(
            self.wait_request(1),
            b"FORM-GET\nhttp://127.0.0.1/cgi/echo\n5\n"
            b"size\nl\ncol\nblue\nagree\nyes\npw\npw1\nuser\nabcde\n\n~~~\n")
        self.wait_title("Thanks")
        self.wait_text("Form received")


class FormReset(LinksFormsTest):
    start_html = FORM_PAGE.format(method="post")

    def test_reset_restores_the_members_and_post_sends_their_first_values(self):
        self.proxy.on("FORM-POST", ACTION, REPLY)
        self.start_browser("Form page")
        Forms.fill_in(self)
        Forms.check_filled_in_screen(self)
        self.term.send("Tab")
        self.wait_text("RESET-<Enter>")
        self.term.send("Enter")
        self.assertTrue(self.term.wait_for(lambda s: "Name: " + field("abc") in "\n".join(s)), self.dump())
        self.assertIn("Pass: " + field(""), self.wait_row("Pass: "))
        self.assertIn("[ ]:agree", self.wait_row("agree"))
        self.assertIn("(*):red ( ):blue", self.wait_row("blue"))
        self.assertIn("Size: Small", self.wait_row("Size: "))
        self.term.send("Tab")
        self.wait_text("SUBMIT-<Enter>")
        self.term.send("Enter")
        # After the reset the password has no value and is not sent; the
        # unchecked checkbox is sent with an empty value.
        self.assertEqual(
            self.wait_request(1),
            b"FORM-POST\nhttp://127.0.0.1/cgi/echo\n4\n"
            b"size\ns\ncol\nred\nagree\n\nuser\nabc\n\n~~~\n")
        self.wait_title("Thanks")


if __name__ == "__main__":
    WEXA = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
