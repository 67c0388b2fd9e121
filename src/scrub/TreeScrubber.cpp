// The tree scrubber: walker, queue and workers.
#include "scrub/TreeScrubber.h"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <thread>

#include "common/Archiver.h"
#include "common/FileSets.h"
#include "common/TempFolders.h"
#include "host/File.h"
#include "host/Log.h"
#include "host/Registry.h"
#include "scrub/CompiledRules.h"
#include "scrub/FileScrubber.h"
#include "scrub/LineScrubber.h"

namespace {

const char* const kHelperTag =
    "bool scrubFiles::scrubLogFilesHelper(const char*, const char*, "
    "std::shared_ptr<std::vector<std::pair<std::string, ScrubPatternConfig_t> > >, "
    "std::shared_ptr<std::map<std::string, std::string> >)";
const char* const kDoTag =
    "bool scrubFiles::DoScrubbing(const char*, const char*, std::vector<std::pair<std::string, "
    "ScrubPatternConfig_t> >*, std::map<std::string, std::string>*)";

bool statDirectory(const std::string& path, struct stat& st) {
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void logStatError(EvDebug& log, const std::string& path, int err) {
    if (err == ENOENT) {
        log.Error(kHelperTag, "File %s not found.\n", path.c_str());
    } else if (err == EINVAL) {
        log.Error(kHelperTag, "Invalid parameter to _stat.\n");
    } else {
        log.Error(kHelperTag, "Unexpected error in _stat.\n");
    }
}

}  // namespace

namespace scrub {

struct TreeScrubContext {
    std::shared_ptr<const CompiledRules> compiled;
    std::mutex mapLock;
    // Scrubbers not in use, with the map each one serves. A worker takes one made for its
    // file's map and gives it back: the names it learnt stay valid as long as that map only
    // grows, so a small file pays no set-up.
    std::mutex idleLock;
    std::vector<std::pair<std::shared_ptr<ReplacementMap>, std::unique_ptr<LineScrubber>>> idle;
    std::string root;  // the source tree, resolved: links are followed only inside it
    std::atomic<size_t> copies{0}, leftOut{0}, unreadable{0}, writeFailures{0}, redacted{0};

