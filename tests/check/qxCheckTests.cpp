#include "qxCheck.h"

#include <qxplatform.h>

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

std::string line(const std::string& message) {
    return "qxClient: " + message + "\n";
}

// Runs one check with captured debug output and returns the lines it wrote.
template <typename Check>
Lines traced(Check check, bool expectInvalid) {
    qxplatform::DebugCapture capture;
    EXPECT_EQ(check(), expectInvalid);
    return capture.lines();
}

class CheckTest : public ::testing::Test {
protected:
    qxCheck check{"qxClient"};
};

TEST_F(CheckTest, StartsWithDefaultLimits) {
    EXPECT_EQ(check.getName(), "qxClient");
    EXPECT_EQ(check.getDeviceLimit(), INT_MAX);
    EXPECT_EQ(check.getIndexLimit(), INT_MAX);
    EXPECT_EQ(check.getDatabaseLimit(), 10);
    EXPECT_EQ(check.getSourceLimit(), INT_MAX);
    EXPECT_EQ(check.getStringLimit(), 256);
}

TEST_F(CheckTest, SettersStoreValuesAndStringLimitZeroRestoresDefault) {
    check.setDeviceLimit(5);
    check.setIndexLimit(6);
    check.setDatabaseLimit(0);
    check.setSourceLimit(-3);
    check.setStringLimit(40);
    EXPECT_EQ(check.getDeviceLimit(), 5);
    EXPECT_EQ(check.getIndexLimit(), 6);
    EXPECT_EQ(check.getDatabaseLimit(), 0);
    EXPECT_EQ(check.getSourceLimit(), -3);
    EXPECT_EQ(check.getStringLimit(), 40);
    check.setStringLimit(0);
    EXPECT_EQ(check.getStringLimit(), 256);
}

TEST_F(CheckTest, SetNameChangesPrefixAndSelfAssignmentKeepsIt) {
    check.setName(check.getName());
    EXPECT_EQ(check.getName(), "qxClient");
    check.setName("qxInfodriver");
    EXPECT_EQ(traced([&] { return check.checkDevice(0); }, true),
              Lines{"qxInfodriver: Device Number of out range (less than 1)\n"});
}

TEST_F(CheckTest, ValidArgumentsWriteNothing) {
    check.setDeviceLimit(100);
    check.setIndexLimit(100);
    EXPECT_TRUE(traced([&] { return check.checkDevice(100); }, false).empty());
    EXPECT_TRUE(traced([&] { return check.checkIndex(1); }, false).empty());
    EXPECT_TRUE(traced([&] { return check.checkIndexRange(3, 3); }, false).empty());
    EXPECT_TRUE(traced([&] { return check.checkRange(-1, -1); }, false).empty());
    EXPECT_TRUE(traced([&] { return check.checkSource(0); }, false).empty());
    EXPECT_TRUE(traced([&] { return check.checkDatabase(9); }, false).empty());
    EXPECT_TRUE(traced([&] { return check.checkDatabaseRange(0, 9); }, false).empty());
    EXPECT_TRUE(traced([&] { return check.checkV1Database(1); }, false).empty());
    EXPECT_TRUE(traced([&] { return check.checkWorkstation(65535); }, false).empty());
}

TEST_F(CheckTest, DeviceBounds) {
    check.setDeviceLimit(50);
    EXPECT_EQ(traced([&] { return check.checkDevice(0); }, true),
              Lines{line("Device Number of out range (less than 1)")});
    EXPECT_EQ(traced([&] { return check.checkDevice(50); }, false), Lines{});
    EXPECT_EQ(traced([&] { return check.checkDevice(51); }, true),
              Lines{line("Device Number of out range (> MAX_DEVICES)")});
    // Negative numbers compare as large unsigned values.
    EXPECT_EQ(traced([&] { return check.checkDevice(-1); }, true),
              Lines{line("Device Number of out range (> MAX_DEVICES)")});
}

