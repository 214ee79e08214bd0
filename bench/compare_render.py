#!/usr/bin/env python3
"""Times whole-process page rendering: render_page against other text browsers.

Usage: compare_render.py RENDER_PAGE PAGES_DIR RUNS

For every page in PAGES_DIR (the names gen_pages.py writes) and every browser
found on PATH, runs the command RUNS times (after one untimed run) with
standard input, output and error on /dev/null, and takes the median wall time
and the median processor time (user plus system, from wait4). On a machine
shared with other work the processor time is the steadier figure: it leaves
out the time a process waited for a core.

Peak memory is measured in the untimed run, by GNU time (/usr/bin/time -f %M):
the ru_maxrss that wait4 reports for a process started from Python would be
at least Python's own resident size, which Linux carries across exec.
Runs are interleaved (one run of each browser, then the next round) so that
load from other work on the machine falls on all of them alike.

Prints one table per page: median wall ms and the ratio of the browser's time
to render_page's (above 1: render_page is faster), the same for processor
time, and peak memory in MiB. Then, when links2 is installed, one summary
table: per page, render_page's median wall and processor time as a fraction
of links2's (the goal is at most 0.50) and the peak memory of both.
"""

import os
import shutil
import statistics
import sys
import time

PAGES = ["text_100k", "text_1m", "text_10m", "table_2000"]
TIME = "/usr/bin/time"


def browsers(render_page):
    """(name, argv builder) for render_page and each peer that is installed."""
    found = [("wexa render_page", lambda page: [render_page, page])]
    peers = [
        ("links2", lambda page: ["links2", "-dump", page]),
        ("elinks", lambda page: ["elinks", "-no-home", "-dump", page]),
        ("w3m", lambda page: ["w3m", "-dump", page]),
        ("lynx", lambda page: ["lynx", "-dump", "-force_html", page]),
    ]
    for name, argv in peers:
        if shutil.which(argv("x")[0]):
            found.append((name, argv))
        else:
            sys.stderr.write("compare_render: %s is not installed; left out\n" % name)
    return found


def run_once(argv, cwd, env):
    """Wall seconds, processor seconds and exit status of one run."""
    devnull = os.open(os.devnull, os.O_RDWR)
    try:
        actions = [
            (os.POSIX_SPAWN_DUP2, devnull, 0),
            (os.POSIX_SPAWN_DUP2, devnull, 1),
            (os.POSIX_SPAWN_DUP2, devnull, 2),
        ]
        old = os.getcwd()
        os.chdir(cwd)  # posix_spawn has no cwd argument; the child inherits it
        try:
            start = time.perf_counter()
            pid = os.posix_spawnp(argv[0], argv, env, file_actions=actions)
            _, status, usage = os.wait4(pid, 0)
            elapsed = time.perf_counter() - start
        finally:
            os.chdir(old)
    finally:
        os.close(devnull)
    return elapsed, usage.ru_utime + usage.ru_stime, os.waitstatus_to_exitcode(status)


def peak_kib(argv, cwd, env, report):
    """Runs argv once under GNU time; its peak resident KiB (0 if unknown) and exit status."""
    _, _, code = run_once([TIME, "-f", "%M", "-o", report] + argv, cwd, env)
    try:
        with open(report) as f:
            return int(f.read().split()[-1]), code
    except (OSError, ValueError, IndexError):
        return 0, code


def main():
    if len(sys.argv) != 4:
        sys.stderr.write("usage: compare_render.py RENDER_PAGE PAGES_DIR RUNS\n")
        return 2
    render_page, pages_dir, runs = os.path.abspath(sys.argv[1]), sys.argv[2], int(sys.argv[3])
    work = os.path.abspath(os.path.join(pages_dir, "run"))
    home = os.path.join(work, "home")
    os.makedirs(home, exist_ok=True)
    # A home of its own, so no browser reads or writes the user's settings.
    env = dict(os.environ, HOME=home)
    env.setdefault("TERM", "xterm")

    found = browsers(render_page)
    failed = False
    summary = []  # (page, wall fraction, cpu fraction, our peak, links2 peak)
    for page_name in PAGES:
        page = os.path.abspath(os.path.join(pages_dir, page_name + ".html"))
        size = os.path.getsize(page)
        times = {name: [] for name, _ in found}
        cpus = {name: [] for name, _ in found}
        peaks = {name: 0 for name, _ in found}
        errors = {name: 0 for name, _ in found}
        for round_no in range(runs + 1):
            for name, argv in found:
                if round_no == 0:
                    # Untimed: puts the page file and the program in the
                    # cache, and measures the peak memory.
                    peaks[name], code = peak_kib(argv(page), work, env, os.path.join(work, "peak"))
                else:
                    elapsed, cpu, code = run_once(argv(page), work, env)
                    times[name].append(elapsed * 1000.0)
                    cpus[name].append(cpu * 1000.0)
                if code != 0:
                    errors[name] += 1
        ours = statistics.median(times[found[0][0]])
        ours_cpu = max(statistics.median(cpus[found[0][0]]), 0.001)
        print()
        print("%s (%d bytes), median of %d runs" % (page_name, size, runs))
        print("  %-18s %9s %7s %9s %7s %9s" % ("browser", "wall ms", "ratio", "cpu ms", "ratio", "peak MiB"))
        for name, _ in found:
            med = statistics.median(times[name])
            cpu = statistics.median(cpus[name])
            note = "" if errors[name] == 0 else "  (%d runs failed)" % errors[name]
            failed = failed or errors[name] != 0
            print("  %-18s %9.1f %7.2f %9.1f %7.2f %9.1f%s"
                  % (name, med, med / ours, cpu, cpu / ours_cpu, peaks[name] / 1024.0, note))
            if name == "links2":
                summary.append((page_name, ours / max(med, 0.001), ours_cpu / max(cpu, 0.001),
                                peaks[found[0][0]] / 1024.0, peaks[name] / 1024.0))
        sys.stdout.flush()
    if summary:
        print()
        print("render_page as a fraction of links2 (goal: at most 0.50; peak memory below links2's)")
        print("  %-12s %7s %7s %12s %12s" % ("page", "wall", "cpu", "peak MiB", "links2 MiB"))
        for page_name, wall, cpu, ours_peak, links_peak in summary:
            print("  %-12s %7.2f %7.2f %12.1f %12.1f" % (page_name, wall, cpu, ours_peak, links_peak))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
