// The library is built with hidden visibility; SL_API marks the names it exports.
#pragma once

#define SL_API __attribute__((visibility("default")))
