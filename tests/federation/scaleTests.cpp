// The facility at scale: a late joiner gets a large device's whole state
// from the broker, and a burst of changes arrives in order.
#include <signal.h>

#include <utility>

#include "FederationFixture.h"
#include "zorvText.h"

namespace fedtest {
namespace {

constexpr int big = 10000;

// Adds router 10 of workstation 1 with `big` destinations and sources; the
// owner's file sets destination d to source d, the others' files set nothing.
Workstation& withBigRouter(Workstation& station) {
    std::string text = formatText("[Device]\nType=router\nName=Big\nOwner=1\nSources=%d\nDestinations=%d\n", big, big);
    if (station.number() == 1) {
        text += "[Crosspoints]\n";
        for (int destination = 1; destination <= big; ++destination) text += formatText("%d=%d\n", destination, destination);
    }
    station.write("dev_010.ini", text);
    return station;
}

// The mirror's cache holds a value for every index once all of them arrived.
bool mirrorsAll(const Workstation& station) {
    return station.eventually(formatText("cache test 10 1 %d", big), formatText("1-%d cached", big));
}

// The owner's last change, made just before it stopped, is kept for it too.
TEST_F(FederationTest, ALateJoinerReceivesTheStateOfTenThousandIndexes) {
    Workstation& ownerSide = join(withBigRouter(add(1)));
    Workstation& early = join(withBigRouter(add(2)));
    ASSERT_TRUE(mirrorsAll(early));  // the owner has published everything
    ASSERT_TRUE(ownerSide.zorvctl("route 10 4999 7").has("dest 4999 <- src 7"));
    ownerSide.signal(SIGTERM);
    Workstation& late = join(withBigRouter(add(3)));
    ASSERT_TRUE(mirrorsAll(late));
    for (const auto& [destination, source] : {std::pair{1, 1}, {4999, 7}, {big, big}}) {
        EXPECT_TRUE(late.zorvctl(formatText("query router 10 %d", destination))
                        .has(formatText("dest %d <- src %d", destination, source)));
    }
}

TEST_F(FederationTest, ABurstOfTenThousandCrosspointsArrivesInOrderAtARemoteClient) {
    Workstation& ownerSide = join(withBigRouter(add(1)));
    Workstation& remoteSide = join(withBigRouter(add(2)));
    ASSERT_TRUE(mirrorsAll(remoteSide));
    auto remote = remoteSide.watch(formatText("watch 10:1 --count %d --timeout 60", big));
    auto burst = ownerSide.program("federation_client", formatText("burst 10 1 %d", big));
    EXPECT_EQ(burst->finish().exitCode, 0);
    const Result seen = remote->finish();
    ASSERT_EQ(seen.exitCode, 0);
    std::string expected;
    for (int source = 1; source <= big; ++source) expected += formatText("router 10 dest 1 <- src %d\n", source);
    EXPECT_TRUE(seen.has(expected));
}

}  // namespace
}  // namespace fedtest
