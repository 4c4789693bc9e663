#!/usr/bin/env bash
# A quick typist works a list while transitions and the clipboard change under the keys: Copy then
# Paste at once, Paste from a clipboard whose owner has quit, typing into the input row or an inline
# editor while a task's move to Next lands, and a new task started right after a completion. The
# file on disk is checked after every step.
source "$(dirname "$0")/e2e-lib.sh"

list=$LISTS/list.vesk
printf 'Plan trip\n---\nCall Ana\nBuy milk\nPay rent\n---\n' >"$list"

clipboard_has_no_owner() {
    ! xclip -o -selection clipboard -t TARGETS >/dev/null 2>&1
}

start_vesk "$list"
wait_for_launch "list"

step "copy then paste at once"
keys ctrl+c ctrl+v
expect_file "$list" $'Plan trip\nPlan trip\n---\nCall Ana\nBuy milk\nPay rent\n---'

step "quit, leaving the clipboard without an owner"
quit_vesk
wait_for "the clipboard to lose its owner" clipboard_has_no_owner
start_vesk
wait_for_launch "list"

step "paste into the input row from a clipboard whose owner has quit"
keys n
type_text "ab"
keys ctrl+v
type_text "cd"
keys Return
expect_file "$list" $'Plan trip\nPlan trip\n---\nabcd\nCall Ana\nBuy milk\nPay rent\n---'
vesk_runs || fail "vesk is gone"

step "type into the input row while a move to Next lands"
keys j t n
type_text "ab"
# The move has landed once the file shows it; the rest of the typing comes after it.
expect_file "$list" $'Plan trip\nPlan trip\nCall Ana\n---\nabcd\nBuy milk\nPay rent\n---'
type_text " cd"
keys Delete BackSpace Return
expect_file "$list" $'Plan trip\nPlan trip\nCall Ana\n---\nab c\nabcd\nBuy milk\nPay rent\n---'

step "edit another task while a move to Next lands"
keys t j Return
type_text "e"
expect_file "$list" $'Plan trip\nPlan trip\nCall Ana\nab c\n---\nabcd\nBuy milk\nPay rent\n---'
type_text " f"
keys Return
expect_file "$list" $'Plan trip\nPlan trip\nCall Ana\nab c\n---\nabcde f\nBuy milk\nPay rent\n---'

step "start a new task right after a completion lands"
keys space
expect_file "$list" $'Plan trip\nPlan trip\nCall Ana\nab c\n---\nBuy milk\nPay rent\n---\nabcde f'
keys n
type_text "gh ij"
keys Delete BackSpace Return
expect_file "$list" $'Plan trip\nPlan trip\nCall Ana\nab c\n---\ngh i\nBuy milk\nPay rent\n---\nabcde f'

step "quit"
quit_vesk
echo "PASS"
