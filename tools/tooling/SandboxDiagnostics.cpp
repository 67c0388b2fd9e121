// Sandbox material for the diagnostics and application steps: core files of several programs,
// stand-ins for the report tool, the hardware-log script and the storage node's deployment
// tool, database server and media agent folders; and the registry switches of each case.
#include "SandboxDiagnostics.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "SandboxParts.h"
#include "host/Registry.h"

namespace fs = std::filesystem;

namespace tooling {
namespace sandbox {
namespace {

// Writes "<sosreport-dir>/sosreport-<name>-sandbox.tar" holding a short report that names the
// plugin options it was given.
const char* kReportTool = R"SH(#!/bin/sh
# Sandbox stand-in for the operating-system report tool.
tmpdir=/tmp; name=report; plugins=""
for arg in "$@"; do
    case "$arg" in
        --tmp-dir=*) tmpdir="${arg#--tmp-dir=}" ;;
        --name=*) name="${arg#--name=}" ;;
        --batch) ;;
        *) plugins="$plugins $arg" ;;
    esac
done
work=$(mktemp -d "${TMPDIR:-/tmp}/sosreport.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
{
    echo "Operating-system report $name"
    echo "Plugin options:$plugins"
    uname -a
} > "$work/report.txt"
tar cf "$tmpdir/sosreport-$name-sandbox.tar" -C "$work" report.txt || exit 1
echo "Your sosreport has been generated and saved in:"
echo "  $tmpdir/sosreport-$name-sandbox.tar"
)SH";

const char* kPythonShim =
    "#!/bin/sh\n# Runs the sandbox's python scripts with python3.\nexec python3 \"$@\"\n";

// Writes two hardware log files into the folder after "-o"; exit 2 without it.
const char* kHardwareLogs = R"PY(#!/usr/bin/env python3
# Sandbox stand-in for the appliance hardware-log script.
import os
import sys

args = sys.argv[1:]
if "-o" not in args or args.index("-o") + 1 >= len(args):
    sys.stderr.write("wy_collect_ts_logs.py: -o OUTPUT is required\n")
    sys.exit(2)
out = args[args.index("-o") + 1]
logdir = args[args.index("-l") + 1] if "-l" in args[:-1] else ""
if not os.path.isdir(out):
    os.makedirs(out)
with open(os.path.join(out, "hardware_events.log"), "w") as f:
    f.write("disk 3: predictive failure reported\nfan 2: speed nominal\n")
with open(os.path.join(out, "hardware_inventory.log"), "w") as f:
    f.write("options: %s\nproduct logs: %s\n" % (" ".join(args), logdir))
)PY";

// Answers the three requests the collection script makes; the fetched archives land in the
// caller's home directory and the printed lines name them.
const char* kDeployTool = R"SH(#!/bin/sh
# Sandbox stand-in for the storage node's deployment tool.
action=""; cluster=""
while [ $# -gt 0 ]; do
    case "$1" in
        --show_all_clusters) action=show ;;
        --fetch_ansible_logs) action=ansible ;;
        --fetch_cluster_logs) action=cluster ;;
        --cluster_name) cluster="${2:-}"; [ $# -ge 2 ] && shift ;;
        --log_days) [ $# -ge 2 ] && shift ;;
    esac
    shift
done
fetch() {
    work=$(mktemp -d) || exit 1
    echo "$1 logs of cluster $cluster" > "$work/$1.log"
    tar czf "$HOME/$2.tar.gz" -C "$work" "$1.log"
    echo "<logs kind=\"$1\" cluster=\"$cluster\"/>" > "$HOME/$2.xml"
    rm -rf "$work"
}
case "$action" in
    show)
        echo "Clusters of this deployment:"
        echo "Cluster name: alpha"
        echo "Cluster name: beta" ;;
    ansible)
        fetch ansible "logs.$cluster"
        echo "Saved 1 archive to $HOME/logs.$cluster.tar.gz"
        echo "Saved 1 index to $HOME/logs.$cluster.xml" ;;
    cluster)
        fetch cluster "sysdump-kolvra.$cluster"
        echo "Sysdump 1 is $HOME/sysdump-kolvra.$cluster.tar.gz"
        echo "Sysdump index 1 is $HOME/sysdump-kolvra.$cluster.xml" ;;
    *)
        echo "kl_deploy: nothing to do" >&2
        exit 2 ;;
