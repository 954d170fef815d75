// Runs a fuzz target over files and folders of inputs without libFuzzer: the committed corpora
// (crash inputs included) become regression tests of every ordinary build.

#include "fuzzcheck.h"

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    std::vector<fs::path> inputs(argv + 1, argv + argc);
    for (int i = 1; i < argc; ++i)
        if (fs::is_directory(argv[i]))
            for (const auto& entry : fs::recursive_directory_iterator(argv[i]))
                if (entry.is_regular_file())
                    inputs.push_back(entry.path());
    std::erase_if(inputs, [](const fs::path& p) { return fs::is_directory(p); });
    for (const fs::path& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (!in.good() && !in.eof())
            return std::cerr << "cannot read " << path << '\n', 1;
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
    std::cout << inputs.size() << " inputs replayed\n";
    return inputs.empty() ? 1 : 0;
}
