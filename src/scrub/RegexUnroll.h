// Rewrites of an expression that Boost.Regex matches faster and that match exactly what the
// expression matches.
#pragma once

#include <string>

namespace scrub {

// The expression with every fixed repeat of a non-capturing group "(?:R){n}" (n from 2 to
// 8) written out as n copies "(?:R)(?:R)...". Boost runs a counted group through its
// generic repeat machinery, about half again as slowly as the copies; the IPv4 and MAC
// address expressions are made of such groups. Only a body of plain atoms that cannot match
// empty text is copied, so group numbers, back-references and matches stay as they were. An
// expression in extended mode or with quoted text (\Q) is returned as it is.
std::string unrollFixedGroupRepeats(const std::string& expression);

}  // namespace scrub
