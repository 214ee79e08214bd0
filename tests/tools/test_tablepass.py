"""tablepass as a real program: in an 80x24 tmux terminal, and with no
terminal at all. Usage: test_tablepass.py PATH_TO_TABLEPASS"""

import os
import subprocess
import sys
import tempfile
import unittest

from tmuxterm import TmuxTerm, poll

TABLEPASS = None

TABLE, TR, TD, NOALIGN, TD_END, TR_END, TABLE_END = b"\x01", b"\x02", b"\x03", b"\x04", b"\x08", b"\x0b", b"\x0c"


def cell(text):
    return TD + NOALIGN + text + TD_END


# Two rows, column widths 2 and 3, with text around the table.
PAGE = (b"ab" + TABLE + TR + cell(b"xy") + cell(b"z") + TR_END
        + TR + cell(b"q") + cell(b"rst") + TR_END + TABLE_END + b"end")
LAID_OUT = b"ab\nxy  z    \nq   rst  \nend"


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


class InATerminal(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.pass1 = os.path.join(self.dir.name, "pass1.tmp")
        self.pass2 = os.path.join(self.dir.name, "pass2.tmp")

    def run_until_key(self):
        """Starts tablepass, checks that it holds the terminal until a key
        arrives, presses Enter and returns its exit status."""
        with TmuxTerm([TABLEPASS], cwd=self.dir.name) as term:
            # Curses has the terminal once the pane switches to the alternate screen.
            self.assertTrue(poll(lambda: term.query("#{alternate_on}") == "1", 10), "curses did not start")
            self.assertIsNone(term.wait_exit(timeout=0.5), "ended before any key was pressed")
            self.assertTrue(term.alive())
            term.send("Enter")
            status = term.wait_exit(timeout=10)
            self.assertEqual(term.query("#{alternate_on}"), "0", "terminal not restored")
            return status

    def test_lays_out_tables_waits_for_a_key_and_exits_0(self):
        write(self.pass1, PAGE)
        self.assertEqual(self.run_until_key(), 0)
        self.assertEqual(read(self.pass2), LAID_OUT)

    def test_stream_without_tables_is_copied_unchanged(self):
        stream = bytes(b for b in range(256) if b not in (1, 2, 3, 4, 5, 6, 7, 8, 11, 12)) * 8
        write(self.pass1, stream)
        self.assertEqual(self.run_until_key(), 0)
        self.assertEqual(read(self.pass2), stream)

    def test_missing_input_gives_an_empty_output(self):
        self.assertEqual(self.run_until_key(), 0)
        self.assertEqual(read(self.pass2), b"")


class WithoutATerminal(unittest.TestCase):
    def run_without_terminal(self, env):
        with tempfile.TemporaryDirectory() as d:
            write(os.path.join(d, "pass1.tmp"), PAGE)
            done = subprocess.run([TABLEPASS], cwd=d, env=env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=20)
            return done, read(os.path.join(d, "pass2.tmp"))

    def test_without_term_runs_the_pass_says_so_and_exits_1(self):
        env = {k: v for k, v in os.environ.items() if k != "TERM"}
        done, pass2 = self.run_without_terminal(env)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(pass2, LAID_OUT)
        self.assertEqual(done.stdout, b"")
        lines = done.stderr.decode(errors="replace").splitlines()
        self.assertEqual(len(lines), 1, lines)
        self.assertIn("terminal could not be started", lines[0])

    def test_unknown_terminal_type_is_handled_the_same_way(self):
        env = dict(os.environ, TERM="wexa-no-such-terminal")
        done, pass2 = self.run_without_terminal(env)
        self.assertEqual(done.returncode, 1)
        self.assertEqual(pass2, LAID_OUT)
        first = done.stderr.decode(errors="replace").splitlines()[:1]
        self.assertTrue(first and "terminal could not be started" in first[0], done.stderr)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit("usage: test_tablepass.py PATH_TO_TABLEPASS")
    TABLEPASS = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=2)
