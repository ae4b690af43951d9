// The sample facilities shipped with the hub load as their files describe:
// every device, its size, its state and its names.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "OrqTestSupport.h"

// The samples are read from the source tree by host path, which the Windows
// build's tests (run under Wine) do not share: our backend only.
#ifndef _WIN32

namespace {

struct Sample {
    const char* directory;  // below peers/orq
    int devices;
    const char* profile;    // device 1's profile
    int destination;        // a router destination, its source and their names
    const char* source;
    const char* sourceName;
    const char* destinationName;
};

class SampleFacility : public ::testing::TestWithParam<Sample> {
protected:
    // The sample's device files and orq.ini, copied into a fresh facility.
    void SetUp() override {
        const auto sample = std::filesystem::path(ORQ_SAMPLES_DIR) / GetParam().directory;
        for (const auto& entry : std::filesystem::directory_iterator(sample)) {
            if (!entry.is_regular_file()) continue;
            std::ifstream file(entry.path());
            std::stringstream text;
            text << file.rdbuf();
            facility_.write(entry.path().filename().string(), text.str());
        }
        hub_ = std::make_unique<orq::OrqHub>(orqtest::testOptions(facility_));
        ASSERT_TRUE(hub_->start());
        client_ = std::make_unique<orqtest::FakeClient>(hub_->window());
        client_->join();
    }
    std::string name(int device, int database, int index) {
        unsigned char block[256] = {};
        const std::uint16_t fields[3] = {static_cast<std::uint16_t>(device), static_cast<std::uint16_t>(database),
                                         static_cast<std::uint16_t>(index)};
        std::memcpy(block, fields, sizeof fields);
        if (client_->request(2164, 0, block, sizeof block, sizeof block) != 1) return "(none)";
        return reinterpret_cast<const char*>(block);
    }

    orqtest::Facility facility_;
    std::unique_ptr<orq::OrqHub> hub_;
    std::unique_ptr<orqtest::FakeClient> client_;
};

TEST_P(SampleFacility, LoadsEveryDeviceWithItsStateAndNames) {
    const Sample& sample = GetParam();
    EXPECT_EQ(hub_->deviceCount(), sample.devices);
    char profile[300] = {};
    ASSERT_EQ(client_->request(2041, 1, profile, sizeof profile, sizeof profile), 1);
    EXPECT_STREQ(profile, sample.profile);
    EXPECT_EQ(hub_->value(1, sample.destination), sample.source);
    EXPECT_EQ(name(1, 0, std::stoi(sample.source)), sample.sourceName);
    EXPECT_EQ(name(1, 1, sample.destination), sample.destinationName);
}

INSTANTIATE_TEST_SUITE_P(Shipped, SampleFacility,
                         ::testing::Values(Sample{"facility", 3, "1 3 R 16 8 'Studio router'", 3, "5", "VTR 1", "PGM"},
                                           Sample{"facility-studio", 4, "1 3 R 64 64 'Main router'", 53, "43",
                                                  "MIX PGM", "PGM"}),
                         [](const auto& param) {
                             std::string name = param.param.directory;
                             std::erase(name, '-');
                             return name;
                         });

}  // namespace

#endif
