// The host process runner: /bin/sh -c with captured output and error, both pipes read
// without deadlock, no leaked descriptors or zombies, an optional time limit.
#pragma once

#include <sys/types.h>

#include <string>

namespace host {
// Quotes text for a POSIX shell: the result is one word, single-quoted where needed.
std::string shellQuote(const std::string& text);
}  // namespace host

class WyProcess {
  public:
    WyProcess() = default;
    ~WyProcess();  // kills and reaps a child still running
    WyProcess(const WyProcess&) = delete;
    WyProcess& operator=(const WyProcess&) = delete;

    // Runs a shell command line. out/err (may be null) receive the captured streams; when
    // null the stream goes to /dev/null. timeoutSeconds <= 0 means no limit (the integer
    // argument of the host interface). Returns the exit status, 128+signal when killed by a
    // signal, -1 when the command did not run or timed out (err then holds "timedout").
    static int system(const char* command, std::string* out, std::string* err,
                      int timeoutSeconds = 0, bool detached = false);

    // Starts a command line through the shell without waiting; output goes to /dev/null.
    // On failure returns false and writes the reason into errorText (NUL-terminated).
    bool StartProcess(const std::string& commandLine, char* errorText, size_t errorSize);
    pid_t GetPid() const { return pid_; }
    // Waits at most timeoutSeconds (<= 0: without limit). False on failure or time-out
    // (errorText "timedout"; the child is killed).
    bool WaitForProcessToEnd(int timeoutSeconds, int& exitCode, std::string& errorText);

  private:
    pid_t pid_ = -1;
};
