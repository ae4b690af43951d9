// The value cache, the database names (persisting across a restart) and the
// relay of configuration-change messages.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "OrqTestSupport.h"
#include "ScopedEnv.h"

namespace {

using orqtest::Facility;
using orqtest::FakeClient;
using Texts = std::vector<std::string>;

class HubCaches : public ::testing::Test {
protected:
    void SetUp() override {
        facility_.writeStandardDevices();
        startHub(orqtest::testOptions(facility_));
    }
    void startHub(orq::HubOptions options) {
        hub_ = std::make_unique<orq::OrqHub>(std::move(options));
        const bool started = hub_->start();
        client_ = std::make_unique<FakeClient>(hub_->window());
        ASSERT_TRUE(started);
        client_->join();
    }
    // A 300-byte request buffer holding text, answered in place.
    LONG readText(UINT code, const std::string& text, std::string& reply) {
        char buffer[300] = {};
        std::memcpy(buffer, text.data(), text.size());
        const LONG result = client_->request(code, 0, buffer, static_cast<DWORD>(text.size() + 1), sizeof buffer);
        reply = buffer;
        return result;
    }
    // Reads a name with the short form; the block's first bytes come back.
    LONG readNameShort(int device, int database, int index, std::string& name) {
        unsigned char buffer[256] = {};
        const std::uint16_t fields[3] = {static_cast<std::uint16_t>(device), static_cast<std::uint16_t>(database),
                                         static_cast<std::uint16_t>(index)};
        std::memcpy(buffer, fields, sizeof fields);
        const LONG result = client_->request(2164, 0, buffer, sizeof buffer, sizeof buffer);
        name.assign(reinterpret_cast<const char*>(buffer), 6);
        if (result != 0) name = reinterpret_cast<const char*>(buffer);
        return result;
    }
    void rename(const std::string& text) {
        client_->requestText(2124, 1, text);
        client_->requestText(2159, 0, text);
    }

