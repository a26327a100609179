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
# demo database with two bills to measure, the bill page with two sizes typed.
(cd "$web" && QT_QPA_PLATFORM=offscreen "$build/app/kvtdemo" >/dev/null)
sqlite3 "$web/kvt.db" <<'SQL'
insert into 历史单据 values (1, 1, '西湖区文三路12号', '2026-03-14', 5, '刘师傅');
insert into 历史单据 values (2, 3, '滨江区江南大道88号3单元', '2026-03-16', 6, '陈师傅');
insert into 单据明细 (单据ID,商品ID,数量,玻璃款式,见光宽,见光高,埋地,门框附加,门框备注,门框总宽,门框总高) values
  (1, 1, 1, '磨砂', 900, 2000, 20, '', '主卧', 940, 2040),
  (1, 2, 1, '', 1200, 2100, 20, '', '入户', 1260, 2145),
  (1, 5, 1, '长虹', 800, 2000, 20, '', '卫生间', 830, 2035),
  (2, 3, 2, '', 850, 2050, 15, '', '次卧', 886, 2083);
SQL
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
python3 "$root/tests/web/browser_check.py" "https://127.0.0.1:$port" 李工 password1 1 1=905,2025 2=1210,2125 \
    --shots "$out"
ls "$out"/*.png | sed "s|^$root/|written: |"
