// The stub's string type: appends of the string to itself, and what a failed append leaves.
#include <gtest/gtest.h>

#include <string>

#include "util/basic_string.h"

using Str = BasicStr<char16_t>;

namespace {

std::u16string Text(const Str& s) { return std::u16string(s.c_str(), s.Length()); }

}  // namespace

// Under AddressSanitizer a self-append that reads the buffer it has just reallocated fails here.
TEST(BasicString, AppendOfItselfAcrossReallocations) {
    Str s(u"ab");
    std::u16string expected = u"ab";
    for (int round = 0; round < 8; ++round) {  // 2 units up to 512: the buffer moves several times
        ASSERT_TRUE(s.Append(s));
        expected += expected;
        ASSERT_EQ(expected, Text(s));
    }
    ASSERT_TRUE(s.Append(s.c_str() + 1, 3));  // a part of itself
    EXPECT_EQ(expected + expected.substr(1, 3), Text(s));
}

// A failed append leaves no shorter string behind, and the failure travels with the string.
TEST(BasicString, FailedAppendPoisonsTheString) {
    Str path(u"C:\\Temp\\");
    EXPECT_FALSE(path.Append(u"x", Str::kMaxLength));  // more than can ever be allocated
    EXPECT_TRUE(path.Failed());
    EXPECT_TRUE(path.IsEmpty());
    EXPECT_EQ(u"", std::u16string(path.c_str()));

    EXPECT_FALSE(path.Append(u"unpack\\")) << "nothing appends to a failed string";
    EXPECT_TRUE(path.IsEmpty());

    Str copy(path);
    EXPECT_TRUE(copy.Failed());
    Str assigned(u"other");
    assigned = path;
    EXPECT_TRUE(assigned.Failed());
    Str joined(u"C:\\");
    EXPECT_FALSE(joined.Append(path));
    EXPECT_TRUE(joined.Failed() && joined.IsEmpty()) << "appending a failed string fails";
    Str moved(static_cast<Str&&>(copy));
    EXPECT_TRUE(moved.Failed());

    path.Clear();
    EXPECT_FALSE(path.Failed());
    EXPECT_TRUE(path.Append(u"again"));
    EXPECT_EQ(u"again", Text(path));
}

TEST(BasicString, LengthsThatCannotBeAllocatedFailWithoutReadingTheText) {
    Str s(u"abc");
    // The text pointer is never read: the length alone is refused.
    EXPECT_FALSE(s.Append(nullptr, static_cast<std::size_t>(-1)));
    EXPECT_TRUE(s.Failed());
    Str t(u"abc");
    EXPECT_FALSE(t.Append(nullptr, Str::kMaxLength - 2));
    EXPECT_TRUE(t.Failed());
}
