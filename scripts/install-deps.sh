#!/usr/bin/env bash
# Usage: scripts/install-deps.sh [--ci]
# Installs the Debian packages the build and `ctest --preset default` need; with --ci also those
# of the rest of .ci/run and the benchmarks: the 32-bit build and its emulator, clang for the fuzz
# build, the package checks' tools, and Xvfb. A no-op when everything is present; as non-root it
# prints the command to run instead.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config lld
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libglib2.0-dev
  googletest libgtest-dev libbenchmark-dev
  python3 python3-yaml  # python3-yaml: the Kubernetes files' check
  systemd  # systemd-analyze: the service units' check
  locales-all  # de_DE.UTF-8: the tests that run under a comma locale
  prometheus  # promtool: the metrics' and the example configuration's check
  libboost-dev libssl-dev openssl libsodium-dev
  chromium chromium-driver python3-selenium
  # skillhost's lasting ratings (SQLite, PostgreSQL's client library) and the throwaway
  # PostgreSQL server of their tests
  libsqlite3-dev libpq-dev postgresql
)
case "${1:-}" in
  --ci)
    # The 32-bit plug-ins and their emulator, the fuzz build, the Debian packages and the OCI
    # image (their checker, the minimal Debian root, the image builder, a network namespace's
    # loopback), and the display the window's benchmark and screenshots use.
    packages+=(
      g++-multilib qemu-user libglib2.0-dev:i386
      clang libclang-rt-14-dev
      lintian mmdebstrap buildah iproute2
      xvfb
    )
    ;;
  "") ;;
  *) echo "usage: $0 [--ci]" >&2; exit 2 ;;
esac

# axe-core, the accessibility check the web page's browser test runs: Debian has no package of it,
# so it comes from npm into /opt (Debian's npm, or the one a NodeSource nodejs carries).
axe_prefix=/opt/tarnwick-axe
axe_version=4.10.3
install_axe() {
  [ -f "$axe_prefix/node_modules/axe-core/axe.min.js" ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Run as root: npm install --prefix $axe_prefix axe-core@$axe_version" >&2
    return 1
  fi
  local npm=(npm)
  if ! command -v npm >/dev/null; then
    if [ -f /usr/lib/node_modules/npm/bin/npm-cli.js ]; then
      npm=(node /usr/lib/node_modules/npm/bin/npm-cli.js)
    else
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends npm >/dev/null
    fi
  fi
  "${npm[@]}" install --prefix "$axe_prefix" --no-audit --no-fund "axe-core@$axe_version" >/dev/null
}

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  install_axe
  exit $?
fi

need_i386=0
for p in "${missing[@]}"; do [[ $p == *:i386 ]] && need_i386=1; done

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  prefix=""; [ "$need_i386" -eq 1 ] && prefix="dpkg --add-architecture i386 && "
  echo "Run as root: ${prefix}apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi

export DEBIAN_FRONTEND=noninteractive
if [ "$need_i386" -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
install_axe