    Facility facility_;
    std::unique_ptr<orq::OrqHub> hub_;
    std::unique_ptr<FakeClient> client_;
};

TEST_F(HubCaches, CacheHoldsTheLastReportedValueOfEverySlot) {
    std::string reply;
    EXPECT_EQ(readText(2169, "DG 2 1", reply), 0);  // the file's state is not reported yet
    EXPECT_EQ(reply, "DG 2 1");

    client_->command(2144, 2, "IP 2 1 3 12");  // reported to nobody, cached all the same
    client_->command(2144, 2, "IW 2 'on air' 2 12");
    EXPECT_EQ(readText(2169, "DG 2 1", reply), 1);
    EXPECT_EQ(reply, "hello world");
    EXPECT_EQ(readText(2169, "DG 2 2", reply), 1);
    EXPECT_EQ(reply, "on air");
    EXPECT_EQ(readText(2169, "DG 2 3", reply), 1);
    EXPECT_EQ(reply, "");

    EXPECT_EQ(client_->requestText(2170, 0, "DI 2 1 10 'on air'"), 2);
    EXPECT_EQ(client_->requestText(2170, 0, "DI 2 3 10 'on air'"), 0);
    EXPECT_EQ(client_->send(2037, 2, MAKELPARAM(1, 3)), 1);
    EXPECT_EQ(client_->send(2037, 2, MAKELPARAM(1, 4)), 0);
    std::uint32_t range[3] = {2, 2, 3};
    EXPECT_EQ(client_->request(49858, 0, range, sizeof range), 1);
    range[2] = 70000;
    EXPECT_EQ(client_->request(49858, 0, range, sizeof range), 0);

    client_->send(2038, 2, 0);
    EXPECT_EQ(client_->send(2037, 2, MAKELPARAM(1, 1)), 0);
}

TEST_F(HubCaches, CacheSwitchedOffKeepsNothing) {
    EXPECT_EQ(client_->send(2040, 0, 0), 1);
    client_->command(2124, 1, "RP 1 1 4 12");
    client_->send(2036, 0, 0);
    EXPECT_EQ(client_->send(2040, 0, 0), 0);
    client_->command(2124, 1, "RP 1 1 4 12");
    client_->send(2036, 1, 0);
    std::string reply;
    EXPECT_EQ(readText(2169, "DG 1 1", reply), 0);
    client_->command(2124, 1, "RP 1 1 1 12");
    EXPECT_EQ(readText(2169, "DG 1 1", reply), 1);
    EXPECT_EQ(reply, "5");
}

TEST_F(HubCaches, ReadsAndFindsNamesInEveryForm) {
    std::string name;
    EXPECT_EQ(readNameShort(1, 0, 2, name), 1);
    EXPECT_EQ(name, "CAM 2");
    EXPECT_EQ(readNameShort(1, 0, 7, name), 0);  // unknown: the request comes back unchanged
    EXPECT_EQ(name, std::string("\x01\x00\x00\x00\x07\x00", 6));

    unsigned char wide[1041] = {};
    const std::uint32_t fields[4] = {1, 0, 1, 1024};
    std::memcpy(wide, fields, sizeof fields);
    EXPECT_EQ(client_->request(49853, 0, wide, sizeof wide, sizeof wide), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(wide + 16), "CAM 1");

    EXPECT_EQ(client_->requestText(2165, 1, "CAM 2"), 2);
    EXPECT_EQ(client_->requestText(2165, 1 | 0x8000, "CAM 2"), 0);  // database 1
    unsigned char shortRecord[264] = {};
    const std::uint16_t shortFields[2] = {1, 0};
    const std::uint32_t one = 1;
    std::memcpy(shortRecord, shortFields, sizeof shortFields);
    std::memcpy(shortRecord + 4, &one, sizeof one);
    std::memcpy(shortRecord + 8, "CAM 1", 6);
    EXPECT_EQ(client_->request(2166, 0, shortRecord, sizeof shortRecord), 1);
    unsigned char longRecord[26] = {};
    const std::uint32_t longFields[4] = {1, 0, 1, 0};
    std::memcpy(longRecord, longFields, sizeof longFields);
    std::memcpy(longRecord + 20, "CAM 2", 6);
    EXPECT_EQ(client_->request(49857, 0, longRecord, sizeof longRecord), 2);
}

TEST_F(HubCaches, NameChangeActsOnceTellsRegisteredClientsAndOutlivesTheHub) {
    client_->registerRange(1, 1, 4);
    FakeClient other(hub_->window());
    other.join();
    other.registerRange(1, 4, 4);

    rename("RM 1 0 3 'CAM 3' 0 12 0");
    ASSERT_TRUE(orqtest::drain(*hub_, *client_));
    ASSERT_TRUE(orqtest::drain(*hub_, other));
    EXPECT_EQ(client_->texts(), (Texts{"DC 1 3 0"}));
    EXPECT_TRUE(other.texts().empty());
    EXPECT_NE(facility_.read("dev_001.ini").find("3=CAM 3"), std::string::npos);

    hub_->stop();
    startHub(orqtest::testOptions(facility_));
    std::string name;
    EXPECT_EQ(readNameShort(1, 0, 3, name), 1);
    EXPECT_EQ(name, "CAM 3");
    EXPECT_EQ(readNameShort(1, 0, 1, name), 1);  // the other names are kept
    EXPECT_EQ(name, "CAM 1");
}

TEST_F(HubCaches, NameChangesOutsideTheDatabasesAreRefused) {
    client_->registerRange(1, 1, 4);
    rename("RM 1 10 1 'nope' 0 12 0");  // databases 0..9
    rename("RM 1 0 0 'nope' 0 12 0");   // indexes from 1
    rename("RM 9 0 1 'nope' 0 12 0");   // no device 9
    ASSERT_TRUE(orqtest::drain(*hub_, *client_));
    EXPECT_TRUE(client_->texts().empty());
}

TEST_F(HubCaches, NameCacheIsReadAgainAfterAFlush) {
    std::string name;
    readNameShort(1, 0, 1, name);
    facility_.write("dev_001.ini", "[Device]\nType=router\nSources=8\nDestinations=4\n[Database_0]\n1=NEW\n");
    EXPECT_EQ(readNameShort(1, 0, 1, name), 1);
    EXPECT_EQ(name, "CAM 1");
    client_->send(2167, 1, 0);
    EXPECT_EQ(readNameShort(1, 0, 1, name), 1);
    EXPECT_EQ(name, "NEW");
}

TEST_F(HubCaches, AnnouncesNameChangesInTheNumericFormsWhenAsked) {
    auto options = orqtest::testOptions(facility_);
    options.databaseChange = orq::DatabaseChangeForm::shortNumeric;
    startHub(options);
    client_->registerRange(1, 1, 4);
    rename("RM 1 2 3 'X' 0 12 0");
    ASSERT_TRUE(hub_->waitFor([&] { return !client_->plain(2174).empty(); }, 5000));
    EXPECT_EQ(client_->plain(2174)[0].wParam, 1u);
    EXPECT_EQ(client_->plain(2174)[0].lParam, MAKELPARAM(3, 2));

    options.databaseChange = orq::DatabaseChangeForm::wideNumeric;
    startHub(options);
    client_->registerRange(1, 1, 4);
    rename("RM 1 2 4 'Y' 0 12 0");
    ASSERT_TRUE(orqtest::waitForDeliveries(*hub_, *client_, 49854, 1));
    std::uint32_t record[3];
    std::memcpy(record, client_->deliveries(49854)[0].record.data(), sizeof record);
    EXPECT_EQ(record[0], 1u);
    EXPECT_EQ(record[1], 4u);
    EXPECT_EQ(record[2], 2u);
}

TEST_F(HubCaches, RelaysConfigurationChangesToEverySubscriberTheSenderIncluded) {
    FakeClient other(hub_->window());
    FakeClient bystander(hub_->window());
    other.join();
    bystander.join();
    client_->sendWithWindow(49227);
    other.sendWithWindow(49227);

    const std::string text = "layout changed";
    std::string buffer = text + " and more";  // only the parameter's length counts
    client_->request(49240, static_cast<LONG>(text.size()), buffer.data(), static_cast<DWORD>(text.size()));
    client_->request(49240, 0, nullptr, 0);
    ASSERT_TRUE(orqtest::drain(*hub_, *client_));
    ASSERT_TRUE(orqtest::drain(*hub_, other));
    ASSERT_TRUE(orqtest::drain(*hub_, bystander));
    EXPECT_EQ(client_->texts(49239), (Texts{"layout changed", ""}));
    EXPECT_EQ(other.texts(49239), (Texts{"layout changed", ""}));
    EXPECT_TRUE(bystander.texts().empty());
}

// Without a directory of its own the hub reads the workstation's
// configuration directory, here WINDIR.
TEST(HubConfiguration, ReadsTheWorkstationsConfigurationDirectoryByDefault) {
    Facility facility;
    facility.writeStandardDevices();
    qxtest::ScopedEnv root("QX_ROOT", std::nullopt);
    qxtest::ScopedEnv system("QX_SYSTEM", std::nullopt);
    qxtest::ScopedEnv windir("WINDIR", facility.directory());
    orq::HubOptions options = orqtest::testOptions(facility);
    options.configDirectory.clear();
    orq::OrqHub hub(options);
    ASSERT_TRUE(hub.start());
    EXPECT_EQ(hub.deviceCount(), 3);
}

}  // namespace
