// Shell-script stand-ins for the product's external tools, placed where the library looks
// for them: the diagnostics tool in the home folder, the core analyser in the home folder's
// "Base" folder and the performance analyser in the base folder. Each writes only into the
// folder its command line names.
#include <string>

#include "SandboxParts.h"

namespace tooling {
namespace sandbox {
namespace {

// Writes "WyDiagnostics.7z" into the folder after "-output": a real 7z archive of a small
// report when a 7z program is installed, otherwise the report itself under that name. The
// report names this client and its server, as the real tool's does; with "-spf FILE" every
// value the scrub patterns file names is masked first (literal values as whole words in any
// case, "##isregexmagic##" records as expressions), and when that cannot be done no bundle
// is written at all.
const char* kDiagnostics = R"SH(#!/bin/sh
# Sandbox stand-in for the diagnostics tool.
out=""; spf=""; vm=""; client=""
while [ $# -gt 0 ]; do
    case "$1" in
        -output) out="${2:-}"; [ $# -ge 2 ] && shift ;;
        -spf) spf="${2:-}"; [ $# -ge 2 ] && shift ;;
        -vm) vm="${2:-}"; [ $# -ge 2 ] && shift ;;
        -clientID) client="${2:-}"; [ $# -ge 2 ] && shift ;;
    esac
    shift
done
if [ -z "$out" ] || [ ! -d "$out" ]; then
    echo "WyDiagnostics: missing or absent -output folder [$out]" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/wydiag.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
{
    echo "WyDiagnostics sandbox report"
    echo "Instance: $vm"
    echo "Client id: ${client:-0}"
    echo "Client: @CLIENT_HOST@ (@MACHINE@), address 10.20.30.40"
    echo "Firewall configuration:"
    cat "$here/../base/FwConfig.txt" 2>/dev/null
    date
} > "$work/diagnostics.txt"
if [ -n "$spf" ]; then
    python3 - "$spf" "$work/diagnostics.txt" <<'PY' || { echo "WyDiagnostics: cannot mask [$spf]" >&2; exit 3; }
import re, sys
rules = []
with open(sys.argv[1], encoding="utf-8", errors="surrogateescape") as f:
    for line in f.read().splitlines():
        if not line:
            continue
        value, _, extra = line.partition("&#*#&")
        if extra.startswith("##isregexmagic##"):
            rules.append((re.compile(value, re.I), "MaskedData"))
        else:
            edge = "(?<![A-Za-z0-9])"
            rules.append((re.compile(edge + re.escape(value) + "(?![A-Za-z0-9])", re.I),
                          extra or "MaskedData"))
with open(sys.argv[2], encoding="utf-8", errors="surrogateescape") as f:
    text = f.read()
for expression, mask in rules:
    text = expression.sub(mask, text)
with open(sys.argv[2], "w", encoding="utf-8", errors="surrogateescape") as f:
    f.write(text)
PY
fi
for z in 7z 7zz 7za; do
    if command -v "$z" >/dev/null 2>&1; then
        "$z" a -bd -y "$out/WyDiagnostics.7z" "$work/diagnostics.txt" >/dev/null 2>&1 && exit 0
    fi
done
cp "$work/diagnostics.txt" "$out/WyDiagnostics.7z"
)SH";

// Writes "PerfAnalysis_<job>.log" into the folder after "-opdir".
const char* kPerfAnalyzer = R"SH(#!/bin/sh
# Sandbox stand-in for the performance log analyser.
job=""; vm=""; opdir=""
while [ $# -gt 0 ]; do
    case "$1" in
        -jobid) job="${2:-}"; [ $# -ge 2 ] && shift ;;
        -vm) vm="${2:-}"; [ $# -ge 2 ] && shift ;;
        -opdir) opdir="${2:-}"; [ $# -ge 2 ] && shift ;;
    esac
    shift
done
if [ -z "$job" ] || [ -z "$opdir" ] || [ ! -d "$opdir" ]; then
    echo "WyPerfLogAnalyze: need -jobid and an existing -opdir" >&2
    exit 2
fi
{
    echo "Performance analysis of job $job (instance $vm)"
    echo "Stream 1: read 512 MB/s, network 410 MB/s, write 390 MB/s"
    echo "Bottleneck: write"
} > "$opdir/PerfAnalysis_$job.log"
)SH";

// Prints a fake analysis of the core after "-c" and keeps a copy in the folder after "-d".
const char* kCoreAnalyzer = R"SH(#!/bin/sh
# Sandbox stand-in for the core analyser.
core=""; dest=""; vm=""
while [ $# -gt 0 ]; do
    case "$1" in
        -c) core="${2:-}"; [ $# -ge 2 ] && shift ;;
        -d) dest="${2:-}"; [ $# -ge 2 ] && shift ;;
        -n) vm="${2:-}"; [ $# -ge 2 ] && shift ;;
    esac
    shift
done
if [ -z "$core" ] || [ ! -e "$core" ]; then
    echo "wysnapcore: no such core [$core]" >&2
    exit 2
fi
report="Core analysis of $core (instance $vm)
Program: wyd
Signal: 11 (segmentation fault)
#0 0x00007f0000001000 in CvThread::run()
#1 0x00007f0000002000 in start_thread"
echo "$report"
if [ -n "$dest" ] && [ -d "$dest" ]; then
    echo "$report" > "$dest/$(basename "$core").analysis.txt"
fi
)SH";

// The stand-in's text with this sandbox's client names filled in.
std::string diagnosticsScript() {
    std::string text = kDiagnostics;
    for (const auto& [key, value] :
         {std::pair<std::string, std::string>{"@CLIENT_HOST@", SandboxFacts::kClientHostName},
          {"@MACHINE@", SandboxFacts::kPhysicalMachine}}) {
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at))
            text.replace(at, key.size(), value);
    }
    return text;
}

}  // namespace

bool writeToolStandIns(const Layout& l, std::string& error) {
    return writeExecutable(l.home + "/WyDiagnostics", diagnosticsScript(), error) &&
           writeExecutable(l.home + "/Base/wysnapcore", kCoreAnalyzer, error) &&
           writeExecutable(l.base + "/WyPerfLogAnalyze", kPerfAnalyzer, error);
}

}  // namespace sandbox
}  // namespace tooling
