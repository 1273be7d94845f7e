#!/usr/bin/env bash
# Checks the tray icon from outside, as a desktop sees it: under Xvfb with an
# XEmbed tray host (trayer), `tavrin -demo YES` must dock a window into the
# tray, and a click on it must open the panel. Usage: tray_check.sh TAVRIN
# [SHOTS_DIR]; with SHOTS_DIR it leaves screenshots there. Exits 77 (skip)
# when the tools are missing.
set -uo pipefail

tavrin=${1:?usage: tray_check.sh TAVRIN [SHOTS_DIR]}
shots=${2:-}
for tool in xvfb-run trayer xdotool xwininfo; do
  command -v "$tool" >/dev/null || { echo "tray_check: no $tool, skipped"; exit 77; }
done

if [ -z "${TRAY_CHECK_INNER:-}" ]; then
  export TRAY_CHECK_INNER=1
  exec xvfb-run -a -s "-screen 0 1600x1000x24" "$0" "$@"
fi

unset QT_QPA_PLATFORM
export QT_QPA_PLATFORM=xcb
# No StatusNotifierItem watcher on this bus: Qt docks through XEmbed.
unset DBUS_SESSION_BUS_ADDRESS
home=$(mktemp -d)
export HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$home"
}
trap cleanup EXIT

fail() { echo "tray_check: $*" >&2; exit 1; }

# Polls `$@` until it holds; the minute is only a bound for a hang, so a
# busy machine gets there too.
await() {
  for _ in $(seq 600); do "$@" && return 0; sleep 0.1; done
  return 1
}

start_trayer() {
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
    --transparent true --alpha 0 --tint 0x202020 &
  pids+=($!)
  trayer_pid=$!
}
tray_window() {
  xdotool search --onlyvisible --classname '^panel$' 2>/dev/null | head -1
}
has_tray() { [ -n "$(tray_window)" ]; }
main_open() { [ "$(xdotool search --onlyvisible --name '^Tavrin$' 2>/dev/null | wc -l)" -gt 0 ]; }

# Tavrin first, the tray after it: the icon must still find its way in.
"$tavrin" -demo YES -welcomeSeen YES -showWelcome NO &
pids+=($!)
await main_open || fail "the main window did not open"
start_trayer
# The tray's window, taken in the same look that finds it: an empty id
# would leave xwininfo waiting for a click that never comes.
tray=
tray_found() { tray=$(tray_window); [ -n "$tray" ]; }
await tray_found || fail "trayer did not map its window"
# Windows inside the tray's, at any depth: a docked icon adds some.
# Each look finds the tray's window again, in case trayer mapped a new one.
children() { tray_found && xwininfo -tree -id "$tray" | grep -c '^ *0x'; }
docked() { tray_found && xwininfo -tree -id "$tray" 2>/dev/null | grep -q '"Tavrin"'; }
await docked || fail "no icon docked into a tray that started later (children: $(children))"
echo "tray_check: icon docked into a tray that started later"

# The icon: our window inside the tray's, clicked at its centre.
icon=$(xwininfo -tree -id "$tray" | awk '/"Tavrin"/ {print $1; exit}')
[ -n "$icon" ] || fail "no icon window found"
eval "$(xdotool getwindowgeometry --shell "$icon")"
panels() { xdotool search --onlyvisible --name '^Tavrin panel$' 2>/dev/null | wc -l; }
[ "$(panels)" -eq 0 ] || fail "the panel was open before the click"
if [ -n "$shots" ]; then
  sleep 2 # let the icon paint before the picture
  import -window root "$shots/tray-window.png" && import -window "$tray" "$shots/tray-icon.png"
fi
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT / 2)) click 1
panel_open() { [ "$(panels)" -gt 0 ]; }
await panel_open || fail "a click on the icon opened no panel"
echo "tray_check: the click opened the panel"
if [ -n "$shots" ]; then
  sleep 1
  import -window root "$shots/tray-panel.png"
fi
# The tray goes and another takes its place: the icon docks into the new one.
kill "$trayer_pid"
await_gone() { ! has_tray; }
await await_gone || fail "trayer did not go away"
start_trayer
await tray_found || fail "the second trayer did not map its window"
await docked || fail "no icon docked into the tray that replaced the first"
echo "tray_check: icon docked into the replacing tray"
exit 0
