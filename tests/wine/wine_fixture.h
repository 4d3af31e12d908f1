#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <vector>

#include "wine_session.h"

namespace wine {

inline void PrintTo(const Build& build, std::ostream* out) {
    *out << build.name;
}

// A test that runs once for each Windows build, skipped where that build cannot run.
class OnEachBuild : public ::testing::TestWithParam<Build> {
protected:
    void SetUp() override {
        wine.emplace(GetParam());
        const std::string why = wine->Unavailable();
        if (!why.empty()) GTEST_SKIP() << why;
    }

    std::optional<Session> wine;
};

// A firmware image of 96 pages of random bytes, written to path; its bytes, for what the widget received.
inline std::vector<std::uint8_t> WriteFirmwareImage(const std::filesystem::path& path, unsigned seed) {
    std::vector<std::uint8_t> bytes(6144);
    std::mt19937 random(seed);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

}  // namespace wine

#define VANTOR_ON_EACH_BUILD(Suite)                                                \
    INSTANTIATE_TEST_SUITE_P(Builds, Suite, ::testing::ValuesIn(::wine::Builds()), \
                             [](const auto& info) { return info.param.name; })
