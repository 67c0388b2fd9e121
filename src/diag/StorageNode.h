// Nodes of the distributed storage system: recognising one, and collecting its logs with
// the node's deployment tool, run as the tool's owner.
#pragma once

#include <string>

#include "host/Export.h"

// This machine is a storage node: the deployment tool exists.
SL_API bool isKolvraNode();
// The user owning path; empty when the path or its owner cannot be looked up.
std::string getOwnerName(std::string path);
// Runs the collection script as owner; returns the archive it is expected to make in the
// owner's home directory ("/home/<owner>/kolvra_<seconds>.tar.gz"), or empty when the script
// could not be set up. The caller checks that the archive exists.
SL_API std::string runKolvraCollectionScript(std::string owner);

namespace diag {
constexpr const char* kKolvraDeployTool = "/opt/kolvra/bin/kl_deploy";
// The collection script; arguments: the archive's base name and the owner.
extern const char* const collectionScript;
// Writes the script into a new file "/tmp/<name>_XXXXXX" (X's random, created exclusively)
// that owner may read and run and no one else may change; its path, or empty (logged, nothing
// left behind) on failure.
std::string writeCollectionScript(const std::string& owner, const std::string& name);
// The command line that has owner's login shell read the script with its two arguments.
std::string kolvraScriptCommand(const std::string& script, const std::string& name,
                                const std::string& owner);
}  // namespace diag
