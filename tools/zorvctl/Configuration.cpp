#include "Configuration.h"

#include <qxplatform.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "Session.h"
#include "qxConfig.h"

namespace zorvctl {

namespace {

void setVariable(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    ::setenv(name, value.c_str(), 1);
#endif
}

void clearVariable(const char* name) {
#ifdef _WIN32
    _putenv_s(name, "");
#else
    ::unsetenv(name);
#endif
}

bool isSet(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

std::string sessionName() {
#ifdef _WIN32
    return "the desktop's";
#else
    return isSet("QX_SESSION") ? std::getenv("QX_SESSION") : "default";
#endif
}

std::string directorySource(const Options& options) {
    if (!options.config.empty()) return "--config";
    if (qxConfig::isSystemMode()) return "system mode: QX_ROOT, QX_SYSTEM";
    if (qxConfig::usesConfigIni()) return "c:\\zorv_config.ini";
    return isSet("WINDIR") ? "WINDIR" : "the default";
}

std::string workstationSource(const Options& options, int workstation) {
    if (options.workstation >= 0) return "--workstation";
    if (qxConfig::isSystemMode() && isSet("QX_WORKSTATION")) return "QX_WORKSTATION";
    if (workstation != 0) return "the configuration directory";
    return "none names one";
}

}  // namespace

bool useConfiguration(const Options& options, Configuration& configuration) {
    if (!options.config.empty()) {
        if (!std::filesystem::is_directory(qxplatform::hostPath(options.config))) {
            std::fprintf(stderr, "zorvctl: --config: no directory %s\n", options.config.c_str());
            return false;
        }
        // Outside system mode the configuration directory is WINDIR's.
        clearVariable("QX_ROOT");
        clearVariable("QX_SYSTEM");
        clearVariable("QX_WORKSTATION");
        setVariable("WINDIR", options.config);
    }
    configuration.session = sessionName();
    configuration.directory = qxConfig::configPath();
    configuration.directorySource = directorySource(options);
    if (options.workstation >= 0) {
        // The client takes nothing but its workstation number from the
        // configuration; in system mode QX_WORKSTATION names it.
        if (!qxConfig::isSystemMode()) {
            setVariable("QX_ROOT", "c:");
            setVariable("QX_SYSTEM", "zorvctl");
        }
        setVariable("QX_WORKSTATION", std::to_string(options.workstation));
    }
    configuration.workstation = qxConfig::workstation();
    configuration.workstationSource = workstationSource(options, configuration.workstation);
    return true;
}

}  // namespace zorvctl
