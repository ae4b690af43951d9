// The profile (ini file) functions.
#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <csignal>
#include <random>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using platformtest::TestDirectory;

class Profile : public ::testing::Test {
protected:
    std::string file(const std::string& name = "test.ini") const { return dir.windowsPath(name); }

    // GetPrivateProfileStringA into a generous buffer.
    std::string get(const char* section, const char* key, const char* fallback = "<default>",
                    const std::string& name = "test.ini") const {
        char buffer[1024];
        const DWORD length = GetPrivateProfileStringA(section, key, fallback, buffer, sizeof buffer, file(name).c_str());
        return std::string(buffer, length);
    }

    // A list (null section or key) as a vector of names.
    std::vector<std::string> list(const char* section) const {
        char buffer[1024];
        const DWORD length = GetPrivateProfileStringA(section, nullptr, "", buffer, sizeof buffer, file().c_str());
        std::vector<std::string> names;
        for (DWORD start = 0; start < length;) {
            names.emplace_back(buffer + start);
            start += static_cast<DWORD>(names.back().size()) + 1;
        }
        return names;
    }

    BOOL put(const char* section, const char* key, const char* value) const {
        return WritePrivateProfileStringA(section, key, value, file().c_str());
    }

    TestDirectory dir;
};

TEST_F(Profile, WritesAndReadsBackIgnoringCase) {
    EXPECT_TRUE(put("Network", "Workstation", "12"));
    EXPECT_TRUE(dir.exists("test.ini"));
    EXPECT_EQ(get("Network", "Workstation"), "12");
    EXPECT_EQ(get("NETWORK", "workSTATION"), "12");
    EXPECT_EQ(GetPrivateProfileIntA("network", "WORKSTATION", 0, file().c_str()), 12u);

    EXPECT_TRUE(put("NetWork", "WORKSTATION", "13"));  // updates the same key
    EXPECT_EQ(get("Network", "Workstation"), "13");
    EXPECT_EQ(list(nullptr), std::vector<std::string>{"Network"});
    EXPECT_EQ(list("Network"), std::vector<std::string>{"Workstation"});
}

TEST_F(Profile, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(get("Any", "Key", "fallback", "missing.ini"), "fallback");
    dir.writeText("test.ini", "[Present]\r\nkey=value\r\n");
    EXPECT_EQ(get("Absent", "key", "fallback"), "fallback");
    EXPECT_EQ(get("Present", "other", "fallback"), "fallback");
    EXPECT_EQ(get("Present", "other", nullptr), "");
    EXPECT_EQ(get("Present", "other", "trailing  "), "trailing");  // trailing blanks of the default are dropped
    EXPECT_EQ(GetPrivateProfileIntA("Present", "other", 77, file().c_str()), 77u);
    EXPECT_EQ(GetPrivateProfileIntA("Present", "other", 7, file("missing.ini").c_str()), 7u);
}

TEST_F(Profile, IntegersTakeTheLeadingDecimalDigits) {
    dir.writeText("test.ini", "[N]\r\nplain=42\r\nsigned=-5\r\nplus=+8\r\ntail=12abc\r\nword=abc\r\nempty=\r\n");
    const auto number = [&](const char* key) { return GetPrivateProfileIntA("N", key, 99, file().c_str()); };
    EXPECT_EQ(number("plain"), 42u);
    EXPECT_EQ(number("signed"), static_cast<UINT>(-5));
    EXPECT_EQ(number("plus"), 8u);
    EXPECT_EQ(number("tail"), 12u);
    EXPECT_EQ(number("word"), 0u);
    EXPECT_EQ(number("empty"), 99u);
    EXPECT_EQ(number("missing"), 99u);
}

TEST_F(Profile, NullValueDeletesKeyAndNullKeyDeletesSection) {
    put("A", "one", "1");
    put("A", "two", "2");
    put("B", "three", "3");

    EXPECT_TRUE(put("A", "one", nullptr));
    EXPECT_EQ(get("A", "one"), "<default>");
    EXPECT_EQ(get("A", "two"), "2");
    EXPECT_TRUE(put("A", "never-there", nullptr));

    EXPECT_TRUE(put("a", nullptr, nullptr));
    EXPECT_EQ(get("A", "two"), "<default>");
    EXPECT_EQ(list(nullptr), std::vector<std::string>{"B"});
    EXPECT_EQ(get("B", "three"), "3");

    // All three null flushes the cache, and the result is always FALSE.
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, nullptr, nullptr, file().c_str()));
}

