#!/usr/bin/env python3
"""Prints the benchmark medians from Google Benchmark's JSON output as a
Markdown table, each framework figure beside its raw baseline, and checks
the targets. With --chart PATH it also draws the load and instance times
against P into a PNG image (needs Debian's python3-matplotlib). With
--threaded PATH it adds the instance rows of a second run in which another
thread had run first (TOVA_BENCH_THREADED=1)."""

import argparse
import json
import re
import sys

# (workload, argument, target ratio to the raw baseline or None)
RATIO_ROWS = [
    ("load", "1", 1.3),
    ("load", "100", None),
    ("load", "1000", 6.0),
    ("instantiate", "1", 1.5),
    ("instantiate", "1000", 1.5),
    ("create", "1", 0.75),
    ("create", "1000", 0.75),
    ("query", None, 1.5),
    ("factory", None, None),
]

# The rows of the run after another thread has run, without targets.
THREADED_ROWS = [(workload, argument, None)
                 for workload, argument in (("instantiate", "1"),
                                            ("instantiate", "1000"),
                                            ("create", "1"),
                                            ("create", "1000"),
                                            ("query", None))]

# Workloads measured against another workload's raw baseline: Create does
# the same work as Instantiate and a query.
RAW_BASELINE_OF = {"create": "instantiate"}

# Informative: the framework's plugin library opened by hand, which shows
# what its registrations cost before the loader does anything.
BREAKDOWN_ROWS = ["1", "100", "1000"]

# Reading a library's manifest against loading the library, at every P.
MANIFEST_ROWS = ["1", "100", "1000"]
MANIFEST_SHARE_LIMIT = 0.25

# The catalog: (what, its run, the run it is measured against, target).
CATALOG_ROWS = [
    ("scan of 100 libraries of 10 plugins, against loading them",
     "catalog/scan/100", "catalog/loader-load/100", 0.2),
    ("Create<T> of a loaded plugin, against the loader's Instantiate and "
     "QueryInterfaceSharedPtr<T>", "catalog/create",
     "catalog/instantiate-query", 1.2),
    ("refresh of the unchanged 100 libraries (file status only), against "
     "the scan", "catalog/refresh-unchanged/100", "catalog/scan/100", None),
]

INSTANTIATE_GROWTH_LIMIT = 1.2
LIVE_ALLOCATION_LIMIT = 5
# Heap bytes per live instance beyond those of the object itself, which the
# raw baseline's one block holds.
BYTES_BEYOND_OBJECT_LIMIT = 200


def run_name(workload, side, argument):
    name = f"{workload}/{side}"
    return f"{name}/{argument}" if argument else name


def format_time(nanoseconds):
    for unit, scale in (("ms", 1e6), ("µs", 1e3)):
        if nanoseconds >= scale:
            return f"{nanoseconds / scale:.3g} {unit}"
    return f"{nanoseconds:.3g} ns"


def format_count(count):
    return f"{count:,.0f}" if count >= 100 else f"{count:.3g}"


def verdict(holds):
    return "met" if holds else "**not met**"


class Medians:
    def __init__(self, path):
        with open(path, encoding="utf-8") as file:
            report = json.load(file)
        self.context = report.get("context", {})
        # Runs with a fixed iteration count carry it in their name.
        self.entries = {
            re.sub(r"/iterations:\d+$", "", entry["run_name"]): entry
            for entry in report["benchmarks"]
            if entry.get("aggregate_name") == "median"
        }

    def get(self, name):
        if name not in self.entries:
            sys.exit(f"report: no median for {name} in the results")
        return self.entries[name]

    def cpu(self, name):
        entry = self.get(name)
        scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[entry["time_unit"]]
        return entry["cpu_time"] * scale


