// Opens a received bundle as a reader would, nested archives and compressed members included,
// so a test can list them and look for values that must not be there.
#pragma once

#include <string>
#include <vector>

namespace bundlescan {

struct Member {
    std::string name;     // nested members: "outer.7z!inner.txt"
    std::string content;  // decompressed
};

// Every member at path (tar, tar.gz, 7z ...), nested ones too; false with a reason if unreadable.
bool readMembers(const std::string& path, std::vector<Member>& members, std::string& error);

// The first member whose name ends with suffix (nullptr when none does), and how many do.
const Member* find(const std::vector<Member>& members, const std::string& suffix);
size_t count(const std::vector<Member>& members, const std::string& suffix);

// Every value found (ignoring case) in a member's name or content, as "member: value" lines.
std::vector<std::string> findValues(const std::vector<Member>& members,
                                    const std::vector<std::string>& values);

}  // namespace bundlescan
