#!/usr/bin/env python3
"""Checks the Kubernetes files under the folder given: each document parses and names its kind,
and they fit together (probes on /healthz at the web admin's port, the counter the autoscaler
reads, non-root containers on a read-only root, declared volumes, existing claims and Secret
keys)."""
import pathlib
import sys

import yaml

docs = [d for p in sorted(pathlib.Path(sys.argv[1]).rglob("*.yaml"))
        for d in yaml.safe_load_all(p.read_text())]
named = {(d.get("kind"), d.get("metadata", {}).get("name")): d for d in docs}
failures = [f"{k}: apiVersion, kind and name" for k, d in named.items()
            if not (k[0] and k[1] and d.get("apiVersion"))]


def check(condition, what):
    if not condition:
        failures.append(what)


for d in docs:
    spec = d["spec"]["template"]["spec"] if d["kind"] in ("Fleet", "Deployment") else None
    pod = spec["template"]["spec"] if d["kind"] == "Fleet" else spec
    if not pod:
        continue
    name = d["metadata"]["name"]
    check(pod.get("securityContext", {}).get("runAsNonRoot") is True, f"{name}: runAsNonRoot")
    volumes = {v["name"]: v for v in pod.get("volumes", [])}
    for v in volumes.values():
        claim = v.get("persistentVolumeClaim", {}).get("claimName")
        check(not claim or ("PersistentVolumeClaim", claim) in named, f"{name}: claim {claim}")
    for c in pod.get("initContainers", []) + pod["containers"]:
        context = c.get("securityContext", {})
        check(context.get("readOnlyRootFilesystem") is True
              and context.get("allowPrivilegeEscalation") is False
              and context.get("capabilities", {}).get("drop") == ["ALL"],
              f"{name}/{c['name']}: read-only root, no privileges")
        check({"requests", "limits"} <= set(c.get("resources", {})), f"{c['name']}: resources")
        for mount in c.get("volumeMounts", []):
            check(mount["name"] in volumes, f"{c['name']}: volume {mount['name']} declared")
        for env in c.get("env", []):
            ref = env.get("valueFrom", {}).get("secretKeyRef")
            secret = ref and named.get(("Secret", ref["name"]), {})
            check(not ref or ref["key"] in secret.get("stringData", {}), f"Secret for {env['name']}")
    if d["kind"] == "Fleet":
        check("players" in spec.get("counters", {}), f"{name}: the players counter")
        args = pod["containers"][0]["args"]
        web = args[args.index("--web-admin") + 1] if "--web-admin" in args else ""
        for probe in ("startupProbe", "livenessProbe"):
            get = pod["containers"][0].get(probe, {}).get("httpGet", {})
            check(get.get("path") == "/healthz" and web.endswith(f":{get.get('port')}"),
                  f"{name}: {probe} on /healthz at the web admin's port")

for scaler in (d for d in docs if d["kind"] == "FleetAutoscaler"):
    fleet = named.get(("Fleet", scaler["spec"]["fleetName"]), {"spec": {"template": {"spec": {}}}})
    key = scaler["spec"]["policy"].get("counter", {}).get("key")
    check(key in fleet["spec"]["template"]["spec"].get("counters", {}),
          f"{scaler['metadata']['name']}: a fleet with the counter {key}")

for failure in failures:
    print("kubernetes manifests:", failure, file=sys.stderr)
sys.exit(1 if failures else 0)
