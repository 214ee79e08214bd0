"""Drive a real program in a tmux terminal for end-to-end tests.

    with TmuxTerm([program], cwd=workdir) as term:
        assert term.wait_for("Welcome")
        term.send("F2")
        term.type("example.org")
        term.send("Enter")
        assert term.wait_exit() == 0

Every TmuxTerm runs its own tmux server on a socket of its own name (tmux -L),
so tests never touch a user's tmux and can run side by side. The pane is
exactly width x height (no status line) and stays after the program ends, so
its last screen and its exit status can still be read. close() (also run on
leaving the with block) kills the server and removes its socket file.

Works without a terminal and without TERM in the caller's environment: the
program sees tmux's own TERM. ESCDELAY=25 is set for it so that curses tells
a lone Escape key from an escape sequence quickly.

Waits poll with a time limit; nothing here sleeps blindly.
"""

import os
import shlex
import shutil
import subprocess
import tempfile
import time
import uuid

POLL_INTERVAL = 0.05
COMMAND_TIMEOUT = 10.0


# What the browser keeps as its proxy address: 127.0.0.1 in an 18-byte record.
LOOPBACK_PROXY_RECORD = b"127.0.0.1" + b"\0" * 9


def browser_home(start_page, prefix="wexa-e2e-"):
    """A fresh folder for the browser to start in: cache/0.html holding
    start_page (bytes) and the proxy address file naming 127.0.0.1. Returns
    its path; the caller removes it."""
    home = tempfile.mkdtemp(prefix=prefix)
    os.mkdir(os.path.join(home, "cache"))
    with open(os.path.join(home, "cache", "0.html"), "wb") as f:
        f.write(start_page)
    with open(os.path.join(home, ".proxy.conf"), "wb") as f:
        f.write(LOOPBACK_PROXY_RECORD)
    return home


def open_start_page(test, wexa, start_page_file, prefix):
    """Starts wexa at 80x24 in a fresh browser_home whose start page is the
    file start_page_file, and passes the title screen to the start page
    (test asserts each step). Returns (home, term); the caller closes term
    and removes home."""
    with open(start_page_file, "rb") as f:
        home = browser_home(f.read(), prefix)
    term = TmuxTerm([wexa], cwd=home)
    test.assertTrue(term.wait_for(lambda s: "Wexa" in s[17]), "\n".join(term.screen()))
    term.send("Enter")
    test.assertTrue(term.wait_for(lambda s: "Wexa start page" in s[1]), "\n".join(term.screen()))
    return home, term


class TmuxError(RuntimeError):
    """tmux is missing, or one of its commands failed."""


