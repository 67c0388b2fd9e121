// A program an integrator would write against the installed library: it includes the one
// public header, links libsendlogs.so, reads a scrub patterns file and masks one line.
//   sendlogs-example PATTERNS "a log line"
#include <sendlogs/sendlogs.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: sendlogs-example PATTERNS LINE\n");
        return 2;
    }
    ScrubRuleList rules;
    ReplacementMap replacements;
    if (populateScrubPatternsFromFile(argv[1], rules, replacements) != 0) {
        std::fprintf(stderr, "sendlogs-example: cannot read %s\n", argv[1]);
        return 1;
    }
    std::string line = argv[2];
    scrubLogLine(line, &rules, &replacements);
    std::printf("%zu rule(s): %s\n", rules.size(), line.c_str());
    return 0;
}
