#!/usr/bin/env bash
# A list is open in Vesk while the terminal changes it: when the person comes back to the panel
# it shows the change, and the panel's own next change keeps it.
source "$(dirname "$0")/e2e-lib.sh"

list=$LISTS/list.vesk
printf '%s\n' '---' 'Buy milk' '---' >"$list"

# The terminal commands never reach for the display.
terminal() {
    env -u DISPLAY "$VESK" "$@" >/dev/null || fail "vesk $* failed"
}

# The person works in a terminal (the panels hidden), runs a command there, and comes back.
terminal_while_away() {
    keys ctrl+alt+space
    wait_for "the panels to hide" has_no_visible_window "list"
    terminal "$@"
    keys ctrl+alt+space
    wait_for_active "list"
}

# The first task as the panel shows it, read through Copy.
copy_first_task() {
    keys k k ctrl+c
}
first_task_is() {
    [ "$(xclip -o -selection clipboard 2>/dev/null)" == "$1" ]
}
shows_added_task() { first_task_is "From the terminal"; }
shows_next_task() { first_task_is "Call Ana"; }

step "open the list"
start_vesk "$list"
wait_for_launch "list"

step "vesk add while the list is open: the panel reloads it"
terminal_while_away add "$list" "From the terminal"
expect_file "$list" $'\n---\nFrom the terminal\nBuy milk\n---'
retry_until "the panel did not show the added task" shows_added_task copy_first_task

step "the panel completes the added task"
keys space
expect_file "$list" $'\n---\nBuy milk\n---\nFrom the terminal'

step "vesk add --next while the list is open: the panel reloads it again"
terminal_while_away add --next "$list" "Call Ana"
expect_file "$list" $'Call Ana\n---\nBuy milk\n---\nFrom the terminal'
retry_until "the panel did not show the task added to Next" shows_next_task copy_first_task
keys space
expect_file "$list" $'\n---\nBuy milk\n---\nCall Ana\nFrom the terminal'

step "quit"
quit_vesk
echo "PASS"
