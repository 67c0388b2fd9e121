// Temporary folders of a request in the job results directory, and their removal.
#pragma once

#include <string>

#include "host/Error.h"
#include "host/Export.h"

// in: prefix; out: the created folder "<job results dir>/<prefix><seconds>" (or, when a
// request took that name in the same second, "<...>_<n>").
SL_API bool getTempDirInJobResultsDir(std::string& name);
// Deletes a temporary file, then its folder when that is left empty. Always success.
SL_API CTeError CleanUpTempData(std::string& path);

namespace common {

constexpr int kPathBuffer = 1024;

// The job results directory of this physical machine; empty, with an error logged under
// tag, when it is unknown.
std::string thisMachineJobResultsDir(const char* tag);

// "<base>/<prefix><seconds now>", or empty when it is not shorter than kPathBuffer.
std::string timeNamedPath(const std::string& base, const std::string& prefix);
// Creates the private folder path, or "<path>_<n>" when that name is taken (requests served
// in the same second). True with created set; false with created naming the last path tried
// and errno set (0 when the names ran over the path limit).
bool createFreshFolder(const std::string& path, std::string& created);
// timeNamedPath and createFreshFolder in one: the created folder, or empty with the failure
// logged under tag.
std::string createTimeNamedFolder(const std::string& base, const std::string& prefix,
                                  const char* tag);

}  // namespace common
