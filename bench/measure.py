#!/usr/bin/python3
"""Round-robin timing of several commands, printed as a table.

Usage: measure.py CONFIG.json

CONFIG holds:
  runs      timed rounds (K)
  cold      drop the page cache before every timed run
  timeout   seconds after which one run is killed
  cwd       directory the commands run in (a scratch directory)
  baseline  name of the command that the ratios compare against
  floor     name of the command every median is also divided by (find)
  commands  list of {"name", "argv", "skip", "ring"}; "skip" is a reason or
            null; "ring" says whether io_uring was allowed to the command
            ("n/a" for one that does not use it)

Two commands whose "ring" settings differ (neither "n/a") are not compared:
their ratio is left out and the notes say why.

Every command runs with standard input from /dev/null and standard output to
/dev/null.  One untimed warm-up round comes first; its standard error is kept
so that warnings can be shown in the notes column.  Then K rounds follow, each
running every command once in the listed order.  Wall time is a monotonic
clock around spawn and wait.  Peak resident memory is GNU time's %M when
/usr/bin/time exists: a command forked straight from this Python process
would inherit its peak (ru_maxrss survives fork and exec), which would hide
any command smaller than the timer itself.  Without it, ru_maxrss from
wait4() is the fallback.  Nothing here judges the numbers.
"""

import json
import os
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time


GNU_TIME = "/usr/bin/time"


def drop_caches():
    os.sync()
    with open("/proc/sys/vm/drop_caches", "w") as f:
        f.write("3\n")


def run_once(argv, cwd, timeout, stderr_file=None):
    """Returns (wall_seconds, maxrss_kib, exit_code, timed_out)."""
    err = stderr_file if stderr_file is not None else subprocess.DEVNULL
    rss_file = None
    if os.access(GNU_TIME, os.X_OK):
        fd, rss_file = tempfile.mkstemp(prefix="bench-rss-")
        os.close(fd)
        argv = [GNU_TIME, "-q", "-f", "%M", "-o", rss_file] + list(argv)
    t0 = time.perf_counter()
    try:
        p = subprocess.Popen(argv, cwd=cwd, stdin=subprocess.DEVNULL,
                             stdout=subprocess.DEVNULL, stderr=err,
                             start_new_session=True)
    except OSError as e:
        return None, None, "cannot start: %s" % e.strerror, False
    killed = []

    def kill():
        killed.append(True)
        try:
            os.killpg(p.pid, signal.SIGKILL)
        except OSError:
            pass

    timer = threading.Timer(timeout, kill)
    timer.start()
    try:
        _, status, usage = os.wait4(p.pid, 0)
    except BaseException:
        kill()
        raise
    finally:
        timer.cancel()
    wall = time.perf_counter() - t0
    p.returncode = os.waitstatus_to_exitcode(status)
    maxrss = usage.ru_maxrss
    if rss_file is not None:
        try:
            with open(rss_file) as f:
                maxrss = int(f.read().split()[-1])
        except (OSError, ValueError, IndexError):
            pass
        os.unlink(rss_file)
    return wall, maxrss, p.returncode, bool(killed)


def first_stderr_line(path):
    try:
        with open(path, "rb") as f:
            data = f.read(4096)
    except OSError:
        return ""
    text = data.decode("utf-8", "replace")
    if "\r" in text or "\b" in text:
        return "a progress display"
    for line in text.splitlines():
        line = " ".join(line.split())
        if line:
            return line[:110]
    return ""


def fmt_ratio(a, b):
    if a is None or b is None or b <= 0:
        return "-"
    return "%.2fx" % (a / b)


def comparable(a, b):
    """Runs made with io_uring allowed and refused measure different engines."""
    ra, rb = a.get("ring", "n/a"), b.get("ring", "n/a")
    return ra == "n/a" or rb == "n/a" or ra == rb


