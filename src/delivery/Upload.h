// Uploads of a file to a drop point through the host's upload gateway, by FTP or HTTP, whole
// or split into parts with retries. Results: 0 success, -1 failure (logged).
#pragma once

#include <string>

#include "host/Export.h"
#include "host/Gateway.h"

SL_API int uploadWithFtp(const char* url, const char* user, const char* password, int passive,
                         const char* corvaneId, const char* localFile);
SL_API int uploadWithHttp(const char* url, const char* user, const char* password,
                          const char* serverHandler, const char* corvaneId, int secured,
                          const char* localFile);
// Splits directory + fileName (directory ends in "/") into parts named fileName.part-aa,
// -ab ... beside it, uploads each part with up to three attempts, ten seconds apart, and
// removes the parts whatever the outcome; the file itself stays.
SL_API int uploadToCloud(const MsgInternetOptions* options, std::string directory,
                         std::string fileName);
