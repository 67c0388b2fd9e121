// The application instances the product protects on its clients, and the settings of a
// database server instance. Each instance is one registry key of the focused instance:
//   Applications/<instance id>/nClientId, nAppType, sInstanceName,
//   and for a database server instance dSybaseHome and sSybaseASE.
#pragma once

#include <string>
#include <vector>

class ClientApplicationList {
  public:
    // The ids and names of the instances of appType on client clientId (0: this machine,
    // the client whose name is this physical machine's), in id order. 0 on success (also
    // when there is none), non-zero when the list cannot be read.
    int getInstanceList(unsigned long clientId, int appType, std::vector<unsigned long>& ids,
                        std::vector<std::string>& names, void* reserved, int flags);
};

class SybaseInstance {
  public:
    explicit SybaseInstance(unsigned long instanceId);
    // Empty when not set.
    std::string getSybaseHome() const { return home_; }
    std::string getSybaseASE() const { return ase_; }

  private:
    std::string home_, ase_;
};
