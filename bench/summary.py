#!/usr/bin/env python3
"""Puts every figure of a benchmark run beside its target.

    python3 bench/summary.py CYCLE_BENCH_JSON TERMINAL_BYTES_JSON

Reads the JSON of cycle_bench (Google Benchmark, --benchmark_out_format=json) and of
terminal_bytes.py --json. A missed target is reported, not fatal: the exit status is 1 only
when a figure is missing, that is when a measurement could not be made.
"""
import json
import os
import platform
import sys

BAUD_MS_PER_BYTE = 10 / 9600 * 1000  # 10 bits per byte on a 9600 baud line


def cpu_model():
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.processor() or "unknown CPU"


def medians(path):
    """{benchmark name: (real median, cpu median, unit)} for the runs that succeeded, and the
    error messages of those that did not."""
    with open(path) as f:
        data = json.load(f)
    found, errors = {}, []
    for b in data.get("benchmarks", []):
        name = b.get("run_name", b["name"]).split("/")[0]
        if b.get("error_occurred"):
            errors.append("%s: %s" % (name, b.get("error_message", "failed")))
        elif b.get("aggregate_name") == "median":
            found[name] = (b["real_time"], b["cpu_time"], b["time_unit"])
    return found, errors, data.get("context", {})


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    cycle, errors, context = medians(sys.argv[1])
    with open(sys.argv[2]) as f:
        term = json.load(f)

    rows = []      # (figure, target, measured, verdict)
    missing = list(errors)

    def timed(label, name, limit):
        if name not in cycle:
            missing.append(name)
            rows.append((label, "", "not measured", "ERROR"))
            return
        real, cpu, unit = cycle[name]
        target = "<= %g %s" % (limit, unit) if limit is not None else "(reported)"
        measured = "%.1f %s (CPU %.1f)" % (real, unit, cpu)
        verdict = "" if limit is None else "PASS" if real <= limit else "MISS"
        rows.append((label, target, measured, verdict))

    def counted(label, key, limit, unit, baud=False):
        value = term.get(key)
        if value is None:
            missing.append(key)
            rows.append((label, "", "not measured", "ERROR"))
            return
        target = "<= %g %s" % (limit, unit) if limit is not None else "(reported)"
        measured = "%g %s" % (round(value, 1), unit)
        if baud:
            measured += " = %.0f ms at 9600 baud" % (value * BAUD_MS_PER_BYTE)
        verdict = "" if limit is None else "PASS" if value <= limit else "MISS"
        rows.append((label, target, measured, verdict))

    timed("Editor cycle, digit in a numeric field (median)", "BM_cycle_digit", 20)
    timed("Editor cycle, move (median)", "BM_cycle_move", 20)
    timed("Editor cycle, wheel-name character (median)", "BM_cycle_name_character", 20)
    timed("Parse examples/ulo.txt from memory (median)", "BM_parse_memory", 50)
    timed("Load examples/ulo.txt from disk (median)", "BM_load_disk", None)
    timed("Format the file text in memory (median)", "BM_format_memory", None)
    timed("Save to disk, synced and renamed (median)", "BM_save_disk", None)
    counted("Terminal: first frame", "first_frame_bytes", None, "bytes", baud=True)
    counted("Terminal: bytes per key, median", "key_bytes_median", 48, "bytes", baud=True)
    counted("Terminal: bytes per key, 90th percentile", "key_bytes_p90", None, "bytes",
            baud=True)
    counted("Terminal: bytes per key, maximum", "key_bytes_max", 400, "bytes", baud=True)
    counted("Start-up to the complete first frame (median)", "startup_ms", 30, "ms")
    if rows[-1][3] != "ERROR":
        extra = "; program CPU %.1f ms" % term.get("startup_cpu_ms", float("nan"))
        if term.get("startup_floor_ms") is not None:
            extra += "; /bin/echo %.1f ms" % term["startup_floor_ms"]
        label, target, measured, verdict = rows[-1]
        rows[-1] = (label, target, measured + " (" + extra[2:] + ")", verdict)

    widths = [max(len(r[i]) for r in rows) for i in range(3)]
    line = "  %-*s  %-*s  %-*s  %s"
    print()
    print("Summary (times are wall-clock medians; CPU time in brackets)")
    print(line % (widths[0], "Figure", widths[1], "Target", widths[2], "Measured", ""))
    for r in rows:
        print(line % (widths[0], r[0], widths[1], r[1], widths[2], r[2], r[3]))
    load = context.get("load_avg", [os.getloadavg()[0]])[0]
    print("Machine: %s, %d cores (nproc), load average %.2f while measuring" % (
        cpu_model(), os.cpu_count() or 0, load))
    if context.get("library_build_type") == "debug":
        print("Note: Debian's libbenchmark reports itself as a debug build; it only drives the"
              " timing loop, the code measured is built in Release.")
    misses = [r[0] for r in rows if r[3] == "MISS"]
    if misses:
        print("Targets missed: %d (%s)" % (len(misses), "; ".join(misses)))
    else:
        print("Every target met.")
    if missing:
        print("Not measured: " + "; ".join(missing), file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