TEST_F(CheckTest, NegativeDeviceFailsEvenWithDefaultLimit) {
    EXPECT_EQ(traced([&] { return check.checkDevice(-1); }, true),
              Lines{line("Device Number of out range (> MAX_DEVICES)")});
    EXPECT_EQ(traced([&] { return check.checkDevice(INT_MAX); }, false), Lines{});
}

TEST_F(CheckTest, IndexBounds) {
    check.setIndexLimit(8);
    EXPECT_EQ(traced([&] { return check.checkIndex(0); }, true),
              Lines{line("Index Number of out range (less than 1)")});
    EXPECT_EQ(traced([&] { return check.checkIndex(8); }, false), Lines{});
    EXPECT_EQ(traced([&] { return check.checkIndex(9); }, true),
              Lines{line("Index Number of out range (> MAX_SLOTS)")});
    EXPECT_EQ(traced([&] { return check.checkIndex(-7); }, true),
              Lines{line("Index Number of out range (> MAX_SLOTS)")});
}

TEST_F(CheckTest, IndexRangeChecksBothEndsThenOrder) {
    EXPECT_EQ(traced([&] { return check.checkIndexRange(0, 0); }, true),
              (Lines{line("Index Number of out range (less than 1)"), line("Index Number of out range (less than 1)")}));
    EXPECT_EQ(traced([&] { return check.checkIndexRange(5, 3); }, true), Lines{line("Invalid range (start>end)")});
    EXPECT_EQ(traced([&] { return check.checkIndexRange(0, 3); }, true),
              Lines{line("Index Number of out range (less than 1)")});
    check.setIndexLimit(10);
    EXPECT_EQ(traced([&] { return check.checkIndexRange(11, 0); }, true),
              (Lines{line("Index Number of out range (> MAX_SLOTS)"), line("Index Number of out range (less than 1)")}));
}

TEST_F(CheckTest, RangesCompareUnsigned) {
    EXPECT_EQ(traced([&] { return check.checkRange(2, 1); }, true), Lines{line("Invalid range (start>end)")});
    EXPECT_EQ(traced([&] { return check.checkRange(-1, 1); }, true), Lines{line("Invalid range (start>end)")});
    EXPECT_EQ(traced([&] { return check.checkRange(1, -1); }, false), Lines{});
    EXPECT_EQ(traced([&] { return check.checkDatabaseRange(3, 2); }, true), Lines{line("Invalid DB range (start>end)")});
    EXPECT_EQ(traced([&] { return check.checkDatabaseRange(-1, 0); }, true),
              Lines{line("Invalid DB range (start>end)")});
}

TEST_F(CheckTest, SourceComparesSigned) {
    EXPECT_EQ(traced([&] { return check.checkSource(-INT_MAX); }, false), Lines{});
    EXPECT_EQ(traced([&] { return check.checkSource(INT_MAX); }, false), Lines{});
    EXPECT_EQ(traced([&] { return check.checkSource(INT_MIN); }, true),
              Lines{line("Source Number of out range (less than -MAX_SLOTS)")});
    check.setSourceLimit(100);
    EXPECT_EQ(traced([&] { return check.checkSource(-100); }, false), Lines{});
    EXPECT_EQ(traced([&] { return check.checkSource(-101); }, true),
              Lines{line("Source Number of out range (less than -MAX_SLOTS)")});
    EXPECT_EQ(traced([&] { return check.checkSource(101); }, true),
              Lines{line("Source Number of out range (> MAX_SLOTS)")});
}