def ratio_table(medians, lines, rows=RATIO_ROWS):
    lines.append("| Workload | P | Framework | Raw baseline | Ratio | "
                 "Allocations (framework / raw) | Target | Verdict |")
    lines.append("|---|---|---|---|---|---|---|---|")
    failures = []
    for workload, argument, target in rows:
        framework = run_name(workload, "framework", argument)
        raw = run_name(RAW_BASELINE_OF.get(workload, workload), "raw",
                       argument)
        ratio = medians.cpu(framework) / medians.cpu(raw)
        allocations = " / ".join(
            format_count(medians.get(name).get("allocs", 0))
            for name in (framework, raw))
        target_text = f"≤ {target}" if target else "–"
        holds = target is None or ratio <= target
        if not holds:
            failures.append(f"{framework}: ratio {ratio:.2f} > {target}")
        lines.append(
            f"| {workload} | {argument or '–'} | "
            f"{format_time(medians.cpu(framework))} | "
            f"{format_time(medians.cpu(raw))} | {ratio:.2f} | {allocations} "
            f"| {target_text} | {verdict(holds) if target else '–'} |")
    return failures


def breakdown_table(medians, lines):
    lines.append("| P | Registered library opened by hand | Raw library "
                 "opened by hand | Ratio | Framework load | Its share in "
                 "the framework load |")
    lines.append("|---|---|---|---|---|---|")
    for argument in BREAKDOWN_ROWS:
        by_hand = medians.cpu(
            run_name("load", "registered-library-by-hand", argument))
        raw = medians.cpu(run_name("load", "raw", argument))
        framework = medians.cpu(run_name("load", "framework", argument))
        lines.append(
            f"| {argument} | {format_time(by_hand)} | {format_time(raw)} | "
            f"{by_hand / raw:.2f} | {format_time(framework)} | "
            f"{by_hand / framework:.0%} |")


def manifest_table(medians, lines):
    lines.append("| P | Read the manifest | Framework load | Share | "
                 "Allocations | Target | Verdict |")
    lines.append("|---|---|---|---|---|---|---|")
    failures = []
    for argument in MANIFEST_ROWS:
        name = run_name("manifest", "framework", argument)
        manifest = medians.cpu(name)
        load = medians.cpu(run_name("load", "framework", argument))
        share = manifest / load
        holds = share <= MANIFEST_SHARE_LIMIT
        if not holds:
            failures.append(f"{name}: {share:.2f} of the load > "
                            f"{MANIFEST_SHARE_LIMIT}")
        lines.append(
            f"| {argument} | {format_time(manifest)} | {format_time(load)} | "
            f"{share:.3f} | {format_count(medians.get(name).get('allocs', 0))}"
            f" | ≤ {MANIFEST_SHARE_LIMIT} | {verdict(holds)} |")
    return failures


def target_cells(name, ratio, target, failures):
    """The target and verdict cells of a ratio; notes a missed target."""
    if target is None:
        return "–", "–"
    if ratio > target:
        failures.append(f"{name}: ratio {ratio:.2f} > {target}")
    return f"≤ {target}", verdict(ratio <= target)


def catalog_table(medians, lines):
    lines.append("| Catalog | Figure | Against | Ratio | Allocations | "
                 "Target | Verdict |")
    lines.append("|---|---|---|---|---|---|---|")
    failures = []
    for what, name, baseline, target in CATALOG_ROWS:
        figure, against = medians.cpu(name), medians.cpu(baseline)
        cells = [what, format_time(figure), format_time(against),
                 f"{figure / against:.3f}",
                 format_count(medians.get(name).get("allocs", 0)),
                 *target_cells(name, figure / against, target, failures)]
        lines.append("| " + " | ".join(cells) + " |")
    return failures


