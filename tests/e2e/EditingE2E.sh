#!/usr/bin/env bash
# A person makes a list, opens another, and works it from the keyboard: add, edit, complete, move
# between sections, reorder, delete, undo and redo; then another program edits the file. The file
# on disk is checked after every step.
source "$(dirname "$0")/e2e-lib.sh"

list=$LISTS/list.vesk
printf 'Write report\nCall Ana\n---\nBuy milk\n---\nOld thing\n' >"$list"

step "the welcome window shows when nothing is open"
start_vesk
wait_for_launch "Welcome to Vesk"

step "New Vesk File creates a list from the template"
keys ctrl+n
wait_for_active "Save As"
type_text "$LISTS/fresh"
keys Return
wait_for_active "fresh"
expect_file "$LISTS/fresh.vesk" "$(cat "$VESK_SOURCE_DIR/resources/new.vesk")"
wait_for "the welcome window to go" has_no_visible_window "Welcome to Vesk"

step "Open... adds the list as a tab"
keys ctrl+o
wait_for_active "Open"
type_text "$list"
keys Return
wait_for_active "list"
wait_for "one window for both lists" has_no_visible_window "fresh"
wait_for "both lists to be remembered" setting_is openDocumentBookmarks "$LISTS/fresh.vesk, $list"

step "h and l switch between the tabs"
keys h
wait_for_active "fresh"
keys l
wait_for_active "list"

step "add a task"
keys n
type_text "Pay rent"
keys Return
expect_file "$list" $'Write report\nCall Ana\n---\nPay rent\nBuy milk\n---\nOld thing'

step "edit it in place"
keys Return ctrl+a
type_text "Pay the rent"
keys Return
expect_file "$list" $'Write report\nCall Ana\n---\nPay the rent\nBuy milk\n---\nOld thing'

step "complete it"
keys space
expect_file "$list" $'Write report\nCall Ana\n---\nBuy milk\n---\nPay the rent\nOld thing'

step "move the next inbox task to Next"
keys t
expect_file "$list" $'Write report\nCall Ana\nBuy milk\n---\n\n---\nPay the rent\nOld thing'

step "reorder within Next"
keys ctrl+j
expect_file "$list" $'Call Ana\nWrite report\nBuy milk\n---\n\n---\nPay the rent\nOld thing'
keys ctrl+k
expect_file "$list" $'Write report\nCall Ana\nBuy milk\n---\n\n---\nPay the rent\nOld thing'

step "delete"
keys BackSpace
expect_file "$list" $'Call Ana\nBuy milk\n---\n\n---\nPay the rent\nOld thing'

step "undo and redo"
# Undo waits until the move's landing animation has ended.
press_until ctrl+z "$list" $'Write report\nCall Ana\nBuy milk\n---\n\n---\nPay the rent\nOld thing'
keys ctrl+shift+z
expect_file "$list" $'Call Ana\nBuy milk\n---\n\n---\nPay the rent\nOld thing'

step "another program rewrites the file and Vesk reloads it"
printf 'From outside\n---\nEdited elsewhere\n---\n' >"$list.tmp"
mv "$list.tmp" "$list"
# The file is compared again when the panel next becomes key.
keys ctrl+alt+space
wait_for "the panels to hide" has_no_visible_window "list"
keys ctrl+alt+space
wait_for_active "list"
# The reload runs when the window system reports the panel key, which may come after the first
# keys; a task typed before it is replaced by the file's content, so the person types it again.
add_after_reload() {
    keys n
    type_text "After reload"
    keys Return
}
reloaded_with_task() {
    file_is "$list" $'From outside\n---\nAfter reload\nEdited elsewhere\n---'
}
retry_until "the task was not added to the reloaded list" reloaded_with_task add_after_reload

step "complete a task and quit at once: the completion is written before Vesk ends"
quit_vesk space ctrl+q
expect_file "$list" $'From outside\n---\nEdited elsewhere\n---\nAfter reload'
echo "PASS"
