// Concurrent writers and crashing writers of one ini file.
#include "configTestSupport.h"
#include "qxConfig.h"

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

using cfgtest::writeText;
using Map = qxConfig::SectionMap;

constexpr int rounds = 40;
const char* const fileName = "shared.ini";

class IniConcurrencyTest : public cfgtest::ConfigTest {
protected:
    IniConcurrencyTest() : config(useSystemMode()), path(config + "\\" + fileName) {
        writeText(path, "[Base]\nx=1\n");
    }

    static std::string key(int i) { return "k" + std::to_string(i); }

    // Writes the section's keys in several ways, each round adding one key.
    // The whole-section writer keeps its section in memory: what it must not
    // lose is the other writers' sections, which it reads from the file under
    // the write lock. (Reading the section back outside the lock would race
    // with profile writes that, on Windows, rewrite the file in place.)
    static void writeRounds(const std::string& section, int style) {
        Map own;
        for (int i = 0; i < rounds; ++i) {
            switch (style) {
            case 0:
                own[key(i)] = std::to_string(i);
                qxConfig::writeSection(fileName, section, own);
                break;
            case 1:
                qxConfig::setString(fileName, section, key(i), std::to_string(i));
                break;
            default:
                // A scratch key that deleteKeysWithPrefix removes again.
                qxConfig::setString(fileName, section, "Tmp" + std::to_string(i), "x");
                qxConfig::setString(fileName, section, key(i), std::to_string(i));
                qxConfig::deleteKeysWithPrefix(fileName, section, "tMP");
                break;
            }
        }
    }

    void expectComplete(const std::string& section) {
        Map map;
        qxConfig::readSection(fileName, section, map);
        Map expected;
        for (int i = 0; i < rounds; ++i) expected[key(i)] = std::to_string(i);
        EXPECT_EQ(map, expected) << section;
    }

    const std::string config;
    const std::string path;
};

TEST_F(IniConcurrencyTest, ThreadsWritingDifferentSectionsLoseNothing) {
    std::vector<std::thread> writers;
    writers.emplace_back([] { writeRounds("Whole", 0); });
    writers.emplace_back([] { writeRounds("Whole2", 0); });
    writers.emplace_back([] { writeRounds("Keys", 1); });
    writers.emplace_back([] { writeRounds("Pruned", 2); });
    for (auto& writer : writers) writer.join();
    for (const char* section : {"Whole", "Whole2", "Keys", "Pruned"}) expectComplete(section);
    Map base;
    qxConfig::readSection(fileName, "Base", base);
    EXPECT_EQ(base, (Map{{"x", "1"}}));
}

#ifndef _WIN32
// The process tests fork, which only POSIX hosts offer.

TEST_F(IniConcurrencyTest, ProcessesWritingDifferentSectionsLoseNothing) {
    const std::vector<std::pair<std::string, int>> writers{{"Whole", 0}, {"Keys", 1}, {"Pruned", 2}};
    std::vector<pid_t> children;
    for (const auto& [section, style] : writers) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            writeRounds(section, style);
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (const auto& writer : writers) expectComplete(writer.first);
}

// Two versions of one section, large enough that a write takes a while.
Map sectionVersion(const std::string& tag) {
    Map map;
    for (int i = 0; i < 300; ++i) map["key" + std::to_string(i)] = tag + std::string(40, 'v') + std::to_string(i);
    return map;
}

TEST_F(IniConcurrencyTest, AWriterKilledAnywhereLeavesTheOldOrTheNewFile) {
    const Map oldVersion = sectionVersion("old");
    const Map newVersion = sectionVersion("new");
    writeText(path, "[Before]\nb=1\n\n[Data]\n\n[After]\na=2\n");
    qxConfig::saveSection(path, "Data", oldVersion);
    const std::string untouchedBefore = "[Before]\nb=1\n\n";

    std::mt19937 rng(12345);
    for (int round = 0; round < 25; ++round) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(ready[0]);
            for (unsigned i = 0;; ++i) {
                qxConfig::saveSection(path, "Data", i % 2 ? oldVersion : newVersion);
                if (i == 0 && write(ready[1], "x", 1) != 1) _exit(1);
            }
        }
        close(ready[1]);
        char byte = 0;
        ASSERT_EQ(read(ready[0], &byte, 1), 1);
        close(ready[0]);

        // Readers meanwhile always find one whole version.
        const int reads = static_cast<int>(rng() % 8);
        for (int r = 0; r < reads; ++r) {
            Map seen;
            qxConfig::loadSection(path, "Data", seen);
            EXPECT_TRUE(seen == oldVersion || seen == newVersion) << "round " << round << " read " << r;
        }
        // Kill at a random point of the writer's loop.
        const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(rng() % 3000);
        while (std::chrono::steady_clock::now() < until) {
        }
        ASSERT_EQ(kill(child, SIGKILL), 0);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);

        Map data, before, after;
        qxConfig::loadSection(path, "Data", data);
        qxConfig::loadSection(path, "Before", before);
        qxConfig::loadSection(path, "After", after);
        EXPECT_TRUE(data == oldVersion || data == newVersion) << "round " << round;
        EXPECT_EQ(before, (Map{{"b", "1"}})) << "round " << round;
        EXPECT_EQ(after, (Map{{"a", "2"}})) << "round " << round;
        EXPECT_EQ(cfgtest::readText(path).rfind(untouchedBefore, 0), 0u) << "round " << round;
    }
    // The dead writer's lock is gone: another write goes through.
    qxConfig::saveSection(path, "Data", Map{{"final", "1"}});
    Map data;
    qxConfig::loadSection(path, "Data", data);
    EXPECT_EQ(data, (Map{{"final", "1"}}));
}
#endif

}  // namespace
