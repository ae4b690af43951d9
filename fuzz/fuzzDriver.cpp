// Runs a fuzz target without libFuzzer: every file named on the command line,
// or, with no arguments, every file of the seed directory QX_FUZZ_CORPUS (if
// set) and then a fixed number of inputs generated from a seeded generator and
// a dictionary of the wire's words, so that a run is repeatable and bounded.
// QX_FUZZ_RUNS sets the number of generated inputs.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

const std::vector<std::string> dictionary = {
    "IR", "RR", "GR", "NS", "DC", "NA", "NI", "NB", " ", "  ", "'", "''", "0", "1", "-1", "7", "65535", "65536",
    "2147483647", "-2147483648", "99999999999", "[", "]", "=", "\r\n", "\n", "[Section]", "key=value", "\t", "x"};

std::string generate(std::mt19937& random) {
    std::string input;
    const int pieces = static_cast<int>(random() % 24);
    for (int i = 0; i < pieces; ++i) {
        if (random() % 4 == 0) input += static_cast<char>(random() % 256);
        else input += dictionary[random() % dictionary.size()];
    }
    return input;
}

void runOne(const std::string& input) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

void runFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    runOne(std::string(std::istreambuf_iterator<char>(file), {}));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) {
        for (int i = 1; i < argc; ++i) runFile(argv[i]);
        return 0;
    }
    if (const char* seeds = std::getenv("QX_FUZZ_CORPUS")) {
        for (const auto& entry : std::filesystem::directory_iterator(seeds)) runFile(entry.path().string());
    }
    const char* runs = std::getenv("QX_FUZZ_RUNS");
    const long count = runs ? std::atol(runs) : 20000;
    std::mt19937 random(20261207);
    for (long i = 0; i < count; ++i) runOne(generate(random));
    std::cout << count << " inputs run\n";
    return 0;
}
