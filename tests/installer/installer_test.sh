#!/usr/bin/env bash
# The installer under Wine, each case in a fresh prefix of its own whose
# user folders (documents, desktop) lie in a home folder of the test:
#
#   silent    /S with the subscription: files, shortcuts, uninstall entry and
#             registry; the installed quillon.exe fetches from our server;
#             /S removal keeps editions and settings, /PURGE removes what
#             the installer made and nothing else
#   refused   /S without what it needs: exit code 2, a log line, nothing written
#   upgrade   a newer version over an older one, first while the program runs
#   keyboard  the pages with Tab, Enter and Escape alone, a screenshot and
#             what a screen reader reads on each; then the removal the same way
#   package   what the installer carries: the program and its library only,
#             each with the version in its version information
#
#   installer_test.sh CASE SETUP.exe quillon.nsi STAGED-FILES BIN-DIR TEST-DATA OUT-DIR
set -eu
case=$1 setup=$2 nsi=$3 staged=$4 bin=$5 data=$6
work=$7/$case out=$7/$case/screenshots
here=$(cd "$(dirname "$0")/../.." && pwd)
version=$(basename "$setup" .exe)
version=${version#quillon-setup-}

if [ "$case" = package ]; then
    # Every file outside the installer's own plug-ins folder.
    files=$(7z l -slt "$setup" | sed -n 's/^Path = //p' | grep -v '^\$PLUGINSDIR/' | grep -vxF "$setup" | sort | tr '\n' ' ')
    [ "$files" = "Handbuch.txt qlapi.dll quillon.exe uninstall.exe " ] || { echo "the installer carries: $files"; exit 1; }
    # Both files carry the version in the strings that file properties show.
    for file in quillon.exe qlapi.dll; do
        7z l -slt "$bin/$file" | grep -qx "ProductVersion: $version" ||
            { echo "$file does not show version $version"; exit 1; }
    done
    echo "package: $files, version $version"
    exit 0
fi

rm -rf "$work"
mkdir -p "$work/home" "$out"
export WINEPREFIX=$work/prefix HOME=$work/home WINEDEBUG=-all
# No menu entries of the Linux desktop for the shortcuts.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
who="installer $case"
. "$here/scripts/xdrive.sh"

run() { (cd "$bin" && "$here/scripts/wine-run" "$@"); }
server_pid= reader= wizard=
cleanup() {
    end_process "$reader"
    end_process "$wizard"
    end_process "$server_pid"
    "$here/scripts/wine-server" stop
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
own_display
"$here/scripts/wine-server" start
draw_captions

user=$(ls "$WINEPREFIX/drive_c/users" | grep -vx Public | head -1)
profile=$WINEPREFIX/drive_c/users/$user
instdir=$profile/AppData/Local/Programs/Quillon
menu_link="$profile/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Vantrel Quillon.lnk"
desk_link="$HOME/Vantrel Quillon.lnk"
news=$HOME/Zeitungen
log=$profile/Temp/quillon-setup.log
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillon'
library_key='HKCU\Software\VKT\QLAPI'

check() {  # check WHAT GOT WANT
    [ "$2" = "$3" ] || fail "$1: \"$2\", expected \"$3\""
}
# reg_value KEY NAME: the value as `reg query` shows it; empty when absent.
# Asked up to three times: once in a whole check, a query under load came
# back empty for a value that was there (what reg said is in reg.log).
reg_value() {
    local value
    for _ in 1 2 3; do
        value=$("$here/scripts/wine-run" reg query "$1" /v "$2" 2>>"$work/reg.log" | tr -d '\r' |
            awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^ +/, ""); print }')
        [ -z "$value" ] || break
        sleep 0.5
    done
    echo "$value"
}
has_key() { "$here/scripts/wine-run" reg query "$1" >/dev/null 2>&1; }
# The shortcut's hot key: the virtual key and its modifiers (Ctrl+Alt+Q is
# "51 06"), at offset 64 of a shell link.
hotkey() { od -An -tx1 -j64 -N2 "$1" | tr -s ' ' | sed 's/^ //'; }
last_log() { iconv -f CP1252 -t UTF-8 "$log" | tr -d '\r' | tail -1; }
setup_rc() {  # setup_rc INSTALLER ARG...: the installer's exit code
    local rc=0
    "$here/scripts/wine-run" "$@" || rc=$?
    echo "$rc"
}
# uninstall ARG...: the uninstaller hands over to a copy of itself and ends
# at once; the removal is done when that copy has logged its last line.
uninstall() {
    local before
    before=$(wc -l <"$log")
    "$here/scripts/wine-run" "$instdir/uninstall.exe" "$@"
    for _ in $(seq 1 150); do
        [ "$(wc -l <"$log")" -gt "$before" ] && { sleep 0.5; return 0; }
        sleep 0.2
    done
    fail "the uninstaller did not finish"
}
expect_installed() {
    check "installed files" "$(ls "$instdir" | tr '\n' ' ')" "Handbuch.txt qlapi.dll quillon.exe uninstall.exe "
    cmp -s "$instdir/Handbuch.txt" "$staged/Handbuch.txt" || fail "Handbuch.txt is not the packed one"
    cmp -s "$instdir/quillon.exe" "$staged/quillon.exe" || fail "quillon.exe is not the packed one"
    cmp -s "$instdir/qlapi.dll" "$staged/qlapi.dll" || fail "qlapi.dll is not the packed one"
    check "entry among the installed programs" "$(reg_value "$uninstall_key" DisplayName)" "Vantrel Quillon"
    check "its version" "$(reg_value "$uninstall_key" DisplayVersion)" "${1:-$version}"
    check "its publisher" "$(reg_value "$uninstall_key" Publisher)" "Vantrel"
    check "its icon" "$(reg_value "$uninstall_key" DisplayIcon)" "$(winpath_c "$instdir")\\quillon.exe,0"
    check "its uninstaller" "$(reg_value "$uninstall_key" UninstallString)" "\"$(winpath_c "$instdir")\\uninstall.exe\""
    [ "$(reg_value "$uninstall_key" EstimatedSize)" != 0x0 ] || fail "no size in the uninstall entry"
    [ -f "$menu_link" ] || fail "no Start menu entry"
}
# The Task Scheduler's tasks of our name, as Wine keeps them (one file each).
tasks() { ls "$WINEPREFIX/drive_c/windows/system32/tasks" 2>/dev/null | grep '^Quillon' | tr '\n' ' '; }
winpath_c() { echo "C:${1#"$WINEPREFIX/drive_c"}" | tr / '\\'; }

# start_reader: the installed quillon.exe, started in its folder; its
# main window's id in $main.
start_reader() {
    (cd "$instdir" && exec "$here/scripts/wine-run" quillon.exe) &
    reader=$!
    main=$(window '^Vantrel Quillon$')
}
stop_reader() { leave_reader "$main" "$reader" "$1"; reader=; }

# read_out NAME: what a screen reader reads in the open dialog, kept in NAME.txt.
read_out() { run screen_reader.exe 2>/dev/null | iconv -f CP1252 -t UTF-8 | tr -d '\r' >"$out/$1.txt"; }
show() { echo "-- $1"; cat "$out/$1.txt"; }
say() { read_out "$1"; show "$1"; }
# page TEXT NAME: waits until the wizard shows a page with that text,
# then keeps its picture and what is read on it.
page() {
    for _ in $(seq 1 50); do
        read_out "$2"
        grep -q "$1" "$out/$2.txt" && break
        sleep 0.2
    done
    show "$2"
    grep -q "$1" "$out/$2.txt" || fail "no page \"$1\""
    shot "$2"
}
# wizard INSTALLER: starts the installer's wizard; its window in $w.
wizard() {
    "$here/scripts/wine-run" "$1" &
    wizard=$!
    w=$(window '^Installation von Vantrel Quillon')
}

case $case in
silent)
    mkdir -p "$work/served"
    cp "$data"/editions/*.eif "$work/served/"
    coproc server { cd "$bin" && exec "$here/scripts/wine-run" subscription_server.exe \
        --editions "$(winpath "$work/served")" --port 0 --user leser 2>"$work/server.log"; }
    server_pid=$server_PID
    read -r listening <&"${server[0]}"
    url="127.0.0.1:${listening##*:}"
    url=${url%$'\r'}/cgi-bin/query

    check "exit code" "$(setup_rc "$setup" /S "/URL=$url" /LOGIN=leser /TASK)" 0
    expect_installed
    check "the daily task" "$(tasks)" "Quillon Zeitungen abholen ($user) "
    check "Ctrl+Alt+Q on the desktop shortcut" "$(hotkey "$desk_link")" "51 06"
    check "no second Ctrl+Alt+Q in the Start menu" "$(hotkey "$menu_link")" "00 00"
    for value in "Method PHP" "URL $url" "Login leser" "PATH C:\\users\\$user\\Documents\\Zeitungen" "maxpapers 0xa"; do
        check "registry value ${value%% *}" "$(reg_value "$library_key" "${value%% *}")" "${value#* }"
    done
    [ -d "$news" ] || fail "no newspaper folder"
    case $(last_log) in *"installiert in "*) ;; *) fail "log: $(last_log)" ;; esac

    # The installed program, its settings from the registry only.
    [ ! -e "$WINEPREFIX/drive_c/windows/qlapi.ini" ] || fail "a qlapi.ini is there"
    start_reader
    press "$main" ctrl+alt+n '^Lade Zeitungen$'
    fetch=$(window '^Lade Zeitungen$')
    window '^Hinweis$' none 600 >/dev/null
    shot fetched
    dismiss '^Hinweis$' Return
    vanish "$fetch"
    stop_reader leave
    fetched=$(ls "$news" | grep -c '\.eif$' || true)
    [ "$fetched" -gt 0 ] || fail "nothing fetched into $news"

    uninstall /S
    [ ! -e "$instdir" ] || fail "the program folder stays: $(ls "$instdir")"
    [ ! -e "$menu_link" ] && [ ! -e "$desk_link" ] || fail "a shortcut stays"
    ! has_key "$uninstall_key" || fail "the uninstall entry stays"
    check "the task removed" "$(tasks)" ""
    check "editions kept" "$(ls "$news" | grep -c '\.eif$')" "$fetched"
    check "settings kept" "$(reg_value "$library_key" URL)" "$url"

    # Installed again with the settings there; then the setting points to
    # another folder, and a file of the reader's own lies in the made one.
    check "exit code, settings kept" "$(setup_rc "$setup" /S)" 0
    check "URL kept" "$(reg_value "$library_key" URL)" "$url"
    check "the task again, as chosen" "$(tasks)" "Quillon Zeitungen abholen ($user) "
    mkdir -p "$HOME/Archiv"
    echo "mine" >"$HOME/Archiv/alt.eif"
    echo "mine" >"$news/notizen.txt"
    "$here/scripts/wine-run" reg add "$library_key" /v PATH /d "C:\\users\\$user\\Documents\\Archiv" /f >/dev/null
    uninstall /S /PURGE
    check "the made folder holds" "$(ls "$news" | tr '\n' ' ')" "notizen.txt "
    [ -f "$HOME/Archiv/alt.eif" ] || fail "/PURGE removed an edition outside the made folder"
    ! has_key 'HKCU\Software\VKT' || fail "/PURGE left the settings"
    check "no task after /PURGE" "$(tasks)" ""
    echo "silent: installed, fetched $fetched editions, removed twice"
    ;;

refused)
    # One refusal for each missing or wrong value; none writes anything.
    while IFS='|' read -r args option; do
        # shellcheck disable=SC2086
        check "exit code of $args" "$(setup_rc "$setup" /S $args)" 2
        case $(last_log) in *"nicht installiert: "*"($option)") ;; *) fail "log for $args: $(last_log)" ;; esac
    done <<'EOF'
/LOGIN=leser|/URL=
/URL=127.0.0.1:1/q|/LOGIN=
/URL=127.0.0.1:1/q /LOGIN=leser /PATH=Zeitungen|/PATH=
/URL=127.0.0.1:1/q /LOGIN=leser /KEEP=0|/KEEP=
/URL=127.0.0.1:1/q /LOGIN=leser /KEEP=zehn|/KEEP=
EOF
    [ ! -e "$instdir" ] || fail "a program folder was made"
    ! has_key 'HKCU\Software\VKT' || fail "settings were written"
    ! has_key "$uninstall_key" || fail "an uninstall entry was written"
    [ ! -e "$menu_link" ] && [ ! -e "$desk_link" ] && [ ! -e "$news" ] || fail "something was made"
    echo "refused: $(wc -l <"$log") refusals logged, nothing written"
    ;;

upgrade)
    makensis -V1 -DVERSION=1.0.0 "-DBINDIR=$staged" "-DOUTFILE=$work/old-setup.exe" "$nsi"
    check "exit code, older" "$(setup_rc "$work/old-setup.exe" /S /URL=127.0.0.1:1/q /LOGIN=leser /KEEP=25 /NODESKTOP)" 0
    expect_installed 1.0.0
    [ ! -e "$desk_link" ] || fail "/NODESKTOP made a desktop shortcut"
    check "Ctrl+Alt+Q in the Start menu" "$(hotkey "$menu_link")" "51 06"
    cp "$data/reader/rundschau-2026-12-07.eif" "$news/"
    # A mark on the installed program, which still runs with it: the
    # newer installer must replace the file.
    printf 'older' >>"$instdir/quillon.exe"

    start_reader
    check "exit code while the program runs" "$(setup_rc "$setup" /S)" 2
    case $(last_log) in *"läuft noch") ;; *) fail "log: $(last_log)" ;; esac
    ! cmp -s "$instdir/quillon.exe" "$staged/quillon.exe" || fail "the running program was replaced"
    check "version while the program runs" "$(reg_value "$uninstall_key" DisplayVersion)" 1.0.0

    # The wizard over it: the present folder and subscription are shown;
    # it asks to end the program, and goes on once it has ended.
    wizard "$setup"
    page 'Willkommen zur Installation' 1-welcome
    key "$w" Return
    page 'Komponenten auswählen' 2-components
    key "$w" Return
    page 'Programs\\Quillon' 3-folder
    key "$w" Return
    page '127.0.0.1:1/q' 4-subscription
    grep -qx ' *25' "$out/4-subscription.txt" || fail "the kept number is not shown"
    key "$w" Return
    box=$(window '^Installation von Vantrel Quillon' "$w")
    say 5-running
    grep -q 'läuft noch' "$out/5-running.txt" || fail "no word on the running program"
    shot 5-running
    # Back to the program to end it: a click on its window, since without a
    # window manager there is no Alt+Tab.
    xdotool mousemove --window "$main" 100 100 click 1
    sleep 0.5
    stop_reader 5-leave
    close "$box" Return
    page 'Vantrel Quillon jetzt starten' 6-finished
    key "$w" space Return
    vanish "$w"
    wizard=
    expect_installed
    for value in "URL 127.0.0.1:1/q" "Login leser" "maxpapers 0x19"; do
        check "kept ${value%% *}" "$(reg_value "$library_key" "${value%% *}")" "${value#* }"
    done
    [ -f "$news/rundschau-2026-12-07.eif" ] || fail "the edition is gone"
    check "Ctrl+Alt+Q moved to the new desktop shortcut" "$(hotkey "$desk_link") $(hotkey "$menu_link")" "51 06 00 00"
    echo "upgrade: 1.0.0 to $version, settings and edition kept"
    ;;

keyboard)
    wizard "$setup"
    page 'Willkommen zur Installation' 1-welcome
    key "$w" Return
    page 'Komponenten auswählen' 2-components
    key "$w" Return
    page 'Zielverzeichnis auswählen' 3-folder
    key "$w" Return
    page 'Adresse des Abonnement-Servers: \[Alt+A\] (focus)' 4-subscription
    grep -q 'Täglich abholen, auch wenn Quillon nicht läuft (Aufgabenplanung) \[Alt+l\]' \
        "$out/4-subscription.txt" || fail "no choice of the daily task"
    # Nothing typed: the page says what is missing and stays.
    key "$w" Return
    box=$(window '^Installation von Vantrel Quillon' "$w")
    say 4-missing-address
    grep -q 'Die Adresse des Abonnement-Servers fehlt.' "$out/4-missing-address.txt" || fail "no word on the address"
    shot 4-missing-address
    close "$box" Return
    page 'Adresse des Abonnement-Servers: \[Alt+A\] (focus)' 4-subscription-again
    xdotool type 127.0.0.1:1/q
    key "$w" Tab
    xdotool type leser
    # Escape asks; Enter answers "Nein" and the page stays.
    key "$w" Escape
    box=$(window '^Installation von Vantrel Quillon' "$w")
    say 4-cancel
    grep -q 'Nein \[Alt+N\] (focus)' "$out/4-cancel.txt" || fail "Nein is not the default answer"
    shot 4-cancel
    close "$box" Return
    key "$w" Return
    page 'Vantrel Quillon jetzt starten' 5-finished
    key "$w" Return
    # The finish page started the program.
    main=$(window '^Vantrel Quillon$')
    reader=$(xdotool getwindowpid "$main")
    shot 6-started
    vanish "$w"
    wizard=
    stop_reader 6-leave
    expect_installed
    check "typed address" "$(reg_value "$library_key" URL)" 127.0.0.1:1/q
    check "typed login" "$(reg_value "$library_key" Login)" leser
    check "no daily task unless chosen" "$(tasks)" ""
    echo "mine" >"$news/heute.eif"

    # The removal, with the box ticked by the space bar.
    "$here/scripts/wine-run" "$instdir/uninstall.exe" &
    w=$(window '^Deinstallation von Vantrel Quillon')
    page 'wird von Ihrem Computer entfernt' 7-remove
    key "$w" Return
    page 'Zeitungen und Einstellungen entfernen (focus)' 8-what
    key "$w" space Return
    page 'Die Deinstallation wurde erfolgreich' 9-removed
    key "$w" Return
    vanish "$w"
    [ ! -e "$instdir" ] && [ ! -e "$news" ] || fail "the removal left files"
    ! has_key 'HKCU\Software\VKT' || fail "the removal left the settings"
    echo "keyboard: every page read, installed, started, removed"
    ;;
esac
