# Shared steps of the end-to-end tests: a private home, the real vesk program, xdotool for the keys,
# and bounded polling of files and windows. Sourced by each test script, which runs under
# tests/support/with-xvfb with a window manager.
set -uo pipefail

VESK=${VESK:?the path of the vesk program}
E2E_HOME=$(mktemp -d "${TMPDIR:-/tmp}/vesk-e2e.XXXXXX")
export HOME=$E2E_HOME
export XDG_CONFIG_HOME=$E2E_HOME/config XDG_DATA_HOME=$E2E_HOME/data XDG_CACHE_HOME=$E2E_HOME/cache
export XDG_RUNTIME_DIR=$E2E_HOME/runtime
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR" "$E2E_HOME/lists"
chmod 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
SETTINGS=$XDG_CONFIG_HOME/Vesk/Vesk.ini
LISTS=$E2E_HOME/lists
VESK_PID=""
STEP="start"

cleanup() {
    if [ -n "$VESK_PID" ] && kill -0 "$VESK_PID" 2>/dev/null; then
        kill "$VESK_PID" 2>/dev/null
        wait "$VESK_PID" 2>/dev/null
    fi
    rm -rf "$E2E_HOME"
}
trap cleanup EXIT

fail() {
    echo "FAIL [$STEP]: $*" >&2
    # What a timeout leaves to go on: whether Vesk still runs, and which windows are shown.
    if [ -n "$VESK_PID" ]; then
        ps -o pid=,stat=,etime= -p "$VESK_PID" >/dev/null 2>&1 && echo "  vesk is running" >&2 \
            || echo "  vesk is not running" >&2
    fi
    for window in $(xdotool search --onlyvisible --name . 2>/dev/null); do
        echo "  shown: $(xdotool getwindowname "$window" 2>/dev/null)" >&2
    done
    [ -f "$E2E_HOME/vesk.log" ] && sed 's/^/  vesk: /' "$E2E_HOME/vesk.log" >&2
    exit 1
}

step() {
    STEP=$1
    echo "- $STEP"
}

# wait_for DESCRIPTION COMMAND...: runs COMMAND until it succeeds, for at most about 10 seconds.
wait_for() {
    local what=$1
    shift
    for _ in $(seq 1 200); do
        "$@" && return 0
        sleep 0.05
    done
    fail "timed out waiting for $what"
}

file_is() {
    [ "$(cat "$1" 2>/dev/null)" == "$2" ]
}

# expect_file FILE TEXT: the file comes to hold exactly TEXT (trailing line breaks aside).
expect_file() {
    local file=$1 text=$2
    if ! wait_for_quietly file_is "$file" "$text"; then
        echo "expected:" >&2
        printf '%s\n' "$text" | sed 's/^/  | /' >&2
        echo "found:" >&2
        sed 's/^/  | /' "$file" >&2
        fail "$file does not hold the expected text"
    fi
}

wait_for_quietly() {
    for _ in $(seq 1 200); do
        "$@" && return 0
        sleep 0.05
    done
    return 1
}

# press_until KEY FILE TEXT: presses KEY until the file holds TEXT, as a person presses again when
# nothing happened (a command refused while an animation runs changes nothing, so pressing again
# is safe). At most five presses.
press_until() {
    local key=$1 file=$2 text=$3
    for _ in 1 2 3 4 5; do
        keys "$key"
        for _ in $(seq 1 10); do
            file_is "$file" "$text" && return 0
            sleep 0.05
        done
    done
    expect_file "$file" "$text"
}

# retry_until DESCRIPTION CHECK ACTION...: runs ACTION until CHECK succeeds, at most three times,
# waiting about a second after each; for actions that a lost key or a late window activation can
# leave without effect, and that are safe to repeat when they had none.
retry_until() {
    local what=$1 check=$2
    shift 2
    for _ in 1 2 3; do
        "$@"
        for _ in $(seq 1 20); do
            $check && return 0
            sleep 0.05
        done
    done
    fail "$what"
}

start_vesk() {
    # The pointer rests away from the windows, as focus follows activation and not the pointer.
    xdotool mousemove 0 0 2>/dev/null
    "$VESK" "$@" >>"$E2E_HOME/vesk.log" 2>&1 &
    VESK_PID=$!
}

# The visible top-level window titled exactly NAME.
visible_window() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1
}

has_visible_window() {
    [ -n "$(visible_window "$1")" ]
}

has_no_visible_window() {
    [ -z "$(visible_window "$1")" ]
}

active_window_is() {
    [ "$(xdotool getactivewindow getwindowname 2>/dev/null)" == "$1" ]
}

# wait_for_active NAME: the window titled NAME is shown and has the keyboard focus.
wait_for_active() {
    wait_for "a window named $1" has_visible_window "$1"
    wait_for "$1 to be the active window" active_window_is "$1"
}

# wait_for_launch NAME: like wait_for_active, for the first window of a launch, which a busy machine
# (a loaded CI runner starting the X server, the window manager and Vesk) can take far longer to show.
wait_for_launch() {
    for _ in $(seq 1 600); do
        has_visible_window "$1" && break
        sleep 0.05
    done
    wait_for_active "$1"
}

keys() {
    xdotool key --clearmodifiers --delay 30 "$@"
}

type_text() {
    xdotool type --delay 15 "$1"
}

setting_is() {
    grep -qxF "$1=$2" "$SETTINGS" 2>/dev/null
}

vesk_runs() {
    kill -0 "$VESK_PID" 2>/dev/null
}

# quit_vesk [KEYS...]: presses KEYS (Ctrl+Q by default) and waits for vesk to end well.
quit_vesk() {
    keys "${@:-ctrl+q}"
    for _ in $(seq 1 200); do
        vesk_runs || break
        sleep 0.05
    done
    vesk_runs && fail "vesk did not quit on Ctrl+Q"
    wait "$VESK_PID"
    local status=$?
    VESK_PID=""
    [ "$status" -eq 0 ] || fail "vesk ended with status $status"
}
