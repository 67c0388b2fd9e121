// Codes and tags of the reply records a request sends to its requester.
#pragma once

#include <cstdint>

enum : uint32_t {
    REPLY_VERSION_CODE = 2614,
    REPLY_VERSION_TAG = 8510,
    REPLY_TIME_CODE = 2615,
    REPLY_TIME_TAG = 2616,
    REPLY_BUNDLE_NAME_CODE = 2618,
    REPLY_BUNDLE_NAME_TAG = 7613,
};
