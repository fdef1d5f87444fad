#!/usr/bin/env bash
# Exports every sample edition with quillon-epub and runs epubcheck over the
# result: no fatals, no errors, no warnings. A refused edition must leave
# no file and exit non-zero.
set -euo pipefail
tool=$1 editions=$2 out=$3
jar=/usr/share/java/epubcheck.jar
[ -f "$jar" ] || { echo "epubcheck is not installed (scripts/setup installs it)"; exit 1; }
rm -rf "$out"
mkdir -p "$out"
# One of our own besides the samples: an empty resort, an overlong title,
# every character that needs escaping, references of both kinds, and a
# headline that decodes to nothing.
cat >"$out/awkward.eif" <<'EDITION'
<!ENTITY euro CDATA "EUR">
<DUZUZUVU LANGUAGE="fr"><NPTL>Zeitung &amp; &lt;Blatt&gt;</NPTL><CD YEAR="2026" MONTH="12" DAY="8"></CD>
<GROUP><GRTITLE>Leer</GRTITLE></GROUP>
<GROUP><GRTITLE>Ein sehr langer Ressorttitel, der weit mehr als neunundsiebzig Zeichen hat und abgeschnitten wird</GRTITLE>
<ARTICLE><ATL>&quot;A&quot; &amp; B &lt;C&gt; &auml;&ouml;&uuml;&szlig; &copy; &yuml;</ATL></ARTICLE>
<ARTICLE><ATL>&unbekannt;</ATL><P>Ihre Schlagzeile wird zu nichts.</P></ARTICLE>
<ARTICLE><ATL>Mit Text</ATL><P>1 &lt; 2 &amp;&amp; 3 &gt; 2 &nbsp;&laquo;&euro;&raquo; ' "</P></ARTICLE></GROUP>
</DUZUZUVU>
EDITION
status=0
for edition in "$editions"/*.eif "$out/awkward.eif"; do
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
