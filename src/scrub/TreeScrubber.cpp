// The tree scrubber: walker, queue and workers.
#include "scrub/TreeScrubber.h"

#include <sys/stat.h>

#include <cerrno>
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

bool scrubFiles::DoScrubbing(const char* source, const char* destination, ScrubRuleList* rules,
                             ReplacementMap* replacements) {
    EvDebug log;
    if (!source || !destination || !rules || !replacements) {
        log.Error(kDoTag, "Missing source, destination, rule list or replacement map.");
        return false;
    }
    bool result = true;
    try {
        // The workers share copies: the caller's containers stay as they were.
        auto ruleCopy = std::make_shared<ScrubRuleList>(*rules);
        auto mapCopy = std::make_shared<ReplacementMap>(*replacements);
        context_ = std::make_shared<scrub::TreeScrubContext>();
        context_->compiled = std::make_shared<const scrub::CompiledRules>(*ruleCopy);
        walking_.clear();
        destinations_.clear();
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
    return result;
}

bool scrubFiles::scrubLogFilesHelper(const char* source, const char* destination,
                                     std::shared_ptr<ScrubRuleList> rules,
                                     std::shared_ptr<ReplacementMap> replacements) {
    if (!rules || !replacements || !source || !destination) return false;
    EvDebug log;
    if (!context_) {
        // Called on its own rather than through DoScrubbing: prepare the rules here.
        context_ = std::make_shared<scrub::TreeScrubContext>();
        context_->compiled = std::make_shared<const scrub::CompiledRules>(*rules);
    }
    const std::string sourceDir = source;
    const std::string destDir = destination;
    struct stat st;
    try {
        CTeError err = CTeDirectory::Create(destDir, false);
        // A destination that already exists as a directory (made by the caller) is fine.
        if (err.IsError() && !statDirectory(destDir, st)) {
            log.DebugLvl(kHelperTag, 2, "Failed to create folder [%s]. Error [%s]", destDir.c_str(),
                         err.AsString().c_str());
            return false;
        }
        if (statDirectory(destDir, st)) destinations_.insert({st.st_dev, st.st_ino});
        if (!statDirectory(sourceDir, st)) {
            log.Error(kHelperTag, "Failed to get file list for path [%s]", source);
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
        std::vector<std::string> names;
        if (!getLogFilesList(source, names, nullptr, 0, 0, 0, true, true, nullptr)) {
            log.Error(kHelperTag, "Failed to get file list for path [%s]", source);
            return false;
        }
        // Names of decompressed copies; used on this thread only.
        std::minstd_rand random(static_cast<unsigned>(time(nullptr)));
        std::map<std::string, std::shared_ptr<scrub::DestinationSlot>> slots;
        for (const std::string& name : names) {
            std::string sourcePath = sourceDir + "/" + name;
            std::string destPath = destDir + "/" + name;
            if (stat(sourcePath.c_str(), &st) != 0) {
                logStatError(log, sourcePath, errno);
                continue;
            }
            if (S_ISDIR(st.st_mode)) {
                const auto key = std::make_pair(st.st_dev, st.st_ino);
                if (walking_.count(key) || destinations_.count(key)) {
                    log.Error(kHelperTag, "Skipping directory [%s]: it is %s.", sourcePath.c_str(),
                              walking_.count(key) ? "a link back up the tree"
                                                  : "a destination of this scrub");
                    continue;
                }
                scrubLogFilesHelper(sourcePath.c_str(), destPath.c_str(), rules, replacements);
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
                CTeError err =
                    DeCompressLogFile(sourceDir, name, path, archiver(), copyName.c_str());
                if (err.IsError()) {
                    log.DebugLvl(kHelperTag, 2,
                                 "Decompressing the log file [%s] is failed. Error [%s]",
                                 sourcePath.c_str(), err.AsString().c_str());
                    continue;
                }
                sourcePath = path;
                removeSource = true;
            }
            auto& slot = slots[destPath];
            const bool first = !slot;
            if (first) slot = std::make_shared<scrub::DestinationSlot>();
            {
                std::lock_guard<std::mutex> guard(slot->lock);
                slot->sources.push_back({sourcePath, removeSource});
            }
            auto job = std::make_unique<ScrubThreadData>();
            job->source = sourcePath;
            job->destination = destPath;
            job->rules = rules;
            job->replacements = replacements;
            job->removeSource = removeSource;
            job->context = context_;
            job->slot = slot;
            queue(std::move(job));
        }
        return true;
    } catch (const std::exception& e) {
        log.Error(kHelperTag, "Threw an exception. Exception - %s", e.what());
    } catch (...) {
        log.Error(kHelperTag, "Threw an exception");
    }
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
        scrub::LineScrubber scrubber(
            job->context->compiled,
            scrub::NameSource(job->replacements.get(), &job->context->mapLock));
        scrub::DestinationSlot& slot = *job->slot;
        std::lock_guard<std::mutex> guard(slot.lock);
        // The sources of one copy go in listing order, whichever job gets here first.
        for (; slot.written < slot.sources.size(); ++slot.written) {
            scrub::DestinationSlot::Source& source = slot.sources[slot.written];
            scrub::scrubFileWith(source.path.c_str(), job->destination.c_str(), &scrubber,
                                 slot.written > 0);
            if (source.removeSource) CleanUpTempData(source.path);
        }
    } catch (const std::exception& e) {
        EvDebug log;
        log.Error("void* scrubFiles::ScrubSingleFile(void*)", "Exception: %s", e.what());
    } catch (...) {
        EvDebug log;
        log.Error("void* scrubFiles::ScrubSingleFile(void*)", "Exception is thrown when scrubbing");
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