TEST_F(Profile, ListsSectionAndKeyNames) {
    put("First", "alpha", "1");
    put("First", "beta", "2");
    put("Second", "gamma", "3");

    char buffer[64];
    DWORD length = GetPrivateProfileStringA(nullptr, nullptr, "", buffer, sizeof buffer, file().c_str());
    EXPECT_EQ(length, 13u);
    EXPECT_EQ(std::string(buffer, length + 1), std::string("First\0Second\0\0", 14));

    length = GetPrivateProfileStringA("first", nullptr, "", buffer, sizeof buffer, file().c_str());
    EXPECT_EQ(std::string(buffer, length + 1), std::string("alpha\0beta\0\0", 12));

    length = GetPrivateProfileStringA("Absent", nullptr, "", buffer, sizeof buffer, file().c_str());
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer[0], '\0');
}

TEST_F(Profile, TruncatesValuesAndLists) {
    put("Section", "key", "abcdef");
    put("Section", "other", "x");

    char buffer[16];
    EXPECT_EQ(GetPrivateProfileStringA("Section", "key", "", buffer, 4, file().c_str()), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(GetPrivateProfileStringA("Section", "key", "", buffer, 7, file().c_str()), 6u);
    EXPECT_STREQ(buffer, "abcdef");

    // "key\0other\0\0" needs 11 bytes: with 8 the list is cut to 6 characters
    // and ended by two NULs.
    EXPECT_EQ(GetPrivateProfileStringA("Section", nullptr, "", buffer, 8, file().c_str()), 6u);
    EXPECT_STREQ(buffer, "key");
    EXPECT_EQ(buffer[6], '\0');
#ifndef _WIN32
    // The second terminator is documented, but not every implementation of
    // the ANSI function writes it.
    EXPECT_EQ(buffer[7], '\0');
#endif
    EXPECT_EQ(GetPrivateProfileStringA("Section", nullptr, "", buffer, 12, file().c_str()), 10u);
#ifndef _WIN32
    // A buffer of exactly the list's size holds it; Wine still cuts it.
    EXPECT_EQ(GetPrivateProfileStringA("Section", nullptr, "", buffer, 11, file().c_str()), 10u);
#endif
}

TEST_F(Profile, WritingIntoAMissingDirectoryFails) {
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", file("no-such-dir\\test.ini").c_str()));
    EXPECT_FALSE(dir.exists("no-such-dir"));
}

TEST_F(Profile, ConcurrentWritersOfOneFileAllLand) {
    constexpr int kThreads = 4, kKeys = 25;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([this, t] {
            for (int k = 0; k < kKeys; ++k) {
                const std::string key = "t" + std::to_string(t) + "k" + std::to_string(k);
                put("Shared", key.c_str(), std::to_string(k).c_str());
            }
        });
    }
    for (auto& writer : writers) writer.join();
    EXPECT_EQ(list("Shared").size(), static_cast<size_t>(kThreads * kKeys));
    EXPECT_EQ(get("Shared", "t3k24"), "24");
}

// Blank trimming, quotes and comments are our reading of the Windows rules;
// Windows versions differ in the details, so these run on our backend only.
#ifndef _WIN32

TEST_F(Profile, TrimsBlanksAndStripsMatchingQuotes) {
    dir.writeText("test.ini",
                  "  [ Spaced ]  \n"
                  "  key one  =  value with blanks  \n"
                  "double=\"quoted\"\n"
                  "single=' kept blanks '\n"
                  "mismatched=\"open\n"
                  "inner=a \"b\" c\n"
                  "equals=a=b\n");
    EXPECT_EQ(get("Spaced", "key one"), "value with blanks");
    EXPECT_EQ(get("spaced", "  KEY ONE "), "value with blanks");
    EXPECT_EQ(get("Spaced", "double"), "quoted");
    EXPECT_EQ(get("Spaced", "single"), " kept blanks ");
    EXPECT_EQ(get("Spaced", "mismatched"), "\"open");
    EXPECT_EQ(get("Spaced", "inner"), "a \"b\" c");
    EXPECT_EQ(get("Spaced", "equals"), "a=b");
}

TEST_F(Profile, CommentsAreNeitherKeysNorLost) {
    dir.writeText("test.ini", "; head comment\n[S]\n; note=1\nkey=2\n  ;indented=3\n");
    EXPECT_EQ(get("S", "; note"), "<default>");
    EXPECT_EQ(list("S"), std::vector<std::string>{"key"});
    put("S", "key", "4");
    EXPECT_EQ(dir.readText("test.ini"), "; head comment\n[S]\n; note=1\nkey=4\n  ;indented=3\n");
}

TEST_F(Profile, EditsKeepTheRestOfTheFile) {
    dir.writeText("test.ini",
                  "; settings\r\n"
                  "[One]\r\n"
                  "A = 1\r\n"
                  "b=2\r\n"
                  "\r\n"
                  "[Two]\r\n"
                  "c=3\r\n");
    put("one", "a", "10");     // in place, keeping the key's spelling
    put("One", "New", "n");    // at the end of its section, before the blank line
    put("Three", "d", "4");    // a new section at the end of the file
    EXPECT_EQ(dir.readText("test.ini"),
              "; settings\r\n"
              "[One]\r\n"
              "A=10\r\n"
              "b=2\r\n"
              "New=n\r\n"
              "\r\n"
              "[Two]\r\n"
              "c=3\r\n"
              "[Three]\r\n"
              "d=4\r\n");

    put("One", nullptr, nullptr);
    EXPECT_EQ(dir.readText("test.ini"), "; settings\r\n[Two]\r\nc=3\r\n[Three]\r\nd=4\r\n");
    put("Two", "c", nullptr);
    EXPECT_EQ(dir.readText("test.ini"), "; settings\r\n[Two]\r\n[Three]\r\nd=4\r\n");
}

