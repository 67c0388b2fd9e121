#include "logselect/ExtractorErrors.h"

#include <boost/exception/diagnostic_information.hpp>

#include "host/Log.h"

namespace logselect {

void logLoopException(const char* tag) {
    EvDebug log;
    try {
        throw;
    } catch (const boost::exception& e) {
        log.Debug(tag, "Boost Exception [%s]", boost::diagnostic_information(e).c_str());
    } catch (...) {
        log.Error(tag, "Threw an exception");
    }
}

}  // namespace logselect
