#!/bin/sh
# Builds the Debian package from a build folder, checks its files and dependencies, unpacks it into
# a temporary root with dpkg -x and starts the installed kvt headless the way the desktop entry
# does, with a new home folder: it must make its data folder, its database and the day's backup.
# Usage: sh check_package.sh <builddir>
set -eu
build=$(cd "${1:?usage: check_package.sh <builddir>}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 || {
    cat "$work/cpack.log" >&2
    fail "cpack did not build the package"
}
set -- "$work"/out/kvt_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected one kvt_*.deb, found: $*"
deb=$1
echo "package: $(basename "$deb")"

# Exactly these files, nothing of the build (tests, libraries, headers).
dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sort >"$work/files"
cat >"$work/expected" <<'LIST'
./usr/bin/kvt
./usr/bin/kvtcalc
./usr/bin/kvtcopy
./usr/bin/kvtcut
./usr/bin/kvtdemo
./usr/bin/kvtweb
./usr/lib/systemd/system/kvtweb.service
./usr/share/applications/kvt.desktop
./usr/share/icons/hicolor/scalable/apps/kvt.svg
LIST
diff -u "$work/expected" "$work/files" || fail "the package's file list differs"
# `make install` puts the same files in place.
DESTDIR="$work/installed" cmake --install "$build" --prefix /usr >/dev/null
(cd "$work/installed" && find . -type f | sort) >"$work/installed.files"
diff -u "$work/expected" "$work/installed.files" || fail "cmake --install installs other files than the package"

[ "$(dpkg-deb -f "$deb" Package)" = kvt ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
# The libraries found by dpkg-shlibdeps (a soname's number may change) and the fonts named.
for p in 'libqt6core6' 'libqt6gui6' 'libqt6network6' 'libqt6httpserver6' 'libsodium[0-9]+' 'libssl3' 'libqt6widgets6' 'libqt6printsupport6' 'libsqlite3-[0-9]+' 'libxlsxwriter[0-9]+' 'libmdb[0-9]+' \
    'coinor-libcbc[0-9]+' 'coinor-libclp[0-9]+' 'fonts-arphic-uming' 'fonts-wqy-microhei'; do
    echo "$depends" | tr ',' '\n' | grep -Eq "^ *$p( |$)" || fail "Depends lacks $p: $depends"
done

root="$work/root"
dpkg -x "$deb" "$root"
entry="$root/usr/share/applications/kvt.desktop"
desktop-file-validate "$entry" || fail "desktop-file-validate"
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon $icon.svg"

[ "$(PATH="$root/usr/bin:$PATH" kvtcalc '(900+40)*2-35')" = "$(printf 'OK\t1845')" ] || fail "installed kvtcalc"
# kvtcopy without its two databases: how to call it, and exit code 1.
rc=0
PATH="$root/usr/bin:$PATH" kvtcopy >/dev/null 2>"$work/kvtcopy.err" || rc=$?
[ "$rc" -eq 1 ] && grep -q 'kvtcopy 源数据库 目标数据库' "$work/kvtcopy.err" || fail "installed kvtcopy: exit $rc"

# kvtcut lays three pieces of 50 and one of 100 onto two bars of 150.
printf '2\r\n150\r\n100\t1\r\n50\t3\r\n' >"$work/cut.txt"
PATH="$root/usr/bin:$PATH" kvtcut --instance "$work/cut.txt" | grep -q '^{"bars": 2, "lower_bound": 2, "optimal": true' ||
    fail "installed kvtcut"

# kvtweb lists the accounts of a new database (none); its unit starts the installed program.
mkdir "$work/web"
[ -z "$(PATH="$root/usr/bin:$PATH" kvtweb --data-dir="$work/web" --list-users)" ] || fail "installed kvtweb --list-users"
unit="$root/usr/lib/systemd/system/kvtweb.service"
grep -q '^ExecStart=/usr/bin/kvtweb ' "$unit" || fail "kvtweb.service does not start /usr/bin/kvtweb"

# Started as the menu starts it: its Exec line, from a working folder that is not the data folder.
exec_line=$(sed -n 's/^Exec=//p' "$entry")
mkdir "$work/home" "$work/elsewhere"
(
    cd "$work/elsewhere"
    HOME="$work/home" PATH="$root/usr/bin:$PATH" QT_QPA_PLATFORM=offscreen KVT_QUIT_WHEN_SHOWN=1 \
        XDG_RUNTIME_DIR="$work" timeout 60 sh -c "exec $exec_line" </dev/null
) || fail "the installed kvt did not start and end cleanly ($exec_line)"
data="$work/home/kvt"
[ -f "$data/kvt.db" ] || fail "no database in the data folder $data"
[ "$(sqlite3 "$data/kvt.db" 'select 值 from 系统设置 where ID="历史单据ID"')" = 1 ] || fail "the new database has no counter row"
[ -z "$(ls -A "$work/elsewhere")" ] || fail "kvt wrote into its working folder: $(ls -A "$work/elsewhere")"
set -- "$data"/backups/kvt-*.db
[ $# -eq 1 ] && [ -f "$1" ] || fail "expected the day's backup in $data/backups, found: $*"
echo "ok: installed kvt made $data/kvt.db and $(basename "$1")"
