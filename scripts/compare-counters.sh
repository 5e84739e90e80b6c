#!/usr/bin/env bash
# Samples the main counters through the object library (a chart run by zynscript, read as the program
# reads them) beside mpstat, iostat, sar and pidstat for the same seconds, and prints how far apart
# the averages are. A developer's tool for checking the counters on a machine under a known load
# (CPU burners, dd of known sizes, iperf3 over loopback, fork storms); not a test.
#
#   scripts/compare-counters.sh [-n SECONDS] [-d DISK] [-i INTERFACE] [-p PID]... [-b BUILD_DIR]
#
# Defaults: 30 seconds, the first whole disk, the interface of the default route (else the first
# one that is not lo), the three busiest processes, build/.
set -euo pipefail

seconds=30
disk=""
iface=""
pids=()
build="$(cd "$(dirname "$0")/.." && pwd)/build"

usage() {
    sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'
    exit "${1:-0}"
}

while getopts "n:d:i:p:b:h" opt; do
    case "$opt" in
    n) seconds="$OPTARG" ;;
    d) disk="$OPTARG" ;;
    i) iface="$OPTARG" ;;
    p) pids+=("$OPTARG") ;;
    b) build="$OPTARG" ;;
    h) usage 0 ;;
    *) usage 2 ;;
    esac
done
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || ((seconds < 3)); then
    echo "compare-counters: -n wants a whole number of seconds, at least 3" >&2
    exit 2
fi

