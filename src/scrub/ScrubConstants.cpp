// Values of the scrubber's exported constants.
#include "scrub/ScrubConstants.h"

const ScrubCustomLinePatterns_t cscrubLines[kCustomLinePatternCount] = {
    {"* Hubmaster", "Masked_Clientname_"},
    {"* Machine", "Masked_ClientNethostname_"},
    {"* IP Addrs", "Masked_"},
    {"* MACHINE name", "Masked_ClientNethostname_"},
};

const std::string defaultScrubbingReplaceStr = "MaskedData";
const std::string defaultCustomLineScrubSuffixStr = "Masked_CustomData\n";

// Four alternatives: a dotted IPv4 address, a full IPv6 address, dotted names, absolute paths.
const std::string defaultScrubbingExpr =
    "\\([0-9]\\{1,3\\}\\.[0-9]\\{1,3\\}\\.[0-9]\\{1,3\\}\\.[0-9]\\{1,3\\}\\)"
    "\\|"
    "\\([a-fA-F0-9]\\{1,4\\}\\:[a-fA-F0-9]\\{1,4\\}\\:[a-fA-F0-9]\\{1,4\\}\\:[a-fA-F0-9]\\{1,4\\}"
    "\\:[a-fA-F0-9]\\{1,4\\}\\:[a-fA-F0-9]\\{1,4\\}\\:[a-fA-F0-9]\\{1,4\\}\\:[a-fA-F0-9]\\{1,4\\}"
    "\\)"
    "\\|"
    "\\([-a-zA-Z0-9_.\\:$]\\+\\.[-a-zA-Z0-9_.\\:$]\\+\\)\\+"
    "\\|"
    "\\(\\/[a-zA-Z]\\([-a-zA-Z0-9_.\\:$]\\+\\)\\?\\)\\+";
