#!/bin/sh
# Usage: verify-service-unit.sh UNIT_DIR
# Checks the shipped units as systemd reads them: `systemd-analyze verify` on each (the template
# as an instance), on copies whose programs are stand-ins in a scratch folder (verify checks that
# they exist) and whose users are the one running the test; `systemd-analyze security` on each,
# failing above an exposure of 1.2, so a sandboxing line lost is seen; and that
# tarnwick-server.service is the template's instance "default" but for the lines that name it.
# Verify answers success even for unknown keys and bad values, so any complaint that names a
# unit fails the test as well.
set -eu
units=$1
command -v systemd-analyze >/dev/null || { echo "systemd-analyze is missing (Debian package systemd)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for program in tarnwickd tarnwick-install-dir skillhost; do
    ln -s /bin/true "$work/$program"
done
for unit in tarnwick-server.service tarnwick-server@.service tarnwick-skillhost.service; do
    sed -e "s#/usr/sbin/tarnwickd#$work/tarnwickd#" \
        -e "s#/usr/lib/tarnwick/tarnwick-install-dir#$work/tarnwick-install-dir#" \
        -e "s#/usr/bin/skillhost#$work/skillhost#" \
        -e "s#^User=.*#User=$(id -un)#" -e "s#^Group=.*#Group=$(id -gn)#" \
        -e "s#^SupplementaryGroups=.*#SupplementaryGroups=$(id -gn)#" \
        "$units/$unit" >"$work/$unit"
done

status=0
output=$(cd "$work" && SYSTEMD_UNIT_PATH="$work:" systemd-analyze verify --man=no \
    tarnwick-server.service tarnwick-server@two.service tarnwick-skillhost.service 2>&1) ||
    status=$?
[ -n "$output" ] && echo "$output"
[ "$status" -eq 0 ] || exit 1
if echo "$output" | grep -q 'tarnwick-'; then exit 1; fi

for unit in tarnwick-server.service tarnwick-server@.service tarnwick-skillhost.service; do
    systemd-analyze security --offline=true --threshold=12 --man=no "$units/$unit" |
        grep 'Overall exposure' || { echo "$unit: exposure above 1.2"; exit 1; }
done

# The lines of the template, rendered for "default", against the plain unit's.
alike() { grep -v -e '^#' -e '^Description=' -e '^SyslogIdentifier=' -e '^Conflicts=' "$1"; }
sed 's/%i/default/g' "$units/tarnwick-server@.service" >"$work/rendered"
alike "$work/rendered" >"$work/template-lines"
alike "$units/tarnwick-server.service" >"$work/plain-lines"
diff -u "$work/template-lines" "$work/plain-lines" ||
    { echo "tarnwick-server.service differs from tarnwick-server@.service"; exit 1; }
echo "verified"
