// Handlers that compare like delegates, and subscription lists that are
// replaced, never changed in place.
#include <thread>

#include "zorvClientTestSupport.h"

namespace zorvtest {
namespace {

using Handler = ZorvClient::PollErrorDelegate;

std::vector<std::string>* calls = nullptr;
void first(uint, uint) { calls->push_back("first"); }
void second(uint, uint) { calls->push_back("second"); }

struct Listener {
    std::string name;
    void heard(uint, uint) { calls->push_back(name); }
    void other(uint, uint) { calls->push_back(name + " other"); }
    void constant(uint, uint) const { calls->push_back(name + " constant"); }
};

TEST(ZorvDelegate, ComparesLikeADelegate) {
    Listener a{"a"}, b{"b"};
    const auto lambda = [](uint, uint) {};
    const Handler wrapped = lambda;
    const Handler copy = wrapped;
    const Listener& constA = a;
    EXPECT_EQ(Handler(&first), Handler(&first));
    EXPECT_NE(Handler(&first), Handler(&second));
    EXPECT_EQ(Handler(&a, &Listener::heard), Handler(&a, &Listener::heard));
    EXPECT_NE(Handler(&a, &Listener::heard), Handler(&a, &Listener::other));
    EXPECT_NE(Handler(&a, &Listener::heard), Handler(&b, &Listener::heard));
    EXPECT_EQ(Handler(&constA, &Listener::constant), Handler(&a, &Listener::constant));
    EXPECT_EQ(copy, wrapped);
    EXPECT_NE(Handler(lambda), wrapped) << "a callable is equal to its copies only";
    EXPECT_NE(Handler(&first), wrapped);
    EXPECT_EQ(Handler(), Handler(nullptr));
}

// Raises PollErrorEvent as derived code can.
class RaisingClient : public ZorvClient {
public:
    using ZorvClient::raise_PollErrorEvent;
};

class Subscriptions : public ::testing::Test {
protected:
    Workstation12 identity;
    RaisingClient client;
    std::vector<std::string> heard;
    Listener a{"a"}, b{"b"};

    void SetUp() override { calls = &heard; }
    void TearDown() override { calls = nullptr; }
    std::vector<std::string> raise() {
        heard.clear();
        client.raise_PollErrorEvent(1, 2);
        return heard;
    }
};

using Calls = std::vector<std::string>;

TEST_F(Subscriptions, AHandlerSubscribedTwiceIsCalledTwiceUntilUnsubscribedOnce) {
    client.add_PollErrorEvent(&first);
    client.add_PollErrorEvent(&first);
    EXPECT_EQ(raise(), (Calls{"first", "first"}));
    client.remove_PollErrorEvent(&first);
    EXPECT_EQ(raise(), (Calls{"first"}));
    client.remove_PollErrorEvent(&first);
    EXPECT_EQ(raise(), Calls{});
}

TEST_F(Subscriptions, UnsubscribingTakesTheLastEqualHandler) {
    client.PollErrorEvent += {&a, &Listener::heard};
    client.PollErrorEvent += &second;
    client.PollErrorEvent += {&a, &Listener::heard};
    client.PollErrorEvent += &first;
    client.PollErrorEvent -= {&a, &Listener::heard};
    EXPECT_EQ(raise(), (Calls{"a", "second", "first"}));
}

TEST_F(Subscriptions, StrangersAndEmptyHandlersChangeNothing) {
    client.add_PollErrorEvent({&a, &Listener::heard});
    client.remove_PollErrorEvent({&b, &Listener::heard});
    client.remove_PollErrorEvent({&a, &Listener::other});
    client.remove_PollErrorEvent(&first);
    client.add_PollErrorEvent(Handler());
    client.remove_PollErrorEvent(Handler());
    EXPECT_EQ(raise(), (Calls{"a"}));
}

TEST_F(Subscriptions, ChangesDuringARaiseCountFromTheNextRaise) {
    client.add_PollErrorEvent([&](uint, uint) {
        heard.push_back("changer");
        client.remove_PollErrorEvent(&second);
        client.add_PollErrorEvent(&first);
    });
    client.add_PollErrorEvent(&second);
    EXPECT_EQ(raise(), (Calls{"changer", "second"}));
    EXPECT_EQ(raise(), (Calls{"changer", "first"}));
}

TEST_F(Subscriptions, ThreadsSubscribeWhileTheOwnerRaises) {
    constexpr int perThread = 500;
    std::atomic<int> count{0};
    auto subscribe = [&] {
        for (int i = 0; i < perThread; ++i) client.add_PollErrorEvent([&](uint, uint) { ++count; });
    };
    std::thread one(subscribe), two(subscribe);
    for (int i = 0; i < 50; ++i) client.raise_PollErrorEvent(1, 1);
    one.join();
    two.join();
    count = 0;
    client.raise_PollErrorEvent(1, 1);
    EXPECT_EQ(count, 2 * perThread);
}

}  // namespace
}  // namespace zorvtest
