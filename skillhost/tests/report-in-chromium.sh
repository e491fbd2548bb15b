#!/usr/bin/env bash
# The HTML report opened in headless Chromium, from a file and offline: the page loads and
# shows each plug-in's leaderboard, every player with a history graph.
# Usage: report-in-chromium.sh SKILLHOST SAMPLE_DIR. Exit status 77 (skipped) without Chromium.
set -euo pipefail
skillhost=$1
sample=$2

browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "Chromium is not installed (Debian package chromium)" >&2
  exit 77
fi
dir=$(mktemp -d /tmp/skillhost-report-XXXXXX)
trap 'rm -rf "$dir"' EXIT

"$skillhost" --db "$dir/ratings.db" --weapons "$sample/weapons.txt" "$sample/sample.log" \
  brindle_skill quorvex_skill corvane_skill 2>/dev/null
"$skillhost" report --db "$dir/ratings.db" --format html >"$dir/report.html"

flags=(--headless --disable-gpu --no-first-run --no-default-browser-check
       --user-data-dir="$dir/profile" --virtual-time-budget=2000)
[ "$(id -u)" -ne 0 ] || flags+=(--no-sandbox)
timeout 120 "$browser" "${flags[@]}" --dump-dom "file://$dir/report.html" \
  >"$dir/dom.html" 2>"$dir/chromium.log" || { cat "$dir/chromium.log" >&2; exit 1; }

python3 - "$dir/dom.html" <<'PYTHON'
import sys
from html.parser import HTMLParser

class Leaderboards(HTMLParser):
    def __init__(self):
        super().__init__()
        self.sections, self.cell, self.row = [], None, None
    def handle_starttag(self, tag, attrs):
        if tag == "h2":
            self.sections.append({"plugin": "", "rows": []})
            self.cell = "plugin"
        elif tag == "tr" and self.sections:
            self.row = []
        elif tag == "td" and self.row is not None:
            self.row.append("")
            self.cell = "td"
        elif tag == "svg" and self.row is not None:
            self.row.append("<svg>")
    def handle_endtag(self, tag):
        if tag in ("h2", "td"):
            self.cell = None
        elif tag == "tr" and self.row:
            self.sections[-1]["rows"].append(self.row)
            self.row = None
    def handle_data(self, data):
        if self.cell == "plugin":
            self.sections[-1]["plugin"] += data
        elif self.cell == "td":
            self.row[-1] += data

page = Leaderboards()
page.feed(open(sys.argv[1], encoding="utf-8").read())
plugins = [s["plugin"] for s in page.sections]
assert plugins == ["brindle_skill", "corvane_skill", "quorvex_skill"], plugins
for section in page.sections:
    rows = section["rows"]
    assert len(rows) == 6, (section["plugin"], rows)
    assert [r[0] for r in rows] == [str(n) for n in range(1, 7)], rows
    assert all(r[-1].startswith("<svg>") for r in rows), rows
    skills = [float(r[3]) for r in rows]
    assert skills == sorted(skills, reverse=True), skills
assert page.sections[0]["rows"][0][1] == "ashgrove", page.sections[0]["rows"][0]
print("Chromium shows", ", ".join(f"{s['plugin']} ({len(s['rows'])} players)" for s in page.sections))
PYTHON