esac
)SH";

void putLe(std::string& out, uint64_t value, int n) {
    for (int i = 0; i < n; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Text into a zero-padded field of size bytes.
void putField(std::string& out, const std::string& text, size_t size) {
    std::string field = text.substr(0, size - 1);
    field.resize(size, '\0');
    out += field;
}

struct SandboxCore {
    const char* name;
    const char* program;
    const char* commandLine;
};

// Cores of three programs, newest first: four of one program, so that the per-program limit
// leaves one out.
const SandboxCore kCores[] = {
    {"core.wyd.1101", "wyd", "wyd -d Instance001"},
    {"core.JobManager.2201", "JobManager", "JobManager -d Instance001"},
    {"core.wyd.1102", "wyd", "wyd -d Instance001"},
    {"core.wyd.1103", "wyd", "wyd -d Instance001"},
    {"core.EvMgrS.3301", "EvMgrS", "EvMgrS -d Instance001"},
    {"core.JobManager.2202", "JobManager", "JobManager -d Instance001"},
    {"core.wyd.1104", "wyd", "wyd -d Instance001"},
};

bool writeCores(const Layout& l, std::string& error) {
    const time_t newest = time(nullptr) - 600;
    time_t when = newest;
    for (const SandboxCore& core : kCores) {
        const std::string path = l.cores + "/" + core.name;
        if (!writeText(path, elfCoreFile(core.program, core.commandLine), error)) return false;
        struct timespec times[2] = {{when, 0}, {when, 0}};
        if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) {
            error = "cannot set the time of " + path + ": " + std::strerror(errno);
            return false;
        }
        when -= 60;
    }
    return true;
}

bool writeApplications(const Layout& l, std::string& error) {
    const std::string sybase = l.root + "/apps/sybase/ASE-16_0/install";
    const std::string store = l.root + "/apps/ddb/store 2";
    return writeText(sybase + "/SYB1.log", "00:0000:00000:00000:2024/01/01 server started\n",
                     error) &&
           writeText(sybase + "/SYB1_BS.log", "Backup Server: 1.1.1.1: ready\n", error) &&
           writeText(sybase + "/RUN_SYB1", "#!/bin/sh\n# start script, not a log\n", error) &&
           writeText(l.root + "/apps/mediaagent/LibraryServer.db", "library server database\n",
                     error) &&
           writeText(store + "/Group1/CTSTATUS.FCS", "store 2 group 1 status\n", error) &&
           writeText(store + "/Group1/ctsrvr.cfg", "SERVER_NAME store2g1\n", error) &&
           writeText(store + "/Group1/index.dat", "not collected\n", error) &&
           writeText(store + "/Group2/CTSTATUS.FCS", "store 2 group 2 status\n", error) &&
           writeText(store + "/Group2/ctsrvr.cfg", "SERVER_NAME store2g2\n", error) &&
           makeDirs(l.root + "/ws/ddb", error);
}

bool writeToolsAndShell(const Layout& l, std::string& error) {
    const std::string programs = l.root + "/bin";
    if (!writeExecutable(programs + "/sosreport", kReportTool, error) ||
        !writeExecutable(programs + "/python", kPythonShim, error) ||
        !writeExecutable(l.home + "/MediaAgent/wy_collect_ts_logs.py", kHardwareLogs, error) ||
        !writeExecutable(l.root + "/opt/kolvra/bin/kl_deploy", kDeployTool, error))
        return false;
    // Scripts of requested commands name "<home>/ksh" as their interpreter.
    if (::symlink("/bin/sh", (l.home + "/ksh").c_str()) != 0) {
        error = "cannot link " + l.home + "/ksh: " + std::strerror(errno);
        return false;
    }
    return true;
}

// Registry values under the sandbox's own root, whatever this process's settings.
class SwitchWriter {
  public:
    SwitchWriter(const Layout& l, const std::string& instance)
        : orvion_(l.registry + "/SOFTWARE/Kestrav Systems/Orvion/"), instance_(instance) {}
    bool str(const std::string& key, const std::string& name, const std::string& text) {
        host::RegValue v;
        v.text = text;
        return put(instance_, key, name, v);
    }
    bool num(const std::string& instance, const std::string& key, const std::string& name,
             long long number) {
        host::RegValue v;
        v.type = host::RegType::Number;
        v.number = number;
        return put(instance, key, name, v);
    }
    bool multi(const std::string& key, const std::string& name,
               const std::vector<std::string>& strings) {
        host::RegValue v;
        v.type = host::RegType::MultiString;
        v.strings = strings;
        return put(instance_, key, name, v);
    }
    const std::string& instance() const { return instance_; }
    const std::string& failure() const { return failure_; }

  private:
    bool put(const std::string& instance, const std::string& key, const std::string& name,
             const host::RegValue& v) {
        const std::string file = orvion_ + instance + "/" + key + "/" + name;
        if (host::writeRegValue(file, v)) return true;
        failure_ = "cannot write registry value " + file;
        return false;
    }
    std::string orvion_, instance_, failure_;
};

bool enableMediaAgent(const Layout& l, SwitchWriter& reg) {
    return reg.num(reg.instance(), "Base", "nPlatformType", 2) &&
           reg.str("MediaAgent", "sLibraryServerDBFullPath",
                   l.root + "/apps/mediaagent/LibraryServer.db") &&
           reg.multi("FileSystemAgent", "mSIDBAccessPaths",
                     {l.root + "/ddb/store1", l.root + "/apps/ddb/store 2"});
}

bool enableSybase(const Layout& l, SwitchWriter& reg) {
    // Instance 12 names an install folder that does not exist.
    return reg.num(reg.instance(), "Applications/11", "nClientId", SandboxFacts::kLocalClientId) &&
           reg.num(reg.instance(), "Applications/11", "nAppType", 5) &&
           reg.str("Applications/11", "sInstanceName", "SYB1") &&
           reg.str("Applications/11", "dSybaseHome", l.root + "/apps/sybase") &&
           reg.str("Applications/11", "sSybaseASE", "ASE-16_0") &&
           reg.num(reg.instance(), "Applications/12", "nClientId", SandboxFacts::kLocalClientId) &&
           reg.num(reg.instance(), "Applications/12", "nAppType", 5) &&
           reg.str("Applications/12", "sInstanceName", "SYB2") &&
           reg.str("Applications/12", "dSybaseHome", l.root + "/apps/sybase") &&
           reg.str("Applications/12", "sSybaseASE", "ASE-15_7");
}

bool enableAppliance(const Layout& l, SwitchWriter& reg) {
    return reg.str("InstalledPackages", "1139", "Appliance MediaAgent") &&
           reg.str("MediaAgent", "sScaleoutPlatformType", "TessaroHyperScale") &&
           reg.str("Base", "sTSSendLogStageDir", l.root + "/ws/ddb");
}

}  // namespace

