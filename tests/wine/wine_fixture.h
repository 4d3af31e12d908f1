#pragma once

#include <gtest/gtest.h>

#include <optional>

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

}  // namespace wine

#define VANTOR_ON_EACH_BUILD(Suite)                                                \
    INSTANTIATE_TEST_SUITE_P(Builds, Suite, ::testing::ValuesIn(::wine::Builds()), \
                             [](const auto& info) { return info.param.name; })
