// The qxConfig object bound to one file and section.
#include "configTestSupport.h"
#include "qxConfig.h"

#include <string>

namespace {

using cfgtest::readText;
using cfgtest::writeText;
using Map = qxConfig::SectionMap;

class IniObjectTest : public cfgtest::ConfigTest {
protected:
    IniObjectTest() : config(useSystemMode()), path(config + "\\object.ini") {}

    Map fileSection(const std::string& section) {
        Map map;
        qxConfig::loadSection(path, section, map);
        return map;
    }

    const std::string config;
    const std::string path;
};

TEST_F(IniObjectTest, LoadsItsSectionOnceAtConstruction) {
    writeText(path, "[Main]\nname=first\ncount=12abc\nbad=abc\n");
    qxConfig object("object.ini", "main");
    EXPECT_EQ(object.getFileName(), path);
    EXPECT_EQ(object.getSection(), "main");
    EXPECT_EQ(object.getString("NAME", "none", false), "first");
    EXPECT_EQ(object.getInt("count", 0, false), 12);
    EXPECT_EQ(object.getInt("bad", 7, false), 0);

    writeText(path, "[Main]\nname=second\n");  // not seen by the object
    EXPECT_EQ(object.getString("name", "none", false), "first");
}

TEST_F(IniObjectTest, FindIgnoresCaseAndPrefersTheKeyThatSortsFirst) {
    writeText(path, "[Main]\nkey=lower\nKey=mixed\nKEY=upper\n");
    qxConfig object("object.ini", "Main");
    EXPECT_EQ(object.getEntries().size(), 3u);
    for (const char* key : {"key", "KEY", "kEy"}) EXPECT_EQ(object.getString(key, "", false), "upper") << key;
    ASSERT_NE(object.find("Key"), object.getEntries().end());
    EXPECT_EQ(object.find("Key")->first, "KEY");
    EXPECT_EQ(object.find("ke"), object.getEntries().end());
}

TEST_F(IniObjectTest, WritesOfDefaultsReachTheFileButNotTheMap) {
    writeText(path, "[Main]\n");
    qxConfig object("object.ini", "Main");
    EXPECT_EQ(object.getInt("port", 5, true), 5);
    EXPECT_EQ(fileSection("Main"), (Map{{"port", "5"}}));
    // Still a miss: the write did not enter the map, so the new default wins.
    EXPECT_EQ(object.getInt("port", 6, false), 6);
    EXPECT_EQ(object.getString("host", "localhost", true), "localhost");
    EXPECT_EQ(object.getString("host", "other", false), "other");
    EXPECT_EQ(fileSection("Main"), (Map{{"host", "localhost"}, {"port", "5"}}));
}

TEST_F(IniObjectTest, AnEmptyKeyGivesTheDefaultAndWritesNothing) {
    writeText(path, "[Main]\n=value of empty key\n");
    qxConfig object("object.ini", "Main");
    EXPECT_EQ(object.getString("", "default", true), "default");
    EXPECT_EQ(readText(path), "[Main]\n=value of empty key\n");
}

TEST_F(IniObjectTest, SetStringUpdatesOnlyLoadedKeysAndAlwaysWritesTheFile) {
    writeText(path, "[Main]\nName=old\n");
    qxConfig object("object.ini", "Main");
    EXPECT_TRUE(object.setString("name", "new"));
    EXPECT_EQ(object.getString("NAME", "", false), "new");
    EXPECT_TRUE(object.setString("added", "1"));
    EXPECT_EQ(object.getString("added", "absent", false), "absent");
    const Map file = fileSection("Main");
    ASSERT_EQ(file.size(), 2u);
    EXPECT_EQ(file.at("added"), "1");
    // The profile write matches the stored key without regard to case.
    EXPECT_EQ(qxConfig::getString("object.ini", "Main", "Name", "", false), "new");
}

TEST_F(IniObjectTest, DeleteKeyChangesTheFileOnly) {
    writeText(path, "[Main]\nkeep=1\ngone=2\n");
    qxConfig object("object.ini", "Main");
    EXPECT_TRUE(object.deleteKey("gone"));
    EXPECT_EQ(fileSection("Main"), (Map{{"keep", "1"}}));
    EXPECT_EQ(object.getString("gone", "", false), "2");
}

TEST_F(IniObjectTest, EncryptedFormsTraceAndActAsThePlainOnes) {
    writeText(path, "[Main]\nsecret=plain\n");
    qxConfig object("object.ini", "Main");
    const std::string trace = "qxConfig: Call to setStringEncrypted with no encryption compiler settings enabled";
    {
        qxplatform::DebugCapture capture;
        EXPECT_EQ(object.getStringEncrypted("ignored", "SECRET", "", false), "plain");
        EXPECT_EQ(capture.lines(), std::vector<std::string>{trace});
    }
    {
        qxplatform::DebugCapture capture;
        EXPECT_TRUE(object.setStringEncrypted("ignored", "secret", "still plain"));
        EXPECT_EQ(capture.lines(), std::vector<std::string>{trace});
    }
    EXPECT_EQ(object.getString("secret", "", false), "still plain");
    EXPECT_EQ(fileSection("Main"), (Map{{"secret", "still plain"}}));
}

TEST_F(IniObjectTest, AMissingFileGivesAnEmptyButUsableObject) {
    qxConfig object("absent.ini", "Main");
    EXPECT_TRUE(object.getEntries().empty());
    EXPECT_EQ(object.getInt("x", 3, false), 3);
    EXPECT_EQ(object.getString("y", "d", false), "d");
    EXPECT_FALSE(cfgtest::exists(config + "\\absent.ini"));
}

TEST_F(IniObjectTest, ADefaultObjectIsEmpty) {
    qxConfig object;
    EXPECT_TRUE(object.getEntries().empty());
    EXPECT_EQ(object.getFileName(), "");
    EXPECT_EQ(object.getSection(), "");
    EXPECT_EQ(object.getString("k", "d", false), "d");
}

TEST_F(IniObjectTest, DestroysThroughItsVirtualDestructor) {
    struct Derived : qxConfig {
        explicit Derived(bool& flag) : destroyed(flag) {}
        ~Derived() override { destroyed = true; }
        bool& destroyed;
    };
    bool destroyed = false;
    qxConfig* base = new Derived(destroyed);
    delete base;
    EXPECT_TRUE(destroyed);
}

}  // namespace
