#!/bin/sh
# Builds the calculator's fuzz target with clang's libFuzzer (plus ASan and UBSan) and runs it for a bounded
# time. Usage: sh tests/expcalc/run-fuzz.sh [seconds]   (default 60). Without clang it only says so.
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
seconds=${1:-60}
out="$root/build-fuzz"

if ! command -v clang++ >/dev/null 2>&1; then
    echo "run-fuzz: clang++ is not installed; skipping the fuzz run."
    exit 0
fi

mkdir -p "$out/corpus"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fsanitize=float-cast-overflow \
    -fno-sanitize-recover=all -I"$root" \
    "$here/fuzz_calc.cpp" \
    "$root/expcalc/UnitExpCalc.cpp" "$root/expcalc/NumberText.cpp" "$root/expcalc/ExpressionCheck.cpp" \
    "$root/expcalc/FunctionLibrary.cpp" "$root/expcalc/Evaluation.cpp" \
    -o "$out/fuzz_calc"

# Seed formulas of the kind the bills use.
i=0
for f in '(900+40)*2-35' '(1200-2*35)/2+sqrt(16)' 'roundto((2100-35)/2,0)+max(10,20,30)' '-2^2' '5!%' \
    'morrep(120000,0.06,10,2,1)' 'stddev(2,4,4,4,5,5,7,9)' '2*pi/E' 'logN(2,8)+mod(-7,3)'; do
    i=$((i + 1))
    printf '%s' "$f" > "$out/corpus/seed$i"
done

echo "run-fuzz: fuzzing CalcExpression for ${seconds}s"
"$out/fuzz_calc" -max_total_time="$seconds" -max_len=4096 -dict="$here/fuzz_calc.dict" \
    -print_final_stats=1 "$out/corpus"
