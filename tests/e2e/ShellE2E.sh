#!/usr/bin/env bash
# The vesk command as a person meets it in a terminal: every option --help lists works, a session
# without a display gets one clear line instead of a crash, and wrong combinations are refused. And
# the small windows, which have no menu bar, close and quit with the usual keys.
source "$(dirname "$0")/e2e-lib.sh"

OUT=$E2E_HOME/out
ERR=$E2E_HOME/err

without_display() {
    env -u DISPLAY -u WAYLAND_DISPLAY "$@"
}
# The one line a start without a display gives.
says_no_graphical_session() {
    [ "$(wc -l <"$ERR")" -eq 1 ] && grep -q '^vesk: Vesk needs a graphical session: ' "$ERR" \
        || fail "not the one line about the graphical session: $(cat "$ERR")"
}

step "every option --help lists works without a display"
without_display "$VESK" --help >"$OUT" || fail "--help failed"
options=$(grep -oE '^ +(-[a-zA-Z], )?--[a-z-]+' "$OUT" | grep -oE -- '--[a-z-]+')
[ -n "$options" ] || fail "--help lists no options"
for option in $options; do
    case $option in
    --help | --help-all | --version) expected=0 ;;
    --toggle | --background) expected=1 ;;
    *) fail "--help lists $option, which this test does not know" ;;
    esac
    without_display timeout 20 "$VESK" "$option" >"$OUT" 2>"$ERR"
    status=$?
    [ "$status" -eq "$expected" ] || fail "vesk $option ended with $status: $(cat "$ERR")"
done
without_display "$VESK" --version | grep -qx 'vesk [0-9.]*' || fail "--version does not say the version"

step "without a display, vesk says it needs a graphical session and ends with 1"
for platform in "" xcb; do
    QT_QPA_PLATFORM=$platform without_display timeout 20 "$VESK" >"$OUT" 2>"$ERR"
    [ $? -eq 1 ] || fail "without a display (QT_QPA_PLATFORM=$platform) vesk did not end with 1: $(cat "$ERR")"
    says_no_graphical_session
done
# A display that refuses the connection.
DISPLAY=:4711 WAYLAND_DISPLAY= timeout 20 "$VESK" >"$OUT" 2>"$ERR"
[ $? -eq 1 ] || fail "with a display that refuses, vesk did not end with 1: $(cat "$ERR")"
says_no_graphical_session
grep -q 'DISPLAY=:4711' "$ERR" || fail "the display tried is not named: $(cat "$ERR")"

step "platforms that need no display still start without one"
for platform in offscreen minimal; do
    # A runtime folder of its own, so that this Vesk is the first one.
    runtime=$E2E_HOME/runtime-$platform
    mkdir -m 700 "$runtime"
    # env itself, not a shell function, so that $! is the Vesk process the kill below ends.
    env -u DISPLAY -u WAYLAND_DISPLAY XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=$platform "$VESK" \
        >>"$E2E_HOME/vesk.log" 2>&1 &
    VESK_PID=$!
    wait_for "vesk on $platform to listen for later launches" test -S "$runtime/vesk.socket"
    vesk_runs || fail "vesk on $platform ended"
    kill "$VESK_PID" && wait "$VESK_PID"
    VESK_PID=""
done

step "--toggle with files is refused before anything starts"
without_display timeout 20 "$VESK" --toggle "$LISTS/list.vesk" >"$OUT" 2>"$ERR"
[ $? -eq 2 ] || fail "vesk --toggle FILE was not refused: $(cat "$ERR")"
grep -q -- '--toggle opens no files' "$ERR" || fail "the refusal does not say why: $(cat "$ERR")"

step "Escape and Ctrl+W close the settings and the keyboard controls"
start_vesk
wait_for_launch "Welcome to Vesk"
for key in Escape ctrl+w; do
    keys ctrl+comma
    wait_for_active "Settings"
    keys "$key"
    wait_for "$key to close the settings" has_no_visible_window "Settings"
    keys question
    wait_for_active "Keyboard Controls"
    keys "$key"
    wait_for "$key to close the keyboard controls" has_no_visible_window "Keyboard Controls"
done

step "the recorder refuses the panels' own keys"
alert_is_active() {
    active_window_is "Vesk"
}
keys ctrl+comma
wait_for_active "Settings"
keys Tab ctrl+Down
# Message boxes show in no search of visible windows; the active one is the alert.
wait_for "the alert about Ctrl+Down" alert_is_active
keys Escape
wait_for_active "Settings"
keys Escape Escape
wait_for "the settings to close" has_no_visible_window "Settings"
grep -q '"carbonKeyCode\\":125' "$SETTINGS" && fail "Ctrl+Down was taken as the global shortcut"

step "Start at login writes an entry that runs the vesk command"
AUTOSTART=$XDG_CONFIG_HOME/autostart/vesk.desktop
keys ctrl+comma
wait_for_active "Settings"
# The tick box has the keyboard focus when the settings open.
keys space
wait_for "the autostart entry" test -f "$AUTOSTART"
grep -qxF "Exec=$VESK --background" "$AUTOSTART" || fail "the entry does not run $VESK: $(cat "$AUTOSTART")"
keys space
wait_for "the autostart entry to go" test ! -e "$AUTOSTART"
keys Escape
wait_for "the settings to close" has_no_visible_window "Settings"

step "Ctrl+Q quits from the keyboard controls and from the settings"
keys question
wait_for_active "Keyboard Controls"
quit_vesk
start_vesk
wait_for_launch "Welcome to Vesk"
keys ctrl+comma
wait_for_active "Settings"
quit_vesk

step "a list's first frame loads no image plugin, and its window then gets the icon at every size"
printf 'Plan trip\n---\n---\n' >"$LISTS/list.vesk"
# The start-up probe ends the launch right after the list's first frame, before what waits for it.
VESK_STARTUP_PROBE=TaskListView LD_DEBUG=files timeout 20 "$VESK" "$LISTS/list.vesk" >"$OUT" 2>"$ERR" \
    || fail "the probed launch failed: $(grep -v 'file=' "$ERR")"
grep -q '^first frame ' "$OUT" || fail "the probed launch drew no frame"
plugins=$(grep -o '[^ ]*/imageformats/[^ ]*' "$ERR" | sort -u)
[ -z "$plugins" ] || fail "image plugins loaded before the first frame: $plugins"
start_vesk "$LISTS/list.vesk"
wait_for_launch "list"
window_has_every_icon_size() {
    local sizes
    sizes=$(xprop -len 1000000 -id "$(visible_window "list")" _NET_WM_ICON 2>/dev/null | grep -o 'Icon ([0-9]* x')
    [ "$(echo $sizes)" == "Icon (16 x Icon (24 x Icon (32 x Icon (48 x Icon (64 x Icon (128 x Icon (256 x" ]
}
wait_for "the list's window to carry the icon at every size" window_has_every_icon_size
quit_vesk
echo "PASS"
