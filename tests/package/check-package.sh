#!/usr/bin/env bash
# The .deb as a user gets it: built with CPack, unpacked into a temporary root, its desktop entry and
# metainfo validated, and the unpacked program started with a home of its own: its window shows the
# caption "Pixtrawl 1.0" and, closed from its File menu, it writes ~/.config/pixtrawl/pxt.ini and
# nothing under the unpacked root.
#   check-package.sh <build folder>
set -euo pipefail
build=$(cd "${1:?usage: check-package.sh <build folder>}" && pwd)
work=$(mktemp -d /tmp/pixtrawl-package.XXXXXX)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill -9 "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

(cd "$work" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) \
  || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/pixtrawl_*.deb)
echo "package: $(basename "$deb")"
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
for lib in libqt6webenginewidgets6 libjpeg libqt6network6 libssl3 qt6-qpa-plugins; do
  [[ $depends == *"$lib"* ]] || fail "the package does not depend on $lib"
done
# gumbo parses the test view's pages only; the program does not link it.
[[ $depends != *gumbo* ]] || fail "the package depends on gumbo"

root="$work/root"
dpkg-deb -x "$deb" "$root"
app=org.example.pixtrawl
for f in usr/bin/pixtrawl usr/share/pixtrawl/clear.html "usr/share/applications/$app.desktop" \
         "usr/share/metainfo/$app.metainfo.xml" "usr/share/icons/hicolor/48x48/apps/$app.png" \
         "usr/share/icons/hicolor/256x256/apps/$app.png"; do
  [ -e "$root/$f" ] || fail "$f is not in the package"
done
desktop-file-validate "$root/usr/share/applications/$app.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$app.metainfo.xml" || fail "appstreamcli validate"
exec_line=$(grep '^Exec=' "$root/usr/share/applications/$app.desktop")
[ "$exec_line" = "Exec=pixtrawl" ] || fail "the menu entry runs '$exec_line'"

# The program as the menu entry starts it, with a home of its own.
home="$work/home"
mkdir -p "$home"
before=$(cd "$root" && find . | sort)
env -u XDG_CONFIG_HOME -u XDG_CACHE_HOME HOME="$home" "$root/usr/bin/pixtrawl" >"$work/run.log" 2>&1 &
pid=$!
# Polled: windows that come and go meanwhile (the splash, the engine's) make a waiting search fail.
wid=
for _ in $(seq 1 240); do
  wid=$(xdotool search --onlyvisible --name '^Pixtrawl 1\.0$' 2>/dev/null | head -n1 || true)
  [ -n "$wid" ] && break
  sleep 0.25
done
[ -n "$wid" ] || { cat "$work/run.log"; fail "no window with the caption \"Pixtrawl 1.0\""; }
name=$(xprop -id "$wid" _NET_WM_NAME | sed 's/^[^"]*"//; s/"$//')
[ "$name" = "Pixtrawl 1.0" ] || fail "the window's caption is \"$name\""
echo "window $wid: \"$name\""

# File > Close, as a user would with the keyboard.
sleep 3 # the splash window closes itself
for _ in 1 2 3; do
  xdotool windowfocus --sync "$wid" 2>/dev/null || true
  xdotool key --window "$wid" alt+f
  sleep 0.5
  xdotool key c
  for _ in $(seq 1 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.25; done
  kill -0 "$pid" 2>/dev/null || break
done
if kill -0 "$pid" 2>/dev/null; then
  fail "the program did not close from its File menu"
fi
wait "$pid" || true
pid=

[ -f "$home/.config/pixtrawl/pxt.ini" ] || { ls -laR "$home"; cat "$work/run.log"; fail "no ~/.config/pixtrawl/pxt.ini"; }
grep -q '^\[TFormMain\]' "$home/.config/pixtrawl/pxt.ini" || fail "pxt.ini holds no window placement"
after=$(cd "$root" && find . | sort)
[ "$before" = "$after" ] || fail "the program wrote under its own root: $(diff <(echo "$before") <(echo "$after") || true)"
echo "settings: $home/.config/pixtrawl/pxt.ini"
echo "package checks passed"
