// The own section reader, writer and lister, and the static single-key
// operations through the profile functions.
#include "configTestSupport.h"
#include "qxConfig.h"

#include <algorithm>
#include <string>

namespace {

using cfgtest::readText;
using cfgtest::writeText;
using Map = qxConfig::SectionMap;
using List = qxConfig::SectionList;

class IniStoreTest : public cfgtest::ConfigTest {
protected:
    IniStoreTest() : config(useSystemMode()), path(config + "\\test.ini") {}

    Map load(const std::string& section) {
        Map map;
        qxConfig::loadSection(path, section, map);
        return map;
    }

    const std::string config;
    const std::string path;
};

// ---------------------------------------------------------------- reader

TEST_F(IniStoreTest, ReaderKeepsBlanksAndSplitsAtTheFirstEqualsSign) {
    writeText(path,
              "[Main]\n"
              " key = value \n"
              "no equals sign here\n"
              "url=a=b=c\n"
              ";comment=not special\n"
              "=empty key\n"
              "\n");
    EXPECT_EQ(load("Main"), (Map{{" key ", " value "}, {"url", "a=b=c"}, {";comment", "not special"}, {"", "empty key"}}));
}

TEST_F(IniStoreTest, ReaderMatchesSectionNamesWithoutCaseAndIgnoresTextAfterTheBracket) {
    writeText(path, "[Other]\na=0\n[NETWORK] ; the network\nWorkstation=5\n[Last]\nb=1\n");
    EXPECT_EQ(load("network"), (Map{{"Workstation", "5"}}));
    EXPECT_EQ(load("Missing"), Map{});
}

TEST_F(IniStoreTest, ReaderReadsCrLfAsLf) {
    writeText(path, "[Main]\r\nkey=value\r\nlone=cr\rinside\r\n");
    // A lone carriage return ends the line's text.
    EXPECT_EQ(load("Main"), (Map{{"key", "value"}, {"lone", "cr"}}));
}

TEST_F(IniStoreTest, ReaderKeepsKeysDifferingInCaseAndMergesIntoTheMap) {
    writeText(path, "[Main]\nkey=lower\nKEY=upper\n[Main]\nkey=second\nextra=2\n");
    Map map{{"extra", "kept"}};
    qxConfig::loadSection(path, "Main", map);
    // A repeated key keeps its first value, also one already in the map.
    EXPECT_EQ(map, (Map{{"KEY", "upper"}, {"key", "lower"}, {"extra", "kept"}}));
}

TEST_F(IniStoreTest, ReaderLeavesTheMapAloneForAMissingFile) {
    Map map{{"a", "1"}};
    qxConfig::loadSection(config + "\\absent.ini", "Main", map);
    EXPECT_EQ(map, (Map{{"a", "1"}}));
}

TEST_F(IniStoreTest, ReaderHandlesOverlongLinesInPieces) {
    // The first piece holds 32767 characters; the rest is a line of its own.
    const std::string first = "a=" + std::string(32765, 'x');
    writeText(path, "[Main]\n" + first + "b=c\nd=e\n");
    EXPECT_EQ(load("Main"), (Map{{"a", std::string(32765, 'x')}, {"b", "c"}, {"d", "e"}}));
}

// ---------------------------------------------------------------- writer

TEST_F(IniStoreTest, SavingTheMiddleSectionReplacesOnlyIt) {
    writeText(path,
              "[First]\na=1\n; first comment\n\n"
              "[Middle]\nz=26\ny=25\n; middle comment\n\n"
              "[Last]\nq=1\n");
    qxConfig::saveSection(path, "middle", Map{{"b", "2"}, {"a", "1"}});
    EXPECT_EQ(readText(path),
              "[First]\na=1\n; first comment\n\n"
              "[middle]\na=1\nb=2\n\n"
              "[Last]\nq=1\n");
    EXPECT_FALSE(cfgtest::exists(path + ".tmp"));
}

TEST_F(IniStoreTest, SavingAnAbsentSectionAppendsIt) {
    writeText(path, "[A]\nx=1\n");
    qxConfig::saveSection(path, "B", Map{{"k", "v"}, {"j", "w"}});
    EXPECT_EQ(readText(path), "[A]\nx=1\n\n[B]\nj=w\nk=v\n");
}

TEST_F(IniStoreTest, SavingAnEmptyMapWritesTheHeaderAlone) {
    writeText(path, "[A]\nx=1\n[B]\ny=2\n");
    qxConfig::saveSection(path, "a", Map{});
    EXPECT_EQ(readText(path), "[a]\n\n[B]\ny=2\n");
}

// Other tools of the facility read the configuration directory: writes add
// no files there, and the section writer keeps the file's own line ends in
// every section.
TEST_F(IniStoreTest, WritesLeaveNoFilesBesideTheIniFileAndKeepItsLineEnds) {
    for (const std::string end : {"\r\n", "\n"}) {
        writeText(path, "[A]" + end + "x=1" + end + "[B]" + end + "y=2" + end);
        qxConfig::saveSection(path, "A", Map{{"x", "3"}});
        std::ifstream file(cfgtest::hostOf(path), std::ios::binary);
        const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, "[A]" + end + "x=3" + end + end + "[B]" + end + "y=2" + end);

    }
    // The single-key writes lock too (on a file of their own: Wine's profile
    // functions cache a file that another writer just replaced).
    qxConfig::setString("keys.ini", "B", "z", "4");
    qxConfig::setString("keys.ini", "B", "y", "2");
    qxConfig::deleteKeysWithPrefix("keys.ini", "B", "y");
    EXPECT_EQ(qxConfig::getString("keys.ini", "B", "y", "gone", false), "gone");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(cfgtest::hostOf(config)))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"keys.ini", "test.ini"}));
    EXPECT_FALSE(std::filesystem::is_empty(temporaryFiles.host())) << "the locks live in the temporary directory";
}

