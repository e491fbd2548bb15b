#!/usr/bin/env bash
# The README's commands on the simulated server: the server with logevents 1 in a copy of the demo
# install directory, skillhost following its logs into a database and a stats site, and the
# report.
# Usage: pipeline.sh BIN_DIR DEMO_DIR
set -euo pipefail
bin=$(cd "$1" && pwd)
dir=$(mktemp -d /tmp/skillhost-pipeline-XXXXXX)
follower=
cleanup() {
  [ -z "$follower" ] || kill -KILL "$follower" 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT
cp -r "$2" "$dir/demo"
echo "logevents 1" >>"$dir/demo/tarnwick/server.cfg"

# The follower first: it waits for the log directory the server makes.
"$bin/skillhost" --db "$dir/ratings.db" --follow "$dir/demo/tarnwick/logs" --site "$dir/site" \
  --name "Pipeline" brindle_skill quorvex_skill corvane_skill 2>"$dir/follower.log" &
follower=$!

# Twenty seconds of a match with sixteen simulated players, then the engine closes the server.
(cd "$dir/demo" && TARNWICK_SIM_SEED=3 TARNWICK_SIM_BOTS=16 TARNWICK_SIM_CLOSE_AFTER_TICKS=600 \
  timeout 120 "$bin/server" --headless >"$dir/server.log" 2>&1) || { cat "$dir/server.log" >&2; exit 1; }

logs=("$dir"/demo/tarnwick/logs/match-*.log)
[ -f "${logs[0]}" ] || { echo "the server wrote no event log" >&2; exit 1; }
kills=$(grep -c '^event 19 ' "${logs[@]}" | awk -F: '{ n += $NF } END { print n }')
[ "$kills" -gt 0 ] || { echo "no kills in ${logs[*]}" >&2; exit 1; }

# Every kill of the log reaches the database; then the follower ends on SIGTERM.
for _ in $(seq 100); do
  rated=$("$bin/skillhost" report --db "$dir/ratings.db" --format csv --plugin brindle_skill \
    2>/dev/null | awk -F, 'NR > 1 { n += $7 } END { print n + 0 }')
  expected=$(grep -h '^event ' "${logs[@]}" | awk '{ n += ($4 == $5 || NF == 4) ? 1 : 2 } END { print n }')
  [ "$rated" = "$expected" ] && break
  sleep 0.2
done
kill -TERM "$follower"
wait "$follower" || { cat "$dir/follower.log" >&2; exit 1; }
follower=
[ "$rated" = "$expected" ] || { echo "rated $rated of $expected events" >&2; exit 1; }

# The site shows every rated player, and the facts of the log: its map, kills and time played.
python3 - "$dir" <<'PYTHON'
import json, os, sys
folder = sys.argv[1]
feed = json.load(open(folder + "/site/feed.json"))
assert [r["title"] for r in feed["ratings"]] == ["Brindle rating", "Corvane rating",
                                                "Quorvex rating"], feed["ratings"]
players = {p["key"] for r in feed["ratings"] for p in r["top"]}
assert players and all(os.path.exists(f"{folder}/site/players/{k}.html") for k in players)
match = feed["matches"][0]
assert match["map"].startswith("worlds/") and match["kills"] > 0 and match["seconds"] >= 15, match
assert sum(p["kills"] for p in feed["ratings"][0]["top"]) > 0
PYTHON
"$bin/skillhost" report --db "$dir/ratings.db" --format html >"$dir/leaderboard.html"
grep -q '<table class="leaderboard">' "$dir/leaderboard.html"
"$bin/skillhost" report --db "$dir/ratings.db" --top 3
echo "$kills kills in ${#logs[@]} log(s), every event rated"
