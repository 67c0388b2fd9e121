// A job's result file as the central server hands it out (an Oracle backup or restore
// report). Stand-in: the file lives in the job's folder of the client's job results
// directory; the server's generation of it is imitated from the job's summary there.
#pragma once

#include <string>

class RetrieveResults {
  public:
    // appType: the application folder of the job results layout (2); kind 1 backup, 2 restore;
    // clientName null or empty: this machine.
    RetrieveResults(int appType, long long jobId, int kind, const char* clientName, int reserved);

    // The result file's path: "<job results>/WY_JobResults/<app>/0/<job>/backup.out" (or
    // "restore.out"). Null when the client's job results directory is unknown or holds no
    // folder for the job.
    const char* getPath() const { return path_.empty() ? nullptr : path_.c_str(); }
    // Whether an existing result file can be used unchanged: a regular file (not a link) that
    // is not empty.
    bool checkBackupFile(const char* path) const;
    // Writes the result file at path (through a temporary file in the same folder, renamed
    // over it, so a reader never sees half a file). False, with a log line, on failure.
    bool generateFile(const char* path);

  private:
    long long jobId_;
    int kind_;
    std::string path_;
};
