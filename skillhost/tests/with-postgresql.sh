#!/usr/bin/env bash
# Runs a command against a PostgreSQL server of its own: a throwaway cluster in a temporary
# directory, listening only on a Unix socket there, gone afterwards. The command finds it through
# TARNWICK_TEST_POSTGRES_HOST (the socket's directory) and TARNWICK_TEST_POSTGRES_USER, and may
# stop and start it with "$TARNWICK_TEST_POSTGRES_CTL stop" and "... start".
# initdb refuses to run as root, so as root the server runs as the postgres system user that
# Debian's package creates. Exit status 77 (skipped) when the server is not installed.
set -euo pipefail

bindir=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$bindir" ] || [ ! -x "$bindir/initdb" ]; then
  echo "the PostgreSQL server is not installed (Debian package postgresql)" >&2
  exit 77
fi

user=$(id -un)
as=()
if [ "$(id -u)" -eq 0 ]; then
  user=postgres
  as=(runuser -u postgres --)
fi
dir=$(mktemp -d /tmp/skillhost-postgres-XXXXXX)
[ ${#as[@]} -eq 0 ] || chown postgres: "$dir"
stop() {
  "${as[@]}" "$bindir/pg_ctl" -D "$dir/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap stop EXIT

if ! "${as[@]}" "$bindir/initdb" -D "$dir/data" -U "$user" --auth=trust -E UTF8 --locale=C \
    >"$dir/initdb.log" 2>&1; then
  cat "$dir/initdb.log" >&2
  exit 1
fi
if ! "${as[@]}" "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w \
    -o "-c listen_addresses='' -c unix_socket_directories='$dir'" start >/dev/null; then
  cat "$dir/server.log" >&2
  exit 1
fi

cat >"$dir/ctl" <<CTL
#!/usr/bin/env bash
exec ${as[*]} "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -m fast \
  -o "-c listen_addresses='' -c unix_socket_directories='$dir'" "\$1" >/dev/null
CTL
chmod 755 "$dir/ctl"
export TARNWICK_TEST_POSTGRES_HOST="$dir" TARNWICK_TEST_POSTGRES_USER="$user" \
  TARNWICK_TEST_POSTGRES_CTL="$dir/ctl"
"$@"
