// Runs a fuzz target's function over stored inputs, so that the ordinary
// builds (GCC, release and asan) check every seed and every input that once
// broke a property, without libFuzzer. Arguments: files or folders of inputs.
#include "tests/fuzz/fuzz_check.h"

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path given(argv[i]);
        std::error_code error;
        if (std::filesystem::is_directory(given, error)) {
            for (const auto& entry : std::filesystem::directory_iterator(given)) {
                if (entry.is_regular_file() && entry.path().filename() != "README") {
                    inputs.push_back(entry.path());
                }
            }
        } else if (std::filesystem::is_regular_file(given, error)) {
            inputs.push_back(given);
        } else if (!std::filesystem::exists(given, error)) {
            continue; // a target without stored regressions has no such folder
        }
    }
    if (inputs.empty()) {
        std::cerr << "no inputs to replay\n";
        return 1;
    }
    for (const auto& path : inputs) {
        const std::string bytes = nomvera::fuzz::ReadWholeFile(path.string());
        std::cerr << "replaying " << path.string() << " (" << bytes.size() << " bytes)\n";
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::cout << inputs.size() << " inputs replayed\n";
    return 0;
}
