// Checks a log, message by message, against expected messages with the placeholders of
// log_pattern.h; on a mismatch it names the line and shows both.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "log_pattern.h"

namespace testsupport {

template <class Ch>
void ExpectLog(const std::vector<std::basic_string<Ch>>& expected,
               const std::vector<std::basic_string<Ch>>& actual) {
    ASSERT_EQ(expected.size(), actual.size()) << ::testing::PrintToString(actual);
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(MatchesLogPattern(expected[i], actual[i]))
            << "line " << i << "\n  expected: " << ::testing::PrintToString(expected[i])
            << "\n  actual:   " << ::testing::PrintToString(actual[i]);
}

}  // namespace testsupport
