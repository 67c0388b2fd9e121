// Safe unpacking of a tar bundle (plain or gzip-compressed) that another machine sent: the
// members land where the caller places them, below one folder, or nowhere.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace host {

struct BundleMember {
    std::string stored;  // the name as the archive holds it ("./wyd.log")
    std::string path;    // normalised: no empty or "." components, no final "/" ("wyd.log");
                         // empty for the archive's root entry
};
// Where a member goes: a path relative to the destination, or "" to leave the member out.
using MemberPlacement = std::function<std::string(const BundleMember& member)>;

struct UnpackStats {
    uint64_t files = 0, folders = 0, links = 0, bytes = 0;
    uint64_t leftOut = 0;  // placed nowhere
    uint64_t refused = 0;  // links that would point out of their folder, devices, pipes, sockets
};

// Unpacks archive into destination, which must not exist or be an empty folder. Everything
// is unpacked first into a private folder beside destination, which becomes destination
// only when the whole archive was read without error; otherwise nothing is left behind.
//
// A member named by an absolute path or with a ".." component, one whose placement is not
// a plain relative path, and one that would be written through a link fail the whole
// bundle: no sane sender makes them. Symbolic links whose target is absolute or climbs with
// "..", hard links to members not unpacked, devices, pipes and sockets are left out and
// counted as refused. Files get mode 0600 and their modification time, folders 0700; no
// owner, mode bit or link of the sender is trusted.
//
// False with a reason (truncated or damaged archive, unsafe member, write failure).
bool unpackBundle(const std::string& archive, const std::string& destination,
                  const MemberPlacement& place, UnpackStats& stats, std::string& error);

}  // namespace host