missing=()
for tool in mpstat iostat sar sadf pidstat; do
    command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if ((${#missing[@]})); then
    cat >&2 <<EOF
compare-counters: ${missing[*]} not found. They come with sysstat; install it with
    sudo apt-get install sysstat        (Debian, Ubuntu)
    sudo dnf install sysstat            (Fedora)
EOF
    exit 2
fi
if ! command -v python3 >/dev/null 2>&1; then
    echo "compare-counters: python3 is needed to read the tools' output (sudo apt-get install python3)" >&2
    exit 2
fi
zynscript="$build/bin/zynscript"
if [[ ! -x "$zynscript" ]]; then
    echo "compare-counters: $zynscript not found; build first (cmake --preset default && cmake --build --preset default)" >&2
    exit 2
fi

if [[ -z "$disk" ]]; then
    for dev in /sys/block/*; do
        name="${dev##*/}"
        case "$name" in loop* | ram* | zram* | sr* | fd*) continue ;; esac
        disk="$name"
        break
    done
fi
if [[ -z "$iface" ]]; then
    iface="$(awk '$2 == "00000000" { print $1; exit }' /proc/net/route 2>/dev/null || true)"
    [[ -n "$iface" ]] || iface="$(awk -F: 'NR > 2 { gsub(/ /, "", $1); if ($1 != "lo") { print $1; exit } }' /proc/net/dev)"
fi
if ((${#pids[@]} == 0)); then
    while read -r pid; do pids+=("$pid"); done < <(ps -eo pid= --sort=-pcpu | head -n 3)
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/compare-counters.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export ZYN_REGISTRY_DIR="${ZYN_REGISTRY_DIR:-$work/registry}" LC_ALL=C S_TIME_FORMAT=ISO

# The counter paths, with the instance names the counter library gives the chosen processes.
python3 - "$disk" "$iface" "$(nproc)" "${pids[@]}" >"$work/paths" <<'EOF'
import os, sys

disk, iface, cpus, pids = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4:]

def mapped(name):
    return name.translate(str.maketrans({"(": "[", ")": "]", "/": "!", "#": "_", "\\": "_", "*": "_"}))

def stat_of(pid):
    with open(f"/proc/{pid}/stat") as f:
        text = f.read()
    name = text[text.index("(") + 1:text.rindex(")")]
    start = int(text[text.rindex(")") + 2:].split()[19])
    return name, start

processes = []
for entry in os.listdir("/proc"):
    if entry.isdigit():
        try:
            processes.append((*stat_of(entry), int(entry)))
        except (OSError, ValueError, IndexError):
            pass
paths = [
    r"\Processor(_Total)\% Processor Time", r"\Processor(_Total)\% User Time",
    r"\Processor(_Total)\% Privileged Time", r"\Processor(_Total)\% IO Wait Time",
    r"\Processor(_Total)\% Steal Time",
] + [rf"\Processor({c})\% Processor Time" for c in range(cpus)] + [
    r"\System\Context Switches/sec", r"\System\Processes Created/sec", r"\System\Processor Queue Length",
    r"\System\Threads", r"\System\Load Average 1 min",
    r"\Memory\Available MBytes", r"\Memory\Committed Bytes", r"\Memory\Page Faults/sec",
    r"\Memory\Page Reads/sec", r"\Process(_Total)\% Processor Time",
]
if disk:
    paths += [rf"\PhysicalDisk({disk})\{c}" for c in ("Disk Read Bytes/sec", "Disk Write Bytes/sec",
              "Disk Reads/sec", "Disk Writes/sec", "Avg. Disk Queue Length", "% Idle Time")]
if iface:
    paths += [rf"\Network Interface({mapped(iface)})\{c}" for c in ("Bytes Received/sec", "Bytes Sent/sec",
              "Packets Received/sec", "Packets Sent/sec")]
for pid in pids:
    try:
        name, start = stat_of(pid)
    except OSError:
        continue
    same = sorted((s, p) for n, s, p in processes if n == name)
    index = same.index((start, int(pid))) if (start, int(pid)) in same else 0
    instance = mapped(name) + (f"#{index}" if index else "")
    paths += [rf"\Process({instance})\% Processor Time#pid={pid}", rf"\Process({instance})\ID Process#pid={pid}"]
print("\n".join(paths))
EOF

# The chart: one sample a second; the first is the pairing collection and is left out.
cat >"$work/sample.js" <<'EOF'
var fso = WScript.Arguments;
var seconds = Number(fso(0));
var paths = fso(1).split("\n");
var app = WScript.CreateObject("ZynTallonObj.ZynObjFactory").Create(1, 0, 0);
var chart = app.AddChart();
var channels = [];
for (var i = 0; i < paths.length; ++i) {
    if (paths[i] === "") continue;
    var at = paths[i].indexOf("#pid=");
    var path = at < 0 ? paths[i] : paths[i].substring(0, at);
    channels.push({key: paths[i], channel: chart.AddChannel(path)});
}
chart.Rate = 1000;
chart.Run = 1;
WScript.Sleep(seconds * 1000 + 400);
chart.Run = 0;
for (var j = 0; j < channels.length; ++j) {
    var c = channels[j].channel, n = c.DataCount, sum = 0;
    for (var k = 1; k < n; ++k) sum += c.Data.GetValueAt(k);
    WScript.Echo(channels[j].key + "\t" + (n > 1 ? sum / (n - 1) : "nan") + "\t" + (n - 1));
}
EOF

echo "compare-counters: ${seconds} s; disk ${disk:-none}, interface ${iface:-none}, processes ${pids[*]:-none}" >&2
"$zynscript" "$work/sample.js" "$seconds" "$(cat "$work/paths")" >"$work/tallon" &
mpstat -P ALL -o JSON 1 "$seconds" >"$work/mpstat" &
if [[ -n "$disk" ]]; then iostat -d -x -y -o JSON "$disk" 1 "$seconds" >"$work/iostat" & fi
sar -n DEV -r -q -w -B -o "$work/sa" 1 "$seconds" >/dev/null 2>&1 &
if ((${#pids[@]})); then pidstat -u -p "$(IFS=,; echo "${pids[*]}")" 1 "$seconds" >"$work/pidstat" & fi
wait
sadf -j "$work/sa" -- -n DEV -r -q -w -B >"$work/sar"

python3 - "$work" "$disk" "$iface" "$(nproc)" <<'EOF'
import json, math, os, sys

work, disk, iface, cpus = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4])

ours = {}
for line in open(os.path.join(work, "tallon")):
    parts = line.rstrip("\n").split("\t")
    if len(parts) == 3:
        ours[parts[0]] = float(parts[1])

def mean(values):
    values = [v for v in values if v is not None]
    return sum(values) / len(values) if values else math.nan

def stats(name):
    try:
        with open(os.path.join(work, name)) as f:
            return json.load(f)["sysstat"]["hosts"][0]["statistics"]
    except (OSError, ValueError, KeyError, IndexError):
        return []

rows = []
def row(path, theirs, source):
    rows.append((path, ours.get(path, math.nan), theirs, source))

cpu = {}
for s in stats("mpstat"):
    for load in s.get("cpu-load", []):
        cpu.setdefault(load["cpu"], []).append(load)
def cpu_mean(which, *fields):
    return mean([sum(l[f] for f in fields) for l in cpu.get(which, [])])
busy = ("usr", "nice", "sys", "irq", "soft", "steal", "guest", "gnice")
row(r"\Processor(_Total)\% Processor Time", cpu_mean("all", *busy), "mpstat 100-idle-iowait")
row(r"\Processor(_Total)\% User Time", cpu_mean("all", "usr", "nice", "guest", "gnice"), "mpstat usr+nice+guest+gnice")
row(r"\Processor(_Total)\% Privileged Time", cpu_mean("all", "sys", "irq", "soft"), "mpstat sys+irq+soft")
row(r"\Processor(_Total)\% IO Wait Time", cpu_mean("all", "iowait"), "mpstat iowait")
row(r"\Processor(_Total)\% Steal Time", cpu_mean("all", "steal"), "mpstat steal")
for c in range(cpus):
    row(rf"\Processor({c})\% Processor Time", cpu_mean(str(c), *busy), f"mpstat cpu{c} busy")
row(r"\Process(_Total)\% Processor Time",
    min(100.0, cpus * cpu_mean("all", "usr", "nice", "sys", "irq", "soft", "guest", "gnice")),
    "mpstat busy w/o steal x CPUs, capped")

sar = stats("sar")
def sar_mean(group, field, scale=1.0):
    return mean([s[group][field] * scale for s in sar if group in s])
row(r"\System\Context Switches/sec", sar_mean("process-and-context-switch", "cswch"), "sar -w cswch/s")
row(r"\System\Processes Created/sec", sar_mean("process-and-context-switch", "proc"), "sar -w proc/s")
row(r"\System\Processor Queue Length",
    mean([max(0.0, s["queue"]["runq-sz"] - cpus) for s in sar if "queue" in s]), "sar -q runq-sz - CPUs")
row(r"\System\Threads", sar_mean("queue", "plist-sz"), "sar -q plist-sz")
row(r"\System\Load Average 1 min", sar_mean("queue", "ldavg-1"), "sar -q ldavg-1")
row(r"\Memory\Available MBytes", sar_mean("memory", "avail", 1 / 1024), "sar -r kbavail/1024")
row(r"\Memory\Committed Bytes", sar_mean("memory", "commit", 1024), "sar -r kbcommit*1024")
row(r"\Memory\Page Faults/sec", sar_mean("paging", "fault"), "sar -B fault/s")
row(r"\Memory\Page Reads/sec", sar_mean("paging", "majflt"), "sar -B majflt/s")

if iface:
    name = iface.translate(str.maketrans({"(": "[", ")": "]", "/": "!", "#": "_", "\\": "_", "*": "_"}))
    def net_mean(field, scale=1.0):
        return mean([d[field] * scale for s in sar for d in s.get("network", {}).get("net-dev", [])
                     if d["iface"] == iface])
    row(rf"\Network Interface({name})\Bytes Received/sec", net_mean("rxkB", 1024), "sar -n DEV rxkB/s*1024")
    row(rf"\Network Interface({name})\Bytes Sent/sec", net_mean("txkB", 1024), "sar -n DEV txkB/s*1024")
    row(rf"\Network Interface({name})\Packets Received/sec", net_mean("rxpck"), "sar -n DEV rxpck/s")
    row(rf"\Network Interface({name})\Packets Sent/sec", net_mean("txpck"), "sar -n DEV txpck/s")

if disk:
    devs = [d for s in stats("iostat") for d in s.get("disk", []) if d["disk_device"] == disk]
    def disk_mean(field, scale=1.0, offset=0.0):
        return mean([offset + d[field] * scale for d in devs])
    row(rf"\PhysicalDisk({disk})\Disk Read Bytes/sec", disk_mean("rkB/s", 1024), "iostat rkB/s*1024")
    row(rf"\PhysicalDisk({disk})\Disk Write Bytes/sec", disk_mean("wkB/s", 1024), "iostat wkB/s*1024")
    row(rf"\PhysicalDisk({disk})\Disk Reads/sec", disk_mean("r/s"), "iostat r/s")
    row(rf"\PhysicalDisk({disk})\Disk Writes/sec", disk_mean("w/s"), "iostat w/s")
    row(rf"\PhysicalDisk({disk})\Avg. Disk Queue Length", disk_mean("aqu-sz"), "iostat aqu-sz")
    row(rf"\PhysicalDisk({disk})\% Idle Time", disk_mean("util", -1.0, 100.0), "iostat 100-%util")

# pidstat: the Average lines, one per PID; its %CPU is of one CPU, as ours, which charts cap at 100.
try:
    for line in open(os.path.join(work, "pidstat")):
        f = line.split()
        if not f or f[0] != "Average:" or not f[2].isdigit():
            continue
        pid, percent = f[2], float(f[7])
        for key in list(ours):
            if key.endswith(f"#pid={pid}") and r"\% Processor Time" in key:
                found = ours.get(key.replace(r"\% Processor Time", r"\ID Process"), math.nan)
                label = key.split("#pid=")[0] + (f" (pid {pid})" if found == float(pid) else f" (pid {pid}, moved)")
                ours[label] = ours[key]
                row(label, min(100.0, percent), f"pidstat %CPU of {f[-1]}, capped")
except OSError:
    pass

width = max(len(r[0]) for r in rows)
print(f"{'counter':<{width}}  {'Tallon':>14}  {'sysstat':>14}  {'difference':>12}  {'rel.':>8}  sysstat source")
for path, mine, theirs, source in rows:
    diff = mine - theirs
    rel = f"{100 * diff / theirs:+.1f}%" if theirs and not math.isnan(theirs) and abs(theirs) > 1e-9 else "-"
    print(f"{path:<{width}}  {mine:>14.2f}  {theirs:>14.2f}  {diff:>+12.2f}  {rel:>8}  {source}")
EOF