TEST_F(IniStoreTest, SavingToAMissingFileCreatesNothing) {
    qxConfig::saveSection(path, "A", Map{{"k", "v"}});
    EXPECT_FALSE(cfgtest::exists(path));
    EXPECT_FALSE(cfgtest::exists(path + ".tmp"));
    EXPECT_FALSE(cfgtest::exists(path + ".lock"));
}

TEST_F(IniStoreTest, WriterDoesNotMatchAHeaderWithTextAfterTheBracket) {
    writeText(path, "[Main] ; note\nold=1\n");
    qxConfig::saveSection(path, "Main", Map{{"new", "2"}});
    EXPECT_EQ(readText(path), "[Main] ; note\nold=1\n\n[Main]\nnew=2\n");
    // The reader sees both occurrences.
    EXPECT_EQ(load("Main"), (Map{{"new", "2"}, {"old", "1"}}));
}

TEST_F(IniStoreTest, SavingASectionThatOccursTwiceReplacesBoth) {
    writeText(path, "[S]\na=1\n[T]\nt=1\n[s]\nb=2\na=9\n");
    Map map = load("S");
    EXPECT_EQ(map, (Map{{"a", "1"}, {"b", "2"}}));
    map["c"] = "3";
    qxConfig::saveSection(path, "S", map);
    EXPECT_EQ(readText(path), "[S]\na=1\nb=2\nc=3\n\n[T]\nt=1\n[S]\na=1\nb=2\nc=3\n\n");
}

TEST_F(IniStoreTest, LoadAndSaveSortsKeysAndKeepsCrLfFilesReadable) {
    writeText(path, "[Main]\r\nzeta=1\r\nAlpha=2\r\nbeta=3\r\n");
    qxConfig::saveSection(path, "Main", load("Main"));
    EXPECT_EQ(readText(path), "[Main]\nAlpha=2\nbeta=3\nzeta=1\n\n");
}

TEST_F(IniStoreTest, WriterCopiesOverlongLinesOfOtherSectionsWhole) {
    // The writer reads such a line in pieces and copies each unchanged.
    const std::string longLine = "long=" + std::string(3000, 'x') + "\n";
    writeText(path, "[Other]\n" + longLine + "[Main]\na=1\n");
    qxConfig::saveSection(path, "Main", Map{{"a", "2"}});
    EXPECT_EQ(readText(path), "[Other]\n" + longLine + "[Main]\na=2\n\n");
}

// ---------------------------------------------------------------- lister

TEST_F(IniStoreTest, ListerReturnsNamesInFileOrderWithDuplicates) {
    writeText(path, "[One]\na=1\n[Two] tail\n[broken\n[]\n x=[No]\n[one]\n");
    List list{"existing"};
    qxConfig::loadSectionNames(path, list);
    EXPECT_EQ(list, (List{"existing", "One", "Two", "", "one"}));
    qxConfig::loadSectionNames(config + "\\absent.ini", list);
    EXPECT_EQ(list.size(), 5u);
}

// ---------------------------------------------------------------- by file name

