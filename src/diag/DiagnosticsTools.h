// The product's external diagnostic tools the collection launches: the diagnostics tool,
// whose bundle joins the main bundle, and the performance log analyser of a media agent.
#pragma once

#include <string>

#include "host/Error.h"
#include "host/Export.h"

// Runs "<home>/WyDiagnostics" for this instance with its output in outputDir (and the scrub
// patterns file when one is given, so the tool masks the same values) and waits for it.
// bundlePath gets "<outputDir>/WyDiagnostics.7z"; success only when that file exists.
// Errors carry code 774.
SL_API CTeError runWyDiagnostics(const char* outputDir, std::string& bundlePath,
                                 const char* scrubPatternsFile, unsigned long clientId);

// On a media agent, has "<base>/WyPerfLogAnalyze" write "PerfAnalysis_<job>.log" into
// outputDir. True also when this machine is no media agent (nothing to do).
SL_API bool getWyPerfMgrLogAnalysisReport(const char* outputDir, unsigned long long jobId);
