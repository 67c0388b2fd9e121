#include "common/ErrorMessage.h"

#include <cerrno>
#include <cstdio>

#include "host/Log.h"

void printErrorMsg(const char* prefix) {
    int saved = errno;
    char number[32];
    snprintf(number, sizeof number, "%d", saved);
    EvDebug log;
    if (prefix)
        log.Error("void printErrorMsg(const char*)", "%s - %s", prefix, number);
    else
        log.Error("void printErrorMsg(const char*)", "%s", number);
    errno = saved;
}
