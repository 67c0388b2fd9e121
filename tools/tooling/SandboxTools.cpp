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
// report when a 7z program is installed, otherwise the report itself under that name.
const char* kDiagnostics = R"SH(#!/bin/sh
# Sandbox stand-in for the diagnostics tool.
out=""
while [ $# -gt 0 ]; do
    case "$1" in
        -output) out="${2:-}"; [ $# -ge 2 ] && shift ;;
    esac
    shift
done
if [ -z "$out" ] || [ ! -d "$out" ]; then
    echo "WyDiagnostics: missing or absent -output folder [$out]" >&2
    exit 2
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/wydiag.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
{
    echo "WyDiagnostics sandbox report"
    date
    uname -a
} > "$work/diagnostics.txt"
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

}  // namespace

bool writeToolStandIns(const Layout& l, std::string& error) {
    return writeExecutable(l.home + "/WyDiagnostics", kDiagnostics, error) &&
           writeExecutable(l.home + "/Base/wysnapcore", kCoreAnalyzer, error) &&
           writeExecutable(l.base + "/WyPerfLogAnalyze", kPerfAnalyzer, error);
}

}  // namespace sandbox
}  // namespace tooling
