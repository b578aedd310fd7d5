// Inputs that once broke the engine under the fuzzer (script/fuzz keeps them in
// tests/engine/regress): each must now pass every check of the run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine_input.h"

namespace {

TEST(EngineRegressions, EveryKeptInputPassesEveryCheck)
{
    int inputs = 0;
    for (const auto &entry : std::filesystem::directory_iterator(ENGINE_REGRESS_DIR)) {
        if (!entry.is_regular_file() || entry.path().filename().string()[0] == '.')
            continue;
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
        EXPECT_EQ(RunEngineInput(bytes.data(), bytes.size()), "") << entry.path().filename();
        ++inputs;
    }
    EXPECT_GT(inputs, 0) << "no inputs in " << ENGINE_REGRESS_DIR;
}

} // namespace
