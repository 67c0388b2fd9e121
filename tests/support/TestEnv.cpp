#include "support/TestEnv.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testenv {

namespace {

std::string tempBase() {
    const char* tmp = std::getenv("TMPDIR");
    return (tmp && *tmp) ? tmp : "/tmp";
}

void makeParents(const std::string& path) {
    for (size_t pos = path.find('/', 1); pos != std::string::npos; pos = path.find('/', pos + 1))
        ::mkdir(path.substr(0, pos).c_str(), 0755);
}

}  // namespace

TempDir::TempDir(const std::string& prefix) {
    std::string templ = tempBase() + "/" + prefix + "-XXXXXX";
    if (!mkdtemp(templ.data()))
        throw std::runtime_error("cannot create a temporary folder under " + tempBase() + ": " +
                                 std::strerror(errno));
    path_ = templ;
}

TempDir::~TempDir() {
    if (!path_.empty()) removeTree(path_);
}

std::string TempDir::mkdir(const std::string& name) const {
    makeParents(file(name) + "/");
    return file(name);
}

bool removeTree(const std::string& path) {
    if (path.empty() || path == "/") return false;
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);  // removes links, never follows them
    return !exists(path);
}

ScopedEnv::ScopedEnv(const std::string& name, const std::string& value) : name_(name) {
    const char* old = std::getenv(name.c_str());
    had_ = old != nullptr;
    old_ = had_ ? old : "";
    setenv(name.c_str(), value.c_str(), 1);
}

ScopedEnv::ScopedEnv(const std::string& name) : ScopedEnv(name, "") {
    unsetenv(name.c_str());
}

ScopedEnv::~ScopedEnv() {
    if (had_)
        setenv(name_.c_str(), old_.c_str(), 1);
    else
        unsetenv(name_.c_str());
}

void writeFile(const std::string& path, const std::string& text) {
    makeParents(path);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code unlisted;
    for (const auto& e : std::filesystem::directory_iterator(folder, unlisted))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

int countOpenFds() {
    return static_cast<int>(folderEntries("/proc/self/fd").size()) - 1;  // less the listing's own
}

bool haveProgram(const std::string& name) {
    return runShell("command -v '" + name + "' >/dev/null 2>&1") == 0;
}

int runShell(const std::string& command) {
    const int status = std::system(command.c_str());
    return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string output(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[65536];
        for (size_t got; (got = fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, got);
        pclose(p);
    }
    return out;
}

RegistryFixture::RegistryFixture(const std::string& instance)
    : dir_("sendlogs-registry"),
      root_(dir_.mkdir("registry")),
      instance_(instance),
      rootEnv_("ORVION_REGISTRY_ROOT", root_),
      instanceEnv_("ORVION_INSTANCE", instance) {}

std::string RegistryFixture::keyPath(const std::string& key) const {
    return root_ + "/SOFTWARE/Kestrav Systems/Orvion/" + instance_ + "/" + key;
}

void RegistryFixture::setString(const std::string& key, const std::string& name,
                                const std::string& value) {
    if (!host::setRegString(instance_, key, name, value))
        throw std::runtime_error("cannot write registry value " + key + "/" + name);
}

void RegistryFixture::setNumber(const std::string& key, const std::string& name, long long value) {
    if (!host::setRegNumber(instance_, key, name, value))
        throw std::runtime_error("cannot write registry value " + key + "/" + name);
}

}  // namespace testenv
