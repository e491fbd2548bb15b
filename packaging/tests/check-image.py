#!/usr/bin/env python3
"""Usage: check-image.py IMAGE ARCHIVE DIR

Checks the server's OCI image: its configuration as `buildah inspect` reads it (user, entry point,
exposed port, labels, health check), and its root file system as the OCI archive ARCHIVE holds it,
unpacked into DIR: under chroot, as the image's user in its working directory, tarnwickd answers
--version, and the entry point with its command serves the simulated engine, passes the health
check and ends with status 0 on SIGTERM."""
import json
import os
import subprocess
import sys
import tarfile

image, archive, root = sys.argv[1:4]
failures = 0


def check(what, ok):
    global failures
    print(("ok: " if ok else "FAILED: ") + what)
    failures += 0 if ok else 1


inspected = json.loads(subprocess.run(["buildah", "inspect", "--type", "image", image],
                                      check=True, capture_output=True, text=True).stdout)
config = inspected["OCIv1"]["config"]
labels = config.get("Labels", {})
check("runs as tarnwick", config.get("User") == "tarnwick")
check("enters tarnwickd with JSON logs",
      config.get("Entrypoint") == ["/usr/sbin/tarnwickd", "--log-format", "json"])
check("serves the web admin on 8080", config.get("Cmd") == ["--web-admin", "0.0.0.0:8080"])
check("exposes 8080/tcp", "8080/tcp" in config.get("ExposedPorts", {}))
check("works in the default install directory",
      config.get("WorkingDir") == "/var/lib/tarnwick/default")
for label in ("version", "source", "licenses"):
    check("label org.opencontainers.image." + label,
          bool(labels.get("org.opencontainers.image." + label)))
health = inspected["Docker"]["config"].get("Healthcheck") or {}
check("health check runs tarnwick-healthz",
      health.get("Test") == ["CMD", "/usr/lib/tarnwick/tarnwick-healthz", "8080"])

# The archive's one layer, as a runtime would unpack it.
with tarfile.open(archive) as outer:
    def blob(digest):
        return outer.extractfile("blobs/sha256/" + digest.split(":")[1])
    index = json.load(outer.extractfile("index.json"))
    manifest = json.load(blob(index["manifests"][0]["digest"]))
    archived = json.load(blob(manifest["config"]["digest"]))["config"]
    check("the archive keeps the user and entry point",
          archived.get("User") == "tarnwick" and archived.get("Entrypoint") == config["Entrypoint"])
    os.makedirs(root, exist_ok=True)
    for layer in manifest["layers"]:
        with tarfile.open(fileobj=blob(layer["digest"]), mode="r|*") as files:
            files.extractall(root, numeric_owner=True)


# In a network namespace of its own (the port is the image's, not this machine's), with /proc:
# the image's entry point and command as its user in its working directory; its health check
# until it passes; a player's join; then SIGTERM.
RUN = r"""
ip link set lo up && mount -t proc proc "$0/proc" || exit 99
chroot "$0" setpriv --reuid tarnwick --regid tarnwick --init-groups \
    sh -c 'cd /var/lib/tarnwick/default && exec "$0" "$@"' "$@" >"$0/tmp/run.log" 2>&1 &
server=$!
healthy=1
for attempt in $(seq 100); do
    chroot "$0" setpriv --reuid tarnwick --regid tarnwick --init-groups \
        /usr/lib/tarnwick/tarnwick-healthz 8080 && { healthy=0; break; }
    sleep 0.1
done
for attempt in $(seq 100); do  # a simulated player joins within a second or so
    grep -q '"type":"join"' "$0/tmp/run.log" && break
    sleep 0.1
done
kill -TERM "$server"
wait "$server"
status=$?
echo "healthy $healthy status $status"
"""


def in_image(*command):
    result = subprocess.run(["unshare", "--net", "--mount", "--propagation", "private", "sh", "-c",
                             RUN, root, *command], capture_output=True, text=True,
                            stdin=subprocess.DEVNULL, timeout=60)
    with open(os.path.join(root, "tmp/run.log")) as log:
        return result.stdout.split(), log.read()


_, version = in_image("tarnwickd", "--version")
check("tarnwickd --version in the image: " + version.strip(), version.startswith("tarnwickd "))
outcome, log = in_image(*config["Entrypoint"], *config["Cmd"])
lines = [json.loads(line) for line in log.splitlines() if line.startswith("{")]
check("the health check passes while it runs", outcome[:2] == ["healthy", "0"])
check("SIGTERM ends it with status 0", outcome[2:] == ["status", "0"])
check("its log is JSON lines", bool(lines) and len(lines) == len(log.splitlines()))
check("it ran the game server, players joining",
      any(l.get("text", "").startswith("Starting game server") for l in lines) and
      any(l.get("type") == "join" for l in lines))
if failures:
    print(" ".join(outcome) + "\n" + log)

print("%d failed" % failures)
sys.exit(1 if failures else 0)
