#!/bin/sh
# Renders the windows and both production sheets into docs/*.png, headless.
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
trap 'rm -rf "$sheets"' EXIT INT TERM
mkdir -p "$out"
# A Chinese locale gives the dates the format a clerk sees; it need not be installed.
QT_QPA_PLATFORM=offscreen LANG=zh_CN.UTF-8 LC_ALL= LC_TIME= "$shots" "$out" "$sheets"
for sheet in sheet-frame sheet-door-leaf; do
    pdftoppm -png -r 90 -singlefile "$sheets/$sheet.pdf" "$out/$sheet"
done
ls "$out"/*.png | sed "s|^$root/|written: |"
