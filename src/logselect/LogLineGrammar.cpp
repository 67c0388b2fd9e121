// Field cutting, log types, base names and the dump banner.
#include "logselect/LogLineGrammar.h"

#include <cctype>
#include <cerrno>
#include <cstring>

#include "host/FileHandle.h"
#include "host/Log.h"

namespace {

struct LogTypeRow {
    const char* prefix;
    int type;
};

// Searched in order; the first prefix that begins the upper-cased name decides.
const LogTypeRow kLogTypes[] = {
    {"WYFWD", LOG_TYPE_NEVER_FILTERED},
    {"CREATEDB", LOG_TYPE_NEVER_FILTERED},
    {"DROPDBSCRIPT", LOG_TYPE_NEVER_FILTERED},
    {"CREATECNDB", LOG_TYPE_NEVER_FILTERED},
    {"WYSIMINSTALL", LOG_TYPE_NEVER_FILTERED},
    {"SIMHM", LOG_TYPE_NEVER_FILTERED},
    {"WYCONFIGUREMSI", LOG_TYPE_NEVER_FILTERED},
    {"WYD", LOG_TYPE_SERVICE},
    {"EVMGRS", LOG_TYPE_SERVICE},
    {"EVMGRC", LOG_TYPE_SERVICE},
    {"MEDIAMANAGER", LOG_TYPE_SERVICE},
    {"WYMA", LOG_TYPE_SERVICE},
    {"APPMGRSERVICE", LOG_TYPE_SERVICE},
    {"JOBMANAGER", LOG_TYPE_SERVICE},
    {"LMSEVENTMGRLOG", LOG_TYPE_SERVICE},
    {"NDMPREMOTESERVER", LOG_TYPE_SERVICE},
    {"WYFILEREPLICATION", LOG_TYPE_SERVICE},
};

bool hasUpperPrefix(const char* name, const char* prefix) {
    for (; *prefix; ++prefix, ++name) {
        if (*name == '\0' || toupper((unsigned char)*name) != *prefix) return false;
    }
    return true;
}

struct FieldOut {
    char* buffer;
    int size;
};

}  // namespace

int GetIdStr(const char* source, char* destination, int size) {
    if (!destination || size <= 0) return 0;
    int n = 0;
    if (source) {
        while (n < size - 1 && source[n] != '\0' && source[n] != ' ') {
            destination[n] = source[n];
            ++n;
        }
    }
    destination[n] = '\0';
    return n;
}

void getIdStr(const char* source, char* destination) {
    if (!destination) return;
    destination[0] = '\0';
    if (!source) return;
    int n = 0;
    while (n < kLogFieldSize && source[n] != '\0' && source[n] != ' ') ++n;
    // Only a blank within the first 99 characters ends a usable id.
    if (n == 0 || n >= kLogFieldSize || source[n] != ' ') return;
    memcpy(destination, source, n);
    destination[n] = '\0';
}

bool ParseLogLine(char* line, char* processId, int processIdSize, char* threadId, int threadIdSize,
                  char* date, int dateSize, char* time, int timeSize, char* jobField,
                  int jobFieldSize, char* tagField, int tagFieldSize) {
    // Outputs by field number; fields 6 and 7 are passed over.
    FieldOut outs[9] = {{nullptr, 0},
                        {processId, processIdSize},
                        {threadId, threadIdSize},
                        {date, dateSize},
                        {time, timeSize},
                        {jobField, jobFieldSize},
                        {nullptr, 0},
                        {nullptr, 0},
                        {tagField, tagFieldSize}};
    for (FieldOut& o : outs) {
        if (o.buffer && o.size > 0) o.buffer[0] = '\0';
    }
    if (!line) return false;
    int field = 0;
    bool afterBlank = true;
    const char* p = line;
    while (*p) {
        if (*p == ' ') {
            afterBlank = true;
            ++p;
            continue;
        }
        if (!afterBlank) {
            ++p;
            continue;
        }
        afterBlank = false;
        ++field;
        const FieldOut& o = outs[field];
        int copied = 0;
        if (o.buffer && o.size > 0) copied = GetIdStr(p, o.buffer, o.size);
        if (field == 8) return true;
        // The rest of an over-long field is walked over without starting a new field.
        p += copied > 0 ? copied : 1;
    }
    return false;
}

