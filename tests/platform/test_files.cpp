// File functions, directories and advisory locks.
#include "platform_test_support.h"

#include <direct.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using platformtest::TestDirectory;

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

class Files : public ::testing::Test {
protected:
    HANDLE open(const std::string& name, DWORD access, DWORD disposition) const {
        return CreateFileA(dir.windowsPath(name).c_str(), access, kShareAll, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }

    static std::string readAll(HANDLE file) {
        std::string text;
        char block[64];
        DWORD count = 0;
        while (ReadFile(file, block, sizeof block, &count, nullptr) && count > 0) text.append(block, count);
        return text;
    }

    static bool writeAll(HANDLE file, const std::string& text) {
        DWORD count = 0;
        return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &count, nullptr) && count == text.size();
    }

    TestDirectory dir;
};

TEST_F(Files, CreatesWritesAndReadsAFile) {
    HANDLE file = open("data.bin", GENERIC_READ | GENERIC_WRITE, CREATE_NEW);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(writeAll(file, std::string("one\0two", 7)));
    EXPECT_TRUE(FlushFileBuffers(file));
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_EQ(dir.readText("data.bin"), std::string("one\0two", 7));

    file = open("data.bin", GENERIC_READ, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(readAll(file), std::string("one\0two", 7));
    DWORD count = 99;
    char byte;
    EXPECT_TRUE(ReadFile(file, &byte, 1, &count, nullptr));  // at the end: success, nothing read
    EXPECT_EQ(count, 0u);

    OVERLAPPED at{};
    at.Offset = 4;
    EXPECT_TRUE(ReadFile(file, &byte, 1, &count, &at));  // at an offset
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(byte, 't');
    at.Offset = 7;
    SetLastError(0);
    EXPECT_FALSE(ReadFile(file, &byte, 1, &count, &at));  // at an offset past the end: an error
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_HANDLE_EOF));
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(Files, DispositionsAndTheirErrors) {
    SetLastError(0);
    EXPECT_EQ(open("absent.txt", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(open("no-dir\\absent.txt", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(open("no-dir\\new.txt", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(open("absent.txt", GENERIC_WRITE, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    dir.writeText("file.txt", "contents");
    EXPECT_EQ(open("file.txt", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    HANDLE file = open("file.txt", GENERIC_READ, OPEN_ALWAYS);  // existing: kept, and said so
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(readAll(file), "contents");
    CloseHandle(file);

    file = open("fresh.txt", GENERIC_WRITE, OPEN_ALWAYS);  // new: created
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SUCCESS));
    CloseHandle(file);
    EXPECT_TRUE(dir.exists("fresh.txt"));

    file = open("file.txt", GENERIC_WRITE, CREATE_ALWAYS);  // existing: emptied
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    CloseHandle(file);
    EXPECT_EQ(dir.readText("file.txt"), "");

    dir.writeText("file.txt", "contents");
    file = open("file.txt", GENERIC_WRITE, TRUNCATE_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_EQ(dir.readText("file.txt"), "");
}

TEST_F(Files, InvalidHandlesAreRefused) {
    char byte;
    DWORD count;
    SetLastError(0);
    EXPECT_FALSE(ReadFile(INVALID_HANDLE_VALUE, &byte, 1, &count, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    SetLastError(0);
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    // INVALID_HANDLE_VALUE is also the pseudo handle of the current process,
    // which closing leaves alone.
    EXPECT_TRUE(CloseHandle(INVALID_HANDLE_VALUE));
}

TEST_F(Files, DeletesAndMovesFiles) {
    dir.writeText("a.txt", "A");
    dir.writeText("b.txt", "B");

    EXPECT_FALSE(MoveFileExA(dir.windowsPath("a.txt").c_str(), dir.windowsPath("b.txt").c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(dir.readText("b.txt"), "B");

    EXPECT_TRUE(MoveFileExA(dir.windowsPath("a.txt").c_str(), dir.windowsPath("b.txt").c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
    EXPECT_FALSE(dir.exists("a.txt"));
    EXPECT_EQ(dir.readText("b.txt"), "A");

    EXPECT_TRUE(MoveFileExA(dir.windowsPath("b.txt").c_str(), dir.windowsPath("c.txt").c_str(), 0));
    EXPECT_EQ(dir.readText("c.txt"), "A");
    EXPECT_FALSE(MoveFileExA(dir.windowsPath("b.txt").c_str(), dir.windowsPath("d.txt").c_str(), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    EXPECT_TRUE(DeleteFileA(dir.windowsPath("c.txt").c_str()));
    EXPECT_FALSE(dir.exists("c.txt"));
    EXPECT_FALSE(DeleteFileA(dir.windowsPath("c.txt").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Files, CreatesRemovesAndInspectsDirectories) {
    const std::string sub = dir.windowsPath("sub");
    EXPECT_EQ(GetFileAttributesA(sub.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    EXPECT_TRUE(CreateDirectoryA(sub.c_str(), nullptr));
    EXPECT_NE(GetFileAttributesA(sub.c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_FALSE(CreateDirectoryA(sub.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryA(dir.windowsPath("missing\\deeper").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));

    dir.writeText("sub\\file.txt", "x");
    const DWORD fileAttributes = GetFileAttributesA(dir.windowsPath("sub\\file.txt").c_str());
    EXPECT_NE(fileAttributes, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(fileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(CreateFileA(sub.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    EXPECT_FALSE(RemoveDirectoryA(sub.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
    EXPECT_TRUE(DeleteFileA(dir.windowsPath("sub\\file.txt").c_str()));
    EXPECT_TRUE(RemoveDirectoryA(sub.c_str()));
    EXPECT_FALSE(dir.exists("sub"));
}

TEST_F(Files, MkdirCreatesOneLevel) {
    EXPECT_EQ(_mkdir(dir.windowsPath("logs").c_str()), 0);
    EXPECT_TRUE(dir.exists("logs"));
    errno = 0;
    EXPECT_EQ(_mkdir(dir.windowsPath("logs").c_str()), -1);
    EXPECT_EQ(errno, EEXIST);
    errno = 0;
    EXPECT_EQ(_mkdir(dir.windowsPath("absent\\logs").c_str()), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(dir.exists("absent"));
}

// ---------------------------------------------------------------- locks

class Locks : public Files {
protected:
    HANDLE openLockFile() const { return open("lock.dat", GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS); }

    static BOOL lock(HANDLE file, DWORD flags) {
        OVERLAPPED at{};
        return LockFileEx(file, flags, 0, 1, 0, &at);
    }
    static BOOL unlock(HANDLE file) {
        OVERLAPPED at{};
        return UnlockFileEx(file, 0, 1, 0, &at);
    }

    // Adds one to the counter at the start of the file under the lock: read,
    // then write back, at offset 0 through OVERLAPPED. Always unlocks, so a
    // failure cannot hang the other workers.
    static bool increment(HANDLE file) {
        if (!lock(file, LOCKFILE_EXCLUSIVE_LOCK)) return false;
        OVERLAPPED at{};
        unsigned value = 0;
        DWORD count = 0;
        bool done = ReadFile(file, &value, sizeof value, &count, &at) && count == sizeof value;
        ++value;
        at = OVERLAPPED{};
        done = done && WriteFile(file, &value, sizeof value, &count, &at) && count == sizeof value;
        return unlock(file) && done;
    }

    void startCounter() const { dir.writeText("lock.dat", std::string(sizeof(unsigned), '\0')); }

    unsigned counter() const {
        const std::string text = dir.readText("lock.dat");
        unsigned value = 0;
        if (text.size() >= sizeof value) std::memcpy(&value, text.data(), sizeof value);
        return value;
    }
};

TEST_F(Locks, ExclusiveLocksExcludeOtherHandles) {
    HANDLE first = openLockFile();
    HANDLE second = openLockFile();
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE);

    EXPECT_TRUE(lock(first, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY));
    EXPECT_FALSE(lock(second, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOCK_VIOLATION));
    EXPECT_FALSE(lock(second, LOCKFILE_FAIL_IMMEDIATELY));  // shared is refused too
    EXPECT_TRUE(unlock(first));
    EXPECT_TRUE(lock(second, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY));
    EXPECT_TRUE(unlock(second));

    EXPECT_TRUE(CloseHandle(first));
    EXPECT_TRUE(CloseHandle(second));
}

TEST_F(Locks, SharedLocksCoexistButExcludeExclusive) {
    HANDLE first = openLockFile();
    HANDLE second = openLockFile();
    HANDLE third = openLockFile();
    EXPECT_TRUE(lock(first, LOCKFILE_FAIL_IMMEDIATELY));
    EXPECT_TRUE(lock(second, LOCKFILE_FAIL_IMMEDIATELY));
    EXPECT_FALSE(lock(third, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY));
    EXPECT_TRUE(unlock(first));
    EXPECT_TRUE(unlock(second));
    EXPECT_TRUE(lock(third, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY));
    EXPECT_TRUE(unlock(third));
    for (HANDLE file : {first, second, third}) CloseHandle(file);
}

TEST_F(Locks, BlockingLocksSerialiseThreads) {
    constexpr int kThreads = 4, kIncrements = 200;
    startCounter();
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([this] {
            HANDLE file = openLockFile();
            ASSERT_NE(file, INVALID_HANDLE_VALUE);
            for (int i = 0; i < kIncrements; ++i) EXPECT_TRUE(increment(file));
            CloseHandle(file);
        });
    }
    for (auto& worker : workers) worker.join();
    EXPECT_EQ(counter(), static_cast<unsigned>(kThreads * kIncrements));
}

#ifndef _WIN32  // needs fork
TEST_F(Locks, BlockingLocksSerialiseProcesses) {
    constexpr int kProcesses = 3, kIncrements = 200;
    startCounter();
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            HANDLE file = openLockFile();
            bool ok = file != INVALID_HANDLE_VALUE;
            for (int i = 0; i < kIncrements; ++i) ok = increment(file) && ok;
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    HANDLE file = openLockFile();  // the parent takes part too
    for (int i = 0; i < kIncrements; ++i) EXPECT_TRUE(increment(file));
    CloseHandle(file);
    for (pid_t child : children) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    EXPECT_EQ(counter(), static_cast<unsigned>((kProcesses + 1) * kIncrements));
}

TEST_F(Locks, ALockHeldInAnotherProcessIsRefused) {
    int ready[2], release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        HANDLE file = openLockFile();
        const bool locked = lock(file, LOCKFILE_EXCLUSIVE_LOCK);
        char mark = locked ? '+' : '-';
        if (write(ready[1], &mark, 1) != 1 || read(release[0], &mark, 1) != 1) _exit(1);
        _exit(0);  // ending the process releases the lock
    }
    char mark = 0;
    ASSERT_EQ(read(ready[0], &mark, 1), 1);
    ASSERT_EQ(mark, '+');
    HANDLE file = openLockFile();
    EXPECT_FALSE(lock(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_LOCK_VIOLATION));
    ASSERT_EQ(write(release[1], "go", 1), 1);
    EXPECT_TRUE(lock(file, LOCKFILE_EXCLUSIVE_LOCK));  // blocks until the child has gone
    EXPECT_TRUE(unlock(file));
    CloseHandle(file);
    waitpid(child, nullptr, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
}
#endif

}  // namespace
