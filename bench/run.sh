#!/bin/sh
# Runs every benchmark executable (bench_*) in <builddir>/bench and prints one table: case, variant, time per
# iteration, the clock it was taken on, the ratio to the case's baseline, the memory held where measured, and the
# case's target. Benchmarks are named "<variant>/<case>"; the one labelled "baseline" is the reference of its case.
# A benchmark may state its targets in the counters target_ratio (to the baseline) and target_ms (absolute), and one
# for memory in target_held (bytes held, to the bytes of the values its baseline read), or in target_peak_mb for
# the peak memory (peak_bytes) of a program it ran.
# Benchmarks with repetitions are run interleaved with the others and the best repetition counts, so that other
# work on the machine weighs as little as possible. Times are CPU time of the benchmark thread, except for benchmarks timed on the wall clock (UseRealTime or
# UseManualTime: start-up, which runs in child processes, the window cases that wait for the disk, and the server
# cases, whose work is mostly the server's).
# Usage: sh bench/run.sh <builddir> [name filter, e.g. bench_bill]
set -e
build=${1:?usage: sh bench/run.sh <builddir> [filter]}
filter=${2:-}
dir="$build/bench"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

found=0
for exe in "$dir"/bench_*; do
    [ -f "$exe" ] && [ -x "$exe" ] || continue
    name=$(basename "$exe")
    case "$name" in *"$filter"*) ;; *) continue ;; esac
    found=1
    echo "running $name ..." >&2
    # The server cases run on a throw-away PostgreSQL server of their own, which commits durably as a
    # real one does and keeps the statement statistics the cases check their baselines with.
    case "$name" in
    bench_server) run="pg_virtualenv -t -o fsync=on -o shared_preload_libraries=pg_stat_statements" ;;
    *) run="" ;;
    esac
    # The results go to a file of their own: pg_virtualenv talks on standard output.
    $run "$exe" --benchmark_out="$tmp/$name.json" --benchmark_out_format=json --benchmark_min_time=0.5 \
        --benchmark_enable_random_interleaving=true > "$tmp/$name.log" 2>&1 || {
        echo "$name failed:" >&2
        tail -20 "$tmp/$name.log" >&2
    }
    # The cutting optimiser's table per set: instances at the optimum, bars over, times.
    if [ "$name" = bench_cutting ]; then
        grep '^cutting:' "$tmp/$name.log" >&2 || true
    fi
    # What the server cases found about their statements: those the program sends beyond its
    # baseline, and plans that read a large table through; once each, not once a repetition.
    if [ "$name" = bench_server ]; then
        awk '/^(Server|FULL SCAN)/ { if (b != "" && !seen[b]++) printf "%s", b; b = $0 "\n"; next }
             /^    / && b != "" { b = b $0 "\n"; next }
             { if (b != "" && !seen[b]++) printf "%s", b; b = "" }
             END { if (b != "" && !seen[b]++) printf "%s", b }' "$tmp/$name.log" >&2
    fi
done
if [ "$found" = 0 ]; then
    echo "no bench_* executables in $dir" >&2
    exit 1
fi

python3 - "$tmp"/*.json <<'PY'
import json, re, sys

rows = []
for path in sys.argv[1:]:
    try:
        with open(path) as f:
            data = json.load(f)
    except (OSError, ValueError) as e:
        print(f"{path}: no result ({e})", file=sys.stderr)
        continue
    for b in data.get("benchmarks", []):
        if b.get("run_type", "iteration") != "iteration":
            continue
        name = b["name"]
        wall = "/real_time" in name or "/manual_time" in name
        name = re.sub(r"/(iterations:\d+|repeats:\d+|real_time|manual_time|min_time:[\d.]+)", "", name)
        variant, _, case = name.partition("/")
        case = case or variant
        scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[b.get("time_unit", "ns")]
        t = b["real_time" if wall else "cpu_time"] * scale
        row = {
            "case": case, "variant": variant, "time": t, "wall": wall,
            "base": b.get("label", "") == "baseline",
            "held": b.get("held_bytes"), "values": b.get("value_bytes"),
            "target_ratio": b.get("target_ratio"), "target_ms": b.get("target_ms"),
            "target_held": b.get("target_held"),
            "peak": b.get("peak_bytes"), "target_peak_mb": b.get("target_peak_mb"),
            "error": b.get("error_message") if b.get("error_occurred") else None,
        }
        # The best repetition of a benchmark stands for it; an error in any repetition is shown.
        same = next((r for r in rows if (r["case"], r["variant"]) == (case, variant)), None)
        if same is None:
            rows.append(row)
        elif row["error"] or (not same["error"] and row["time"] < same["time"]):
            same.update(row)

baseline = {r["case"]: r for r in rows if r["base"]}
# Cases in the order first met, each with its baseline first.
order = list(dict.fromkeys(r["case"] for r in rows))
rows.sort(key=lambda r: (order.index(r["case"]), not r["base"]))

def fmt_time(ns):
    for unit, s in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= s:
            return f"{ns / s:9.2f} {unit:<2}"
    return f"{ns:9.0f} ns"

print(f"{'case':<24} {'variant':<14} {'time':>12} {'clock':<5} {'ratio':>7} {'held MB':>8} {'held/values':>11}  target")
for r in rows:
    ref = baseline.get(r["case"])
    if r["error"]:
        print(f"{r['case']:<24} {r['variant']:<14} ERROR: {r['error']}")
        continue
    ratio = r["time"] / ref["time"] if ref and ref["time"] > 0 else None
    held = f"{r['held'] / 1e6:8.1f}" if r["held"] is not None else f"{'':8}"
    values = ref["values"] if ref and ref.get("values") else None
    held_ratio = f"{r['held'] / values:11.2f}" if r["held"] is not None and values else f"{'':11}"
    targets = []
    if r["target_ratio"] and ratio is not None:
        targets.append(f"<= {r['target_ratio']:g}x: " + ("met" if ratio <= r["target_ratio"] else "missed"))
    if r["target_ms"]:
        targets.append(f"< {r['target_ms']:g} ms: " + ("met" if r["time"] < r["target_ms"] * 1e6 else "missed"))
    target = "; ".join(targets)
    if r["target_held"] and r["held"] is not None and values:
        target += f"; memory <= {r['target_held']:g}x values: " + (
            "met" if r["held"] <= r["target_held"] * values else "missed")
    if r["target_peak_mb"] and r["peak"] is not None:
        peak_mb = r["peak"] / 1e6
        target += f"; peak memory {peak_mb:.0f} MB < {r['target_peak_mb']:g} MB: " + (
            "met" if peak_mb < r["target_peak_mb"] else "missed")
    ratio_text = f"{ratio:7.2f}" if ratio is not None else f"{'-':>7}"
    print(f"{r['case']:<24} {r['variant']:<14} {fmt_time(r['time'])} {'wall' if r['wall'] else 'cpu':<5} "
          f"{ratio_text} {held} {held_ratio}  {target}".rstrip())
PY
