// Profile (ini) files with the behaviour of the Windows profile functions:
// sections and keys match without regard to letter case, blanks around keys
// and values are trimmed, a value in matching quotes loses them, lines whose
// first non-blank character is ';' are comments. The first occurrence of a
// section or key counts. Writes replace the file atomically (temporary file,
// fsync, rename) and keep its line ends; a new file gets "\r\n".
#include "host_support.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lowerA = static_cast<unsigned char>(a[i]), lowerB = static_cast<unsigned char>(b[i]);
        if (std::tolower(lowerA) != std::tolower(lowerB)) return false;
    }
    return true;
}

// The section name of a header line ("[name]"), or nothing.
std::optional<std::string_view> headerName(std::string_view line) {
    line = trim(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    const auto close = line.find(']');
    return trim(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

// The key and value of a "key=value" line, or nothing for comments, blank
// lines and lines without a key.
std::optional<KeyLine> keyLine(std::string_view line) {
    const std::string_view content = trim(line);
    if (content.empty() || content.front() == ';' || content.front() == '[') return std::nullopt;
    const auto equals = content.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view key = trim(content.substr(0, equals));
    if (key.empty()) return std::nullopt;
    return KeyLine{key, trim(content.substr(equals + 1))};
}

std::string_view withoutQuotes(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// The lines of an ini file and the edits that the write function makes.
class IniDocument {
public:
    IniDocument() = default;

    explicit IniDocument(const std::string& content) {
        size_t start = 0;
        while (start < content.size()) {
            size_t end = content.find('\n', start);
            if (end == std::string::npos) end = content.size();
            std::string line = content.substr(start, end - start);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (end < content.size() && lines_.empty()) lineEnd_ = end > start && content[end - 1] == '\r' ? "\r\n" : "\n";
            lines_.push_back(std::move(line));
            start = end + 1;
        }
    }

    std::string text() const {
        std::string all;
        for (const auto& line : lines_) all += line + lineEnd_;
        return all;
    }

    std::vector<std::string> sectionNames() const {
        std::vector<std::string> names;
        for (const auto& line : lines_) {
            const auto name = headerName(line);
            if (!name || name->empty()) continue;
            bool known = false;
            for (const auto& seen : names) known = known || equalsIgnoringCase(seen, *name);
            if (!known) names.emplace_back(*name);
        }
        return names;
    }

    std::optional<std::vector<std::string>> keyNames(std::string_view section) const {
        const auto range = findSection(section);
        if (!range) return std::nullopt;
        std::vector<std::string> names;
        for (size_t i = range->first + 1; i < range->end; ++i) {
            if (const auto entry = keyLine(lines_[i])) names.emplace_back(entry->key);
        }
        return names;
    }

    std::optional<std::string> value(std::string_view section, std::string_view key) const {
        const auto range = findSection(section);
        if (!range) return std::nullopt;
        const auto line = findKey(*range, key);
        if (!line) return std::nullopt;
        return std::string(withoutQuotes(keyLine(lines_[*line])->value));
    }

    // Removes every occurrence of the section with all its lines; returns
    // whether anything changed.
    bool removeSection(std::string_view section) {
        bool changed = false;
        while (const auto range = findSection(section)) {
            lines_.erase(lines_.begin() + static_cast<long>(range->first), lines_.begin() + static_cast<long>(range->end));
            changed = true;
        }
        return changed;
    }

    // Removes the key's lines from the section; returns whether anything
    // changed.
    bool removeKey(std::string_view section, std::string_view key) {
        auto range = findSection(section);
        if (!range) return false;
        bool changed = false;
        while (const auto line = findKey(*range, key)) {
            lines_.erase(lines_.begin() + static_cast<long>(*line));
            --range->end;
            changed = true;
        }
        return changed;
    }

    // Sets the key: in place when it exists, else at the end of its section,
    // else in a new section at the end of the file. Returns whether the text
    // changed.
    bool setValue(std::string_view section, std::string_view key, std::string_view value) {
        const auto range = findSection(section);
        if (!range) {
            lines_.push_back("[" + std::string(section) + "]");
            lines_.push_back(std::string(key) + "=" + std::string(value));
            return true;
        }
        if (const auto line = findKey(*range, key)) {
            std::string updated = std::string(keyLine(lines_[*line])->key) + "=" + std::string(value);
            if (updated == lines_[*line]) return false;
            lines_[*line] = std::move(updated);
            return true;
        }
        size_t insertAt = range->end;
        while (insertAt > range->first + 1 && trim(lines_[insertAt - 1]).empty()) --insertAt;
        lines_.insert(lines_.begin() + static_cast<long>(insertAt), std::string(key) + "=" + std::string(value));
        return true;
    }

private:
    struct Range {
        size_t first;  // the header line
        size_t end;    // the next header line or the end of the file
    };

    std::optional<Range> findSection(std::string_view section) const {
        const std::string_view wanted = trim(section);
        for (size_t i = 0; i < lines_.size(); ++i) {
            const auto name = headerName(lines_[i]);
            if (!name || !equalsIgnoringCase(*name, wanted)) continue;
            size_t end = i + 1;
            while (end < lines_.size() && !headerName(lines_[end])) ++end;
            return Range{i, end};
        }
        return std::nullopt;
    }

    std::optional<size_t> findKey(Range range, std::string_view key) const {
        const std::string_view wanted = trim(key);
        for (size_t i = range.first + 1; i < range.end; ++i) {
            const auto entry = keyLine(lines_[i]);
            if (entry && equalsIgnoringCase(entry->key, wanted)) return i;
        }
        return std::nullopt;
    }

    std::vector<std::string> lines_;
    std::string lineEnd_ = "\r\n";
};

// The host path of a profile file; a bare file name lies in the Windows
// directory.
std::string profilePath(LPCSTR fileName) {
    std::string name = fileName ? fileName : "";
    if (name.find_first_of("\\/:") == std::string::npos) {
        const char* windowsDirectory = std::getenv("WINDIR");
        name = std::string(windowsDirectory && *windowsDirectory ? windowsDirectory : "c:\\windows") + "\\" + name;
    }
    return qxposix::usablePath(name.c_str());
}

// The file's content; nothing when it cannot be read whole (errno tells
// why), so that a write never starts from part of the file.
std::optional<std::string> readFile(const std::string& path) {
    const int fd = qxposix::os().open(path.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    std::string content;
    char block[8192];
    ssize_t count;
    do {
        count = qxposix::os().read(fd, block, sizeof block);
        if (count > 0) content.append(block, static_cast<size_t>(count));
    } while (count > 0 || (count < 0 && errno == EINTR));
    const int readError = errno;
    qxposix::os().close(fd);
    if (count < 0) {
        errno = readError;
        return std::nullopt;
    }
    return content;
}

bool writeAll(int fd, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = qxposix::os().write(fd, text.data() + written, text.size() - written);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) return false;
        written += static_cast<size_t>(count);
    }
    return true;
}

// Replaces the file with the text so that a reader, or a crash, sees either
// the old or the new file whole: the text goes to a temporary file in the
// same directory, is flushed to disk, and the temporary file is renamed over
// the original.
BOOL replaceFile(const std::string& path, const std::string& text) {
    static std::atomic<unsigned> counter{0};
    const std::string temporary =
        path + ".qxtmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    const int fd = qxposix::os().open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return qxposix::failWithErrno(temporary);
    struct stat original {};
    if (qxposix::os().stat(path.c_str(), &original) == 0) qxposix::os().fchmod(fd, original.st_mode & 07777);
    const bool written = writeAll(fd, text) && qxposix::os().fsync(fd) == 0;
    const int writeError = errno;
    qxposix::os().close(fd);
    if (!written || qxposix::os().rename(temporary.c_str(), path.c_str(), 0) != 0) {
        const DWORD error = qxposix::win32Error(written ? errno : writeError, path);
        qxposix::os().unlink(temporary.c_str());
        SetLastError(error);
        return FALSE;
    }
    qxposix::syncDirectory(qxposix::parentDirectory(path));
    return TRUE;
}

// Serialises the read-modify-write of profile writes within the process.
std::mutex& writeMutex() {
    static auto* mutex = new std::mutex;  // outlives every thread
    return *mutex;
}

DWORD copyString(std::string_view text, LPSTR buffer, DWORD size) {
    const DWORD length = text.size() < size ? static_cast<DWORD>(text.size()) : size - 1;
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

// Copies names as a list of NUL-terminated strings ended by an extra NUL.
// When the list does not fit, it is cut to size - 2 characters and ended
// with two NULs, and size - 2 is returned.
DWORD copyList(const std::vector<std::string>& names, LPSTR buffer, DWORD size) {
    std::string list;
    for (const auto& name : names) {
        list += name;
        list += '\0';
    }
    if (list.size() + 1 <= size) {
        std::memcpy(buffer, list.data(), list.size());
        buffer[list.size()] = '\0';
        if (list.empty() && size >= 2) buffer[1] = '\0';
        return static_cast<DWORD>(list.size());
    }
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::memcpy(buffer, list.data(), size - 2);
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

IniDocument loadDocument(LPCSTR fileName) {
    const auto content = readFile(profilePath(fileName));
    return content ? IniDocument(*content) : IniDocument();
}

}  // namespace

extern "C" {

DWORD GetPrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpDefault, LPSTR lpReturnedString,
                               DWORD nSize, LPCSTR lpFileName) {
    if (!lpReturnedString || nSize == 0) return 0;
    const IniDocument document = loadDocument(lpFileName);
    if (!lpAppName) return copyList(document.sectionNames(), lpReturnedString, nSize);
    if (!lpKeyName) {
        const auto keys = document.keyNames(lpAppName);
        return copyList(keys ? *keys : std::vector<std::string>{}, lpReturnedString, nSize);
    }
    if (const auto value = document.value(lpAppName, lpKeyName)) return copyString(*value, lpReturnedString, nSize);
    // As on Windows, trailing blanks of the default are dropped.
    std::string_view fallback = lpDefault ? lpDefault : "";
    while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
    return copyString(fallback, lpReturnedString, nSize);
}

UINT GetPrivateProfileIntA(LPCSTR lpAppName, LPCSTR lpKeyName, int nDefault, LPCSTR lpFileName) {
    if (!lpAppName || !lpKeyName) return static_cast<UINT>(nDefault);
    const auto value = loadDocument(lpFileName).value(lpAppName, lpKeyName);
    if (!value || value->empty()) return static_cast<UINT>(nDefault);
    // A decimal number with an optional sign; only the leading digits count.
    size_t i = 0;
    const bool negative = (*value)[0] == '-';
    if ((*value)[0] == '-' || (*value)[0] == '+') ++i;
    UINT result = 0;
    for (; i < value->size() && (*value)[i] >= '0' && (*value)[i] <= '9'; ++i) {
        result = result * 10 + static_cast<UINT>((*value)[i] - '0');
    }
    return negative ? 0u - result : result;
}

BOOL WritePrivateProfileStringA(LPCSTR lpAppName, LPCSTR lpKeyName, LPCSTR lpString, LPCSTR lpFileName) {
    if (!lpAppName) {
        // With section, key and value all null Windows flushes its cache
        // (there is none here) and always answers FALSE.
        SetLastError(lpKeyName || lpString ? ERROR_INVALID_PARAMETER : ERROR_SUCCESS);
        return FALSE;
    }
    if (!lpFileName || !*lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::string path = profilePath(lpFileName);
    std::lock_guard<std::mutex> lock(writeMutex());
    const auto content = readFile(path);
    if (!content && errno != ENOENT) return qxposix::failWithErrno(path);
    IniDocument document = content ? IniDocument(*content) : IniDocument();
    bool changed;
    if (!lpKeyName) {
        changed = document.removeSection(lpAppName);
    } else if (!lpString) {
        changed = document.removeKey(lpAppName, lpKeyName);
    } else {
        changed = document.setValue(lpAppName, lpKeyName, lpString);
    }
    if (!changed) return TRUE;
    return replaceFile(path, document.text());
}

}  // extern "C"
