#!/bin/sh
# Usage: verify-service-unit.sh UNIT PROGRAM
# Runs `systemd-analyze verify` on a copy of UNIT whose install directory is a scratch one holding
# PROGRAM (verify checks that ExecStart's program exists) and whose user is the one running the
# test. Verify answers success even for unknown keys and bad values, so any complaint that names
# the unit fails the test as well.
set -eu
unit=$1
program=$2
command -v systemd-analyze >/dev/null || { echo "systemd-analyze is missing (Debian package systemd)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/opt/tarnwick/tarnwick"
ln -s "$program" "$work/opt/tarnwick/server"
sed -e "s#/opt/tarnwick#$work/opt/tarnwick#g" \
    -e "s#^User=.*#User=$(id -un)#" -e "s#^Group=.*#Group=$(id -gn)#" \
    "$unit" >"$work/tarnwick-server.service"
status=0
output=$(systemd-analyze verify --man=no "$work/tarnwick-server.service" 2>&1) || status=$?
[ -n "$output" ] && echo "$output"
[ "$status" -eq 0 ] || exit 1
if echo "$output" | grep -q 'tarnwick-server'; then exit 1; fi
echo "verified"
