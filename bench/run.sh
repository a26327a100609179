#!/bin/sh
# Runs every benchmark executable (bench_*) in <builddir>/bench and prints one table: case, variant, time per
# iteration, and the ratio to the case's baseline. Benchmarks are named "<variant>/<case>"; the one labelled
# "baseline" is the reference of its case.
# Usage: sh bench/run.sh <builddir>
set -e
build=${1:?usage: sh bench/run.sh <builddir>}
dir="$build/bench"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

found=0
for exe in "$dir"/bench_*; do
    [ -f "$exe" ] && [ -x "$exe" ] || continue
    found=1
    name=$(basename "$exe")
    echo "running $name ..." >&2
    "$exe" --benchmark_format=json --benchmark_min_time=0.5 > "$tmp/$name.json"
done
if [ "$found" = 0 ]; then
    echo "no bench_* executables in $dir" >&2
    exit 1
fi

python3 - "$tmp"/*.json <<'PY'
import json, sys

rows = []
for path in sys.argv[1:]:
    with open(path) as f:
        data = json.load(f)
    for b in data.get("benchmarks", []):
        if b.get("run_type", "iteration") != "iteration":
            continue
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        variant, _, case = b["name"].partition("/")
        case = case or variant
        rows.append((case, variant, b["cpu_time"] * scale, b.get("label", "") == "baseline"))

baseline = {case: t for case, _, t, base in rows if base}
print(f"{'case':<28} {'variant':<12} {'time':>14} {'ratio':>8}")
for case, variant, t, base in rows:
    ref = baseline.get(case)
    ratio = f"{t / ref:8.3f}" if ref else f"{'-':>8}"
    print(f"{case:<28} {variant:<12} {t:>11.1f} ns {ratio}")
PY
