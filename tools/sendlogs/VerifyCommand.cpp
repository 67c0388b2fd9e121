// "sendlogs verify --patterns FILE BUNDLE_OR_DIR": the check a support engineer runs before a
// result leaves the site. Exit 0 only when nothing of any rule was found; 1 on a finding; 2
// when something could not be read or checked (unreadable is not clean).
#include <cstdio>
#include <optional>
#include <string>

#include "CliSupport.h"
#include "Commands.h"
#include "ScrubPatternLoader.h"
#include "scrub/LeakVerifier.h"

namespace {

void printJson(const scrub::LeakReport& report) {
    std::string out = "{\"status\":" + std::to_string(report.status()) +
                      ",\"members\":" + std::to_string(report.members) + ",\"findings\":[";
    for (size_t i = 0; i < report.findings.size(); ++i) {
        const scrub::LeakFinding& f = report.findings[i];
        out += (i ? "," : "") + std::string("{\"member\":") + cli::jsonString(f.member) +
               ",\"line\":" + std::to_string(f.line) + ",\"rule\":" + std::to_string(f.rule) + "}";
    }
    out += "],\"unreadable\":[";
    for (size_t i = 0; i < report.unreadable.size(); ++i) {
        out += (i ? "," : "") + std::string("{\"member\":") +
               cli::jsonString(report.unreadable[i].first) +
               ",\"reason\":" + cli::jsonString(report.unreadable[i].second) + "}";
    }
    std::printf("%s]}\n", out.c_str());
}

void printText(const scrub::LeakReport& report, bool quiet) {
    // The rule's number, never its value: this output may be pasted anywhere.
    for (const scrub::LeakFinding& f : report.findings)
        std::printf("%s:%zu: rule %zu\n", f.member.c_str(), f.line, f.rule);
    for (const auto& [member, reason] : report.unreadable)
        std::printf("%s: not checked: %s\n", member.c_str(), reason.c_str());
    if (!quiet)
        std::printf("verify: %s: %zu finding(s), %zu not checked, %zu file(s) and member(s) read\n",
                    report.status() == 0   ? "clean"
                    : report.status() == 1 ? "LEAKS"
                                           : "INCOMPLETE",
                    report.findings.size(), report.unreadable.size(), report.members);
}

struct VerifyOptions {
    std::optional<std::string> patterns;
    std::string target;
};

int runVerify(VerifyOptions& o, const cli::CommonOptions& common) {
    cli::applyCommonOptions(common, cli::LibraryLog::Discard);
    ScrubRuleList rules;
    ReplacementMap replacements;
    std::string error;
    if (!cli::loadScrubPatterns(o.patterns, rules, replacements, error)) {
        cli::printError("verify: " + error);
        return 2;
    }
    scrub::LeakVerifier verifier(rules, replacements);
    const scrub::LeakReport report = verifier.verify(o.target);
    if (common.json)
        printJson(report);
    else
        printText(report, common.quiet);
    return report.status();
}

}  // namespace

namespace cli {

void addVerifyCommand(Program& program) {
    auto o = std::make_shared<VerifyOptions>();
    CLI::App* app = addCommand(
        program, program.app, "verify",
        "check a result for values a scrub patterns file names\n"
        "Checks a bundle, an archive or a folder for any value of a scrub patterns file: every "
        "file and archive member (tar, gzip, bz2, 7z, nested) is read; a literal value counts "
        "in any case and anywhere (also URL-escaped), a regex rule wherever it matches.",
        "Findings name the file or member, the line and the rule's number, never the value.\n"
        "Exit status: 0 clean; 1 a value was found; 2 something could not be read or checked "
        "(or a wrong command line).\n"
        "Example:\n  sendlogs verify --patterns patterns.txt out/client01_logs.tar.gz",
        [o, &common = program.common] { return runVerify(*o, common); });
    app->add_option("--patterns", o->patterns, "Scrub patterns file (one rule per line)")
        ->required();
    app->add_option("BUNDLE_OR_DIR", o->target, "Bundle, archive, file or folder to check")
        ->required();
    addJsonOption(*app, program.common);
}

}  // namespace cli
