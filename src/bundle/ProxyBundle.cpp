#include "bundle/ProxyBundle.h"

#include "host/Log.h"
#include "host/Process.h"

bool bundleProxyClientLogsAndJR(const char* bundleFile, std::string dir) {
    EvDebug log;
    const char* tag = "bundleProxyClientLogsAndJR";
    // "&&", not ";": when the folder is gone, tar must not pack the current directory.
    std::string command = "cd " + host::shellQuote(dir) + " && tar -rvf " +
                          host::shellQuote(bundleFile ? bundleFile : "") + " . ";
    // Command lines are limited to 1023 characters; a longer one is refused, never cut.
    if (command.size() > 1023) {
        log.Error(tag, "Command line for [%.200s...] is longer than 1023 characters", dir.c_str());
        return false;
    }
    log.DebugLvl(tag, 5, "Running [%s]", command.c_str());
    return WyProcess::system(command.c_str(), nullptr, nullptr, 0, false) != -1;
}
