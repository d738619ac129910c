#!/bin/sh
# The Debian package: made from this build with cpack, its control data and files checked,
# lintian without errors, and the program run from a scratch root the package was unpacked into.
# Nothing is ever installed onto this machine. Exit 77 (a skip) when a packaging tool is missing.
set -eu
build=$1
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
    command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is missing"; exit 77; }
done
scratch=$(mktemp -d)
app=
trap '[ -n "$app" ] && kill "$app" 2>/dev/null; rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) ||
    { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$(ls "$scratch"/out/brimwick_*_amd64.deb) || fail "no brimwick_<version>_amd64.deb"

contents=$(dpkg-deb --contents "$deb")
for file in usr/bin/brimwick usr/lib/brimwick/brimwick-desktop.so \
            usr/share/applications/brimwick.desktop \
            usr/share/icons/hicolor/scalable/apps/brimwick.svg \
            usr/share/icons/hicolor/48x48/apps/brimwick.png \
            usr/share/icons/hicolor/256x256/apps/brimwick.png \
            usr/share/man/man1/brimwick.1.gz usr/share/doc/brimwick/copyright; do
    echo "$contents" | grep -q " \./$file\$" || fail "the package lacks /$file"
done
depends=$(dpkg-deb --field "$deb" Depends)
for dependency in curl libc6 libcurl4 libicu libqt6widgets6 libavahi-client3; do
    echo "$depends" | grep -q "$dependency" || fail "Depends lacks $dependency: $depends"
done
lintian --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || true
if grep -q '^E:' "$scratch/lintian.log"; then cat "$scratch/lintian.log"; fail "lintian errors"; fi

root=$scratch/root
dpkg-deb -x "$deb" "$root"
"$root/usr/bin/brimwick" --help | grep -q '^Usage: brimwick' || fail "--help from the package"
mkdir -p "$scratch/home"
# Without a display the text face starts in the desktop's place, saying so.
env -u DISPLAY -u WAYLAND_DISPLAY HOME=$scratch/home XDG_CONFIG_HOME=$scratch/home/config \
    BRIMWICK_USAGE_URL=http://127.0.0.1:9/ "$root/usr/bin/brimwick" --demo 1 >"$scratch/out.txt" 2>&1 &
app=$!
for _ in $(seq 100); do
    grep -q '^sessions: demo-1: ' "$scratch/out.txt" && break
    sleep 0.1
done
grep -q '^sessions: demo-1: ' "$scratch/out.txt" || { cat "$scratch/out.txt"; fail "no demo session"; }
grep -q 'DISPLAY is not set), so sessions are followed as text' "$scratch/out.txt" ||
    { cat "$scratch/out.txt"; fail "no word on why the desktop did not start"; }
kill -TERM "$app"
status=0
wait "$app" || status=$?
app=
[ "$status" -eq 0 ] || fail "the packaged program ended with status $status on SIGTERM"
echo "package ok: $(basename "$deb")"
