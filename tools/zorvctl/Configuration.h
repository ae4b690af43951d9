// Where zorvctl's workstation number comes from, and the options that choose
// it (--workstation, --config), as status reports them.
#pragma once

#include <string>

namespace zorvctl {

struct Options;

struct Configuration {
    std::string session;            // the window session
    int workstation = 0;
    std::string workstationSource;  // what named the workstation
    std::string directory;          // the configuration directory
    std::string directorySource;    // what chose the directory
};

// Applies --config and --workstation to this process's environment, before
// the client is made (the library reads its workstation number then), and
// says where the configuration comes from. False, after a message, for a
// configuration directory that does not exist.
bool useConfiguration(const Options& options, Configuration& configuration);

}  // namespace zorvctl
