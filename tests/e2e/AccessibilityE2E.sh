#!/usr/bin/env bash
# A screen reader's view of the task list: Vesk runs with its own accessibility bus, and the
# selected task, its section and whether it is completed, and the object holding the focus, are
# read from outside through AT-SPI while the keys move the selection and open the editors, and so
# is the status bar.
source "$(dirname "$0")/e2e-lib.sh"

list=$LISTS/list.vesk
printf 'Plan trip\nCall Ana\n---\nBuy milk\n---\nPay rent\n' >"$list"

# A private session bus, and the accessibility bus launched on it (it registers itself on the
# X display too, where Qt looks first).
bus_pid=""
launcher_pid=""
stop_buses() {
    [ -n "$launcher_pid" ] && kill "$launcher_pid" 2>/dev/null && wait "$launcher_pid" 2>/dev/null
    [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
}
trap 'cleanup; stop_buses' EXIT
read -r DBUS_SESSION_BUS_ADDRESS bus_pid < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 | paste -s -d ' ')
export DBUS_SESSION_BUS_ADDRESS
[ -n "$bus_pid" ] || fail "the session bus did not start"
/usr/libexec/at-spi-bus-launcher --launch-immediately >>"$E2E_HOME/atspi.log" 2>&1 &
launcher_pid=$!
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

READER=$(dirname "$0")/atspi-selection.py
selection_is() {
    [ "$(/usr/bin/python3 "$READER" 2>>"$E2E_HOME/atspi.log")" == "$1" ]
}
focus_is() {
    [ "$(/usr/bin/python3 "$READER" --focus 2>>"$E2E_HOME/atspi.log")" == "$1" ]
}
status_is() {
    [ "$(/usr/bin/python3 "$READER" --status 2>>"$E2E_HOME/atspi.log")" == "$1" ]
}
# expect_selection TEXT: a screen reader comes to read TEXT as the selected task.
expect_selection() {
    if ! wait_for_quietly selection_is "$1"; then
        echo "expected: $1, read: $(/usr/bin/python3 "$READER" 2>&1)" >&2
        fail "the selected task does not read as expected"
    fi
}

start_vesk "$list"
wait_for_launch "list"
wait_for "the status bar to read the loaded file" status_is "Loaded list.vesk"

step "the first task reads as selected in its section"
expect_selection "Next: Plan trip"

step "the selection moves down and into the next section"
keys j
expect_selection "Next: Call Ana"
keys j
expect_selection "Pending: Buy milk"

step "a completed task reads as completed"
keys j
expect_selection "Complete: Pay rent (completed)"

step "and back up"
keys k k
expect_selection "Next: Call Ana"
wait_for "the selected task to hold the focus" focus_is "Call Ana"

step "the editors are named as they take the keys"
keys n
wait_for "the focus in the input row's editor" focus_is "New task"
keys Escape
wait_for "the focus back on the list" focus_is "Call Ana"
keys Return
wait_for "the focus in the inline editor" focus_is "Edit task"
keys Escape
wait_for "the focus back on the list" focus_is "Call Ana"

step "the status bar reads the saved file"
keys space
expect_file "$list" $'Plan trip\n---\nBuy milk\n---\nCall Ana\nPay rent'
wait_for "the status bar to read the save" status_is "Saved list.vesk"
quit_vesk
