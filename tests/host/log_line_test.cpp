// The log line's pure parts on 16-bit units: layout, timestamp, the message limit.
#include <gtest/gtest.h>

#include <string>

#include "util/log_line.h"

namespace {

std::u16string Message(const char16_t* format, ...) {
    char16_t buffer[logline::kMessageBufferUnits];
    va_list args;
    va_start(args, format);
    logline::FormatMessage(buffer, format, args);
    va_end(args);
    return buffer;
}

}  // namespace

TEST(LogLine, Layout) {
    EXPECT_EQ(u"[4242]2026-01-02 03:04:05  [T::M] x (Last=-1)",
              std::u16string(logline::BuildLine<char16_t>(4242, u"2026-01-02 03:04:05", u"[T::M] x", -1)
                                 .c_str()));
    // Without a timestamp the process id is followed directly by the two spaces.
    EXPECT_EQ(u"[7]  m (Last=0)", std::u16string(logline::BuildLine<char16_t>(7, u"", u"m", 0).c_str()));
    // A '%' in the message is text, not a conversion.
    EXPECT_EQ(u"[7]  100%d %s (Last=3)",
              std::u16string(logline::BuildLine<char16_t>(7, u"", u"100%d %s", 3).c_str()));
}

TEST(LogLine, Timestamp) {
    EXPECT_EQ(u"2026-12-10 04:05:09",
              std::u16string(logline::FormatTimestamp<char16_t>({2026, 12, 10, 4, 5, 9}).c_str()));
}

TEST(LogLine, MessageKeepsAtMost1022Units) {
    const std::u16string exact(1022, u'a');
    EXPECT_EQ(exact, Message(u"%s", exact.c_str()));
    const std::u16string longer(5000, u'b');
    EXPECT_EQ(std::u16string(1022, u'b'), Message(u"%s", longer.c_str()));
    EXPECT_EQ(std::u16string(1022, u'c'), Message(u"%s%s", std::u16string(1000, u'c').c_str(),
                                                  std::u16string(100, u'c').c_str()));
}
