// One dump file written by several threads, each extracting its own parts (files or groups of
// files), with the parts in the file in their given order whatever order they finish in. The
// part first in order writes straight through; later ones gather their bytes in memory, and
// when kMaxPending bytes are gathered a part waits for its turn, so memory stays bounded.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace logselect {

class OrderedDump {
  public:
    static constexpr size_t kMaxPending = 4 << 20;

    OrderedDump(FILE* out, size_t parts, size_t maxPending = kMaxPending);
    ~OrderedDump();
    OrderedDump(const OrderedDump&) = delete;
    OrderedDump& operator=(const OrderedDump&) = delete;

    // The stream part writes into (unbuffered: writers gather their own blocks); null when it
    // cannot be made. Parts must be opened in increasing order, each by one thread that
    // finishes it before it opens another.
    FILE* open(size_t part);
    // Closes the part's stream and hands on what it gathered once the parts before it are in.
    void finish(size_t part, FILE* stream);

    // Something could not be written into the dump file (errno in writeError()).
    bool writeFailed() const;
    int writeError() const;

  private:
    struct Part;
    static ssize_t writeThunk(void* cookie, const char* data, size_t size);
    ssize_t write(size_t part, const char* data, size_t size);
    bool writeOut(const char* data, size_t size);
    void handOn(Part& part);

    FILE* out_;
    mutable std::mutex lock_;
    std::condition_variable turn_;
    size_t head_ = 0;  // the first part not finished: the one that writes straight through
    std::vector<std::unique_ptr<Part>> parts_;
    size_t maxPending_;
    size_t pendingTotal_ = 0;  // bytes gathered by all parts, not yet written
    int error_ = 0;
};

}  // namespace logselect
