#!/usr/bin/env bash
# The HTML report and the stats site opened in headless Chromium, from files and offline: the
# report shows each plug-in's leaderboard, every player with a history graph; the site's pages
# show the ratings by their names, its script runs under the pages' content security policy, at a
# desktop's width and a phone's (390 px).
# Usage: report-in-chromium.sh SKILLHOST SAMPLE_DIR [SCREENSHOT_DIR]. With SCREENSHOT_DIR, the
# site's pages are photographed there too. Exit status 77 (skipped) without Chromium.
set -euo pipefail
skillhost=$1
sample=$2
shots=${3:-}

browser=$(command -v chromium || command -v chromium-browser || true)
if [ -z "$browser" ]; then
  echo "Chromium is not installed (Debian package chromium)" >&2
  exit 77
fi
dir=$(mktemp -d /tmp/skillhost-report-XXXXXX)
trap 'rm -rf "$dir"' EXIT

# The sample match, and a second one of the same players as the server logs it.
mkdir "$dir/logs"
cp "$sample/sample.log" "$dir/logs/1.log"
{
  echo "# Tarnwick match 2 (5eed5eed) on worlds/harbour, started 2026-03-01T20:00:00Z"
  awk '/^player/ { print }' "$sample/sample.log"
  for t in 10 20 30 40 50 60 70 80; do
    echo "at $t"
    echo "event 19 rifle $((t % 3 + 1)) $((t % 3 + 4))"
    echo "event 19 sniper $((t % 3 + 4)) $((t % 2 + 1))"
  done
  echo "leave 3"
  echo "at 600"
} >"$dir/logs/2.log"
"$skillhost" --db "$dir/ratings.db" --weapons "$sample/weapons.txt" "$dir/logs" \
  brindle_skill quorvex_skill corvane_skill 2>/dev/null
"$skillhost" report --db "$dir/ratings.db" --format html >"$dir/report.html"
"$skillhost" site --db "$dir/ratings.db" --out "$dir/site" --name "Brackwater Nights" 2>/dev/null

flags=(--headless --disable-gpu --no-first-run --no-default-browser-check
       --user-data-dir="$dir/profile" --virtual-time-budget=2000 --hide-scrollbars)
[ "$(id -u)" -ne 0 ] || flags+=(--no-sandbox)
dom() {  # FILE OUT WIDTH
  timeout 120 "$browser" "${flags[@]}" --window-size="$3,900" --dump-dom "file://$1" \
    >"$2" 2>"$dir/chromium.log" || { cat "$dir/chromium.log" >&2; exit 1; }
}
dom "$dir/report.html" "$dir/dom.html" 1280
for width in 1280 390; do
  dom "$dir/site/index.html" "$dir/index-$width.html" "$width"
  dom "$dir/site/ratings/brindle_skill-1.html" "$dir/board-$width.html" "$width"
  dom "$dir/site/players/1.html" "$dir/player-$width.html" "$width"
done

python3 - "$dir" <<'PYTHON'
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

folder = sys.argv[1]
page = Leaderboards()
page.feed(open(folder + "/dom.html", encoding="utf-8").read())
plugins = [s["plugin"] for s in page.sections]
assert plugins == ["brindle_skill", "corvane_skill", "quorvex_skill"], plugins
for section in page.sections:
    rows = section["rows"]
    assert len(rows) == 6, (section["plugin"], rows)
    assert [r[0] for r in rows] == [str(n) for n in range(1, 7)], rows
    assert all(r[-1].startswith("<svg>") for r in rows), rows
    skills = [float(r[3]) for r in rows]
    assert skills == sorted(skills, reverse=True), skills
print("Chromium shows the report:", ", ".join(f"{s['plugin']} ({len(s['rows'])} players)" for s in page.sections))

class Site(HTMLParser):
    """Headings, table rows (cell texts), and whether the board's tools are shown."""
    def __init__(self):
        super().__init__()
        self.headings, self.rows, self.tools, self.charts, self.text = [], [], None, 0, None
        self.scripts_inline = 0
    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag in ("h1", "h2"):
            self.headings.append("")
            self.text = "heading"
        elif tag == "tr":
            self.rows.append([])
        elif tag in ("td", "th") and self.rows:
            self.rows[-1].append("")
            self.text = "cell"
        elif tag == "form" and "tools" in attrs.get("class", ""):
            self.tools = "hidden" not in attrs
        elif tag == "svg" and "chart" in attrs.get("class", ""):
            self.charts += 1
        elif tag == "script" and "src" not in attrs:
            self.scripts_inline += 1
        if "style" in attrs or any(name.startswith("on") for name in attrs):
            self.scripts_inline += 1
    def handle_endtag(self, tag):
        if tag in ("h1", "h2", "td", "th"):
            self.text = None
    def handle_data(self, data):
        if self.text == "heading":
            self.headings[-1] += data
        elif self.text == "cell":
            self.rows[-1][-1] += data

def site(name):
    parsed = Site()
    parsed.feed(open(f"{folder}/{name}", encoding="utf-8").read())
    assert parsed.scripts_inline == 0, f"{name}: inline script or style"
    return parsed

for width in (1280, 390):
    index = site(f"index-{width}.html")
    assert index.headings[:4] == ["Brackwater Nights", "Brindle rating", "Corvane rating",
                                  "Quorvex rating"], index.headings
    board = site(f"board-{width}.html")
    assert board.tools is True, "the script shows the search form: it ran under the policy"
    body = [r for r in board.rows if r and r[0].isdigit()]
    assert [r[0] for r in body] == [str(n) for n in range(1, 7)], body
    ratings = [float(r[2]) for r in body]
    assert ratings == sorted(ratings, reverse=True), ratings
    player = site(f"player-{width}.html")
    assert player.headings[0] == "ashgrove", player.headings
    assert player.charts == 1 and "Ratings over time" in player.headings, player.headings
    matches = [r for r in player.rows if r and r[0].startswith("20")]
    assert [r[1] for r in matches] == ["harbour"], matches
print("Chromium shows the site at 1280 and 390 px: ratings, boards and player pages")
PYTHON

if [ -n "$shots" ]; then
  mkdir -p "$shots"
  shoot() {  # PAGE OUT WIDTH HEIGHT
    timeout 120 "$browser" "${flags[@]}" --window-size="$3,$4" --screenshot="$shots/$2" \
      "file://$dir/site/$1" 2>/dev/null
  }
  shoot index.html site-index.png 1280 900
  shoot players/1.html site-player.png 1280 1100
  shoot ratings/brindle_skill-1.html site-phone.png 390 844
fi
