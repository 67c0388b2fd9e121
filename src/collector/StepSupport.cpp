#include "collector/StepSupport.h"

#include "common/TarPaths.h"
#include "diag/ShellScript.h"
#include "host/Log.h"
#include "host/Process.h"

namespace collector {

bool haveBundle(const std::string& bundle, const char* tag) {
    if (!bundle.empty()) return true;
    EvEvent log;
    log.DebugLvl(tag, 3, "No bundle in this request; nothing is added.");
    return false;
}

int runTar(const std::string& command, const char* tag) {
    EvEvent log;
    log.DebugLvl(tag, 3, "Running Command:[%s]", command.c_str());
    return WyProcess::system(command.c_str(), nullptr, nullptr, 0, false);
}

std::string tarFromRoot(const std::string& bundle, const std::string& operands) {
    return std::string("cd / && tar ") + diag::tarCreateOrAppend(bundle) + "vf " +
           host::shellQuote(bundle) + " -C / " + operands;
}

std::string rootOperand(const std::string& path, const char* pattern) {
    std::string operand = host::shellQuote(convertToRelativePath(path));
    if (pattern != nullptr) operand += std::string("/") + pattern;
    return operand;
}

}  // namespace collector
