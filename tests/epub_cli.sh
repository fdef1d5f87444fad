#!/usr/bin/env bash
# quillon-epub's command lines that must not destroy anything: each bad one
# fails with its exit code and a German sentence that names the problem,
# and every file in reach (the user's folder and store) stays as it was,
# contents, modes and links; the good ones touch nothing but their book.
set -uo pipefail
tool=$(realpath "$1") editions=$(realpath "$2") awkward=$(realpath "$3") out=$(realpath -m "$4")
rm -rf "$out"
play=$out/play store=$out/store home=$out/home
mkdir -p "$play/adir" "$store" "$home"
cp "$editions/tageblatt-2026-12-07.eif" "$play/same.eif"
ln "$play/same.eif" "$play/hard.epub"
ln -s same.eif "$play/link-to-same.epub"
echo mine >"$play/n.epub.part"
echo victim >"$play/victim.txt"
ln -s victim.txt "$play/v.epub.part"
echo old >"$play/ro.epub" && chmod 444 "$play/ro.epub"
cp "$editions/broken/no-root.eif" "$play/broken.eif"
# The store: samples without header files (a scan would write them), one
# unreadable edition (a scan would delete it), and the newest with a
# LANGUAGE the settings map to 49.
cp "$editions"/*.eif "$store/"
cp "$editions/broken/no-root.eif" "$store/unreadable.eif"
sed 's/LANGUAGE="fr"/LANGUAGE="AT"/; s/DAY="8"/DAY="9"/' "$awkward" >"$store/at.eif"
printf '[FILES]\nPATH=%s/\n[CONNECTIONS]\nServer=None\n[None]\nappl=internal\nurl=http://127.0.0.1/\nlogin=-\npassword=-\nclass=-\n[COUNTRIES]\nde=49\nen=1\nAT=49\n' \
  "$store" >"$home/qlapi.ini"
export QLAPI_HOME=$home
cd "$play"

snapshot() {
  find "$play" "$store" "$home" -printf '%y %m %p -> %l\n' | sort
  find "$play" "$store" "$home" -type f -print0 | sort -z | xargs -0 sha256sum
}

failed=0
# expected exit code | words the message must hold | environment | arguments
while IFS='|' read -r code words env args; do
  [ -n "$code" ] || continue
  before=$(snapshot)
  message=$(env $env "$tool" $args 2>&1 >/dev/null)
  rc=$?
  after=$(snapshot)
  problem=
  [ "$rc" = "$code" ] || problem="exit code $rc, not $code"
  grep -q "^quillon-epub: .*$words" <<<"$message" || problem="$problem; no \"$words\""
  [ "$before" = "$after" ] || problem="$problem; files changed: $(diff <(echo "$before") <(echo "$after") | grep '^[<>]' | head -4 | tr '\n' ' ')"
  if [ -n "$problem" ]; then
    echo "FAIL quillon-epub $args ($env): $problem"; echo "  said: $message"; failed=1
  else
    echo "ok   quillon-epub $args: ${message%%$'\n'*}"
  fi
done <<'CASES'
3|ist die Zeitung selbst||same.eif same.eif
3|ist die Zeitung selbst||../play/./same.eif same.eif
3|ist die Zeitung selbst||same.eif hard.epub
3|ist die Zeitung selbst||same.eif link-to-same.epub
3|ist schreibgeschützt||same.eif ro.epub
3|ein Ordner oder keine gewöhnliche Datei||same.eif adir
3|Der Ordner für .*nicht da (nicht vorhanden)||same.eif nowhere/out.epub
3|TMPDIR|TMPDIR=/nonexistent/tmp|same.eif new.epub
1|ist keine Datei, sondern ein Ordner||adir new.epub
1|kann nicht gelesen werden (nicht vorhanden)||missing.eif new.epub
1|ist keine Zeitung, die der Leser lesen kann||broken.eif new.epub
1|Es gibt keine Zeitung Nummer 99||--edition 99 new.epub
3|ist die Zeitung selbst||--edition 1 ../store/at.eif
2|Diesen Aufruf gibt es nicht||--edition 0 new.epub
2|Diesen Aufruf gibt es nicht||--edition x new.epub
2|Diesen Aufruf gibt es nicht||
2|Diesen Aufruf gibt es nicht||--bogus new.epub
CASES

# Good runs: the book is made, and nothing else changes.
check_only() {  # what must still hold after a good run, then the arguments
  local keep=$1; shift
  before=$(snapshot | grep -v -e "$keep")
  if ! "$tool" "$@" >/dev/null; then echo "FAIL quillon-epub $*: refused"; failed=1; return; fi
  after=$(snapshot | grep -v -e "$keep")
  [ "$before" = "$after" ] || { echo "FAIL quillon-epub $*: other files changed"; failed=1; }
}
check_only "$play/n.epub\$\| $play/n.epub " same.eif n.epub
check_only "$play/v.epub\$\| $play/v.epub " same.eif v.epub
[ -f v.epub ] && [ ! -L v.epub ] && [ "$(cat victim.txt)" = victim ] || { echo "FAIL the part file link was followed"; failed=1; }
check_only "$play/listing" --list
check_only "$play/from-store.epub" --edition 1 from-store.epub
check_only "$play/from-file.epub" ../store/at.eif from-file.epub
# One edition, one book: by file and from the store alike.
meta() { python3 -c 'import re,sys,zipfile
opf = zipfile.ZipFile(sys.argv[1]).read("EPUB/package.opf").decode()
print(re.findall(r"<dc:(identifier|title|language)[^>]*>([^<]*)", opf))' "$1"; }
[ "$(meta from-store.epub)" = "$(meta from-file.epub)" ] || { echo "FAIL one edition, two books: $(meta from-store.epub) $(meta from-file.epub)"; failed=1; }
ls "$play" | grep -q '\.[0-9a-f]\{6\}\.part$' && { echo "FAIL a part file was left"; failed=1; }
exit $failed
