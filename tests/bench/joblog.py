#!/usr/bin/env python3
"""Figures of one kestrel job from its logs.

    joblog.py SERVICE_LOG RUN_LOG...

SERVICE_LOG is the scanner service's log; the job is its last "kestrel
started, pid P" with the matching "kestrel ended, pid P". RUN_LOG are
kestrel's run log and its rotated copies, holding this one job only.

The scan thread logs "CTwain:DS in" and "CTwain:DS OUT" around every call
into the data source (through the source manager), so the source's own time
is the sum of those calls over the whole run: opening and setting it up, and
each page's transfer. What the runner adds per page beyond the source is the
job's time (service log: kestrel started to ended) less that sum, per page:
start-up, the scan engine, writing the pages, delivery and the end of the
job. The page handler ("OnPageScanned(...) start" to "... end") is the part
spent writing each page; the scan thread waits for it, pages are sent, not
posted. The delivery ("OnBatchScanned() bRtn!=FALSE" to "EndJob()") is what
the job's function takes once the files are saved: printing and spooling,
starting the program.

Prints key=value lines; exits 1 when the logs do not hold a whole job.
"""
import re
import sys
from datetime import datetime

STAMP = re.compile(r"^(\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3})\s+(.*?)\s*$")
# The run log's "[tag:thread]" column.
THREAD = re.compile(r"^\[[^:\]]*:([0-9a-fA-F]+)\]\s+(.*)$")


def stamped(path):
    with open(path, "rb") as f:
        for raw in f:
            m = STAMP.match(raw.decode("latin-1"))
            if m:
                yield datetime.strptime(m.group(1), "%Y/%m/%d %H:%M:%S.%f"), m.group(2)


def job_span(service_log):
    started = ended = None
    pid = None
    for t, text in stamped(service_log):
        m = re.match(r"kestrel started, pid (\d+)", text)
        if m:
            started, pid, ended = t, m.group(1), None
            continue
        m = re.match(r"kestrel ended, pid (\d+), exit code (\d+)", text)
        if m and m.group(1) == pid:
            ended, code = t, int(m.group(2))
    if started is None or ended is None:
        sys.exit("joblog: no whole kestrel run in " + service_log)
    return started, ended, code


def main(argv):
    if len(argv) < 3:
        sys.exit(__doc__)
    started, ended, code = job_span(argv[1])
    lines = []
    for path in argv[2:]:
        lines.extend(stamped(path))
    lines.sort(key=lambda tl: tl[0])  # stable: lines of one millisecond keep their order

    handlers = []
    source = 0.0
    begin = None
    in_source = {}  # thread id -> time of its open "DS in"
    written = 0
    delivered = None  # the delivery: from the files being ready to the job's end
    for t, text in lines:
        m = THREAD.match(text)
        thread, what = (m.group(1), m.group(2)) if m else ("", text)
        if what == "CTwain:DS in":
            in_source[thread] = t
        elif what == "CTwain:DS OUT" and thread in in_source:
            source += (t - in_source.pop(thread)).total_seconds()
        elif re.match(r"CJobDlg::OnPageScanned\(.*\) start$", what):
            begin = t
        elif what == "CJobDlg::OnPageScanned() end" and begin is not None:
            handlers.append((t - begin).total_seconds())
            begin = None
        elif what == "SaveFile succeeded":
            written += 1
        elif what == "CJobDlg::OnBatchScanned() bRtn!=FALSE":
            delivered = t
        elif what == "CJobDlg::EndJob()" and isinstance(delivered, datetime):
            delivered = (t - delivered).total_seconds()

    pages = len(handlers)
    if pages == 0:
        sys.exit("joblog: no page in the run log")
    job = (ended - started).total_seconds()
    handler = sum(handlers) / pages
    print("exit_code=%d" % code)
    print("pages=%d" % pages)
    print("pages_written=%d" % written)
    print("job_s=%.3f" % job)
    print("pages_per_minute=%.1f" % (60.0 * pages / job))
    print("source_ms_per_page=%.1f" % (1000.0 * source / pages))
    print("write_ms_per_page=%.1f" % (1000.0 * handler))
    print("runner_ms_per_page=%.1f" % (1000.0 * (job - source) / pages))
    if isinstance(delivered, float):
        print("deliver_ms_per_page=%.1f" % (1000.0 * delivered / pages))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
