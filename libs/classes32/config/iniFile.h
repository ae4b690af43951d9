// Text-file plumbing shared by the ini store: whole-file reading with text-mode
// line splitting, atomic replacement, and the advisory write lock.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace qxini {

// Longest line piece, counting its line feed, of the section reader and of
// the writer and lister; a longer line is handled in pieces.
constexpr std::size_t readerLineLimit = 32767;
constexpr std::size_t writerLineLimit = 1023;

bool fileExists(const std::string& path);

// Reads the whole file in text mode (CR LF becomes LF); false when it cannot
// be opened or read to its end. lineEnd, when given, receives the file's own line end: that of
// its first line, or the platform's when it has no line break.
bool readTextFile(const std::string& path, std::string& text, std::string* lineEnd = nullptr);

// Calls visit for every line of text, each with its line feed if it has one;
// a line longer than limit is split into pieces of limit characters.
void forEachLine(std::string_view text, std::size_t limit, const std::function<void(std::string_view)>& visit);

// The line up to its first line feed, then up to its first carriage return.
std::string_view cutLineEnd(std::string_view line);

// Compares with A to Z folded to a to z, other bytes as they are.
bool equalsIgnoreCase(std::string_view a, std::string_view b);
char lowerByte(char c);

// Writes text (every LF becoming lineEnd) to path + ".tmp", flushes it to
// disk and renames it over path, so that readers see the old or the new file
// and a crash loses neither.
bool replaceFile(const std::string& path, const std::string& text, std::string_view lineEnd);

// Serialises the writers of one ini file across threads and processes: an
// exclusive lock on a lock file of that path in the user's temporary
// directory (the ini file itself is replaced by rename, so it cannot carry
// the lock). Readers take no lock.
class WriteLock {
public:
    explicit WriteLock(const std::string& iniPath);
    ~WriteLock();
    WriteLock(const WriteLock&) = delete;
    WriteLock& operator=(const WriteLock&) = delete;

private:
    std::unique_lock<std::mutex> threadGuard_;
    HANDLE lockFile_;
    OVERLAPPED region_{};
};

}  // namespace qxini
