// The product's configuration registry: a directory tree rooted at $ORVION_REGISTRY_ROOT
// (default /etc/KestravRegistry). Keys are folders, values are text files (format in
// docs/registry.md). Instance-focused reads of (key, value) look in
//   <root>/SOFTWARE/Kestrav Systems/Orvion/<instance>/<key>/<value>
// The current instance is $ORVION_INSTANCE, else the text of <root>/CurrentInstance,
// else "Instance001".
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace host {

std::string registryRoot();
// Folder of an instance's key: <root>/SOFTWARE/Kestrav Systems/Orvion/<instance>/<key>.
std::string registryKeyPath(const std::string& instance, const std::string& key);

// Typed values. A value file holds the text of a string or the decimal text of a number;
// a multi-string file begins with the line "#multi" and holds one string per line after it.
// The rarer kinds carry a marker line too (docs/registry.md): "#expand" (a string whose
// variables the reader expands), "#dword-be" (a 32-bit number stored big-endian), "#qword" (a
// 64-bit number whatever its size), "#type N" (raw bytes of type code N, in hexadecimal).
enum class RegType { String, Number, MultiString, ExpandString, DWordBigEndian, QWord, Raw };
struct RegValue {
    RegType type = RegType::String;
    std::string text;                  // String, ExpandString
    long long number = 0;              // Number, DWordBigEndian, QWord
    std::vector<std::string> strings;  // MultiString
    int rawType = 0;                   // Raw: the type code
    std::string bytes;                 // Raw: the data
};
bool readRegValue(const std::string& file, RegValue& out);
bool writeRegValue(const std::string& file, const RegValue& value);  // creates folders
// The current instance (see above), re-read at every call.
std::string currentInstance();
// <root>/<absPath> with "\\" or "/" separators; empty when the path is unsafe (a ".."
// component).
std::string registryAbsPath(const std::string& absPath);
// Counts the values written through writeRegValue in this process; readers that cache
// (the logger) compare it to notice changes.
uint64_t registryGeneration();
// Convenience writers for a focused instance (used by the sandbox and the tests).
bool setRegString(const std::string& instance, const std::string& key, const std::string& name,
                  const std::string& value);
bool setRegNumber(const std::string& instance, const std::string& key, const std::string& name,
                  long long value);

}  // namespace host

// The current instance's name.
class WYPI_Focus {
  public:
    static const char* getFocus();
};

// Registry values the platform views read (all under the focused instance):
//   Base/sProductVersion, Base/dORVIONHOME (home), Base/dBASEHOME (base home),
//   Base/dORVIONTEMPDIR, Base/sPhysicalMachine (this client's name),
//   Base/sClientHostName, Base/nPlatformType, Base/dJOBRESULTSDIR,
//   EventManager/dEVLOGDIR (log files directory), InstalledPackages/<id> (one file per id),
//   Clients/<id>/dInstallDir, Clients/<id>/nOsId,
//   Clients/<name>/sClientHostName (another client's host name).
// (A remote client's service address and certificates: host/RemoteClients.h.)
class WYPlatformInfo {
  public:
    WYPlatformInfo();
    void setFocus(const char* instance);
    const std::string& focus() const { return instance_; }

    // Non-zero when read. size: in = buffer size, out = length copied (without the NUL).
    // A value longer than size - 1 is not read (returns 0) and is logged.
    int getString(const char* key, const char* value, char* buffer, int& size);
    int getString(const char* key, const char* value, std::string& out);
    int getNumber(const char* key, const char* value, long& out);
    int getNumber(const char* key, const char* value, unsigned long& out);
    // Absolute registry path (components joined with "\\" or "/") and value name.
    int getRegValue(const std::string& absPath, const std::string& value, host::RegValue& out);
    // The raw form a registry walk prints: type code (1 string, 2 expandable string, 4 32-bit
    // number, 5 big-endian 32-bit number, 7 multi-string, 11 64-bit number, a raw value's own
    // code) and the data in buffer with its byte length in size (in: the
    // buffer's size). A string ends with its NUL (counted); a multi-string is its strings
    // each ending with a NUL, then one more NUL (an empty one has no bytes); a number is a
    // native-order integer. When the buffer is too small: 0, size = the length needed,
    // getRegError() == kRegBufferTooSmall.
    static constexpr int kRegBufferTooSmall = -4;
    int getRegValue(const std::string& absPath, const std::string& value, int& type, char* buffer,
                    int& size);
    int getRegError() const { return lastError_; }
    int getRegValues(const std::string& absPath, std::map<std::string, host::RegValue>& out);
    int getRegSubKeysFromAbsPath(const std::string& absPath, std::vector<std::string>& out);

    const char* getPhysicalMachine();                   // null when unknown
    std::string getClientHostName(const char* client);  // empty when unknown
    uint64_t getWYPlatformType();
    int GetListOfInstalledPackages(std::vector<int>& ids);  // 0 on success

  private:
    std::string instance_;
    std::string physicalMachine_;
    int lastError_ = 0;
};

// Splits a multi-string (strings each ending with a NUL) into a set; length in bytes.
void FromMultiSZStringToSet(const char* data, int length, std::set<std::string>& out);

class WYPI_Base {
  public:
    WYPI_Base();
    virtual ~WYPI_Base() = default;
    virtual void setFocus(const char* instance);
    const char* getVersion();              // null when none
    const char* getHomeDirectory();        // null when none
    const char* getOrvionTempDirectory();  // null when none

  protected:
    const char* cached(const char* key, const char* value, std::string& slot);
    std::string instance_;
    std::string version_, home_, temp_, logDir_, baseHome_;
};

class WYPI_PlatformBase : public WYPI_Base {
  public:
    const char* getLogFilesDirectory();  // null when none
    const char* getBaseHomeDirectory();  // null when none
};

class WYPI_EventManager : public WYPI_Base {};

class WYPI_FileSystemAgent : public WYPI_Base {
  public:
    // Store access paths: multi-string FileSystemAgent/mSIDBAccessPaths. 0 on success.
    int getAllSIDBAccessPath(std::vector<std::string>& paths);
};

// A client known to this machine (registry Clients/<id>).
class WYClient {
  public:
    explicit WYClient(unsigned long clientId);
    // 0 on success, else an error code (2: not found).
    int getInstallDirectory(std::string& out, int kind, void* reserved);
    int getOperatingSystemId(int& out, void* reserved);

  private:
    unsigned long clientId_;
};