def main():
    # Turn SIGTERM into an exception so that a running child gets killed too.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))
    with open(sys.argv[1]) as f:
        cfg = json.load(f)
    runs = int(cfg["runs"])
    cold = bool(cfg["cold"])
    timeout = float(cfg["timeout"])
    cwd = cfg["cwd"]
    cmds = cfg["commands"]
    res = {c["name"]: {"walls": [], "rss": [], "notes": []} for c in cmds}
    active = [c for c in cmds if not c.get("skip")]
    for c in cmds:
        if c.get("skip"):
            res[c["name"]]["notes"].append(c["skip"])

    def log(msg):
        print(msg, file=sys.stderr, flush=True)

    # Warm-up round, not counted.
    log("warm-up round (not counted)")
    errdir = tempfile.mkdtemp(prefix="warmup-", dir=cwd)
    for c in list(active):
        r = res[c["name"]]
        errpath = os.path.join(errdir, c["name"] + ".err")
        with open(errpath, "wb") as ef:
            wall, _, code, timed_out = run_once(c["argv"], cwd, timeout, ef)
        if wall is None:
            r["notes"].append(code)
            active.remove(c)
            log("  %-16s %s" % (c["name"], code))
            continue
        line = first_stderr_line(errpath)
        if timed_out:
            r["notes"].append("warm-up killed after %gs; not timed" % timeout)
            active.remove(c)
        elif code != 0:
            r["notes"].append("exit %d" % code)
        if line:
            r["notes"].append("stderr: " + line)
        log("  %-16s %7.3f s%s" % (c["name"], wall,
                                  "  (exit %d)" % code if code else ""))

    for k in range(1, runs + 1):
        log("round %d/%d" % (k, runs))
        for c in active:
            if cold:
                drop_caches()
            wall, rss, code, timed_out = run_once(c["argv"], cwd, timeout)
            r = res[c["name"]]
            if timed_out:
                r.setdefault("timeouts", 0)
                r["timeouts"] += 1
                log("  %-16s killed after %g s" % (c["name"], timeout))
                continue
            r["walls"].append(wall)
            r["rss"].append(rss)
            log("  %-16s %7.3f s %8.1f MiB" % (c["name"], wall, rss / 1024))

    # Summary.
    summary = {}
    for c in cmds:
        r = res[c["name"]]
        if r.get("timeouts"):
            r["notes"].insert(0, "%d run(s) killed after %gs"
                              % (r["timeouts"], timeout))
        if r["walls"]:
            summary[c["name"]] = (statistics.median(r["walls"]),
                                  min(r["walls"]), max(r["walls"]),
                                  max(r["rss"]) / 1024.0)
    bname = cfg.get("baseline") or "baseline"
    fname = cfg.get("floor") or "find"
    by_name = {c["name"]: c for c in cmds}
    base = summary.get(bname)
    floor = summary.get(fname)

    head = ("command", "io_uring", "median s", "min s", "max s",
            "peak RSS MiB", "/ " + fname, "time ratio", "mem ratio", "notes")
    rows = []
    for c in cmds:
        s = summary.get(c["name"])
        notes = res[c["name"]]["notes"]
        ring = c.get("ring", "n/a")
        if s is None:
            rows.append((c["name"], ring, "-", "-", "-", "-", "-", "-", "-",
                         "; ".join(notes) or "no completed run"))
            continue
        same = bname in by_name and comparable(by_name[bname], c)
        if base and not same:
            notes = notes + ["not compared with %s: io_uring %s there"
                             % (bname, by_name[bname].get("ring"))]
        rows.append((c["name"], ring, "%.3f" % s[0], "%.3f" % s[1],
                     "%.3f" % s[2], "%.1f" % s[3],
                     fmt_ratio(s[0], floor[0]) if floor else "-",
                     fmt_ratio(base[0], s[0]) if base and same else "-",
                     fmt_ratio(base[3], s[3]) if base and same else "-",
                     "; ".join(notes)))
    widths = [max(len(str(row[i])) for row in rows + [head])
              for i in range(len(head) - 1)]
    aligns = ["<", "<", ">", ">", ">", ">", ">", ">", ">"]

    def line(row):
        cells = ["%*s" % (w, v) if a == ">" else "%-*s" % (w, v)
                 for v, w, a in zip(row, widths, aligns)]
        return "  ".join(cells) + ("  " + row[-1] if row[-1] else "")

    print(line(head))
    print(line(tuple("-" * w for w in widths) + ("",)))
    for row in rows:
        print(line(row))
    print()
    print("median/min/max: wall seconds over the %d timed run(s); peak RSS: "
          "the largest peak RSS over those runs." % runs)
    print("/ %s = this median / %s median (the floor: a walk and a stat of "
          "every file)." % (fname, fname))
    print("time ratio = %s median / this median; mem ratio = %s peak RSS / "
          "this peak RSS (below 1 means %s used less); left out between runs "
          "made with io_uring allowed and refused." % (bname, bname, bname))
    print()
    print("per-run wall seconds, in round order:")
    for c in cmds:
        w = res[c["name"]]["walls"]
        if w:
            print("  %-16s %s" % (c["name"], " ".join("%.3f" % x for x in w)))


if __name__ == "__main__":
    main()