bool getJobInfo(const char* line, char* jobId, char* processId, char* threadId) {
    if (!line) return false;
    int field = 0;
    bool afterBlank = true;
    for (const char* p = line; *p; ++p) {
        if (*p == ' ') {
            afterBlank = true;
            continue;
        }
        if (!afterBlank) continue;
        afterBlank = false;
        ++field;
        if (field == 1 && processId) getIdStr(p, processId);
        if (field == 2 && threadId) getIdStr(p, threadId);
        if (field == 5) {
            if (jobId) getIdStr(p, jobId);
            return true;
        }
    }
    return false;
}

const char* GetToken(const char* text, int n, char separator) {
    if (!text || n < 1) return nullptr;
    int field = 0;
    bool afterSeparator = true;
    for (const char* p = text; *p; ++p) {
        if (*p == separator) {
            afterSeparator = true;
            continue;
        }
        if (!afterSeparator) continue;
        afterSeparator = false;
        if (++field == n) return p;
    }
    return nullptr;
}

int FindLogType(const char* fileName) {
    if (!fileName) return LOG_TYPE_OTHER;
    // Compared case-insensitively in place: only the first few characters can decide, so the
    // 255-character name limit needs no copy here.
    for (const LogTypeRow& row : kLogTypes) {
        if (hasUpperPrefix(fileName, row.prefix)) return row.type;
    }
    return LOG_TYPE_OTHER;
}

void GetBaseLogFileName(const char* fileName, char* baseName) {
    if (!baseName) return;
    baseName[0] = '\0';
    if (!fileName) return;
    size_t len = strnlen(fileName, kLogFileNameSize);
    if (len >= (size_t)kLogFileNameSize) {
        EvDebug log;
        log.Error("GetBaseLogFileName", "File name [%.64s...] is longer than %d characters",
                  fileName, kLogFileNameSize - 1);
        return;
    }
    memcpy(baseName, fileName, len + 1);
    if (len >= 5 && baseName[len - 4] == '.' && tolower((unsigned char)baseName[len - 3]) == 'l' &&
        tolower((unsigned char)baseName[len - 2]) == 'o' &&
        tolower((unsigned char)baseName[len - 1]) == 'g') {
        len -= 4;
        baseName[len] = '\0';
        // Drop a rotation suffix "_<digits>" unless the "_" starts the name.
        size_t i = len;
        while (i > 0 && isdigit((unsigned char)baseName[i - 1])) --i;
        if (i > 1 && baseName[i - 1] == '_') baseName[i - 1] = '\0';
    }
}

bool splitFilePath(const char* path, char* directory, char* fileName) {
    if (!path) return false;
    const char* slash = strrchr(path, '/');
    if (!slash) return false;
    size_t dirLen = (size_t)(slash - path);
    size_t nameLen = strlen(slash + 1);
    if (dirLen >= (size_t)kLogPathSize || nameLen >= (size_t)kLogPathSize) {
        EvDebug log;
        log.Error("splitFilePath", "Path [%.64s...] is longer than %d characters", path,
                  kLogPathSize - 1);
        return false;
    }
    if (fileName) memcpy(fileName, slash + 1, nameLen + 1);
    if (directory) {
        memcpy(directory, path, dirLen);
        directory[dirLen] = '\0';
    }
    return true;
}

bool PrintHeader(FILE* out, const char* machineName, const char* filePath) {
    const char* name = filePath ? filePath : "";
    const char* slash = strrchr(name, '/');
    if (slash) name = slash + 1;
    return host::io::printf(out,
                            "\n\n\n@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@\n"
                            "Machine : %s\nFile    : %s\n"
                            "@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@@\n\n",
                            machineName ? machineName : "", name);
}