TEST_F(Profile, KeepsTheFilesLineEnds) {
    put("New", "key", "value");
    EXPECT_EQ(dir.readText("test.ini"), "[New]\r\nkey=value\r\n");

    dir.writeText("unix.ini", "[S]\nx=1");
    WritePrivateProfileStringA("S", "y", "2", file("unix.ini").c_str());
    EXPECT_EQ(dir.readText("unix.ini"), "[S]\nx=1\ny=2\n");
}

TEST_F(Profile, DeletingFromAMissingFileCreatesNothing) {
    EXPECT_TRUE(put("S", "k", nullptr));
    EXPECT_TRUE(put("S", nullptr, nullptr));
    EXPECT_FALSE(dir.exists("test.ini"));
}

TEST_F(Profile, DuplicateSectionsAndKeysUseTheFirst) {
    dir.writeText("test.ini", "[S]\nk=first\nk=second\n[T]\n[s]\nk=third\nj=4\n");
    EXPECT_EQ(get("S", "k"), "first");
    EXPECT_EQ(get("S", "j"), "<default>");
    EXPECT_EQ(list(nullptr), (std::vector<std::string>{"S", "T"}));
}

TEST_F(Profile, BareFileNamesLieInTheWindowsDirectory) {
    std::filesystem::create_directories(dir.hostPath("windows"));
    platformtest::ScopedEnvironment windir("WINDIR", dir.windowsPath("windows"));
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "v", "bare.ini"));
    EXPECT_EQ(dir.readText("windows\\bare.ini"), "[S]\r\nk=v\r\n");
    char buffer[16];
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", buffer, sizeof buffer, "bare.ini"), 1u);
}

TEST_F(Profile, SmallListBuffersHoldOnlyTerminators) {
    put("S", "k", "v");
    char buffer[4] = {'x', 'x', 'x', 'x'};
    EXPECT_EQ(GetPrivateProfileStringA(nullptr, nullptr, "", buffer, 2, file().c_str()), 0u);
    EXPECT_EQ(buffer[0], '\0');
    EXPECT_EQ(buffer[1], '\0');
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "", buffer, 1, file().c_str()), 0u);
    EXPECT_EQ(buffer[0], '\0');
}

// A writer killed at any moment leaves the old or the new file, whole: the
// file is replaced by renaming a flushed temporary file. Needs fork.
TEST_F(Profile, AWriterKilledAtAnyPointLeavesAWholeFile) {
    constexpr int kSections = 8, kKeys = 8;
    for (int s = 0; s < kSections; ++s) {
        for (int k = 0; k < kKeys; ++k) {
            put(("s" + std::to_string(s)).c_str(), ("k" + std::to_string(k)).c_str(), "initial");
        }
    }
    const std::string path = file();
    std::mt19937 random(12345);
    for (int round = 0; round < 12; ++round) {
        int progress[2];
        ASSERT_EQ(pipe(progress), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(progress[0]);
            const std::string padding(200, 'x');
            for (unsigned n = 0;; ++n) {
                const std::string section = "s" + std::to_string(n % kSections);
                const std::string key = "k" + std::to_string(n / kSections % kKeys);
                const std::string value = "v" + std::to_string(n) + padding;
                WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), path.c_str());
                if (write(progress[1], "+", 1) != 1) _exit(1);
            }
        }
        close(progress[1]);
        const int writesBeforeKill = 1 + static_cast<int>(random() % 40);
        char mark;
        for (int i = 0; i < writesBeforeKill && read(progress[0], &mark, 1) == 1; ++i) {
        }
        // Let the child into its next write for a random while, then kill it.
        volatile unsigned spin = random() % 200000;
        while (spin > 0) spin = spin - 1;
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        close(progress[0]);

        ASSERT_EQ(list(nullptr).size(), static_cast<size_t>(kSections)) << "round " << round;
        for (int s = 0; s < kSections; ++s) {
            const std::string section = "s" + std::to_string(s);
            ASSERT_EQ(list(section.c_str()).size(), static_cast<size_t>(kKeys)) << "round " << round;
            for (int k = 0; k < kKeys; ++k) {
                const std::string value = get(section.c_str(), ("k" + std::to_string(k)).c_str());
                ASSERT_TRUE(value == "initial" || (value.size() > 200 && value[0] == 'v')) << value;
            }
        }
    }
}

#endif  // _WIN32

}  // namespace
