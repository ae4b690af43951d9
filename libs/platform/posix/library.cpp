// Dynamic libraries: "name.dll" stands for the shared object "libname.so".
// It is looked for in the directories of QX_DLL_PATH (':'-separated), then in
// the directory of the running program, then on the system search path.
// A name with a directory part is mapped as a Windows path and loaded from
// that directory only.
// Built with QX_KEEP_LIBRARIES_MAPPED (the libFuzzer build), a library stays
// mapped after its last FreeLibrary: libFuzzer keeps reading the coverage
// counters of every instrumented library it has seen, until the process ends.
#include "host_support.h"
#include "qxplatform.h"

#include <cstdlib>
#include <dlfcn.h>
#include <climits>
#include <cstring>
#include <string>
#include <strings.h>
#include <unistd.h>
#include <vector>

namespace {

struct LibraryName {
    std::string directory;  // host directory given with the name, or empty
    std::string fileName;   // the shared object's file name
};

// "name.dll" (any case of ".dll") and "name" become "libname.so"; a name with
// another extension is taken as it is.
LibraryName sharedObjectName(const std::string& windowsName) {
    const std::string path = qxplatform::hostPath(windowsName);
    const auto slash = path.rfind('/');
    LibraryName name;
    if (slash != std::string::npos) name.directory = path.substr(0, slash + 1);
    std::string base = path.substr(slash == std::string::npos ? 0 : slash + 1);
    const auto dot = base.rfind('.');
    if (dot == std::string::npos) {
        name.fileName = "lib" + base + ".so";
    } else if (::strcasecmp(base.c_str() + dot, ".dll") == 0) {
        name.fileName = "lib" + base.substr(0, dot) + ".so";
    } else {
        name.fileName = base;
    }
    return name;
}

std::string executableDirectory() {
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return {};
    const std::string executable(path, static_cast<size_t>(length));
    return executable.substr(0, executable.rfind('/') + 1);
}

// The paths to try, in order; the last one is the bare file name, which
// dlopen looks up on the system search path.
std::vector<std::string> candidatePaths(const LibraryName& name) {
    if (!name.directory.empty()) return {name.directory + name.fileName};
    std::vector<std::string> candidates;
    if (const char* searchPath = std::getenv("QX_DLL_PATH")) {
        const std::string directories = searchPath;
        size_t start = 0;
        while (start <= directories.size()) {
            size_t end = directories.find(':', start);
            if (end == std::string::npos) end = directories.size();
            if (end > start) candidates.push_back(directories.substr(start, end - start) + "/" + name.fileName);
            start = end + 1;
        }
    }
    if (const std::string directory = executableDirectory(); !directory.empty()) {
        candidates.push_back(directory + name.fileName);
    }
    candidates.push_back(name.fileName);
    return candidates;
}

bool isBareName(const std::string& path) {
    return path.find('/') == std::string::npos;
}

HMODULE moduleOf(void* handle) {
    return static_cast<HMODULE>(handle);
}

#ifdef QX_KEEP_LIBRARIES_MAPPED
constexpr int loadFlags = RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE;
#else
constexpr int loadFlags = RTLD_NOW | RTLD_LOCAL;
#endif

}  // namespace

extern "C" {

// The program's own path for a null module (the only module asked for here);
// a path that does not fit is cut and terminated, as on Windows.
DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    if (hModule != nullptr || lpFilename == nullptr || nSize == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (static_cast<DWORD>(length) >= nSize) {
        std::memcpy(lpFilename, path, nSize - 1);
        lpFilename[nSize - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(lpFilename, path, static_cast<size_t>(length));
    lpFilename[length] = '\0';
    return static_cast<DWORD>(length);
}

HMODULE LoadLibraryA(LPCSTR lpLibFileName) {
    if (!lpLibFileName || !*lpLibFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    for (const std::string& path : candidatePaths(sharedObjectName(lpLibFileName))) {
        // A file that exists but cannot be loaded ends the search, as a
        // broken DLL does on Windows.
        if (!isBareName(path) && qxposix::os().access(path.c_str(), F_OK) != 0) continue;
        if (void* handle = ::dlopen(path.c_str(), loadFlags)) return moduleOf(handle);
        break;
    }
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
    if (!hModule) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // Our shared objects export names only; there are no ordinals.
    if (IS_INTRESOURCE(lpProcName)) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    void* symbol = ::dlsym(hModule, lpProcName);
    if (!symbol) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

BOOL FreeLibrary(HMODULE hLibModule) {
    if (!hLibModule || ::dlclose(hLibModule) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

// Finds an already loaded library without loading it or counting a
// reference; null names the program itself.
HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
    void* handle = nullptr;
    if (!lpModuleName) {
        handle = ::dlopen(nullptr, RTLD_NOW);
    } else {
        for (const std::string& path : candidatePaths(sharedObjectName(lpModuleName))) {
            handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
            if (handle) break;
        }
    }
    if (!handle) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    ::dlclose(handle);  // drop the reference that dlopen added; the library stays loaded
    return moduleOf(handle);
}

}  // extern "C"
