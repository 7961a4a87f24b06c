"""Prints the figures of one Google Benchmark JSON report and the ratios asked for.

usage: compare.py REPORT.json ITEM COMPARISON...

ITEM names what one benchmark item is ("datagram", "frame"). A COMPARISON is
"ours=anchor" or "ours=anchor+anchor", in benchmark names: the ratio is our time per
item over the anchors' times added up, so below 1 means we are faster. A comparison that
is a goal ends in "<=TARGET"; it is printed beside its target, and also appended to the
file named by ORVANE_BENCH_GOALS when that is set (scripts/bench.sh lists them all at the
end). With repeated
runs the median is used. Times are CPU times, as Google Benchmark measures by default:
on a shared machine they count what a path costs, not what other programs take.
"""

import json
import os
import sys


def per_item_figures(report):
    """Benchmark name -> (label, seconds per item, bytes per second)."""
    runs = report["benchmarks"]
    if any(run.get("run_type") == "aggregate" for run in runs):
        runs = [run for run in runs if run.get("aggregate_name") == "median"]
    figures = {}
    for run in runs:
        name = run.get("run_name", run["name"])
        if run.get("error_occurred"):
            sys.exit(f"{name}: {run.get('error_message', 'failed')}")
        figures[name] = (run.get("label") or name, 1.0 / run["items_per_second"],
                         run.get("bytes_per_second"))
    return figures


def time_unit(longest):
    """(name, seconds per unit, decimals) that suit the longest time of a table."""
    if longest >= 1e-3:
        return "ms", 1e-3, 3
    if longest >= 1e-5:
        return "us", 1e-6, 1
    return "ns", 1e-9, 0


def main(arguments):
    if len(arguments) < 3:
        sys.exit(__doc__)
    path, item, comparisons = arguments[0], arguments[1], arguments[2:]
    with open(path, encoding="utf-8") as file:
        report = json.load(file)
    figures = per_item_figures(report)
    repetitions = max((run.get("repetitions", 1) for run in report["benchmarks"]), default=1)

    rows = []
    for comparison in comparisons:
        comparison, _, target = comparison.partition("<=")
        ours, _, anchors = comparison.partition("=")
        names = [ours] + anchors.split("+")
        missing = [name for name in names if name not in figures]
        if missing:
            sys.exit(f"{path}: no result for {', '.join(missing)}")
        anchor_seconds = sum(figures[name][1] for name in names[1:])
        title = figures[ours][0] + " / " + " + ".join(figures[name][0] for name in names[1:])
        rows.append((title, figures[ours][1] / anchor_seconds, float(target) if target else None))

    subject = report["context"].get("subject", path)
    print(subject + (f" (median of {repetitions} runs)" if repetitions > 1 else ""))
    width = max(len(label) for label, _, _ in figures.values())
    unit, unit_seconds, decimals = time_unit(max(seconds for _, seconds, _ in figures.values()))
    for label, seconds, bytes_per_second in figures.values():
        line = f"  {label:<{width}}  {seconds / unit_seconds:9.{decimals}f} {unit} CPU/{item}"
        if bytes_per_second:
            line += f"  {bytes_per_second / 1e6:8.1f} MB/s"
        print(line)

    print(f"Ratios (CPU time per {item}, lower is better for us):")
    width = max(len(title) for title, _, _ in rows)
    goals = []
    for title, ratio, target in rows:
        line = f"  {title:<{width}}  {ratio:6.2f}"
        if target is not None:
            verdict = "met" if ratio <= target else "MISSED"
            line += f"  target <= {target:g}  {verdict}"
            goals.append(f"  {title:<58} {ratio:8.2f}  target <= {target:<6g} {verdict}")
        print(line)
    goals_file = os.environ.get("ORVANE_BENCH_GOALS")
    if goals and goals_file:
        with open(goals_file, "a", encoding="utf-8") as file:
            file.write("\n".join(goals) + "\n")


if __name__ == "__main__":
    main(sys.argv[1:])
