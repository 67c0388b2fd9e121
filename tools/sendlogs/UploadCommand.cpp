// "sendlogs upload": sends a file the way the library delivers a bundle: split into parts,
// each part uploaded by FTP or HTTP with retries, the parts removed afterwards. The password
// comes from a file, so it appears in no command line, and it is never printed.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "CliSupport.h"
#include "Commands.h"
#include "delivery/Upload.h"
#include "host/Log.h"

namespace {

constexpr size_t kFieldSize = 1023;  // the text fields of the internet options record

struct UploadOptions {
    bool ftp = false, http = false, active = false, secure = false;
    std::string handler, url, user, passwordFile, id, file;
    int partMb = 100;
};

// The first line of the file, without its line end. False when it cannot be read or is too
// long for the record.
bool readPassword(const std::string& path, std::string& password, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the password file " + path;
        return false;
    }
    std::getline(in, password);
    if (!password.empty() && password.back() == '\r') password.pop_back();
    if (in.bad()) {
        error = "cannot read the password file " + path;
        return false;
    }
    if (password.size() >= kFieldSize) {
        error = "the password in " + path + " is too long";
        return false;
    }
    return true;
}

bool copyField(char* field, const std::string& text, const char* what, std::string& error) {
    if (text.size() >= kFieldSize) {
        error = std::string(what) + " is longer than " + std::to_string(kFieldSize - 1) + " bytes";
        return false;
    }
    std::memcpy(field, text.c_str(), text.size() + 1);
    return true;
}

// A bar on the terminal: the part being sent and how much of it is out.
void drawProgress(const std::string& file, uint64_t sent, uint64_t total) {
    static std::string shownFile;
    static int shownPercent = -1;
    int percent = total ? static_cast<int>(sent * 100 / total) : 100;
    if (file == shownFile && percent == shownPercent) return;
    shownFile = file;
    shownPercent = percent;
    const int width = 30, filled = percent * width / 100;
    std::fprintf(stderr, "\r[%.*s%*s] %3d%% %s", filled, "##############################",
                 width - filled, "", percent,
                 std::filesystem::path(file).filename().string().c_str());
    if (percent == 100) std::fputc('\n', stderr);
    std::fflush(stderr);
}

int runUpload(const UploadOptions& o, const cli::CommonOptions& common) {
    cli::applyCommonOptions(common, cli::LibraryLog::Installation);
    if (!o.ftp && !o.http) {
        return cli::usageError("upload: give --ftp or --http");
    }
    if (o.http && o.handler.empty()) {
        return cli::usageError("upload: --http needs --handler");
    }

    MsgInternetOptions options{};
    options.protocol = o.ftp ? 1 : 0;
    options.ftpPassive = o.active ? 0 : 1;
    options.httpSecured = o.secure ? 1 : 0;
    options.partSizeMb = o.partMb;
    std::string password, error;
    const std::filesystem::path file = std::filesystem::absolute(o.file);
    const std::string directory = file.parent_path().string() + "/";
    bool ok = readPassword(o.passwordFile, password, error) &&
              copyField(options.uploadPassword, password, "the password", error) &&
              copyField(options.uploadUrl, o.url, "--url", error) &&
              copyField(options.uploadUser, o.user, "--user", error) &&
              copyField(options.corvaneId, o.id, "--id", error) &&
              copyField(options.httpServerHandler, o.handler, "--handler", error);
    std::fill(password.begin(), password.end(), '\0');
    if (!ok) {
        return cli::usageError("upload: " + error);
    }
    if (::isatty(STDERR_FILENO) && !common.quiet) host::gateway::setProgressListener(drawProgress);
    const int result = uploadToCloud(&options, directory, file.filename().string());
    std::memset(options.uploadPassword, 0, sizeof options.uploadPassword);
    host::gateway::setProgressListener(nullptr);
    if (result != 0) {
        const std::string log = host::logFilePath();
        cli::printError("upload: FAILED: " + file.string() +
                        " was not uploaded; the library's log " +
                        (log.empty() ? std::string("(standard error)") : log) + " tells why");
        return cli::kExitFailed;
    }
    if (!common.quiet)
        std::printf("upload: done: %s uploaded to %s\n", file.c_str(),
                    host::gateway::loggableUrl(o.url).c_str());
    return cli::kExitOk;
}

}  // namespace

namespace cli {

void addUploadCommand(Program& program) {
    auto o = std::make_shared<UploadOptions>();
    CLI::App* app = addCommand(
        program, program.app, "upload",
        "upload a file in parts by FTP or HTTP, as the library does\n"
        "Uploads a file split into parts, by FTP or HTTP, as the library delivers a bundle.",
        "Exit status: 0 every part uploaded, 1 the upload failed (the library's log tells why), "
        "2 wrong command line.\n"
        "Example:\n  sendlogs upload --ftp --url ftp://host/in --user u --password-file pw "
        "--id c9 bundle.tar.gz",
        [o, &common = program.common] { return runUpload(*o, common); });
    auto* ftp = app->add_flag("--ftp", o->ftp, "Upload by FTP (passive unless --active)");
    auto* http = app->add_flag("--http", o->http, "Upload by HTTP (HTTPS with --secure)");
    ftp->excludes(http);
    app->add_flag("--active", o->active, "Active FTP")->needs(ftp);
    app->add_flag("--secure", o->secure, "HTTPS")->needs(http);
    app->add_option("--handler", o->handler, "Server handler of an HTTP upload")->needs(http);
    app->add_option("--url", o->url, "Upload address")->required();
    app->add_option("--user", o->user, "User at the upload server")->required();
    app->add_option("--password-file", o->passwordFile, "File whose first line is the password")
        ->required()
        ->check(CLI::ExistingFile);
    app->add_option("--id", o->id, "Corvane id the upload belongs to")->required();
    app->add_option("--part-mb", o->partMb, "Part size in MiB (default 100)")
        ->check(wholeNumber(1, 1 << 20));
    app->add_option("FILE", o->file, "File to upload")->required()->check(CLI::ExistingFile);
}

}  // namespace cli
