// Configuration directory, system mode, developer flag and workstation number.
#include "configTestSupport.h"
#include "qxConfig.h"

namespace {

using cfgtest::ConfigTest;
using cfgtest::writeText;

using ConfigRootsTest = ConfigTest;

TEST_F(ConfigRootsTest, SystemModeBuildsPathsFromRootAndSystem) {
    writeConfigIni("d:\\elsewhere");
    root_.set("R");
    system_.set("S");
    EXPECT_TRUE(qxConfig::isSystemMode());
    EXPECT_EQ(qxConfig::systemRoot(), "R\\S");
    EXPECT_EQ(qxConfig::configPath(), "R\\S\\config");
    EXPECT_EQ(qxConfig::fullPath("orq.ini"), "R\\S\\config\\orq.ini");
    EXPECT_EQ(qxConfig::systemPath("a.ini"), "R\\S\\config\\system\\a.ini");
    EXPECT_FALSE(qxConfig::usesConfigIni());  // even though the ini names a directory
}

TEST_F(ConfigRootsTest, OutsideSystemModeTheConfigIniDecides) {
    writeConfigIni("d:\\zorv\\cfg");
    windir_.set("c:\\winnt");
    EXPECT_FALSE(qxConfig::isSystemMode());
    EXPECT_EQ(qxConfig::systemRoot(), "");
    EXPECT_TRUE(qxConfig::usesConfigIni());
    EXPECT_EQ(qxConfig::configPath(), "d:\\zorv\\cfg");
    EXPECT_EQ(qxConfig::fullPath("x.ini"), "d:\\zorv\\cfg\\x.ini");
    EXPECT_EQ(qxConfig::systemPath("x.ini"), "d:\\zorv\\cfg\\x.ini");
}

TEST_F(ConfigRootsTest, WithoutConfigIniWindirIsTheDirectory) {
    windir_.set("c:\\winnt");
    EXPECT_FALSE(qxConfig::usesConfigIni());
    EXPECT_EQ(qxConfig::configPath(), "c:\\winnt");
    // An empty ConfigPath counts as none.
    writeConfigIni("");
    EXPECT_FALSE(qxConfig::usesConfigIni());
    EXPECT_EQ(qxConfig::configPath(), "c:\\winnt");
    writeText(configIni, "[Other]\nConfigPath=d:\\x\n");
    EXPECT_EQ(qxConfig::configPath(), "c:\\winnt");
}

TEST_F(ConfigRootsTest, WithoutWindirTheWindowsDirectoryIsAssumed) {
    EXPECT_EQ(qxConfig::configPath(), "c:\\windows");
}

TEST_F(ConfigRootsTest, RootAloneIsNotSystemMode) {
    windir_.set("c:\\winnt");
    root_.set("R");
    EXPECT_FALSE(qxConfig::isSystemMode());
    EXPECT_EQ(qxConfig::configPath(), "c:\\winnt");
    root_.unset();
    system_.set("S");
    EXPECT_FALSE(qxConfig::isSystemMode());
}

#ifndef _WIN32
// Windows cannot hold an environment variable with an empty value.
TEST_F(ConfigRootsTest, EmptySystemCountsAsAbsentAndWorkstationVariableIsIgnored) {
    const std::string windows = useWindir();
    writeText(windows + "\\orq.ini", "[Network]\nWorkstation=4\n");
    root_.set("R");
    system_.set("");
    workstation_.set("17");
    EXPECT_FALSE(qxConfig::isSystemMode());
    EXPECT_EQ(qxConfig::configPath(), windows);
    EXPECT_EQ(qxConfig::workstation(), 4);
}

TEST_F(ConfigRootsTest, EmptyWorkstationVariableGivesZero) {
    const std::string config = useSystemMode();
    writeText(config + "\\orq.ini", "[Network]\nWorkstation=4\n");
    workstation_.set("");
    EXPECT_EQ(qxConfig::workstation(), 0);
}
#endif

TEST_F(ConfigRootsTest, ConfigurationIsReadAfreshAtEveryCall) {
    windir_.set("c:\\one");
    EXPECT_EQ(qxConfig::configPath(), "c:\\one");
    windir_.set("c:\\two");
    EXPECT_EQ(qxConfig::configPath(), "c:\\two");
    writeConfigIni("d:\\three");
    EXPECT_EQ(qxConfig::configPath(), "d:\\three");
    removeConfigIni();
    EXPECT_EQ(qxConfig::configPath(), "c:\\two");
}

TEST_F(ConfigRootsTest, DeveloperFlagIsTrueInAnyCaseOnly) {
    EXPECT_FALSE(qxConfig::isDeveloper());
    for (const char* on : {"true", "TRUE", "True"}) {
        developer_.set(on);
        EXPECT_TRUE(qxConfig::isDeveloper()) << on;
    }
    for (const char* off : {"1", "yes", "true ", "truex"}) {
        developer_.set(off);
        EXPECT_FALSE(qxConfig::isDeveloper()) << off;
    }
}

TEST_F(ConfigRootsTest, WorkstationVariableWinsInSystemModeWithoutReadingFiles) {
    const std::string config = useSystemMode();
    writeText(config + "\\config\\system\\zorv_system.ini", "[Network]\nWorkstation=12\n");
    writeText(config + "\\orq.ini", "[Network]\nWorkstation=4\n");
    workstation_.set("17");
    EXPECT_EQ(qxConfig::workstation(), 17);
    workstation_.set("  -3xyz");
    EXPECT_EQ(qxConfig::workstation(), -3);
    workstation_.set("abc");
    EXPECT_EQ(qxConfig::workstation(), 0);
}

TEST_F(ConfigRootsTest, SystemModeReadsTheDoubledConfigPathThenFallsThrough) {
    const std::string config = useSystemMode();
    const std::string systemIni = config + "\\config\\system\\zorv_system.ini";
    writeText(systemIni, "[Network]\nWorkstation=12\n");
    writeText(config + "\\orq.ini", "[Network]\nWorkstation=4\n");
    writeText(config + "\\marnoc.ini", "[System]\nWorkstation=3\n");
    EXPECT_EQ(qxConfig::workstation(), 12);

    writeText(systemIni, "[Network]\nWorkstation=0\n");  // 0 counts as missing
    EXPECT_EQ(qxConfig::workstation(), 4);
    // The single "config" level is not where the file is looked for.
    writeText(config + "\\system\\zorv_system.ini", "[Network]\nWorkstation=99\n");
    EXPECT_EQ(qxConfig::workstation(), 4);

    writeText(config + "\\orq.ini", "[Network]\nOther=1\n");
    EXPECT_EQ(qxConfig::workstation(), 3);
    writeText(config + "\\marnoc.ini", "[Network]\nWorkstation=8\n");  // wrong section for marnoc.ini
    EXPECT_EQ(qxConfig::workstation(), 0);
}

TEST_F(ConfigRootsTest, OutsideSystemModeWorkstationComesFromWindirFiles) {
    const std::string windows = useWindir();
    workstation_.set("17");  // ignored outside system mode
    EXPECT_EQ(qxConfig::workstation(), 0);
    writeText(windows + "\\marnoc.ini", "[System]\nWorkstation=3\n");
    EXPECT_EQ(qxConfig::workstation(), 3);
    writeText(windows + "\\orq.ini", "[Network]\nWorkstation=4\n");
    EXPECT_EQ(qxConfig::workstation(), 4);
}

TEST_F(ConfigRootsTest, ConfigIniDirectoryHoldsTheWorkstationFiles) {
    useWindir();
    const std::string directory = rootDir.win() + "\\cfg";
    writeConfigIni(directory);
    writeText(directory + "\\orq.ini", "[Network]\nWorkstation=21\n");
    EXPECT_EQ(qxConfig::workstation(), 21);
}

}  // namespace