TEST_F(CheckTest, DatabasePrintsSignedNumbers) {
    EXPECT_EQ(traced([&] { return check.checkDatabase(10); }, true), Lines{line("Invalid database (10>=10)")});
    EXPECT_EQ(traced([&] { return check.checkDatabase(-1); }, true), Lines{line("Invalid database (-1>=10)")});
    EXPECT_EQ(traced([&] { return check.checkDatabase(-1, 10); }, true), Lines{line("Invalid database (-1>=10)")});
    EXPECT_EQ(traced([&] { return check.checkDatabase(2, 3); }, false), Lines{});
    EXPECT_EQ(traced([&] { return check.checkDatabase(3, 3); }, true), Lines{line("Invalid database (3>=3)")});
    EXPECT_EQ(traced([&] { return check.checkDatabase(0, 0); }, true), Lines{line("Invalid database (0>=0)")});
}

TEST_F(CheckTest, V1Database) {
    EXPECT_EQ(traced([&] { return check.checkV1Database(0); }, false), Lines{});
    EXPECT_EQ(traced([&] { return check.checkV1Database(2); }, true), Lines{line("Invalid V1 database (>1)")});
    EXPECT_EQ(traced([&] { return check.checkV1Database(-1); }, true), Lines{line("Invalid V1 database (>1)")});
}

TEST_F(CheckTest, StringRejectsLengthEqualToLimit) {
    const std::string ok(255, 'a');
    const std::string tooLong(256, 'b');
    EXPECT_EQ(traced([&] { return check.checkString(ok); }, false), Lines{});
    EXPECT_EQ(traced([&] { return check.checkString(tooLong); }, true),
              Lines{line("Note: string exceeds maximum: " + tooLong)});
    check.setStringLimit(3);
    EXPECT_EQ(traced([&] { return check.checkString("abc"); }, true),
              Lines{line("Note: string exceeds maximum: abc")});
    EXPECT_EQ(traced([&] { return check.checkString("ab"); }, false), Lines{});
}

TEST_F(CheckTest, StringLengthAcceptsLengthEqualToMax) {
    EXPECT_EQ(traced([&] { return check.checkStringLength("0123456789", 10); }, false), Lines{});
    EXPECT_EQ(traced([&] { return check.checkStringLength("0123456789A", 10); }, true),
              Lines{line("String too long: 0123456789A")});
    // A negative maximum compares as a large unsigned value.
    EXPECT_EQ(traced([&] { return check.checkStringLength("abc", -1); }, false), Lines{});
}

TEST_F(CheckTest, WorkstationBoundsPrintTheNumber) {
    EXPECT_EQ(traced([&] { return check.checkWorkstation(0); }, true),
              Lines{line("Workstation number invalid (< 1): 0")});
    EXPECT_EQ(traced([&] { return check.checkWorkstation(65536); }, true),
              Lines{line("Workstation number invalid (> MAX_WORKSTATIONS): 65536")});
    EXPECT_EQ(traced([&] { return check.checkWorkstation(-1); }, true),
              Lines{line("Workstation number invalid (> MAX_WORKSTATIONS): -1")});
    EXPECT_EQ(traced([&] { return check.checkWorkstation(1); }, false), Lines{});
}

TEST_F(CheckTest, ReportWritesOneWholeLine) {
    const std::string long_message(5000, 'x');
    EXPECT_EQ(traced(
                  [&] {
                      check.report(long_message);
                      return true;
                  },
                  true),
              Lines{line(long_message)});
}

TEST(CheckSignature, IdentifiesTheComponent) {
    const std::string signature = qxCheckSignature;
    EXPECT_EQ(signature.rfind("ZORV_SIG,name=qxCheck,type=LIB,version=1.0.9.0,date=", 0), 0u);
    EXPECT_NE(signature.find(",author="), std::string::npos);
    EXPECT_NE(signature.find(",build="), std::string::npos);
}

TEST(CheckLifetime, DestroysThroughBasePointer) {
    struct Derived : qxCheck {
        explicit Derived(bool& flag) : qxCheck("d"), destroyed(flag) {}
        ~Derived() override { destroyed = true; }
        bool& destroyed;
    };
    bool destroyed = false;
    qxCheck* base = new Derived(destroyed);
    delete base;
    EXPECT_TRUE(destroyed);
}

}  // namespace
