// Builds without libmosquitto (the Windows build) have no broker support.
#include "FederationLink.h"
#include "HubOptions.h"

namespace orq {

std::unique_ptr<FederationLink> makeFederation(const HubOptions& options, HubCore&, HWND) {
    if (!options.federation.broker.empty() && options.log) {
        options.log("this build has no broker support; serving this workstation only");
    }
    return nullptr;
}

}  // namespace orq
