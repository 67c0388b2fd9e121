#include "support/BundleScan.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace bundlescan {
namespace {

using Reader = std::unique_ptr<archive, int (*)(archive*)>;

bool endsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool readAll(archive* a, const std::string& prefix, std::vector<Member>& out, std::string& error);

// A member's content may itself be an archive or a compressed file: open it by its name.
bool expand(const Member& member, std::vector<Member>& out, std::string& error) {
    const bool isArchive = endsWith(member.name, ".tar") || endsWith(member.name, ".7z");
    const bool isCompressed = endsWith(member.name, ".gz") || endsWith(member.name, ".bz2");
    if (!isArchive && !isCompressed) return true;
    Reader a(archive_read_new(), archive_read_free);
    archive_read_support_filter_all(a.get());
    (isArchive ? archive_read_support_format_all : archive_read_support_format_raw)(a.get());
    if (archive_read_open_memory(a.get(), member.content.data(), member.content.size()) !=
        ARCHIVE_OK) {
        // A diagnostics bundle written without a 7z program is the plain report.
        if (endsWith(member.name, ".7z")) return true;
        error = member.name + ": " + archive_error_string(a.get());
        return false;
    }
    return readAll(a.get(), member.name + "!", out, error);
}

bool readAll(archive* a, const std::string& prefix, std::vector<Member>& out, std::string& error) {
    archive_entry* entry = nullptr;
    int rc;
    while ((rc = archive_read_next_header(a, &entry)) == ARCHIVE_OK || rc == ARCHIVE_WARN) {
        Member member;
        const char* name = archive_entry_pathname(entry);
        member.name = prefix + (name ? name : "data");
        char block[65536];
        la_ssize_t got;
        while ((got = archive_read_data(a, block, sizeof block)) > 0)
            member.content.append(block, static_cast<size_t>(got));
        if (got < 0) {
            error = member.name + ": " + archive_error_string(a);
            return false;
        }
        out.push_back(member);
        // The local copy: expanding adds to out, which may move what out.back() refers to.
        if (!expand(member, out, error)) return false;
    }
    if (rc != ARCHIVE_EOF) {
        error = prefix + ": " + archive_error_string(a);
        return false;
    }
    return true;
}

}  // namespace

bool readMembers(const std::string& path, std::vector<Member>& members, std::string& error) {
    Reader a(archive_read_new(), archive_read_free);
    archive_read_support_filter_all(a.get());
    archive_read_support_format_all(a.get());
    if (archive_read_open_filename(a.get(), path.c_str(), 65536) != ARCHIVE_OK) {
        error = path + ": " + archive_error_string(a.get());
        return false;
    }
    return readAll(a.get(), "", members, error);
}

const Member* find(const std::vector<Member>& members, const std::string& suffix) {
    for (const Member& member : members)
        if (endsWith(member.name, suffix)) return &member;
    return nullptr;
}

size_t count(const std::vector<Member>& members, const std::string& suffix) {
    return std::count_if(members.begin(), members.end(),
                         [&](const Member& m) { return endsWith(m.name, suffix); });
}

std::vector<std::string> findValues(const std::vector<Member>& members,
                                    const std::vector<std::string>& values) {
    std::vector<std::string> found;
    for (const Member& member : members) {
        const std::string name = lower(member.name), content = lower(member.content);
        for (const std::string& value : values) {
            const std::string needle = lower(value);
            if (name.find(needle) != std::string::npos || content.find(needle) != std::string::npos)
                found.push_back(member.name + ": " + value);
        }
    }
    return found;
}

}  // namespace bundlescan