std::string elfCoreFile(const std::string& program, const std::string& commandLine) {
    // Process information note (x86-64 layout): state, flags, ids, then the program name
    // (16 bytes) and its command line (80 bytes).
    std::string info;
    putLe(info, 0, 1);           // pr_state
    info.push_back('S');         // pr_sname
    putLe(info, 0, 2);           // pr_zomb, pr_nice
    putLe(info, 0, 4);           // padding
    putLe(info, 0, 8);           // pr_flag
    putLe(info, 0, 4);           // pr_uid
    putLe(info, 0, 4);           // pr_gid
    for (int i = 0; i < 4; ++i)  // pr_pid, pr_ppid, pr_pgrp, pr_sid
        putLe(info, 4242, 4);
    putField(info, program, 16);
    putField(info, commandLine, 80);

    std::string note;
    putLe(note, 5, 4);            // name size ("CORE" and its NUL)
    putLe(note, info.size(), 4);  // descriptor size
    putLe(note, 3, 4);            // type: process information
    note += std::string("CORE\0\0\0\0", 8);
    note += info;

    const uint64_t headerSize = 64, programHeaderSize = 56;
    std::string core = {'\x7f', 'E', 'L', 'F', 2, 1, 1, 0};
    core.resize(16, '\0');
    putLe(core, 4, 2);                               // e_type: core
    putLe(core, 62, 2);                              // e_machine: x86-64
    putLe(core, 1, 4);                               // e_version
    putLe(core, 0, 8);                               // e_entry
    putLe(core, headerSize, 8);                      // e_phoff
    putLe(core, 0, 8);                               // e_shoff
    putLe(core, 0, 4);                               // e_flags
    putLe(core, headerSize, 2);                      // e_ehsize
    putLe(core, programHeaderSize, 2);               // e_phentsize
    putLe(core, 1, 2);                               // e_phnum
    putLe(core, 64, 2);                              // e_shentsize
    putLe(core, 0, 2);                               // e_shnum
    putLe(core, 0, 2);                               // e_shstrndx
    putLe(core, 4, 4);                               // p_type: note
    putLe(core, 0, 4);                               // p_flags
    putLe(core, headerSize + programHeaderSize, 8);  // p_offset
    putLe(core, 0, 8);                               // p_vaddr
    putLe(core, 0, 8);                               // p_paddr
    putLe(core, note.size(), 8);                     // p_filesz
    putLe(core, 0, 8);                               // p_memsz
    putLe(core, 4, 8);                               // p_align
    return core + note;
}

