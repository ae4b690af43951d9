// Every ini write under file-system faults: the disk full, an I/O error part
// way, a failed rename, a read-only directory. The old file stays whole,
// byte for byte, nothing is left beside it, and the operations with a result
// report the failure.
//
// Posix only: the faults are injected through our platform layer's table of
// file-system calls, which the Windows build does not have.
#ifndef _WIN32

#include "configTestSupport.h"
#include "qxConfig.h"
#include "FileFaults.h"

#include <fcntl.h>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using namespace qxtest::faults;

// The directory that the read-only fault covers.
std::string readOnlyDirectory;

bool inReadOnlyDirectory(const char* path) {
    return std::string(path).starts_with(readOnlyDirectory + "/");
}

// A read-only directory as root sees it not, but everyone else does: no
// entry may be made, renamed or removed in it.
int openReadOnly(const char* path, int flags, mode_t mode) {
    if ((flags & O_CREAT) && inReadOnlyDirectory(path)) return failWith(EACCES);
    return qxplatform::systemFileCalls().open(path, flags, mode);
}
int renameReadOnly(const char* from, const char* to, unsigned int flags) {
    if (inReadOnlyDirectory(from) || inReadOnlyDirectory(to)) return failWith(EACCES);
    return qxplatform::systemFileCalls().rename(from, to, flags);
}
int unlinkReadOnly(const char* path) {
    if (inReadOnlyDirectory(path)) return failWith(EACCES);
    return qxplatform::systemFileCalls().unlink(path);
}

// A fault holds while what install() returns lives; install() gets the
// host directory of the ini file.
struct Fault {
    const char* name;
    std::function<std::vector<std::shared_ptr<void>>(const std::filesystem::path&)> install;
    bool needsNonRoot = false;
};

// Really takes the write permission of the directory (root ignores it).
struct ChmodReadOnly {
    explicit ChmodReadOnly(std::filesystem::path directory) : directory_(std::move(directory)) {
        std::filesystem::permissions(directory_, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::remove);
    }
    ~ChmodReadOnly() {
        std::filesystem::permissions(directory_, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
    }
    std::filesystem::path directory_;
};

const std::vector<Fault>& faults() {
    static const std::vector<Fault> table{
        {"disk full", [](const auto&) { return std::vector{replace(&FileCalls::write, &writeNoSpace)}; }},
        {"EIO after a short write",
         [](const auto&) { return std::vector{replace(&FileCalls::write, &writeHalfThenEio)}; }},
        {"fsync EIO", [](const auto&) { return std::vector{replace(&FileCalls::fsync, &fsyncEio)}; }},
        {"rename denied", [](const auto&) { return std::vector{replace(&FileCalls::rename, &renameDenied)}; }},
        {"EIO part way through reading",
         [](const auto&) { return std::vector{replace(&FileCalls::read, &readSomeThenEio)}; }},
        {"read-only directory (injected)",
         [](const std::filesystem::path& directory) {
             readOnlyDirectory = directory.string();
             return std::vector{replace(&FileCalls::open, &openReadOnly),
                                replace(&FileCalls::rename, &renameReadOnly),
                                replace(&FileCalls::unlink, &unlinkReadOnly)};
         }},
        {"read-only directory (chmod)",
         [](const std::filesystem::path& directory) {
             return std::vector<std::shared_ptr<void>>{std::make_shared<ChmodReadOnly>(directory)};
         },
         true},
    };
    return table;
}

// ---------------------------------------------------------------- operations

// An ini write; returns its result where it has one.
struct Operation {
    const char* name;
    std::function<std::optional<bool>(const std::string& file)> run;
};

const std::vector<Operation>& operations() {
    static const std::vector<Operation> table{
        {"writeSection",
         [](const std::string& file) {
             qxConfig::writeSection(file, "Middle", {{"key", "new"}});
             return std::nullopt;
         }},
        {"deleteKeysWithPrefix",
         [](const std::string& file) {
             qxConfig::deleteKeysWithPrefix(file, "Middle", "prefix");
             return std::nullopt;
         }},
        {"static setString",
         [](const std::string& file) {
             qxConfig::setString(file, "Middle", "key", "new");
             return std::nullopt;
         }},
        {"deleteSection",
         [](const std::string& file) {
             qxConfig::deleteSection(file, "Middle");
             return std::nullopt;
         }},
        {"getInt writing its default",
         [](const std::string& file) {
             qxConfig::getInt(file, "Middle", "absent", 5, true);
             return std::nullopt;
         }},
        {"object setString",
         [](const std::string& file) { return std::optional(qxConfig(file, "Middle").setString("key", "new")); }},
        {"object deleteKey",
         [](const std::string& file) { return std::optional(qxConfig(file, "Middle").deleteKey("key")); }},
        {"object setStringEncrypted",
         [](const std::string& file) {
             return std::optional(qxConfig(file, "Middle").setStringEncrypted("", "key", "new"));
         }},
        {"object getString writing its default",
         [](const std::string& file) {
             qxConfig(file, "Middle").getString("absent", "five", true);
             return std::nullopt;
         }},
    };
    return table;
}

// ---------------------------------------------------------------- the walk

// Long enough that a short write or read leaves most of it out.
const std::string original =
    "[First]\r\na=1\r\nb=2\r\n\r\n[Middle]\r\nkey=old\r\nprefix_x=1\r\nother=3\r\n\r\n[Last]\r\nz=26\r\n"
    "; the last section's comment keeps the file past the first short read\r\n";

class IniFaultTest : public cfgtest::ConfigTest {
protected:
    IniFaultTest() : config(useSystemMode()), directory(cfgtest::hostOf(config)), path(directory / "test.ini") {}

    void writeOriginal() const { std::ofstream(path, std::ios::binary | std::ios::trunc) << original; }

    std::string bytes() const {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    std::vector<std::string> directoryEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(directory))
            names.push_back(entry.path().filename().string());
        return names;
    }

    const std::string config;
    const std::filesystem::path directory;
    const std::filesystem::path path;
};

TEST_F(IniFaultTest, EveryWriteUnderEveryFaultKeepsTheOldFileWholeAndReportsFailure) {
    const bool root = ::geteuid() == 0;
    for (const auto& operation : operations()) {
        SCOPED_TRACE(operation.name);
        writeOriginal();  // without a fault the operation does change the file
        EXPECT_NE(operation.run("test.ini").value_or(true), false);
        EXPECT_NE(bytes(), original);

        for (const auto& fault : faults()) {
            if (fault.needsNonRoot && root) continue;  // root writes in any directory: the injected row covers it
            SCOPED_TRACE(fault.name);
            writeOriginal();
            std::optional<bool> result;
            {
                const auto held = fault.install(directory);
                result = operation.run("test.ini");
            }
            EXPECT_EQ(result.value_or(false), false);
            EXPECT_EQ(bytes(), original);
            EXPECT_EQ(directoryEntries(), std::vector<std::string>{"test.ini"});  // no temporary file left
        }
    }
}

}  // namespace

#endif  // _WIN32