    void count(CopyOutcome outcome) {
        switch (outcome) {
            case CopyOutcome::Written:
                ++copies;
                break;
            case CopyOutcome::SourceNotRegular:
                ++leftOut;
                break;
            case CopyOutcome::SourceUnreadable:
                ++unreadable;
                break;
            case CopyOutcome::DestinationIsSource:
            case CopyOutcome::WriteFailed:
                ++writeFailures;
                break;
        }
    }
};

int scrubThreadCount(long registryValue, bool registryRead, unsigned hardwareThreads) {
    if (registryRead && registryValue >= 1) {
        return static_cast<int>(std::min<long>(registryValue, kMaxScrubThreads));
    }
    const int hardware = static_cast<int>(std::min<unsigned>(hardwareThreads, kMaxScrubThreads));
    return std::max(1, hardware - 1);
}

int scrubThreadCount() {
    WYPlatformInfo registry;
    registry.setFocus(WYPI_Focus::getFocus());
    long value = 0;
    const bool read = registry.getNumber("Session", "ScrubMaxThreadCount", value) != 0;
    return scrubThreadCount(value, read, std::thread::hardware_concurrency());
}

}  // namespace scrub

scrubFiles::scrubFiles(int threadCount, int poolTime)
    : pool_(std::make_unique<WyThreadPool>()), threadCount_(threadCount < 1 ? 1 : threadCount) {
    if (!pool_->initThreadPool("ScrubLogs", poolTime, 1, threadCount_, 0)) {
        EvDebug log;
        log.Error("scrubFiles::scrubFiles(int, int)",
                  "Failed to start the scrub thread pool; files are scrubbed one by one.");
    }
}

scrubFiles::~scrubFiles() {
    pool_.reset();  // joins the workers before the archiver they may use goes away
    archiver_.reset();
}

C7zip* scrubFiles::archiver() {
    if (!archiver_) archiver_ = common::makeArchiver(kHelperTag, common::ArchiverUse::Decompress);
    return archiver_.get();
}

void scrubFiles::prepare(const ScrubRuleList& rules, const char* source) {
    context_ = std::make_shared<scrub::TreeScrubContext>();
    context_->compiled = std::make_shared<const scrub::CompiledRules>(rules);
    char* resolved = source ? realpath(source, nullptr) : nullptr;
    context_->root = resolved ? resolved : (source ? source : "");
    free(resolved);
    walking_.clear();
    destinations_.clear();
}

scrub::TreeScrubSummary scrubFiles::summary() const {
    scrub::TreeScrubSummary s;
    if (!context_) return s;
    s.copies = context_->copies;
    s.leftOut = context_->leftOut;
    s.unreadable = context_->unreadable;
    s.writeFailures = context_->writeFailures;
    s.redactedLines = context_->redacted;
    return s;
}

bool scrubFiles::DoScrubbing(const char* source, const char* destination, ScrubRuleList* rules,
                             ReplacementMap* replacements) {
    EvDebug log;
    if (!source || !destination || !rules || !replacements) {
        log.Error(kDoTag, "Missing source, destination, rule list or replacement map.");
        return false;
    }
    // Copies written into the tree being read would replace, or be read as, its own files.
    if (host::isWithinFolder(destination, source)) {
        log.Error(kDoTag,
                  "Refusing to scrub [%s] into [%s]: the destination is the source or lies "
                  "inside it.",
                  source, destination);
        return false;
    }
    bool result = true;
    try {
        // The workers share copies: the caller's containers stay as they were.
        auto ruleCopy = std::make_shared<ScrubRuleList>(*rules);
        auto mapCopy = std::make_shared<ReplacementMap>(*replacements);
        prepare(*ruleCopy, source);
        // A tree whose top directory could not be walked (no destination, no listing) is
        // not a scrubbed tree: report it, so that nobody packs an empty copy.
        result = scrubLogFilesHelper(source, destination, ruleCopy, mapCopy);
    } catch (const std::exception& e) {
        log.Error(kDoTag, "Threw an exception. Exception - %s", e.what());
        result = false;
    } catch (...) {
        log.Error(kDoTag, "Threw an exception");
        result = false;
    }
    pool_->waitForAllThreads(true, true, true, 86400);
    const scrub::TreeScrubSummary done = summary();
    if (done.leftOut + done.unreadable + done.writeFailures + done.redactedLines > 0) {
        log.Error(kDoTag,
                  "Scrubbed [%s] into [%s]: %zu copies; %zu left out (not regular files, links "
                  "out of the tree), %zu unreadable, %zu not written, %zu lines withheld.",
                  source, destination, done.copies, done.leftOut, done.unreadable,
                  done.writeFailures, done.redactedLines);
    }
    return result && done.writeFailures == 0;
}

scrubFiles::EntryKind scrubFiles::classify(const std::string& path, struct stat& st) {
    EvDebug log;
    if (lstat(path.c_str(), &st) != 0) {
        logStatError(log, path, errno);
        return EntryKind::Missing;
    }
    if (S_ISLNK(st.st_mode)) {
        // A link is followed only while it stays inside the tree being scrubbed: a link to a
        // secret elsewhere must not bring that secret into the copy.
        if (!host::isWithinFolder(path, context_->root)) {
            log.Error(kHelperTag, "Link [%s] leads out of [%s]; it is left out.", path.c_str(),
                      context_->root.c_str());
            ++context_->leftOut;
            return EntryKind::LeftOut;
        }
        if (stat(path.c_str(), &st) != 0) {
            logStatError(log, path, errno);
            return EntryKind::Missing;
        }
    }
    if (S_ISDIR(st.st_mode)) return EntryKind::Directory;
    if (!S_ISREG(st.st_mode)) {
        log.Error(kHelperTag, "[%s] is not a regular file; it is left out.", path.c_str());
        ++context_->leftOut;
        return EntryKind::LeftOut;
    }
    return EntryKind::File;
}

bool scrubFiles::scrubLogFilesHelper(const char* source, const char* destination,
                                     std::shared_ptr<ScrubRuleList> rules,
                                     std::shared_ptr<ReplacementMap> replacements) {
    if (!rules || !replacements || !source || !destination) return false;
    // Called on its own rather than through DoScrubbing: prepare the rules here.
    if (!context_) prepare(*rules, source);
    ++depth_;
    const bool walked = walk(source, destination, rules, replacements);
    if (--depth_ > 0) return walked;
    // The whole tree is known: the largest files go first, so that no worker is left with a
    // big file at the end while the others have nothing to do.
    std::stable_sort(walked_.begin(), walked_.end(),
                     [](const WalkedFile& a, const WalkedFile& b) { return a.bytes > b.bytes; });
    for (WalkedFile& file : walked_) queue(std::move(file.job));
    walked_.clear();
    return walked;
}

bool scrubFiles::walk(const char* source, const char* destination,
                      const std::shared_ptr<ScrubRuleList>& rules,
                      const std::shared_ptr<ReplacementMap>& replacements) {
    EvDebug log;
    const std::string sourceDir = source;
    const std::string destDir = destination;
    struct stat st;
    // Slots of this directory's copies, in listing order, and the decompressed copies they
    // own until they are queued.
    std::vector<std::pair<std::string, std::shared_ptr<scrub::DestinationSlot>>> slots;
    auto dropTemporaries = [&slots] {
        for (auto& entry : slots)
            for (auto& item : entry.second->sources)
                if (item.removeSource) CleanUpTempData(item.path);
        slots.clear();
    };
    try {
        CTeError err = CTeDirectory::Create(destDir, false);
        const bool created = !err.IsError();
        // A destination that already exists as a directory (made by the caller) is fine.
        if (!created && !statDirectory(destDir, st)) {
            log.DebugLvl(kHelperTag, 2, "Failed to create folder [%s]. Error [%s]", destDir.c_str(),
                         err.AsString().c_str());
            return false;
        }
        if (created) chmod(destDir.c_str(), 0700);
        if (statDirectory(destDir, st)) destinations_.insert({st.st_dev, st.st_ino});
        std::vector<std::string> names;
        if (!statDirectory(sourceDir, st) ||
            !getLogFilesList(source, names, nullptr, 0, 0, 0, true, true, nullptr)) {
            log.Error(kHelperTag, "Failed to get file list for path [%s]", source);
            // Nothing was scrubbed into it: an empty copy must not pass for a scrubbed tree.
            if (created) CTeDirectory::Remove(destDir, false, false);
            return false;
        }
        const auto self = std::make_pair(st.st_dev, st.st_ino);
        walking_.insert(self);
        struct Leave {
            std::set<std::pair<dev_t, ino_t>>& set;
            std::pair<dev_t, ino_t> key;
            ~Leave() { set.erase(key); }
        } leave{walking_, self};

        archiver();
        // Names of decompressed copies; used on this thread only.
        std::minstd_rand random(static_cast<unsigned>(time(nullptr)));
        std::map<std::string, size_t> slotOf;
        for (const std::string& name : names) {
            std::string sourcePath = sourceDir + "/" + name;
            std::string destPath = destDir + "/" + name;
            const EntryKind kind = classify(sourcePath, st);
            if (kind == EntryKind::Missing || kind == EntryKind::LeftOut) continue;
            if (kind == EntryKind::Directory) {
                const auto key = std::make_pair(st.st_dev, st.st_ino);
                if (walking_.count(key) || destinations_.count(key)) {
                    log.Error(kHelperTag, "Skipping directory [%s]: it is %s.", sourcePath.c_str(),
                              walking_.count(key) ? "a link back up the tree"
                                                  : "a destination of this scrub");
                    continue;
                }
                walk(sourcePath.c_str(), destPath.c_str(), rules, replacements);
                continue;
            }
            bool removeSource = false;
            const size_t compressed = name.find(".bz2");
            if (compressed != std::string::npos) {
                destPath = destDir + "/" + name.substr(0, compressed);
                log.DebugLvl(kHelperTag, 2, "Decompressing the log file [%s]", sourcePath.c_str());
                const size_t dot = name.rfind('.');
                const std::string copyName =
                    std::to_string(random() % 2147483647u) + "_" + name.substr(0, dot);
                std::string path = sourcePath;
                err = DeCompressLogFile(sourceDir, name, path, archiver(), copyName.c_str());
                if (err.IsError()) {
                    // Reported and left out: never passed through as it is.
                    log.Error(kHelperTag, "Decompressing the log file [%s] is failed. Error [%s]",
                              sourcePath.c_str(), err.AsString().c_str());
                    ++context_->unreadable;
                    continue;
                }
                sourcePath = path;
                removeSource = true;
            }
            auto found = slotOf.find(destPath);
            if (found == slotOf.end()) {
                found = slotOf.emplace(destPath, slots.size()).first;
                slots.emplace_back(destPath, std::make_shared<scrub::DestinationSlot>());
            }
            slots[found->second].second->sources.push_back({sourcePath, removeSource});
        }
        for (auto& [destPath, slot] : slots) {
            auto job = std::make_unique<ScrubThreadData>();
            job->source = slot->sources.front().path;
            job->destination = destPath;
            job->rules = rules;
            job->replacements = replacements;
            job->removeSource = slot->sources.front().removeSource;
            job->context = context_;
            job->slot = slot;
            unsigned long long bytes = 0;
            for (const auto& item : slot->sources)
                if (stat(item.path.c_str(), &st) == 0)
                    bytes += static_cast<unsigned long long>(st.st_size);
            walked_.push_back({bytes, std::move(job)});
        }
        slots.clear();
        return true;
    } catch (const std::exception& e) {
        log.Error(kHelperTag, "Threw an exception. Exception - %s", e.what());
    } catch (...) {
        log.Error(kHelperTag, "Threw an exception");
    }
    dropTemporaries();
    return false;
}

void scrubFiles::queue(std::unique_ptr<ScrubThreadData> job) {
    ScrubThreadData* raw = job.release();
    if (pool_->doWork(&scrubFiles::ScrubSingleFile, raw)) return;
    // No pool to take it: scrub the file here rather than leave it out.
    ScrubSingleFile(raw);
}

void* scrubFiles::ScrubSingleFile(void* data) {
    std::unique_ptr<ScrubThreadData> job(static_cast<ScrubThreadData*>(data));
    if (!job) return nullptr;
    try {
        if (!job->slot || !job->context) {
            // A job made outside the walker: one file, with the rules and map it names.
            scrubSingleLogFile(job->source.c_str(), job->destination.c_str(), job->rules.get(),
                               job->replacements.get());
            if (job->removeSource) CleanUpTempData(job->source);
            return nullptr;
        }
        scrub::TreeScrubContext& context = *job->context;
        std::unique_ptr<scrub::LineScrubber> scrubber;
        {
            std::lock_guard<std::mutex> hold(context.idleLock);
            for (auto it = context.idle.begin(); it != context.idle.end(); ++it) {
                if (it->first != job->replacements) continue;
                scrubber = std::move(it->second);
                context.idle.erase(it);
                break;
            }
        }
        if (!scrubber) {
            scrubber = std::make_unique<scrub::LineScrubber>(
                context.compiled, scrub::NameSource(job->replacements.get(), &context.mapLock));
        }
        const size_t redactedBefore = scrubber->redactedLines();
        std::vector<std::string> sources;
        for (const auto& source : job->slot->sources) sources.push_back(source.path);
        const scrub::CopyOutcome outcome =
            scrub::scrubFilesInto(sources, job->destination, scrubber.get());
        context.count(outcome);
        context.redacted += scrubber->redactedLines() - redactedBefore;
        {
            std::lock_guard<std::mutex> hold(context.idleLock);
            context.idle.emplace_back(job->replacements, std::move(scrubber));
        }
        for (auto& source : job->slot->sources)
            if (source.removeSource) CleanUpTempData(source.path);
    } catch (const std::exception& e) {
        EvDebug log;
        log.Error("void* scrubFiles::ScrubSingleFile(void*)", "Exception: %s", e.what());
        if (job->context) ++job->context->writeFailures;
    } catch (...) {
        EvDebug log;
        log.Error("void* scrubFiles::ScrubSingleFile(void*)", "Exception is thrown when scrubbing");
        if (job->context) ++job->context->writeFailures;
    }
    return nullptr;
}

bool scrubLogFiles(const char* source, const char* destination, ScrubRuleList* rules,
                   ReplacementMap* replacements) {
    const int threads = scrub::scrubThreadCount();
    EvDebug log;
    log.DebugLvl("scrubLogFiles", 3, "The thread number in scrub thread pool is %d", threads);
    scrubFiles scrubber(threads, 1800000);
    return scrubber.DoScrubbing(source, destination, rules, replacements);
}