bool writeDiagnosticsMaterial(const Layout& layout, std::string& error) {
    return writeCores(layout, error) && writeApplications(layout, error) &&
           writeToolsAndShell(layout, error);
}

}  // namespace sandbox

const std::vector<std::string>& sandboxCases() {
    static const std::vector<std::string> cases = {"media-agent", "sybase", "appliance", "failover",
                                                   "osc"};
    return cases;
}

std::string sandboxProgramDir(const std::string& dir) {
    std::error_code ec;
    return (fs::absolute(dir, ec).lexically_normal() / "bin").string();
}

bool enableSandboxCase(const std::string& dir, const std::string& name, std::string& error) {
    std::error_code ec;
    std::string root = fs::absolute(dir, ec).lexically_normal().string();
    while (root.size() > 1 && root.back() == '/') root.pop_back();
    const sandbox::Layout layout(root);
    if (!fs::is_directory(layout.registry, ec)) {
        error = dir + " holds no sandbox (no folder " + layout.registry + ")";
        return false;
    }
    sandbox::SwitchWriter reg(layout, sandboxInstance(dir));
    bool done = false;
    if (name == "media-agent") {
        done = sandbox::enableMediaAgent(layout, reg);
    } else if (name == "sybase") {
        done = sandbox::enableSybase(layout, reg);
    } else if (name == "appliance") {
        done = sandbox::enableAppliance(layout, reg);
    } else if (name == "failover") {
        done = reg.num("Instance002", "Base", "bIsHMInstanceActive", 0);
    } else if (name == "osc") {
        return sandbox::writeText(layout.jobResults + "/osc_config.xml",
                                  "<oscConfig><schedule>daily</schedule></oscConfig>\n", error);
    } else {
        error = "unknown case \"" + name + "\"";
        return false;
    }
    if (!done) error = reg.failure();
    return done;
}

}  // namespace tooling
