// Scrubbed copies of whole directory trees: the walker runs on the caller's thread and queues
// one job per file on a worker pool; compressed ".bz2" files are decompressed first and their
// copy loses the ".bz2" and what follows it.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/Archive.h"
#include "host/Export.h"
#include "host/ThreadPool.h"
#include "scrub/ScrubRule.h"

// Mirrors the source tree into the destination tree through the scrubber, with a pool sized
// by the registry ("Session" / "ScrubMaxThreadCount"). Masked names made meanwhile go into a
// copy of the map and are dropped with it. Only regular files are read, and links are
// followed only while they stay inside the source tree. False when the tree could not be
// scrubbed (no listing, a destination that is the source or lies inside it) or a copy could
// not be written.
SL_API bool scrubLogFiles(const char* source, const char* destination, ScrubRuleList* rules,
                          ReplacementMap* replacements);

namespace scrub {

// What the jobs of one tree scrub share: the prepared rules, and the lock that makes each
// masked-name lookup on the shared map one step.
struct TreeScrubContext;

// Sources whose copies have the same name (x.log next to x.log.bz2) share one slot, and one
// job writes them, in listing order, into the one copy.
struct DestinationSlot {
    struct Source {
        std::string path;
        bool removeSource;
    };
    std::vector<Source> sources;
};

// What a tree scrub did. Files left out or unreadable have no copy; a copy that could not be
// written makes the scrub a failure.
struct TreeScrubSummary {
    size_t copies = 0;         // scrubbed copies written
    size_t leftOut = 0;        // FIFOs, sockets, devices, links leading out of the tree
    size_t unreadable = 0;     // sources that could not be read or decompressed
    size_t writeFailures = 0;  // copies that could not be written (nothing is left of them)
    size_t redactedLines = 0;  // lines withheld because a rule could not be applied
};

// The number of workers: the registry value when it is at least 1 (at most
// kMaxScrubThreads), else hardware threads minus one, at least one.
int scrubThreadCount(long registryValue, bool registryRead, unsigned hardwareThreads);
// The same from the registry and this machine.
int scrubThreadCount();
constexpr int kMaxScrubThreads = 256;

}  // namespace scrub

// One queued file; created by the walker, destroyed by the worker that handles it.
struct ScrubThreadData {
    std::string source;       // for a ".bz2" file: its decompressed temporary copy
    std::string destination;  // the scrubbed copy
    std::shared_ptr<ScrubRuleList> rules;
    std::shared_ptr<ReplacementMap> replacements;
    bool removeSource = false;  // the source is a temporary copy, deleted after scrubbing
    std::shared_ptr<scrub::TreeScrubContext> context;
    std::shared_ptr<scrub::DestinationSlot> slot;
};

// The tree scrubber: lives for one tree, owns its pool and the archiver that decompresses.
class scrubFiles {
  public:
    scrubFiles(int threadCount, int poolTime);
    ~scrubFiles();  // joins the pool, then drops the archiver
    scrubFiles(const scrubFiles&) = delete;
    scrubFiles& operator=(const scrubFiles&) = delete;

    SL_API bool DoScrubbing(const char* source, const char* destination, ScrubRuleList* rules,
                            ReplacementMap* replacements);
    // Walks one directory and those below it; once the outermost walk is done, queues the
    // files found, largest first. False when this directory could not be walked.
    SL_API bool scrubLogFilesHelper(const char* source, const char* destination,
                                    std::shared_ptr<ScrubRuleList> rules,
                                    std::shared_ptr<ReplacementMap> replacements);
    // The pool's worker function; takes ownership of one ScrubThreadData.
    SL_API static void* ScrubSingleFile(void* data);

    int threadCount() const { return threadCount_; }
    // The counts of the last DoScrubbing (complete once it has returned).
    scrub::TreeScrubSummary summary() const;

  private:
    // Walks one directory (and those below it), gathering its files into walked_.
    bool walk(const char* source, const char* destination,
              const std::shared_ptr<ScrubRuleList>& rules,
              const std::shared_ptr<ReplacementMap>& replacements);
    void queue(std::unique_ptr<ScrubThreadData> job);
    C7zip* archiver();
    void prepare(const ScrubRuleList& rules, const char* source);
    // How an entry of a walked directory is handled.
    enum class EntryKind { Directory, File, LeftOut, Missing };
    EntryKind classify(const std::string& path, struct stat& st);

    std::unique_ptr<C7zip> archiver_;
    std::unique_ptr<WyThreadPool> pool_;
    int threadCount_;
    std::shared_ptr<scrub::TreeScrubContext> context_;
    // Directories on the current walk path and the destination directories of this scrub
    // (device, inode): a link back up the tree, or a destination inside the source, is not
    // walked again.
    std::set<std::pair<dev_t, ino_t>> walking_;
    std::set<std::pair<dev_t, ino_t>> destinations_;
    // Files of the walk in progress, queued once the walk is done.
    struct WalkedFile {
        unsigned long long bytes;
        std::unique_ptr<ScrubThreadData> job;
    };
    std::vector<WalkedFile> walked_;
    int depth_ = 0;
};
