#!/usr/bin/env bash
# The real quillon.exe under Wine, driven by the keyboard alone as a reader
# would: Ctrl+Alt+Z opens the newspapers, F1 the handbook, Enter and the
# arrow keys go down to an article (by way of the headline list and the key
# describer), Ctrl+F searches in it, Ctrl+S saves it through the system's
# save dialog, Escape goes back, Alt+F4 and Enter leave. Every step waits
# for the window title a screen reader would announce, and a screenshot of
# each step lands in the output folder.
#
#   reader_walk.sh BIN-DIR OUTPUT-DIR TEST-DATA-DIR
set -eu
bin=$1 out=$2 data=$3
here=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/build/wine}
export WINEDEBUG=-all

who="reader walk"
. "$here/scripts/xdrive.sh"
own_display

rm -rf "$out"
mkdir -p "$out/news"
cp "$data/reader/rundschau-2026-12-07.eif" "$data/editions/courier-2026-12-07.eif" "$out/news/"
settings=$WINEPREFIX/drive_c/windows/qlapi.ini
reader_settings "$out/news" 127.0.0.1:1/q

(cd "$bin" && exec "$here/scripts/wine-run" quillon.exe) &
reader=$!
cleanup() {
    end_process "$reader"
    rm -f "$settings"
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT

echo "reader walk, screenshots in $out:"
main=$(window '^Vantrel Quillon$')
shot 1-main-window
# Alt+/ is the about box.
press "$main" alt+slash 'ber Quillon$'
shot 1-about
dismiss 'ber Quillon$' Return
# The window stands before the library is loaded; keys typed meanwhile may
# reach it before its message loop runs.
press "$main" ctrl+alt+z '^Zeitungsauswahl$'
list=$(window '^Zeitungsauswahl$')
shot 2-newspapers
# F1 in the list opens the handbook at the selection's section.
key "$list" F1
book=$(window '^Handbuch$')
shot 2-handbook
close "$book" Escape
key "$list" Down
retitle "$list" Return '^Ressortauswahl Quillon Rundschau vom 7\.12\.2026$'
shot 3-resorts
# Ctrl+Alt+S lists every headline of the paper; Shift+F1 then Escape
# describes Escape instead of going back, and Escape then goes back.
retitle "$list" ctrl+alt+s '^Schlagzeilen Quillon Rundschau vom 7\.12\.2026$'
shot 3-headlines
key "$list" shift+F1 Escape
box=$(window '^Tastenbeschreibung$')
shot 3-key-described
close "$box" Return
[ "$(xdotool getwindowname "$list")" = "Schlagzeilen Quillon Rundschau vom 7.12.2026" ] ||
    fail "the described Escape was carried out"
! xdotool search --onlyvisible --name '^Handbuch$' >/dev/null 2>&1 ||
    fail "Shift+F1 opened the handbook"
retitle "$list" Escape '^Ressortauswahl Quillon Rundschau vom 7\.12\.2026$'
retitle "$list" Return '^Artikelauswahl Lokales Quillon Rundschau vom 7\.12\.2026$'
shot 4-articles
# The main window's shortcuts do nothing while a dialog is open.
key "$list" ctrl+alt+z
sleep 0.5
xdotool search --onlyvisible --name '^Zeitungsauswahl$' >/dev/null 2>&1 &&
    fail "Ctrl+Alt+Z opened a second list"
key "$list" Down Down Return
view=$(window '^Winterdienst bereit$')
shot 5-article

key "$view" ctrl+f
search=$(window '^Suchen$')
xdotool type Schnee
shot 6-search
key "$search" Return
vanish "$search"
key "$view" F3
shot 7-found

key "$view" ctrl+s
save=$(window '^Artikel speichern$')
shot 8-save-dialog
# The name field holds the proposed name, selected; a name without
# extension gets ".txt". Alt+S is the dialog's "Speichern" button.
xdotool type "$(winpath "$out/winterdienst")"
key "$save" alt+s
vanish "$save"
expected=$(printf 'Der Winterdienst ist bereit, Schnee wird erwartet.\r\nDer Schnee bleibt bis Freitag.\r\nR\344umfahrzeuge fahren ab vier Uhr, auch bei Schnee.\r\nArtikelende\r\n' | od -An -tx1)
[ -f "$out/winterdienst.txt" ] || fail "the article was not saved"
[ "$(od -An -tx1 <"$out/winterdienst.txt")" = "$expected" ] || fail "the saved article differs"

close "$view" Escape
retitle "$list" Escape '^Ressortauswahl '
retitle "$list" Escape '^Zeitungsauswahl$'
dismiss '^Zeitungsauswahl$' Escape

# Enter answers Yes, the default button.
leave_reader "$main" "$reader" 9-leave-question
wait "$reader" || fail "the reader ended with exit code $?"
echo "reader walk: passed"
