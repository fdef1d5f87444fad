#!/usr/bin/env bash
# Exports every sample edition and our awkward one (an empty resort, an
# overlong title, every character that needs escaping, references of both
# kinds, a headline that decodes to nothing) with quillon-epub and runs
# epubcheck over the result: no fatals, no errors, no warnings. A refused
# edition must leave no file and exit non-zero.
set -euo pipefail
tool=$1 editions=$2 awkward=$3 out=$4
jar=/usr/share/java/epubcheck.jar
[ -f "$jar" ] || { echo "epubcheck is not installed (scripts/setup installs it)"; exit 1; }
rm -rf "$out"
mkdir -p "$out/home"
export QLAPI_HOME=$out/home  # no settings: the user's do not count here
status=0
for edition in "$editions"/*.eif "$awkward"; do
  name=$(basename "$edition" .eif)
  "$tool" "$edition" "$out/$name.epub" >/dev/null
  report=$(java -jar "$jar" "$out/$name.epub" 2>&1 || true)
  if ! grep -q "Messages: 0 fatals / 0 errors / 0 warnings" <<<"$report"; then
    echo "$name:"
    echo "$report" | grep -E "FATAL|ERROR|WARNING|Messages" || true
    status=1
  else
    echo "$name: clean"
  fi
done
if "$tool" "$editions/broken/no-root.eif" "$out/refused.epub" 2>/dev/null; then
  echo "a refused edition was exported"; status=1
fi
[ ! -e "$out/refused.epub" ] || { echo "a refused edition left a file"; status=1; }
exit $status
