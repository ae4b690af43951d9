// Path and code-page extensions on the real API: Windows paths are host
// paths, and the ANSI code page is the system's.
#include "qxplatform.h"

namespace qxplatform {

std::string hostPath(const std::string& windowsPath) { return windowsPath; }

bool setAnsiCodePage(UINT) { return false; }

long sessionWindowCount() { return -1; }

}  // namespace qxplatform
