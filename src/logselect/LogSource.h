// The file a log extractor reads for one listed name: the name itself, or a decompressed
// temporary copy of a ".bz2" file, removed again when the object goes away.
#pragma once

#include <string>

namespace logselect {

class LogSource {
  public:
    LogSource(const std::string& logDir, const std::string& fileName);
    ~LogSource();
    LogSource(const LogSource&) = delete;
    LogSource& operator=(const LogSource&) = delete;

    // Decompresses a name that contains ".bz2" into a private temporary folder with the
    // library-wide extractor; logs and returns false on failure. True for other names.
    bool prepare();
    // logDir/fileName, or the temporary copy after prepare().
    const std::string& path() const { return path_; }

  private:
    std::string logDir_;
    std::string fileName_;
    std::string path_;
    bool temporary_ = false;
};

}  // namespace logselect
