// The stub's printf-style formatter on 16-bit units (the same template the stub uses on Windows).
#include <gtest/gtest.h>

#include <string>

#include "util/wide_format.h"

namespace {

std::u16string Fmt(std::size_t capacity, const char16_t* format, ...) {
    char16_t buffer[256];
    va_list args;
    va_start(args, format);
    wfmt::FormatV(buffer, capacity, format, args);
    va_end(args);
    return buffer;
}

}  // namespace

TEST(WideFormat, Conversions) {
    EXPECT_EQ(u"[CUnPack::FindHeader] Name:C:\\a b.exe",
              Fmt(256, u"[%s] Name:%s", u"CUnPack::FindHeader", u"C:\\a b.exe"));
    EXPECT_EQ(u"-2147483648 4294967295", Fmt(256, u"%d %u", INT32_MIN, 0xFFFFFFFFu));
    EXPECT_EQ(u"-9223372036854775808 1099511627776",
              Fmt(256, u"%lld %I64d", static_cast<long long>(INT64_MIN), 1ll << 40));
    EXPECT_EQ(u"0x0000ABCD 0xFFFFFFFF ff", Fmt(256, u"0x%08X 0x%08X %x", 0xABCDu, 0xFFFFFFFFu, 255u));
    EXPECT_EQ(u"100% [  7] [7  ] [007]", Fmt(256, u"100%% [%3d] [%-3d] [%03d]", 7, 7, 7));
    EXPECT_EQ(u"(null) ab", Fmt(256, u"%s %.2s", static_cast<const char16_t*>(nullptr), u"abc"));
}

TEST(WideFormat, ArgumentTextIsNeverReadAsAFormat) {
    EXPECT_EQ(u"x %d %s y", Fmt(256, u"x %s y", u"%d %s"));
}

TEST(WideFormat, UnknownConversionsAreCopied) {
    EXPECT_EQ(u"%q %", Fmt(256, u"%q %"));
}

TEST(WideFormat, TruncatesWithinCapacity) {
    char16_t buffer[8];
    for (auto& c : buffer) c = u'#';
    const std::size_t n = wfmt::Format(buffer, 5, u"%s", u"abcdefgh");
    EXPECT_EQ(4u, n);
    EXPECT_EQ(std::u16string(u"abcd"), std::u16string(buffer));
    EXPECT_EQ(u'#', buffer[5]);  // nothing written past the capacity
    EXPECT_EQ(0u, wfmt::Format(buffer, 0, u"%s", u"x"));
}

namespace {

// A code unit that counts how often it is copied, to see how much work the sink does.
struct CountedUnit {
    static std::size_t copies;
    char16_t value = 0;
    CountedUnit() = default;
    CountedUnit(const CountedUnit& other) : value(other.value) { ++copies; }
    CountedUnit& operator=(const CountedUnit& other) {
        value = other.value;
        ++copies;
        return *this;
    }
};
std::size_t CountedUnit::copies = 0;

}  // namespace

// Found by log_message_fuzzer: "%*c" with a width near INT_MAX padded unit by unit long after
// the buffer was full, some seconds per call.
TEST(WideFormat, PaddingStopsOnceTheBufferIsFull) {
    CountedUnit buffer[4];
    wfmt::Sink<CountedUnit> sink(buffer, 4);
    CountedUnit space;
    space.value = u' ';
    CountedUnit::copies = 0;
    sink.PutRepeated(space, 100000000);
    EXPECT_TRUE(sink.Truncated());
    EXPECT_LT(CountedUnit::copies, 16u);
    EXPECT_EQ(u' ', buffer[2].value);

    // The same call through the formatter still yields the text that fits.
    char16_t text[8];
    EXPECT_EQ(7u, wfmt::Format(text, 8, u"%*c", INT32_MAX, u'x'));
    EXPECT_EQ(std::u16string(7, u' '), std::u16string(text));
}
