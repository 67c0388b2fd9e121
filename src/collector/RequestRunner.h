// Runs a collector's steps under the entry's guard: every exception is caught and logged,
// and teardown always runs. Separate from the entry so tests can inject failing steps.
#pragma once

#include "collector/infoNLogsCollector.h"

using CollectorSteps = void (*)(infoNLogsCollector&);

// The fixed step order of a request: init, the collection steps, the final bundle.
void runAllSteps(infoNLogsCollector& collector);

void runCollectorRequest(infoNLogsCollector& collector, CWyNetwork* network, CollectorSteps steps);
