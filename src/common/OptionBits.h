// The request's collection options words: the bits any step reads, by name.
#pragma once

#include <cstdint>

// Collection options word (`options`).
enum : uint64_t {
    OPT_SYSTEM_INFO = 0x4,
    OPT_FILTER_BY_JOB = 0x10,
    OPT_CORE_FILES = 0x100,
    OPT_NO_ORACLE_RESULTS = 0x200,
    OPT_PRODUCT_LOGS = 0x1000,
    OPT_DIRECT_RESULTS = 0x4000,
    OPT_ORACLE_BACKUP = 0x8000,
    OPT_ORACLE_RESTORE = 0x10000,
    OPT_JOB_RESULTS = 0x200000,
    OPT_SETUP_LOGS = 0x20000000,
    OPT_SCRUB_LOGS = 0x40000000,
};
// Second options word (`extraOptions`).
enum : uint64_t { EXTRA_OPT_APPLIANCE_LOGS = 0x1 };
