#pragma once

#include <gtest/gtest.h>

#include <string>

// Names a parameterised test case after its `name` field:
//   INSTANTIATE_TEST_SUITE_P(Cases, SomeTest, ::testing::ValuesIn(kCases), CaseName<SomeCase>);
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case>& tested) {
    return std::string(tested.param.name);
}
