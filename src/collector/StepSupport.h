// Small pieces the collection steps share: the bundle check, tar command lines and the
// failover pair's and OSC configuration's lookups.
#pragma once

#include <string>
#include <vector>

namespace collector {

// True when the step has a bundle to add to. In job-log mode there is none, and a step
// logs (under tag) that it has nothing to add to.
bool haveBundle(const std::string& bundle, const char* tag);
// Runs a step's tar command line after logging it; the result is the runner's status.
int runTar(const std::string& command, const char* tag);
// "cd / && tar <c|r>vf <bundle> -C / <operands>": operands are relative to "/" so that the
// shell expands their patterns there.
std::string tarFromRoot(const std::string& bundle, const std::string& operands);
// A path relative to "/", quoted for the shell; with pattern, followed unquoted by "/" and
// the pattern.
std::string rootOperand(const std::string& path, const char* pattern = nullptr);

}  // namespace collector

// The second instance of a failover pair runs on the passive node.
bool isInstance002OnPassiveNode();
// The log directory of the pair's other instance; empty when it cannot be read.
std::string getLogPathOnOtherInstance();
// The OSC configuration file of this machine, or empty when there is none usable.
std::string GetOscConfigFile();
