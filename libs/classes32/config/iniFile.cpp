#include "iniFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace qxini {

namespace {

#ifdef _WIN32
constexpr std::string_view platformLineEnd = "\r\n";
#else
constexpr std::string_view platformLineEnd = "\n";
#endif

constexpr DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool writeAll(HANDLE file, std::string_view data) {
    while (!data.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0) return false;
        data.remove_prefix(written);
    }
    return true;
}

// Every line feed goes out as the given line end.
std::string withLineEnds(const std::string& text, std::string_view lineEnd) {
    if (lineEnd == "\n") return text;
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            out += lineEnd;
        else
            out += c;
    }
    return out;
}

// Process-wide: the file lock alone need not exclude threads of one process.
std::mutex& writersOfThisProcess() {
    static std::mutex mutex;
    return mutex;
}

}  // namespace

bool fileExists(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool readTextFile(const std::string& path, std::string& text, std::string* lineEnd) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string raw;
    char buffer[65536];
    DWORD got = 0;
    BOOL succeeded;
    while ((succeeded = ReadFile(file, buffer, sizeof buffer, &got, nullptr)) && got > 0) raw.append(buffer, got);
    CloseHandle(file);
    // A read error part way is no file at all: a writer must never start
    // from part of it.
    if (!succeeded) return false;
    if (lineEnd != nullptr) {
        const std::size_t feed = raw.find('\n');
        if (feed == std::string::npos) *lineEnd = platformLineEnd;
        else *lineEnd = feed > 0 && raw[feed - 1] == '\r' ? "\r\n" : "\n";
    }

    // Text mode: drop the CR of every CR LF, in place.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < raw.size(); ++i)
        if (raw[i] != '\r' || i + 1 == raw.size() || raw[i + 1] != '\n') raw[kept++] = raw[i];
    raw.resize(kept);
    text = std::move(raw);
    return true;
}

void forEachLine(std::string_view text, std::size_t limit, const std::function<void(std::string_view)>& visit) {
    while (!text.empty()) {
        const std::size_t feed = text.find('\n');
        std::size_t length = feed == std::string_view::npos ? text.size() : feed + 1;
        length = std::min(length, limit);
        visit(text.substr(0, length));
        text.remove_prefix(length);
    }
}

std::string_view cutLineEnd(std::string_view line) {
    line = line.substr(0, line.find('\n'));
    return line.substr(0, line.find('\r'));
}

char lowerByte(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lowerByte(x) == lowerByte(y); });
}

bool replaceFile(const std::string& path, const std::string& text, std::string_view lineEnd) {
    const std::string temporary = path + ".tmp";
    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool written = writeAll(file, withLineEnds(text, lineEnd)) && FlushFileBuffers(file);
    CloseHandle(file);
    if (written &&
        MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileA(temporary.c_str());
    return false;
}

// The lock file of an ini file: in the user's temporary directory, named
// after the path with letters folded and separators made one, so that every
// spelling of one path meets at one lock and nothing is added beside the ini
// file, where other tools of the facility look. Empty when there is no
// temporary directory.
std::string lockPathFor(const std::string& iniPath) {
    char directory[MAX_PATH + 1];
    const DWORD length = GetTempPathA(sizeof directory, directory);
    if (length == 0 || length > MAX_PATH) return {};
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (char c : iniPath) {
        hash ^= static_cast<unsigned char>(c == '/' ? '\\' : lowerByte(c));
        hash *= 1099511628211ull;
    }
    char name[40];
    std::snprintf(name, sizeof name, "zorv-ini-%016llx.lock", static_cast<unsigned long long>(hash));
    return std::string(directory, length) + name;
}

WriteLock::WriteLock(const std::string& iniPath)
    : threadGuard_(writersOfThisProcess()), lockFile_(INVALID_HANDLE_VALUE) {
    // Without a lock file (no path, or no usable temporary directory) the
    // write goes ahead unlocked, serialised within this process only.
    const std::string lockPath = iniPath.empty() ? std::string() : lockPathFor(iniPath);
    if (lockPath.empty()) return;
    lockFile_ = CreateFileA(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, shareAll, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (lockFile_ != INVALID_HANDLE_VALUE && !LockFileEx(lockFile_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &region_)) {
        CloseHandle(lockFile_);
        lockFile_ = INVALID_HANDLE_VALUE;
    }
}

WriteLock::~WriteLock() {
    if (lockFile_ == INVALID_HANDLE_VALUE) return;
    UnlockFileEx(lockFile_, 0, 1, 0, &region_);
    CloseHandle(lockFile_);
}

}  // namespace qxini
