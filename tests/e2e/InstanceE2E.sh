#!/usr/bin/env bash
# One Vesk per person: a second launch opens its file as a tab of the running Vesk, a relaunch
# brings the same tabs back, and the global shortcut and `vesk --toggle` hide and show the panels.
source "$(dirname "$0")/e2e-lib.sh"

list=$LISTS/list.vesk
other=$LISTS/other.vesk
printf 'Write report\n---\nBuy milk\n---\n' >"$list"
printf 'Plan trip\n---\n---\nBook hotel\n' >"$other"

visible_windows_of_vesk() {
    xdotool search --onlyvisible --pid "$VESK_PID" 2>/dev/null | wc -l
}
vesk_shows_windows() {
    [ "$(visible_windows_of_vesk)" -eq "$1" ]
}

step "the first launch opens its file"
start_vesk "$list"
wait_for_launch "list"

step "a second launch hands its file to the running Vesk and ends"
(cd "$LISTS" && timeout 20 "$VESK" other.vesk) || fail "the second launch failed"
wait_for_active "other"
wait_for "one window holding both lists" vesk_shows_windows 1
wait_for "both lists to be remembered" setting_is openDocumentBookmarks "$list, $other"
vesk_runs || fail "the running Vesk ended"

step "the global shortcut hides every panel and shows them again"
keys ctrl+alt+space
wait_for "the panels to hide" vesk_shows_windows 0
keys ctrl+alt+space
wait_for_active "other"

step "vesk --toggle does the same"
toggle() { timeout 20 "$VESK" --toggle || fail "vesk --toggle failed"; }
toggle
wait_for "the panels to hide" vesk_shows_windows 0
toggle
wait_for_active "other"
step "and hides them again right after showing them"
toggle
wait_for "the panels to hide" vesk_shows_windows 0
keys ctrl+alt+space
wait_for_active "other"

step "quit and relaunch: the same tabs, the same list active"
quit_vesk
setting_is openDocumentBookmarks "$list, $other" || fail "the open lists were not kept"
# With no Vesk running, --toggle starts one.
start_vesk --toggle
wait_for_launch "other"
wait_for "one window holding both lists" vesk_shows_windows 1
setting_is openDocumentBookmarks "$list, $other" || fail "the open lists changed"
setting_is activeDocumentBookmark "$other" || fail "the active list changed"
quit_vesk

step "vesk --background starts with no window, and a second one leaves it be; the shortcut shows the lists"
start_vesk --background
wait_for "Vesk to listen for launches" test -S "$XDG_RUNTIME_DIR/vesk.socket"
timeout 20 "$VESK" --background || fail "a second vesk --background failed"
vesk_shows_windows 0 || fail "vesk --background showed a window"
# A panel shown at the start would be active, and --toggle would hide it.
toggle
wait_for_active "other"
wait_for "one window holding both lists" vesk_shows_windows 1
keys ctrl+alt+space
wait_for "the panels to hide" vesk_shows_windows 0
keys ctrl+alt+space
wait_for_active "other"
quit_vesk

step "ended by the session with SIGTERM: Vesk ends well, its lists are written and reopen next time"
start_vesk
wait_for_launch "other"
keys n
type_text "Pack bags"
keys Return
wait_for "the new task to be written" grep -qxF "Pack bags" "$other"
kill -TERM "$VESK_PID"
wait "$VESK_PID"
status=$?
VESK_PID=""
[ "$status" -eq 0 ] || fail "vesk ended with status $status on SIGTERM"
grep -qxF "Pack bags" "$other" || fail "the new task is gone from the file"
setting_is openDocumentBookmarks "$list, $other" || fail "the open lists were not kept"
echo "PASS"
