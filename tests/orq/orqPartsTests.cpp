// The hub's parts that hold logic of their own: index ranges and the parser
// of command texts.
#include <gtest/gtest.h>

#include "CommandParser.h"
#include "RangeSet.h"

namespace {

TEST(RangeSet, MergesTouchingRangesAndSplitsOnRemoval) {
    orq::RangeSet set;
    set.add(1, 3);
    set.add(4, 6);  // touches: one range 1..6
    set.add(10, 12);
    set.remove(2, 2);
    EXPECT_TRUE(set.contains(1));
    EXPECT_FALSE(set.contains(2));
    EXPECT_TRUE(set.contains(3));
    EXPECT_TRUE(set.contains(6));
    EXPECT_FALSE(set.contains(7));
    EXPECT_EQ(set.lowest(), 1);
    EXPECT_EQ(set.highest(), 12);

    set.add(5, 11);  // bridges 3..6 and 10..12
    set.remove(1, 1);
    EXPECT_EQ(set.lowest(), 3);
    EXPECT_TRUE(set.contains(8));
    set.remove(0, 100);
    EXPECT_TRUE(set.empty());
    EXPECT_EQ(set.highest(), 0);
}

TEST(CommandParser, ReadsEachCommandsFieldsInTheirWireOrder) {
    auto crosspoint = orq::parseCommand("RC 3 7 10 ',---' 12");
    ASSERT_TRUE(crosspoint);
    EXPECT_EQ(crosspoint->verb, orq::Verb::crosspoint);
    EXPECT_EQ(crosspoint->source, 7);  // the source comes before the destination
    EXPECT_EQ(crosspoint->index, 10);
    EXPECT_EQ(crosspoint->text, ",---");
    EXPECT_EQ(crosspoint->workstation, 12);

    auto write = orq::parseCommand("IW 2 'two words' 4 12");
    ASSERT_TRUE(write);
    EXPECT_EQ(write->text, "two words");
    EXPECT_EQ(write->index, 4);

    auto lock = orq::parseCommand("GL 3 1 6 1 5");
    ASSERT_TRUE(lock);
    EXPECT_EQ(lock->verb, orq::Verb::lock);
    EXPECT_EQ(lock->kind, 'G');
    EXPECT_EQ(lock->end, 6);
    EXPECT_TRUE(lock->flag);
    EXPECT_EQ(lock->workstation, 5);

    auto message = orq::parseCommand("NS 2 7 'hi' 5 4294901761 99");
    ASSERT_TRUE(message);
    EXPECT_EQ(message->targetWorkstation, 7);
    EXPECT_EQ(message->workstation, 5);
    EXPECT_EQ(message->window, 4294901761ul);
    EXPECT_EQ(message->reference, 99);

    auto rename = orq::parseCommand("RM 1 2 3 'CAM 3' 1 12 77");
    ASSERT_TRUE(rename);
    EXPECT_EQ(rename->database, 2);  // the database comes before the index
    EXPECT_EQ(rename->index, 3);
    EXPECT_EQ(rename->text, "CAM 3");

    EXPECT_FALSE(orq::parseCommand("XX 1 2"));
    EXPECT_FALSE(orq::parseCommand("RZ 1 2"));
    EXPECT_FALSE(orq::parseCommand(""));
}

}  // namespace
