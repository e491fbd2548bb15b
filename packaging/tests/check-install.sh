#!/bin/sh
# Usage: check-install.sh ROOT
# Run as root on the host, after the packages were installed into the Debian root ROOT and the
# default server's install directory laid out there: each check runs inside ROOT with chroot.
#  1. tarnwickd --version.
#  2. As the service user tarnwick, every try to modify, remove, replace, rename over or change the
#     mode of each piece of code the server loads (the program, the engine module, the label
#     library and its link), or to plant a file beside them where the loader looks, fails. Names
#     the service can plant in its state folder beside the label library are never loaded: they
#     are planted as non-libraries before the run below, which would fail on any of them.
#  3. A short run as tarnwick on the simulated engine: exit status 0, the expected lines, the
#     configuration written as the service's own, an event log that the ratings follower
#     (tarnwick-ratings, in the group tarnwick-log) rates and that other users cannot read.
set -u
root=$1
dir=/var/lib/tarnwick/default
failures=0
in_root() { chroot "$root" "$@"; }
check() {  # check WHAT COMMAND...: COMMAND must succeed
    what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
as_service() { in_root runuser -u tarnwick -- sh -c "$1" 2>/dev/null; }
cannot() {  # cannot WHAT COMMAND: COMMAND, run as tarnwick, must fail
    if as_service "$2"; then
        echo "FAILED: tarnwick could $1"
        failures=$((failures + 1))
    else
        echo "ok: tarnwick cannot $1"
    fi
}

check "tarnwickd --version" sh -c "chroot '$root' tarnwickd --version | grep -qx 'tarnwickd [0-9.]*\( (git [0-9a-z.-]*)\)\?'"

# 2. The code, as the service user.
as_service "echo own > $dir/tarnwick/own"
check "tarnwick can write its state folder" test -f "$root$dir/tarnwick/own"
for code in /usr/lib/tarnwick/tarnwickd /usr/sbin/tarnwickd /usr/lib/tarnwick/libserver.so \
            /usr/lib/tarnwick/quillon.so "$dir/tarnwick/quillon.so"; do
    for try in "modify:echo x >> $code" "remove:rm -f $code" "change the mode of:chmod 0777 $code" \
               "replace:cp $dir/tarnwick/own $code.new; mv -f $code.new $code" \
               "rename over:mv -f $dir/tarnwick/own $code"; do
        cannot "${try%%:*} $code" "${try#*:}"
        in_root rm -f "$code.new"
    done
done
for folder in /usr/lib/tarnwick /usr/sbin "$dir" "$dir/tarnwick"; do
    cannot "change or move $folder" "chmod 0777 $folder || mv $folder $folder.moved"
done
for planted in /usr/lib/tarnwick/libserver.so.1 /usr/lib/tarnwick/libQt6Core.so.6 \
               "$dir/libserver.so" "$dir/tarnwick.rez.new"; do
    cannot "plant $planted" "echo planted > $planted"
done
for name in quillon libquillon.so libquillon quillon.so.1; do
    as_service "echo planted > $dir/tarnwick/$name"
    check "tarnwick can plant $name beside the label library (never loaded)" \
        test -f "$root$dir/tarnwick/$name"
done
in_root rm -f "$dir/tarnwick/own"

# 3. A run of eight seconds on the simulated engine, with the event log on: a simulated player
# joins within a second or so (within eight, but for one run in 200000).
as_service "echo 'logevents 1' > $dir/tarnwick/server.cfg"
# The unit's umask.
output=$(chroot "$root" sh -c "cd $dir && umask 027 && TARNWICK_SIM_CLOSE_AFTER_TICKS=240 \
    runuser -u tarnwick -- tarnwickd </dev/null" 2>&1)
status=$?
check "the run ends with status 0 (was $status)" test "$status" -eq 0
for line in "Tarnwick Server starting in $dir" "Starting game server on world" "player 1 joined:" \
            "the engine asked to close" "Tarnwick Server stopped"; do
    check "the run says \"$line\"" sh -c 'printf "%s\n" "$1" | grep -qF "$2"' - "$output" "$line"
done
owned() { test "$(chroot "$root" stat -c '%U %G %a' "$1")" = "$2"; }
check "server.cfg is the service's own, mode 0600" \
    owned "$dir/tarnwick/server.cfg" "tarnwick tarnwick 600"
log=$(cd "$root" && ls "./$dir/tarnwick/logs/"match-*.log 2>/dev/null | head -n 1)
log=${log#.}
check "an event log was written" test -n "$log"
check "the event log is tarnwick's, group tarnwick-log, mode 0640" \
    owned "$log" "tarnwick tarnwick-log 640"
check "the ratings follower rates the event log" \
    sh -c "chroot '$root' runuser -u tarnwick-ratings -- skillhost '$log' brindle_skill >/dev/null"
check "another user cannot read the event log" \
    sh -c "! chroot '$root' runuser -u nobody -- cat '$log' >/dev/null 2>&1"
if [ "$status" -ne 0 ]; then printf '%s\n' "$output"; fi

echo "$failures failed"
[ "$failures" -eq 0 ]