TEST_F(IniStoreTest, FileNameOperationsUseTheConfigurationDirectory) {
    writeText(path, "[A]\nk=v\n");
    Map map;
    qxConfig::readSection("test.ini", "A", map);
    EXPECT_EQ(map, (Map{{"k", "v"}}));
    qxConfig::writeSection("test.ini", "A", Map{{"k", "w"}});
    List list;
    qxConfig::listSections("test.ini", list);
    EXPECT_EQ(list, List{"A"});
    EXPECT_EQ(readText(path), "[A]\nk=w\n\n");
}

TEST_F(IniStoreTest, SystemOperationsUseTheSystemSubdirectory) {
    const std::string systemFile = config + "\\system\\sys.ini";
    writeText(systemFile, "[A]\nk=v\n");
    Map map;
    qxConfig::readSystemSection("sys.ini", "A", map);
    EXPECT_EQ(map, (Map{{"k", "v"}}));
    qxConfig::writeSystemSection("sys.ini", "B", Map{{"x", "y"}});
    List list;
    qxConfig::listSystemSections("sys.ini", list);
    EXPECT_EQ(list, (List{"A", "B"}));
}

TEST_F(IniStoreTest, SingleKeyOperationsGoThroughTheProfileFunctions) {
    writeText(path, "[Main]\nnumber=42\ntext=hello\n");
    EXPECT_EQ(qxConfig::getInt("test.ini", "Main", "number", 7, false), 42);
    EXPECT_EQ(qxConfig::getString("test.ini", "main", "TEXT", "none", false), "hello");
    EXPECT_EQ(qxConfig::getString("test.ini", "Main", "absent", "none", false), "none");
    qxConfig::setString("test.ini", "Main", "text", "bye");
    EXPECT_EQ(qxConfig::getString("test.ini", "Main", "text", "", false), "bye");
    qxConfig::deleteSection("test.ini", "Main");
    EXPECT_EQ(qxConfig::getInt("test.ini", "Main", "number", 7, false), 7);
}

TEST_F(IniStoreTest, DefaultsAreWrittenBackOnlyWhenAsked) {
    writeText(path, "[Main]\n");
    EXPECT_EQ(qxConfig::getInt("test.ini", "Main", "count", 5, false), 5);
    EXPECT_EQ(qxConfig::getString("test.ini", "Main", "name", "anon", false), "anon");
    Map map = load("Main");
    EXPECT_TRUE(map.empty());

    EXPECT_EQ(qxConfig::getInt("test.ini", "Main", "count", 5, true), 5);
    EXPECT_EQ(qxConfig::getString("test.ini", "Main", "name", "anon", true), "anon");
    EXPECT_EQ(qxConfig::getInt("test.ini", "Main", "count", 6, false), 5);
    EXPECT_EQ(qxConfig::getString("test.ini", "Main", "name", "other", false), "anon");
}

TEST_F(IniStoreTest, DeleteKeysWithPrefixIgnoresCase) {
    writeText(path, "[Keep]\npre1=x\n[Main]\nPREfix=1\npreB=2\nxpre=3\nPre=4\nother=5\n");
    qxConfig::deleteKeysWithPrefix("test.ini", "main", "pRe");
    EXPECT_EQ(load("Main"), (Map{{"other", "5"}, {"xpre", "3"}}));
    EXPECT_EQ(load("Keep"), (Map{{"pre1", "x"}}));
}

TEST_F(IniStoreTest, DeleteKeysWithAnEmptyPrefixEmptiesTheSection) {
    writeText(path, "[Main]\na=1\nb=2\n[Next]\nc=3\n");
    qxConfig::deleteKeysWithPrefix("test.ini", "Main", "");
    EXPECT_EQ(readText(path), "[Main]\n\n[Next]\nc=3\n");
}

TEST(ConfigText, ToLowerFoldsOnlyAsciiLetters) {
    EXPECT_EQ(qxConfig::toLower(std::string("AbC-Z_\xC4")), "abc-z_\xC4");
    EXPECT_EQ(qxConfig::toLower(std::string()), "");
    char text[] = "MiXeD 42";
    EXPECT_EQ(qxConfig::toLower(text), text);
    EXPECT_STREQ(text, "mixed 42");
    EXPECT_EQ(qxConfig::toLower(static_cast<char*>(nullptr)), nullptr);
}

TEST(ConfigSignature, IdentifiesTheComponent) {
    const std::string signature = qxConfigSignature;
    EXPECT_EQ(signature.rfind("ZORV_SIG,name=qxConfig,type=LIB,version=1.0.12.0,date=", 0), 0u);
    EXPECT_NE(signature.find(",author="), std::string::npos);
    EXPECT_NE(signature.find(",build="), std::string::npos);
}

}  // namespace