def poll(condition, timeout=10.0, interval=POLL_INTERVAL):
    """Calls condition() until it returns a true value or timeout seconds
    have passed; returns that value, or the last false one."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result or time.monotonic() >= deadline:
            return result
        time.sleep(interval)


def _tmux_string(text):
    """Quotes text as one double-quoted word of a tmux configuration file."""
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"').replace("$", "\\$") + '"'


class TmuxTerm:
    """A program running in a width x height tmux pane."""

    SESSION = "wexa"

    def __init__(self, argv, cwd, env=None, width=80, height=24):
        """Starts argv (a list: program and arguments, no shell) in cwd.

        env holds variables to set for the program on top of the caller's
        environment; a value of None removes that variable. TERM is tmux's
        unless env names it.
        """
        self.width = width
        self.height = height
        self._closed = False
        self._socket_path = None
        self._dir = None
        self._tmux_path = shutil.which("tmux")
        if self._tmux_path is None:
            raise TmuxError("tmux is not on PATH")

        self._dir = tempfile.mkdtemp(prefix="wexa-tmux-")
        self.socket_name = "wexa-%d-%s" % (os.getpid(), uuid.uuid4().hex[:12])
        self._bell_file = os.path.join(self._dir, "bells")
        open(self._bell_file, "wb").close()
        config = os.path.join(self._dir, "tmux.conf")
        bell_command = "printf b >> %s" % shlex.quote(self._bell_file)
        with open(config, "w") as f:
            f.write("set -g status off\n")
            f.write("set -g remain-on-exit on\n")
            f.write('set -g remain-on-exit-format ""\n')  # no "Pane is dead" line
            f.write("set -g bell-action any\n")
            f.write("set -g visual-bell off\n")
            f.write("set -g escape-time 0\n")
            f.write("set-hook -g alert-bell %s\n" % _tmux_string("run-shell " + _tmux_string(bell_command)))

        # The server passes its own environment on to the pane.
        self._server_env = {k: v for k, v in os.environ.items() if k not in ("TMUX", "TMUX_PANE")}
        settings = {"ESCDELAY": "25"}
        settings.update(env or {})
        program = ["env"]
        for name, value in settings.items():
            if value is None:
                program += ["-u", name]
        program += ["%s=%s" % (name, value) for name, value in settings.items() if value is not None]
        program += [str(a) for a in argv]
        # A small shell records the exit status in a file: tmux may reap the
        # program late (or, seen with tmux 3.3, not at all), so its own
        # record of the status cannot be relied on. The shell's handlers for
        # INT and QUIT keep it alive to write the status when Ctrl-C or
        # Ctrl-\ reaches the whole process group; the program itself gets
        # the default handling of both.
        self._status_file = os.path.join(self._dir, "status")
        script = 'trap : INT QUIT; "$@"; printf %%s "$?" > %s' % shlex.quote(self._status_file)
        command = ["/bin/sh", "-c", script, "sh"] + program

        try:
            self._run(["-f", config, "new-session", "-d", "-s", self.SESSION,
                       "-x", str(width), "-y", str(height), "-c", str(cwd), "--"] + command)
            self._socket_path = self._run(["display-message", "-p", "-t", self.target, "#{socket_path}"]).strip()
        except BaseException:
            self.close()
            raise

    # --- tmux commands --------------------------------------------------------

    @property
    def target(self):
        return self.SESSION + ":0.0"

    def _run(self, args, check=True):
        try:
            done = subprocess.run([self._tmux_path, "-u", "-L", self.socket_name] + list(args),
                                  env=self._server_env, stdin=subprocess.DEVNULL,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  timeout=COMMAND_TIMEOUT)
        except subprocess.TimeoutExpired as e:
            raise TmuxError("tmux %s did not answer" % args[0]) from e
        if check and done.returncode != 0:
            raise TmuxError("tmux %s failed: %s" % (" ".join(args), done.stderr.decode(errors="replace").strip()))
        return done.stdout.decode("utf-8", errors="replace")

    def query(self, fmt):
        """The pane's value of a tmux format, such as "#{alternate_on}"."""
        return self._run(["display-message", "-p", "-t", self.target, fmt]).rstrip("\n")

    # --- input ----------------------------------------------------------------

    @staticmethod
    def _argument(word):
        """tmux reads an argument ending in ";" as the end of a command;
        a backslash before that semicolon keeps it as text."""
        return word[:-1] + "\\;" if word.endswith(";") else word

    def send(self, *keys):
        """Sends tmux key names as given: "F1", "Escape", "Enter", "Tab",
        "Up", "NPage", "BSpace", "C-c", or single characters."""
        if keys:
            self._run(["send-keys", "-t", self.target] + [self._argument(k) for k in keys])

    def type(self, text):
        """Types text literally, character by character."""
        if text:
            self._run(["send-keys", "-t", self.target, "-l", "--", self._argument(text)])

    # --- output ---------------------------------------------------------------

    def screen(self):
        """The visible screen as exactly `height` lines of text (trailing
        blanks of a line are not kept; missing lines are empty)."""
        lines = self._run(["capture-pane", "-p", "-t", self.target]).split("\n")
        if lines and lines[-1] == "":
            lines.pop()
        lines = lines[:self.height]
        return lines + [""] * (self.height - len(lines))

    def screen_with_attrs(self):
        """The visible screen with colours and attributes as escape sequences."""
        return self._run(["capture-pane", "-p", "-e", "-t", self.target])

    def wait_for(self, predicate_or_text, timeout=10.0):
        """Waits until the screen shows the text, or until predicate(lines)
        is true. Returns whether it happened in time. Stops early once the
        program has ended and the screen no longer matches."""
        if callable(predicate_or_text):
            matches = predicate_or_text
        else:
            text = predicate_or_text
            matches = lambda lines: text in "\n".join(lines)  # noqa: E731

        def check():
            if matches(self.screen()):
                return True
            if not self.alive():
                return "ended"  # the screen is final: one last look decides
            return False

        result = poll(check, timeout)
        return result is True or (result == "ended" and bool(matches(self.screen())))

    # --- the program's life ---------------------------------------------------

    def _exit_status(self):
        """The program's exit status, or None while it runs."""
        try:
            with open(self._status_file) as f:
                text = f.read()
        except OSError:
            return None
        return int(text) if text.isdigit() else None

    def alive(self):
        """True while the program runs."""
        if self._closed or self._exit_status() is not None:
            return False
        try:
            return self.query("#{pane_dead}") != "1"
        except TmuxError:
            return False  # the server is gone, and the program with it

    def wait_exit(self, timeout=10.0):
        """The program's exit status once it has ended, as a shell reports
        it (128 + N when signal N ended it), or None if it still runs at
        timeout or ended without one being recorded."""
        if self._closed:
            return None
        status = poll(lambda: self._exit_status() is not None or not self.alive(), timeout)
        return self._exit_status() if status else None

    def bells(self):
        """How many bells the program has rung so far. tmux reports bells
        asynchronously: poll (see wait_bells) rather than read once. Bells
        rung within one pass of tmux's event loop are counted as one."""
        try:
            return os.path.getsize(self._bell_file)
        except OSError:
            return 0

    def wait_bells(self, count, timeout=10.0):
        """Waits until at least count bells have rung; returns whether they did."""
        return bool(poll(lambda: self.bells() >= count, timeout))

    def close(self):
        """Kills the tmux server (and with it the program) and removes its
        socket file and the harness's temporary files. Safe to call twice."""
        if self._closed:
            return
        self._closed = True
        try:
            self._run(["kill-server"], check=False)
        except TmuxError:
            pass
        if self._socket_path:
            try:
                os.unlink(self._socket_path)
            except OSError:
                pass
        if self._dir:
            shutil.rmtree(self._dir, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    def __del__(self):
        try:
            self.close()
        except Exception:
            pass
