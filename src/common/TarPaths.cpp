#include "common/TarPaths.h"

const char* changeToRoot(const std::string& path) {
    return !path.empty() && path[0] == '/' ? " -C / " : "";
}

std::string convertToRelativePath(std::string path) {
    if (!path.empty() && path[0] == '/') path.erase(0, 1);
    return path;
}
