// The fuzz target's checks in every test run, without libFuzzer: its seed corpus as it stands and
// thousands of deterministic mutations of it (bytes changed, cut, repeated, dropped; other modes).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// A small deterministic generator, so that a failure repeats.
struct Lcg {
    uint64_t state;
    uint32_t Next(uint32_t below)
    {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return static_cast<uint32_t>((state >> 33) % below);
    }
};

std::vector<uint8_t> Mutated(std::vector<uint8_t> input, Lcg& random)
{
    static const uint8_t INTERESTING[] = {0x00, 0xFF, 0x80, 0x7F, 0x01, 0x40, 0xC0, 0x3F};
    const uint32_t changes = 1 + random.Next(4);
    for (uint32_t i = 0; i < changes && input.size() > 1; ++i) {
        const size_t at = 1 + random.Next(static_cast<uint32_t>(input.size() - 1));
        switch (random.Next(6)) {
        case 0: input[at] ^= static_cast<uint8_t>(1 << random.Next(8)); break;
        case 1: input[at] = INTERESTING[random.Next(sizeof INTERESTING)]; break;
        case 2: input.resize(at); break;
        case 3: input.erase(input.begin() + static_cast<long>(at), input.begin() + static_cast<long>(std::min(input.size(), at + 1 + random.Next(64)))); break;
        case 4: {
            // A header's worth repeated: a PDU sent twice or cut in the middle.
            const size_t end = std::min(input.size(), at + 48);
            const std::vector<uint8_t> copy(input.begin() + static_cast<long>(at), input.begin() + static_cast<long>(end));
            input.insert(input.begin() + static_cast<long>(at), copy.begin(), copy.end());
            break;
        }
        default: input[0] = static_cast<uint8_t>(random.Next(256)); break;
        }
    }
    return input;
}

TEST(IscsiFuzzReplay, SeedsAndTheirMutationsKeepTheTargetsPromises)
{
    const std::filesystem::path corpus = std::filesystem::path(QZV_SOURCE_DIR) / "tools/fuzz/corpus/iscsi_target";
    std::vector<std::vector<uint8_t>> seeds;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        std::ifstream in(entry.path(), std::ios::binary);
        seeds.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ASSERT_GE(seeds.size(), 10u);
    // The target's checks end the process when a promise is broken.
    Lcg random{20250101};
    for (const std::vector<uint8_t>& seed : seeds) {
        for (uint8_t mode : {seed[0], uint8_t(seed[0] ^ 0x38), uint8_t(seed[0] | 0x40)}) {
            std::vector<uint8_t> input = seed;
            input[0] = mode;
            LLVMFuzzerTestOneInput(input.data(), input.size());
        }
        for (int i = 0; i < 150; ++i) {
            const std::vector<uint8_t> input = Mutated(seed, random);
            LLVMFuzzerTestOneInput(input.data(), input.size());
        }
    }
}

}  // namespace
