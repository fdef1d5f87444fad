# Driving the real quillon.exe under Wine with the keyboard, as a reader
# does: waiting for windows by the title a screen reader announces, typing
# keys, screenshots. Sourced by the keyboard walk test and by the demo.
# Set `out` (where screenshots go) and `who` (the name in messages) before
# calling them; `here` is the source tree.

# own_display: without $DISPLAY, starts an Xvfb of our own (pid in $xvfb).
xvfb=
own_display() {
    [ -z "${DISPLAY:-}" ] || return 0
    local display=$((500 + $$ % 400))
    # Tests side by side each take a number no server has yet.
    while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
        display=$((display + 1))
    done
    Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=":$display"
    # Ready once its socket is there.
    for _ in $(seq 100); do [ -S "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
}

# end_process PID: ends a program this script started, by its id only (a
# program under Wine is the process `wine` was started as): asks it to end,
# then, after two seconds, forces it.
end_process() {
    [ -n "${1:-}" ] || return 0
    kill "$1" 2>/dev/null || return 0
    for _ in $(seq 1 20); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL "$1" 2>/dev/null || true
}

winpath() { echo "Z:$1" | tr / '\\'; }

# reader_settings NEWS-FOLDER URL: the library's qlapi.ini in the prefix's
# Windows folder, one server fetched by the library itself; and captions
# drawn by Wine.
reader_settings() {
    printf '[FILES]\r\nPATH=%s\\\r\n[CONNECTIONS]\r\nServer=VKT\r\n[VKT]\r\nappl=internal\r\ncommand=internal\r\nunpacker=internal\r\nurl=%s\r\nlogin=demo\r\npassword=demo\r\nclass=HttpPostmasterClass\r\nneedsmodem=0\r\ndays=0,1,2,3,4,5,6\r\n[COUNTRIES]\r\nde=49\r\nen=1\r\n' \
        "$(winpath "$1")" "$2" >"$WINEPREFIX/drive_c/windows/qlapi.ini"
    draw_captions
}
# draw_captions: Wine draws the captions, since no window manager does.
draw_captions() {
    "$here/scripts/wine-run" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f \
        >/dev/null 2>&1
}

fail() { echo "$who: $*" >&2; import -window root "$out/failed.png" || true; exit 1; }
# window TITLE-REGEX [EXCEPT-ID [TENTHS]]: the id of the visible window with
# that title. Wine hands it the keyboard a moment after it shows; keys sent
# before that reach the window that had the focus.
window() {
    local id
    for _ in $(seq 1 "${3:-300}"); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | grep -vx "${2:-none}" | head -1 || true)
        [ -n "$id" ] && { sleep 0.5; echo "$id"; return 0; }
        sleep 0.1
    done
    fail "no window \"$1\""
}
gone() {
    for _ in $(seq 1 300); do
        xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    fail "window \"$1\" stays"
}
# shown ID: whether the window with that id is still on the screen.
shown() { xdotool search --onlyvisible --name '' 2>/dev/null | grep -qx "$1"; }
# vanish ID: waits until that window has left the screen. Wine takes up to
# two seconds to withdraw a closed window without a window manager, and a
# title underneath may already be true meanwhile; so a step that closes a
# window waits for that very window, never for the title of the next one.
vanish() {
    for _ in $(seq 1 300); do
        shown "$1" || { sleep 0.5; return 0; }
        sleep 0.1
    done
    fail "window $1 ($(xdotool getwindowname "$1" 2>/dev/null)) stays"
}
# key WINDOW KEY...: types keys into that window as a keyboard does (XTEST).
# Without a window manager X gives the keyboard to the window under the
# pointer, so the pointer goes there first. Keys sent to a window as events
# (xdotool --window) are not what a reader types: Wine delivers such a
# Return that closes a message box to its owner as well.
key() {
    local w=$1
    shift
    xdotool mousemove --window "$w" 20 5 2>/dev/null || true
    xdotool key "$@"
}
# press WINDOW KEY TITLE-REGEX: presses KEY until a new window with that
# title shows. Without a window manager Wine needs a moment after a dialog
# closed before its owner takes keys again, and a key sent earlier is lost.
# Only for keys that open a window: typed again into an open window they
# do nothing.
press() {
    for _ in 1 2 3 4 5; do
        key "$1" "$2"
        ( window "$3" "$1" 10 ) >/dev/null 2>&1 && return 0
    done
    fail "$2 did not lead to \"$3\""
}
# retitle WINDOW KEY TITLE-REGEX: a key that changes the title of WINDOW
# itself (one level up or down in the reading dialog). The key is typed
# again only while the title has not changed at all after eight seconds,
# that is, when Wine has dropped it; a key merely slow to arrive would
# otherwise take the dialog one level too far.
retitle() {
    local before now
    before=$(xdotool getwindowname "$1")
    for _ in 1 2 3; do
        key "$1" "$2"
        for _ in $(seq 1 80); do
            now=$(xdotool getwindowname "$1" 2>/dev/null || true)
            [[ $now =~ $3 ]] && { sleep 0.5; return 0; }
            [ "$now" = "$before" ] || fail "$2 led to \"$now\", not to \"$3\""
            sleep 0.1
        done
    done
    fail "$2 did not lead from \"$before\" to \"$3\""
}
# close ID KEY: presses KEY on that window until that very window is gone
# (a window just shown may not take keys at once; a key typed while it is
# being withdrawn would reach its owner), then gives its owner a moment to
# take the keyboard back.
close() {
    for _ in 1 2 3 4 5; do
        shown "$1" || break
        key "$1" "$2"
        for _ in $(seq 1 30); do
            shown "$1" || break 2
            sleep 0.1
        done
    done
    vanish "$1"
}
# dismiss TITLE-REGEX KEY: the same for the window with that title.
dismiss() {
    local id
    id=$(window "$1")
    close "$id" "$2"
}
# leave_reader MAIN PID [SHOT]: Alt+F4 in quillon's main window and Enter on
# its question (a screenshot of it), until the program has ended.
leave_reader() {
    local question
    key "$1" alt+F4
    question=$(window '^Vantrel Quillon$' "$1")
    shot "${3:-leave}"
    for _ in 1 2 3 4 5; do
        key "$question" Return
        for _ in $(seq 1 20); do kill -0 "$2" 2>/dev/null || return 0; sleep 0.1; done
    done
    fail "quillon did not end"
}
shot() { import -window root "$out/$1.png"; echo "  $1.png"; }
