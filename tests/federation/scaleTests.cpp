// The facility at scale: a late joiner gets a large device's whole state
// from the broker, and a burst of changes arrives in order.
#include "FederationFixture.h"
#include "zorvMessages.h"
#include "zorvText.h"

namespace fedtest {
namespace {

using namespace zorvmsg;

constexpr int big = 10000;

// Router 10 of workstation 1 with `big` destinations and sources; the owner's
// file sets destination d to source d, the others' files set nothing.
std::unique_ptr<Workstation> withBigRouter(int number) {
    auto station = std::make_unique<Workstation>();
    station->number = number;
    writeDevices(station->facility);
    std::string text = formatText("[Device]\nType=router\nName=Big\nOwner=1\nSources=%d\nDestinations=%d\n", big, big);
    if (number == 1) {
        text += "[Crosspoints]\n";
        for (int destination = 1; destination <= big; ++destination) text += formatText("%d=%d\n", destination, destination);
    }
    station->facility.write("dev_010.ini", text);
    return station;
}

// The mirror's cache holds a value for every index once all of them arrived.
bool mirrorsAll(Workstation& station) {
    orqtest::FakeClient client(station.hub->window());
    return station.hub->waitFor([&] { return client.send(cacheTestShort, 10, MAKELONG(1, big)) == 1; },
                                mp::kPatience);
}

TEST_F(FederationTest, ALateJoinerReceivesTheStateOfTenThousandIndexes) {
    startHub(withBigRouter(1));
    Workstation& early = startHub(withBigRouter(2));
    ASSERT_TRUE(mirrorsAll(early));  // the owner has published everything
    Workstation& late = startHub(withBigRouter(3));
    ASSERT_TRUE(mirrorsAll(late));
    for (const int destination : {1, 4999, big}) EXPECT_EQ(late.hub->value(10, destination), std::to_string(destination));
}

TEST_F(FederationTest, ABurstOfTenThousandCrosspointsArrivesInOrderAtARemoteClient) {
    Workstation& ownerSide = startHub(withBigRouter(1));
    Workstation& remoteSide = startHub(withBigRouter(2));
    ASSERT_TRUE(mirrorsAll(remoteSide));
    orqtest::FakeClient remote(remoteSide.hub->window());
    remote.join();
    remote.registerRange(10, 1, 1);
    orqtest::FakeClient local(ownerSide.hub->window());
    local.join();
    for (int source = 1; source <= big; ++source) local.command(routerCommand, 10, formatText("RC 10 %d 1 '' 1", source));
    ASSERT_TRUE(remoteSide.hub->waitFor([&] { return remote.deliveries(routerText).size() >= big; }, mp::kPatience));
    const auto texts = remote.texts(routerText);
    ASSERT_EQ(texts.size(), static_cast<std::size_t>(big));
    for (int source = 1; source <= big; ++source) ASSERT_EQ(texts[source - 1], formatText("RR 10 1 %d", source));
}

}  // namespace
}  // namespace fedtest
