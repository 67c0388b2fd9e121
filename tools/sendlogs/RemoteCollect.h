// "collect --remote": the request sent to the network service of one or more machines, in
// parallel, each machine's files written into its own folder and verified as in-process.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

#include "RequestOptions.h"
#include "scrub/ScrubRule.h"

namespace cli {

class RemoteOptions {
  public:
    // Adds --remote, --hosts, --ca, --cert, --key, --parallel and the time limits; local
    // lists the options that cannot go with a remote request.
    void addTo(CLI::App& app, const std::vector<CLI::Option*>& local);
    bool wanted() const { return !remotes_.empty() || !hostsFile_.empty(); }

    // Runs the request on every machine; the exit status (0 all done, 1 one failed, 2 the
    // machine list is wrong).
    int run(const CollectRequest& request, const ScrubRuleList& rules,
            const ReplacementMap& replacements, const std::string& outDir) const;

  private:
    std::vector<std::string> remotes_;
    std::string hostsFile_, ca_, cert_, key_;
    unsigned parallel_ = 8;
    unsigned connectSeconds_ = 10, idleSeconds_ = 120;
};

}  // namespace cli
