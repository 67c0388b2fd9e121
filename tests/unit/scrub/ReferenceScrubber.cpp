// The reference line scrubber; see ReferenceScrubber.h.
#include "ReferenceScrubber.h"

#include <algorithm>
#include <boost/regex.hpp>
#include <cctype>
#include <utility>
#include <vector>

namespace reference {
namespace {

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// Bytes of 0x80 and above belong to multi-byte characters and never continue a word.
bool isWord(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool isHex(unsigned char c) {
    c &= 0x7F;
    return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9');
}

unsigned code(unsigned char c) {
    return c & 0x7F;
}

bool subset(const BitMap_t& line, const BitMap_t& rule) {
    for (int i = 0; i < 4; ++i)
        if ((line.bits[i] & rule.bits[i]) != rule.bits[i]) return false;
    return true;
}

std::string name(const std::string& text, ReplacementMap* map) {
    if (!map) return "";
    const std::string key = lower(text);
    auto it = map->find(key);
    if (it != map->end()) return it->second;
    std::string made = "MaskedData" + std::to_string(map->size());
    (*map)[key] = made;
    return made;
}

bool spansOverlap(int p, int n, int s, int l) {
    return p < s + l && s < p + n;
}

std::pair<int, int> merge(int s1, int l1, int s2, int l2) {
    const int e1 = s1 + l1, e2 = s2 + l2;
    if (s2 < s1 && e1 < e2) return {s2, l2};
    if (s1 < s2 && e2 < e1) return {s1, l1};
    if (s1 == s2) return {s1, std::max(l1, l2)};
    if (e1 == e2) return {std::min(s1, s2), e2 - std::min(s1, s2)};
    if (s1 < s2) return {s1, e2 - s1};
    return {s2, e1 - s2};
}

struct Record {
    int p, n, m;
};

}  // namespace

void Tracker::insert(int p, int n, int m) {
    const int d = m - n;
    int ns = p, nl = m;
    if (ranges_.empty()) {
        ranges_[p] = m;
        return;
    }
    auto it = ranges_.lower_bound(p);
    if (it != ranges_.begin()) --it;
    std::vector<std::pair<int, int>> visited(it, ranges_.end());
    ranges_.erase(it, ranges_.end());
    for (auto [s, l] : visited) {
        if (s > p) {
            s += d;
            if (s < p) {
                if (s + l <= p) continue;
                l = s + l - p;
                s = p;
            }
            if (spansOverlap(ns, nl, s, l) || ns + nl == s) {
                std::tie(ns, nl) = merge(ns, nl, s, l);
            } else {
                ranges_[s] = l;
            }
        } else if (s == p) {
            nl = std::max(nl, d + l);
        } else if (!spansOverlap(ns, nl, s, l)) {
            ranges_[s] = l;
        } else {
            const int e = p - s;
            ns = s;
            nl = e + std::max(nl, d + l - e);
        }
    }
    ranges_[ns] = nl;
}

bool Tracker::overlap(int p, int n) const {
    auto succ = ranges_.upper_bound(p);
    if (succ != ranges_.end() && spansOverlap(p, n, succ->first, succ->second)) return true;
    if (succ == ranges_.begin()) return false;
    auto pred = std::prev(succ);
    return spansOverlap(p, n, pred->first, pred->second);
}

void Tracker::separators(int p, int n, bool& start, bool& end) const {
    if (overlap(p, n)) return;
    auto succ = ranges_.upper_bound(p);
    if (succ != ranges_.begin()) {
        auto pred = std::prev(succ);
        if (pred->first + pred->second == p) start = true;
    }
    if (succ != ranges_.end() && succ->first == p + n) end = true;
}

bool scrubLine(std::string& line, const ScrubRuleList* rules, ReplacementMap* map) {
    std::string work = line;
    if (!rules || line.empty()) return true;
    const bool header = line.size() >= 27 && line[5] == ' ' && line[11] == ' ' && line[17] == ' ' &&
                        line[14] == '/' && line[20] == ':' && line[23] == ':';
    const std::string test = header ? line.substr(27) : line;
    if (test.empty()) return true;
    BitMap_t set;
    for (char c : lower(test)) {
        const unsigned k = code(static_cast<unsigned char>(c));
        set.bits[k >> 5] |= 1u << (k & 31);
    }
    Tracker tracker;
    for (const auto& [text, config] : *rules) {
        if (!subset(set, config.charSet)) continue;
        std::vector<Record> records;
        if (!config.isRegex) {
            const std::string masked = name(text, map);
            const std::string low = lower(work);
            int shift = 0;
            size_t p = low.find(text);
            while (p != std::string::npos) {
                const int at = static_cast<int>(p), n = static_cast<int>(text.size());
                bool start = false, end = false;
                tracker.separators(at, n, start, end);
                if (!end) end = p + text.size() >= low.size() || !isWord(low[p + text.size()]);
                if (end && !start) {
                    start = p == 0 || !isWord(low[p - 1]) ||
                            (p >= 3 && low[p - 3] == '%' && isHex(low[p - 2]) && isHex(low[p - 1]));
                }
                if (start && end && !tracker.overlap(at, n)) {
                    work.replace(p + shift, text.size(), masked);
                    records.push_back({at + shift, n, static_cast<int>(masked.size())});
                    shift += static_cast<int>(masked.size()) - n;
                    p = low.find(text, p + text.size());
                } else {
                    p = low.find(text, p + 1);
                }
            }
        } else {
            boost::regex re;
            try {
                re.assign(text, boost::regex::perl);
            } catch (const boost::regex_error&) {
                continue;  // a broken expression is skipped, the other rules go on
            }
            const std::string low = lower(work);
            int shift = 0;
            auto from = low.cbegin();
            boost::smatch m;
            try {
                while (boost::regex_search(from, low.cend(), m, re)) {
                    if (m[0].first == m[0].second) {
                        // Try the same place once more for a non-empty match, else move on.
                        boost::smatch again;
                        if (!boost::regex_search(m[0].first, low.cend(), again, re,
                                                 boost::match_not_null | boost::match_continuous,
                                                 from)) {
                            if (m[0].first == low.cend()) break;
                            from = m[0].first + 1;
                            continue;
                        }
                        m = again;
                    }
                    const int p = static_cast<int>(m[0].first - low.cbegin());
                    const int n = static_cast<int>(m[0].length());
                    const std::string masked = name(m[0].str(), map);
                    work.replace(static_cast<size_t>(p + shift), static_cast<size_t>(n), masked);
                    records.push_back({p + shift, n, static_cast<int>(masked.size())});
                    shift += static_cast<int>(masked.size()) - n;
                    from = m[0].second;
                }
            } catch (const std::runtime_error&) {
                // The engine gave up: the line is withheld whole.
                const bool newline = line.back() == '\n';
                line = "Masked_RedactedLine";
                if (newline) line += '\n';
                return false;
            }
        }
        for (const Record& r : records) tracker.insert(r.p, r.n, r.m);
    }
    line = work;
    static const std::pair<const char*, const char*> custom[] = {
        {"* Hubmaster", "Masked_Clientname_"},
        {"* Machine", "Masked_ClientNethostname_"},
        {"* IP Addrs", "Masked_"},
        {"* MACHINE name", "Masked_ClientNethostname_"}};
    for (const auto& [prefix, marker] : custom) {
        if (line.rfind(prefix, 0) != 0) continue;
        if (line.find(marker) == std::string::npos)
            line = std::string(prefix) + "Masked_CustomData\n";
        break;
    }
    return true;
}

}  // namespace reference
