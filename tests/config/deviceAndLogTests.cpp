// Per-device files and log paths.
#include "configTestSupport.h"
#include "qxConfig.h"

#include <string>

namespace {

using cfgtest::exists;
using cfgtest::readText;
using cfgtest::writeText;
using Map = qxConfig::SectionMap;
using List = qxConfig::SectionList;

using DeviceFileTest = cfgtest::ConfigTest;

TEST_F(DeviceFileTest, SystemModeNamesDeviceFilesInTheSystemDirectory) {
    root_.set("R");
    system_.set("S");
    EXPECT_EQ(qxConfig::deviceFilePath(5), "R\\S\\config\\system\\dev_005.ini");
    EXPECT_EQ(qxConfig::deviceFilePath(1000), "R\\S\\config\\system\\dev_1000.ini");
}

TEST_F(DeviceFileTest, OtherwiseDeviceFilesLieInTheConfigurationDirectory) {
    windir_.set("D");
    EXPECT_EQ(qxConfig::deviceFilePath(5), "D\\dev_005.ini");
    EXPECT_EQ(qxConfig::deviceFilePath(0), "D\\dev_000.ini");
    EXPECT_EQ(qxConfig::deviceFilePath(7), "D\\dev_007.ini");
    EXPECT_EQ(qxConfig::deviceFilePath(1000), "D\\dev_1000.ini");
    EXPECT_EQ(qxConfig::deviceFilePath(1234), "D\\dev_1234.ini");
    EXPECT_EQ(qxConfig::deviceFilePath(-5), "D\\dev_-05.ini");  // not validated
}

TEST_F(DeviceFileTest, LongPathsAreComposedWhole) {
    const std::string longRoot = "R" + std::string(300, 'r');
    root_.set(longRoot);
    system_.set("S");
    EXPECT_EQ(qxConfig::deviceFilePath(5), longRoot + "\\S\\config\\system\\dev_005.ini");
    EXPECT_EQ(qxConfig::logFilePath("A", std::string(300, 'f')), longRoot + "\\S\\logs\\A\\" + std::string(300, 'f'));
    windir_.set(longRoot);
    system_.unset();
    EXPECT_EQ(qxConfig::deviceFilePath(5), longRoot + "\\dev_005.ini");
}

TEST_F(DeviceFileTest, OperationsByDeviceNumberUseTheDeviceFile) {
    const std::string config = useSystemMode();
    const std::string file = config + "\\system\\dev_005.ini";
    writeText(file, "[Router]\nsize=16\n[Names]\n");
    EXPECT_EQ(qxConfig::getInt(5, "Router", "size", 0, false), 16);
    EXPECT_EQ(qxConfig::getString(5, "Router", "label", "none", true), "none");
    qxConfig::setString(5, "Router", "mode", "fast");
    EXPECT_EQ(qxConfig::getString(5, "router", "MODE", "", false), "fast");
    EXPECT_EQ(qxConfig::getInt(5, "Router", "inputs", 8, true), 8);

    Map map;
    qxConfig::readDeviceSection(5, "Router", map);
    EXPECT_EQ(map, (Map{{"inputs", "8"}, {"label", "none"}, {"mode", "fast"}, {"size", "16"}}));
    qxConfig::writeDeviceSection(5, "Names", Map{{"1", "cam one"}});
    List list;
    qxConfig::listDeviceSections(5, list);
    EXPECT_EQ(list, (List{"Router", "Names"}));

    qxConfig object(5, "names");
    EXPECT_EQ(object.getFileName(), file);
    EXPECT_EQ(object.getString("1", "", false), "cam one");
}

TEST_F(DeviceFileTest, AMissingDeviceFileGivesDefaultsAndStaysMissing) {
    const std::string windows = useWindir();
    EXPECT_EQ(qxConfig::getInt(9, "Router", "size", 3, false), 3);
    Map map;
    qxConfig::readDeviceSection(9, "Router", map);
    qxConfig::writeDeviceSection(9, "Router", Map{{"a", "b"}});
    EXPECT_TRUE(map.empty());
    EXPECT_FALSE(exists(windows + "\\dev_009.ini"));
}

using LogPathTest = cfgtest::ConfigTest;

TEST_F(LogPathTest, SystemModeCreatesTheLogDirectoryBelowExistingLogs) {
    useSystemMode();
    const std::string logs = rootDir.win() + "\\S\\logs";
    cfgtest::makeDirectory(logs);
    EXPECT_EQ(qxConfig::logFilePath("A", "B"), logs + "\\A\\B");
    EXPECT_TRUE(std::filesystem::is_directory(cfgtest::hostOf(logs + "\\A")));
    EXPECT_FALSE(exists(logs + "\\A\\B"));  // the file itself is not created
    // Again, with the directory present: same path, no complaint.
    EXPECT_EQ(qxConfig::logFilePath("A", "C"), logs + "\\A\\C");
}

TEST_F(LogPathTest, SystemModeWithoutLogsCreatesNothing) {
    useSystemMode();
    const std::string logs = rootDir.win() + "\\S\\logs";
    EXPECT_EQ(qxConfig::logFilePath("A", "B"), logs + "\\A\\B");
    EXPECT_FALSE(exists(logs));
}

TEST_F(LogPathTest, OutsideSystemModeLogsGoBelowZorvlogsAndNothingIsCreated) {
    useWindir();
    EXPECT_EQ(qxConfig::logFilePath("A", "B"), "c:\\zorvlogs\\A\\B");
    EXPECT_FALSE(exists("c:\\zorvlogs"));
}

}  // namespace
