#!/usr/bin/env bash
# Usage: scripts/package-check.sh [--keep]
# Builds the Debian packages from the default build, checks them with lintian, installs the
# server's set (tarnwick-server, tarnwick-sim-engine) with apt-get into a minimal Debian root made
# by mmdebstrap, builds the OCI image from that root with buildah, and checks both: the install
# (packaging/tests/check-install.sh: the program runs, the service user cannot touch the code)
# and the image (its configuration, and its root file system running the program under chroot).
# Needs root and the Debian archive. Everything lands in build/default/package-check/: the
# packages in debs/, the image in tarnwick-server-image.tar (an OCI archive). --keep keeps the
# root in root/ for bench/ready_time.py. Each step prints how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
keep=false
[ "${1:-}" = --keep ] && keep=true
build=build/default
work=$PWD/$build/package-check
root=$work/root
image=localhost/tarnwick-server
# version, source and licenses, from the CMake configuration
# shellcheck disable=SC1091
. "$build/packaging/image.env"
started=$SECONDS
step() { echo "== $1 ($((SECONDS - started)) s)"; }

rm -rf "$work"
mkdir -p "$work/debs"
# A run that failed may have left its image.
buildah rmi "$image:$version" >/dev/null 2>&1 || true

step "packages"
cmake --build --preset default --target tarnwickd server skillhost brindle_skill quorvex_skill \
    corvane_skill engine_module quillon package_changelog
(cd "$build" && cpack -G DEB -B "$work/cpack" >/dev/null)
mv "$work"/cpack/*.deb "$work/debs/"
ls -l "$work/debs"

step "lintian"
# Warnings are accepted (docs/deployment.md lists them); an error fails.
lintian --fail-on error --display-level '>=warning' "$work"/debs/*.deb

step "a minimal Debian root"
# The package lists are kept for the install that follows.
mmdebstrap --variant=apt --skip=cleanup/apt/lists bookworm "$root" \
    /etc/apt/sources.list.d/debian.sources

# Runs a command with /proc mounted in the root, in a mount namespace of its own so that nothing
# stays mounted.
with_proc() {
    unshare --mount --propagation private sh -c 'mount -t proc proc "$0/proc" && "$@"' "$root" "$@"
}

# What dpkg says the installed packages take, in MiB.
installed_size() {
    chroot "$root" dpkg-query -W -f '${Installed-Size}\n' | awk '{ k += $1 } END { print int(k / 1024) }'
}
base_size=$(installed_size)

step "apt-get install of the server's packages"
cp "$work"/debs/tarnwick-server_*.deb "$work"/debs/tarnwick-sim-engine_*.deb "$root/tmp/"
with_proc chroot "$root" sh -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -q -o Dpkg::Use-Pty=0 \
    --no-install-recommends /tmp/tarnwick-server_*.deb /tmp/tarnwick-sim-engine_*.deb'
rm -f "$root"/tmp/*.deb
# The default server's install directory, as its unit lays it out before each start.
chroot "$root" /usr/lib/tarnwick/tarnwick-install-dir /var/lib/tarnwick/default
echo "the packages and what they need install $(($(installed_size) - base_size)) MiB" \
    "into a minimal Debian root of $base_size MiB"
# Nothing the server needs, and not for the image: package lists, documentation, manuals.
rm -rf "$root"/var/lib/apt/lists/* "$root"/var/cache/apt/*.bin "$root"/var/cache/apt/archives/*.deb \
    "$root"/usr/share/doc/* "$root"/usr/share/man/* "$root"/usr/share/info/*
echo "the root, as the image holds it: $(du -sxm "$root" | cut -f1) MiB"

step "the OCI image"
# The root as a tar (numeric owners kept: the state folder is the service's group's), added to an
# empty image.
tar -C "$root" --numeric-owner -cf "$work/root.tar" .
# The Docker form of the configuration while building, as only it holds a health check.
export BUILDAH_FORMAT=docker
container=$(buildah from scratch)
trap 'buildah rm "$container" >/dev/null 2>&1 || true' EXIT
buildah add --quiet "$container" "$work/root.tar" / >/dev/null
rm -f "$work/root.tar"
# The health check is tarnwick-healthz, as the image holds no HTTP client; Kubernetes probes
# /healthz itself.
buildah config --user tarnwick --workingdir /var/lib/tarnwick/default \
    --entrypoint '["/usr/sbin/tarnwickd", "--log-format", "json"]' \
    --cmd '["--web-admin", "0.0.0.0:8080"]' --port 8080/tcp --stop-signal SIGTERM \
    --env XDG_CONFIG_DIRS=/etc/tarnwick/default \
    --label "org.opencontainers.image.version=$version" \
    --label "org.opencontainers.image.source=$source" \
    --label "org.opencontainers.image.licenses=$licenses" \
    --label "org.opencontainers.image.title=Tarnwick game server" \
    --healthcheck "CMD /usr/lib/tarnwick/tarnwick-healthz 8080" --healthcheck-interval 10s \
    --healthcheck-timeout 3s --healthcheck-retries 3 --healthcheck-start-period 10s \
    "$container"
buildah commit --quiet --rm "$container" "$image:$version" >/dev/null
trap - EXIT
buildah push --quiet "$image:$version" "oci-archive:$work/tarnwick-server-image.tar:$image:$version"
echo "image archive: $(du -m "$work/tarnwick-server-image.tar" | cut -f1) MiB"

step "the install, in the root"
with_proc packaging/tests/check-install.sh "$root"

step "the image"
packaging/tests/check-image.py "$image:$version" "$work/tarnwick-server-image.tar" "$work/image-root"
buildah rmi "$image:$version" >/dev/null

$keep || rm -rf "$root" "$work/image-root"
step "done"
