// Upload options of a request (the internet gateway record). Filled by the upload
// support; the collector only passes it on.
#pragma once

#include <string>

struct MsgInternetOptions {
    std::string url;
    std::string user;
    std::string password;
    std::string proxyHost;
    int proxyPort = 0;
    bool useFtp = true;
    bool activeFtp = false;
    bool secure = false;
    std::string httpHandler;
    unsigned long partSizeMb = 0;
};
