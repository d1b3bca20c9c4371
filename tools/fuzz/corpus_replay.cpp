// The driver of a fuzz target in builds without libFuzzer: runs the target once on each file named on
// the command line and on every file of each folder named, in name order, and says how many it ran.
// A violated invariant ends the program as it ends the fuzzer (abort, or a sanitizer's report).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void Run(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

}  // namespace

int main(int argc, char** argv)
{
    size_t ran = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(argv[i])) {
            for (const auto& entry : std::filesystem::directory_iterator(argv[i]))
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            std::sort(files.begin(), files.end());
        } else if (std::filesystem::is_regular_file(argv[i])) {
            files.push_back(argv[i]);
        } else {
            std::fprintf(stderr, "%s: no such input: %s\n", argv[0], argv[i]);
            return 2;
        }
        for (const auto& file : files) {
            Run(file);
            ++ran;
        }
    }
    std::printf("%zu inputs ran clean\n", ran);
    return ran > 0 ? 0 : 2;
}
