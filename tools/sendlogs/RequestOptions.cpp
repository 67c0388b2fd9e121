// Request options of "collect" and the conversion of their texts.
#include "RequestOptions.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "CliSupport.h"
#include "collector/infoNLogsCollector.h"
#include "tooling/TimeText.h"

namespace cli {

bool CollectRequest::wantsJobLog() const {
    const bool byJob =
        (options & OPT_FILTER_BY_JOB) && !(options & OPT_DIRECT_RESULTS) && jobId >= 1;
    return byJob || tagId >= 1 || !searchText.empty();
}

void RequestOptions::addTo(CLI::App& app) {
    app_ = &app;
    auto* job =
        app.add_option("--job", jobId_, "Job whose log lines are wanted (sets the by-job filter)")
            ->check(wholeNumber(1, kMaxId));
    app.add_option("--jobs", jobIds_, "Further job ids (comma-separated or repeated)")
        ->delimiter(',')
        ->check(wholeNumber(1, kMaxId));
    addWindowOptions(app, from_, to_);
    app.add_option("--tag", tagId_, "Select log lines by this tag")
        ->check(wholeNumber(1, kMaxId))
        ->excludes(job);
    app.add_option("--search", search_, "Keep only selected lines containing this text");
    app.add_option("--client-id", clientId_, "Client whose logs are collected (0: this one)")
        ->check(wholeNumber(0, 4294967295LL));
    app.add_option("--client-name", clientName_, "Client name (names the bundle)");
    app.add_flag("--product-logs", productLogs_, "Bundle the product log directory");
    app.add_flag("--job-results", jobResults_, "Bundle the job results");
    app.add_flag("--system-info", systemInfo_, "Collect system information");
    app.add_flag("--cores", cores_, "Process core files (with --system-info)");
    app.add_flag("--setup-logs", setupLogs_, "Add the setup log folders");
    app.add_flag("--scrub", scrub_, "Mask sensitive values (needs --scrub-patterns)");
    app.add_option("--scrub-patterns", scrubPatterns_, "Scrub patterns file")
        ->check(CLI::ExistingFile);
    app.add_flag("--oracle-backup", oracleBackup_,
                 "The job is an Oracle backup: add its result report (with --job)");
    app.add_flag("--oracle-restore", oracleRestore_,
                 "The job is an Oracle restore: add its result report (with --job)");
    app.add_flag("--direct-results", directResults_,
                 "Send the Oracle result report on its own instead of in the bundle (a --job "
                 "request then gets a bundle, not a job log)");
    app.add_flag("--no-oracle-results", noOracleResults_,
                 "Leave the Oracle result report and RMAN output out");
    app.add_option("--command", commands_, "Shell command whose output is collected")
        ->allow_extra_args(false);
    app.add_option("--folder", folders_, "Additional folder NAME=DIR")->allow_extra_args(false);
    app.add_option("--extra", extraNames_, "Further name for the product log bundle")
        ->allow_extra_args(false);
    app.add_option("--cassandra-files", cassandraFiles_,
                   "Further Cassandra configuration files, separated by \";\"");
    app.add_option("--options", optionsHex_, "Raw options word (hexadecimal), OR-ed in");
    app.add_option("--extra-options", extraOptionsHex_,
                   "Raw second options word (hexadecimal), OR-ed in");
}

bool RequestOptions::resolve(CollectRequest& out, std::string& error) const {
    out = CollectRequest();
    out.clientId = clientId_;
    out.jobId = jobId_;
    out.jobIds = jobIds_;
    out.tagId = tagId_;
    out.searchText = search_;
    out.commands = commands_;
    out.extraNames = extraNames_;
    out.cassandraFiles = cassandraFiles_;
    if (app_ != nullptr && app_->count("--client-name") > 0) out.clientName = clientName_;
    if (!scrubPatterns_.empty()) out.scrubPatternsFile = scrubPatterns_;

    if (!from_.empty() && !resolveWindow(from_, to_, out.fromTime, out.toTime, error)) return false;
    if (scrub_ && scrubPatterns_.empty()) {
        error = "--scrub needs --scrub-patterns FILE";
        return false;
    }
    if (!optionsHex_.empty() && !parseHexWord(optionsHex_, out.options, error)) return false;
    if (!extraOptionsHex_.empty() && !parseHexWord(extraOptionsHex_, out.extraOptions, error))
        return false;
    if (jobId_ > 0) out.options |= OPT_FILTER_BY_JOB;
    if (productLogs_) out.options |= OPT_PRODUCT_LOGS;
    if (jobResults_) out.options |= OPT_JOB_RESULTS;
    if (systemInfo_) out.options |= OPT_SYSTEM_INFO;
    if (cores_) out.options |= OPT_CORE_FILES;
    if (setupLogs_) out.options |= OPT_SETUP_LOGS;
    if (scrub_) out.options |= OPT_SCRUB_LOGS;
    if (oracleBackup_) out.options |= OPT_ORACLE_BACKUP;
    if (oracleRestore_) out.options |= OPT_ORACLE_RESTORE;
    if (directResults_) out.options |= OPT_DIRECT_RESULTS;
    if (noOracleResults_) out.options |= OPT_NO_ORACLE_RESULTS;

    for (const std::string& folder : folders_) {
        std::string entry;
        if (!folderEntry(folder, entry, error)) return false;
        out.additionalFolders.push_back(entry);
    }
    return true;
}

void addWindowOptions(CLI::App& app, std::string& from, std::string& to) {
    auto* f = app.add_option("--from", from,
                             std::string("Start of the time window: ") + tooling::kTimeFormsHelp);
    auto* t = app.add_option("--to", to, "End of the time window (same forms as --from)");
    f->needs(t);
    t->needs(f);
}

bool resolveWindow(const std::string& from, const std::string& to, time_t& fromTime, time_t& toTime,
                   std::string& error) {
    const time_t now = std::time(nullptr);
    if (!tooling::parseTimeText(from, now, fromTime, error) ||
        !tooling::parseTimeText(to, now, toTime, error))
        return false;
    if (fromTime > toTime) {
        error = "--from (" + from + ") is after --to (" + to + ")";
        return false;
    }
    return true;
}

bool parseHexWord(const std::string& text, unsigned long& out, std::string& error) {
    std::string digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
        digits = digits.substr(2);
    if (digits.empty() || digits.size() > 16 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
        error = "invalid hexadecimal word \"" + text + "\"";
        return false;
    }
    out = std::strtoul(digits.c_str(), nullptr, 16);
    return true;
}

bool folderEntry(const std::string& text, std::string& out, std::string& error) {
    const size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0 || eq + 1 == text.size()) {
        error = "invalid --folder \"" + text + "\": expected NAME=DIR";
        return false;
    }
    const std::string name = text.substr(0, eq);
    const std::string dir = text.substr(eq + 1);
    // The name becomes a file name in the staging directory ("<name>.tar").
    for (unsigned char c : name) {
        if (c == '/' || std::iscntrl(c)) {
            error = "invalid --folder name \"" + name + "\": no \"/\" or control characters";
            return false;
        }
    }
    if (name.find("..") != std::string::npos) {
        error = "invalid --folder name \"" + name + "\": it may not contain \"..\"";
        return false;
    }
    if (dir.find('\x12') != std::string::npos) {
        error = "invalid --folder directory: it may not contain the character 0x12";
        return false;
    }
    out = name + '\x12' + dir;
    return true;
}

}  // namespace cli