def further_checks(medians, lines):
    failures = []
    growth = (medians.cpu("instantiate/framework/1000") /
              medians.cpu("instantiate/framework/1"))
    query_allocations = medians.get("query/framework").get("allocs", 0)
    live = medians.get("memory/framework")
    raw_live = medians.get("memory/raw")
    created = medians.get("memory/create")
    beyond_object = live["live_bytes"] - raw_live["live_bytes"]
    checks = [
        ("instantiate, P = 1000 against P = 1", f"{growth:.2f}",
         f"≤ {INSTANTIATE_GROWTH_LIMIT}", growth <= INSTANTIATE_GROWTH_LIMIT),
        ("query, heap allocations per query", f"{query_allocations:g}", "0",
         query_allocations == 0),
        ("memory, allocations per live instance (raw: "
         f"{raw_live['live_allocs']:g})", f"{live['live_allocs']:g}",
         f"≤ {LIVE_ALLOCATION_LIMIT}",
         live["live_allocs"] <= LIVE_ALLOCATION_LIMIT),
        ("memory, heap bytes per live instance beyond the object (raw: "
         f"{raw_live['live_bytes']:g} in all)",
         f"{beyond_object:g}", f"≤ {BYTES_BEYOND_OBJECT_LIMIT}",
         beyond_object <= BYTES_BEYOND_OBJECT_LIMIT),
        ("memory, Create: allocations per live instance",
         f"{created['live_allocs']:g}", "reported", True),
        ("memory, Create: heap bytes per live instance",
         f"{created['live_bytes']:g}", "reported", True),
    ]
    lines.append("| Check | Figure | Target | Verdict |")
    lines.append("|---|---|---|---|")
    for name, figure, target, holds in checks:
        lines.append(f"| {name} | {figure} | {target} | {verdict(holds)} |")
        if not holds:
            failures.append(f"{name}: {figure}, target {target}")
    return failures


def draw_chart(medians, path):
    # Imported here: the tables need nothing beyond the standard library.
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as pyplot

    counts = [int(argument) for argument in BREAKDOWN_ROWS]
    figure, (load, instance) = pyplot.subplots(1, 2, figsize=(11, 4.2))
    for side, label, style in (("framework", "LoadLib + close", "o-"),
                               ("raw", "raw dlopen + dlsym + dlclose", "s--")):
        load.plot(counts, [medians.cpu(run_name("load", side, str(count))) /
                           1e3 for count in counts], style, label=label)
    load.set_xscale("log")
    load.set_yscale("log")
    load.set_xlabel("plugins in the library (P)")
    load.set_ylabel("CPU time per load (µs)")
    load.set_title("Loading a library of P plugins")
    load.legend()

    makers = (("instantiate/framework", "Instantiate + query + drop"),
              ("create/framework", "Create<T> + drop"),
              ("instantiate/raw", "raw dlsym + new + delete"))
    sizes = ("1", "1000")
    width = 0.8 / len(makers)
    for index, (name, label) in enumerate(makers):
        instance.bar([position + index * width for position in
                      range(len(sizes))],
                     [medians.cpu(f"{name}/{size}") for size in sizes],
                     width, label=label)
    instance.set_xticks([position + width for position in range(len(sizes))])
    instance.set_xticklabels([f"P = {size}" for size in sizes])
    instance.set_ylabel("CPU time per instance (ns)")
    instance.set_title("Making, calling and dropping one instance")
    # Head room above the bars for the legend.
    instance.set_ylim(0, instance.get_ylim()[1] * 1.4)
    instance.legend(loc="upper left", fontsize="small")
    figure.tight_layout()
    figure.savefig(path, dpi=100)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("results")
    parser.add_argument("--chart", metavar="IMAGE.png")
    parser.add_argument("--threaded", metavar="RESULTS.json")
    arguments = parser.parse_args()
    medians = Medians(arguments.results)
    context = medians.context
    lines = [
        f"Medians of CPU time per operation over "
        f"{medians.get('query/raw').get('repetitions', '?')} repetitions, "
        f"{context.get('num_cpus', '?')} CPUs at "
        f"{context.get('mhz_per_cpu', '?')} MHz, {context.get('date', '')}.",
        "",
    ]
    failures = ratio_table(medians, lines)
    lines.append("")
    failures += further_checks(medians, lines)
    lines.append("")
    breakdown_table(medians, lines)
    lines.append("")
    failures += manifest_table(medians, lines)
    lines.append("")
    failures += catalog_table(medians, lines)
    if arguments.threaded:
        lines += ["", "After another thread has run (atomic counts):", ""]
        ratio_table(Medians(arguments.threaded), lines, THREADED_ROWS)
    print("\n".join(lines))
    if failures:
        print("\nTargets not met:\n" +
              "\n".join(f"- {failure}" for failure in failures))
    if arguments.chart:
        draw_chart(medians, arguments.chart)


if __name__ == "__main__":
    main()
