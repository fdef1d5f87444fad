#!/usr/bin/env bash
# Exports every sample edition and our awkward one with quillon-epub and
# runs Ace by DAISY over each book: any critical or serious violation fails
# the test, as does any about landmarks or roles for epub:type (a book once
# had one landmark per article and no doc-toc role); every violation Ace
# reports is printed.
set -euo pipefail
tool=$1 editions=$2 awkward=$3 ace=$4 out=$5
bin=$ace/node_modules/.bin/ace-puppeteer
[ -x "$bin" ] || { echo "Ace is not installed in $ace (scripts/setup installs it)"; exit 1; }
[ -x /usr/bin/chromium ] || { echo "chromium is not installed (scripts/setup installs it)"; exit 1; }
rm -rf "$out"
mkdir -p "$out/home"
# Ace starts the browser itself (as root with --no-sandbox); these keep it
# from reaching out to the network on its own.
cat >"$out/chromium" <<'SH'
#!/bin/sh
exec /usr/bin/chromium --disable-background-networking --disable-component-update \
  --disable-domain-reliability --no-pings --disable-sync "$@"
SH
chmod +x "$out/chromium"
export PUPPETEER_EXECUTABLE_PATH=$out/chromium HOME=$out/home XDG_CONFIG_HOME=$out/home \
  XDG_CACHE_HOME=$out/home QLAPI_HOME=$out/home
status=0
for edition in "$editions"/*.eif "$awkward"; do
  name=$(basename "$edition" .eif)
  "$tool" "$edition" "$out/$name.epub" >/dev/null
  if ! "$bin" -f -s -o "$out/$name" "$out/$name.epub" >"$out/$name.log" 2>&1; then
    echo "$name: Ace did not finish"; cat "$out/$name.log"; status=1; continue
  fi
  node - "$out/$name/report.json" "$name" <<'JS' || status=1
const [report, name] = process.argv.slice(2);
const r = require(report);
let failing = 0, lines = [];
for (const doc of r.assertions || [])
  for (const a of doc.assertions || []) {
    const t = a['earl:test'], impact = t['earl:impact'], rule = t['dct:title'];
    if (impact === 'critical' || impact === 'serious' || /^landmark|matching-role/.test(rule))
      ++failing;
    lines.push(`  ${impact} ${t['dct:title']} in ${doc['earl:testSubject'].url}: ` +
               `${t['dct:description'] || ''}`);
  }
console.log(`${name}: ${lines.length ? lines.length + ' reported, ' + failing +
            ' failing' : 'clean'}`);
lines.forEach(l => console.log(l));
process.exit(failing ? 1 : 0);
JS
done
exit $status
