#!/bin/sh
# Renders the windows, both production sheets and a printed cutting plan into docs/*.png, headless.
# Usage: sh scripts/screenshots.sh [build folder]   (`make screenshots` builds first)
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-build}
case $build in /*) ;; *) build="$root/$build" ;; esac
shots="$build/app/kvtshots"
out="$root/docs"
if [ ! -x "$shots" ]; then
    echo "screenshots: $shots is missing; run make screenshots" >&2
    exit 1
fi
command -v pdftoppm >/dev/null || { echo "screenshots: pdftoppm missing (package poppler-utils)" >&2; exit 1; }

sheets=$(mktemp -d)
web=$(mktemp -d)
pid=""
trap 'rm -rf "$sheets" "$web"; [ -z "$pid" ] || kill "$pid" 2>/dev/null' EXIT INT TERM
mkdir -p "$out"
# A Chinese locale gives the dates the format a clerk sees; it need not be installed.
QT_QPA_PLATFORM=offscreen LANG=zh_CN.UTF-8 LC_ALL= LC_TIME= "$shots" "$out" "$sheets"
for sheet in sheet-frame sheet-door-leaf cutting-plan; do
    pdftoppm -png -r 90 -singlefile "$sheets/$sheet.pdf" "$out/$sheet"
done

# The measurer's two pages as a phone shows them (360 pixels wide, headless Chromium): kvtweb on the
# demo database, the newest bill with two openings still to measure opened and their sizes typed.
(cd "$web" && QT_QPA_PLATFORM=offscreen "$build/app/kvtdemo" >/dev/null)
bill=$(sqlite3 "$web/kvt.db" "select 单据ID from 历史单据 h where (select count(*) from 单据明细 l
    where l.单据ID=h.单据ID and l.现量宽=0) >= 2 order by 单据日期 desc, 单据ID desc limit 1")
[ -n "$bill" ] || { echo "screenshots: the demo database has no bill to measure" >&2; exit 1; }
sizes=$(sqlite3 "$web/kvt.db" "select 门框ID || '=' || (cast(见光宽 as integer) + 5) || ',' ||
    (cast(见光高 as integer) + 10) from 单据明细 where 单据ID=$bill and 现量宽=0 order by 门框ID limit 2")
printf 'password1\npassword1\n' | "$build/app/kvtweb" --data-dir="$web" --add-user 李工 >/dev/null
"$build/app/kvtweb" --data-dir="$web" --listen 127.0.0.1:0 >"$web/out" 2>"$web/log" &
pid=$!
port=""
for _ in $(seq 50); do
    port=$(sed -n 's|.*https://127.0.0.1:\([0-9]*\)/.*|\1|p' "$web/out")
    [ -n "$port" ] && break
    sleep 0.1
done
[ -n "$port" ] || { cat "$web/log" >&2; echo "screenshots: kvtweb did not start" >&2; exit 1; }
# shellcheck disable=SC2086 # one LINE=WIDTH,HEIGHT argument a line
python3 "$root/tests/web/browser_check.py" "https://127.0.0.1:$port" 李工 password1 "$bill" $sizes --shots "$out"
ls "$out"/*.png | sed "s|^$root/|written: |"
