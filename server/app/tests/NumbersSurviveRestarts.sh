#!/usr/bin/env bash
# The real program and engine, twice, under a comma locale, in a fresh copy of the demo install
# directory: the configuration file must hold its numbers with a dot, and the second run must
# read them back. Usage: NumbersSurviveRestarts.sh SERVER DEMO_DIR
set -euo pipefail
server=$1
demo=$2

# Without the comma locale this test could not see the fault; it must not pass quietly then.
if [ "$(LC_ALL=de_DE.UTF-8 printf '%.1f' 1 2>/dev/null)" != "1,0" ]; then
  echo "FAIL: the de_DE.UTF-8 locale is missing (Debian package locales-all)" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R "$demo/." "$work/"
mkdir "$work/xdg"  # no machine-wide install directory: the program stays where it starts
cd "$work"

run() {
  env -u TARNWICK_SIM_FAIL LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 QT_QPA_PLATFORM=offscreen \
    XDG_CONFIG_DIRS="$work/xdg" TARNWICK_SIM_CLOSE_AFTER_TICKS=30 TARNWICK_ENGINE_TRACE="$1" \
    timeout 60 "$server" -s
}

fail() {
  echo "FAIL: $*" >&2
  echo "--- tarnwick/server.cfg" >&2
  cat tarnwick/server.cfg >&2 || true
  exit 1
}

expect_lines() {
  for line in "$@"; do
    grep -qxF "$line" tarnwick/server.cfg || fail "no line '$line' in the configuration file"
  done
  if grep -qE '[0-9],[0-9]' tarnwick/server.cfg; then fail "a number with a comma"; fi
}

run "$work/first.trace" || fail "the first run ended with status $?"
expect_lines "timelimit 30" "ffteam 0.5" "mirrordamagepercent 0.5" "playerkickvote 0.6" \
  "mapvote 0.6" "katime 30" "serverbandwidth 2" "custombandwidth 32000"

# An operator's own values, which the second run must take from the file.
sed -i -e 's/^ffteam 0\.5$/ffteam 0.25/' -e 's/^serverbandwidth 2$/serverbandwidth 5/' \
  -e 's/^custombandwidth 32000$/custombandwidth 12345/' tarnwick/server.cfg
run "$work/second.trace" || fail "the second run ended with status $?"
grep -qF 'ExecuteCommand	"sendbandwidth 12345"' second.trace ||
  fail "the second run did not send the custom bandwidth it read back"
expect_lines "timelimit 30" "ffteam 0.25" "ffallies 0.5" "playerkickvote 0.6" "mapvote 0.6" \
  "serverbandwidth 5" "custombandwidth 12345"
echo "PASS"
