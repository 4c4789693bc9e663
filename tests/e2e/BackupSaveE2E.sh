#!/usr/bin/env bash
# An editor that keeps a backup saves the list while Vesk has it open: it renames the list away and
# writes the new one under its name a second later. Vesk stays with the list at its name, and the
# backup is left alone.
source "$(dirname "$0")/e2e-lib.sh"

list=$LISTS/list.vesk
printf 'Write report\n---\nBuy milk\n---\n' >"$list"
original=$(cat "$list")

step "open the list"
start_vesk "$list"
wait_for_launch "list"

step "the editor renames the list to its backup and writes the new list a second later"
# The person works in the editor meanwhile.
keys ctrl+alt+space
wait_for "the panels to hide" has_no_visible_window "list"
mv "$list" "$list~"
# The time between the rename and the new file is the point here, so it is waited for real.
sleep 1
printf 'Saved by the editor\n---\nKept\n---\n' >"$list"

step "back in Vesk, a new task goes into the editor's new list"
keys ctrl+alt+space
wait_for_active "list"
add_task() {
    keys n
    type_text "After the editor"
    keys Return
}
saved_with_task() {
    file_is "$list" $'Saved by the editor\n---\nAfter the editor\nKept\n---'
}
retry_until "the task was not added to the editor's new list" saved_with_task add_task
file_is "$list~" "$original" || fail "the backup was changed"
setting_is openDocumentBookmarks "$list" || fail "the list was taken for moved"

step "quit"
quit_vesk
echo "PASS"
