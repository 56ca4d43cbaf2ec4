// The argument vector and the pass-through parameters, on raw command lines written as the
// shell would hand them over.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/command_line.h"

namespace {

std::vector<std::u16string> Split(const char16_t* line) {
    std::vector<std::u16string> args;
    cmdline::ForEachArgument(line, [&](std::size_t, const BasicStr<char16_t>& a) {
        args.emplace_back(a.c_str(), a.Length());
    });
    return args;
}

std::u16string Parameters(const char16_t* line) {
    const auto p = cmdline::PassThroughParameters(line);
    return std::u16string(p.c_str(), p.Length());
}

}  // namespace

TEST(CommandLine, SplittingRules) {
    const struct {
        const char16_t* line;
        std::vector<std::u16string> args;
    } cases[] = {
        {u"stub.exe", {u"stub.exe"}},
        {u"stub.exe setup.exe /quiet /norestart", {u"stub.exe", u"setup.exe", u"/quiet", u"/norestart"}},
        {u"\"C:\\a dir\\stub one.exe\" setup.exe /quiet", {u"C:\\a dir\\stub one.exe", u"setup.exe", u"/quiet"}},
        {u"stub.exe\tsetup.exe\t/q", {u"stub.exe", u"setup.exe", u"/q"}},
        {u"stub.exe  a.exe  /q  ", {u"stub.exe", u"a.exe", u"/q"}},
        {u"stub.exe \"setup two.exe\" /q", {u"stub.exe", u"setup two.exe", u"/q"}},
        {u"stub.exe a\"b c\"d", {u"stub.exe", u"ab cd"}},
        {u"stub.exe \"\" x", {u"stub.exe", u"", u"x"}},
        // Backslashes: literal unless before a quote; pairs halve, an odd one escapes the quote.
        {u"stub.exe a\\\\b \\\"q\\\" c\\\\\\\"d \"e\\\\\"", {u"stub.exe", u"a\\\\b", u"\"q\"", u"c\\\"d", u"e\\"}},
        // In the program name backslashes are plain and quotes only group.
        {u"\"C:\\x\\\"y z", {u"C:\\x\\y", u"z"}},
        {u"", {u""}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.args, Split(c.line)) << std::string(c.line, c.line + std::char_traits<char16_t>::length(c.line));
        EXPECT_EQ(c.args.size(), cmdline::CountArguments(c.line));
    }
}

TEST(CommandLine, PassThroughParameters) {
    const struct {
        const char16_t* line;
        const char16_t* parameters;
    } cases[] = {
        {u"stub.exe setup.exe /quiet /norestart", u"/quiet /norestart"},
        {u"\"stub one.exe\" setup.exe /quiet", u"/quiet"},
        {u"stub.exe \"setup two.exe\" /q", u"/q"},
        {u"stub.exe  a.exe  /q  ", u"/q"},
        {u"stub.exe a.exe /x   /y", u"/x  /y"},
        {u"stub.exe a.exe /x    /y", u"/x  /y"},
        {u"stub.exe a.exe /x  /y", u"/x /y"},
        {u"stub.exe a.exe /x \"two  spaces\"", u"/x \"two spaces\""},
        // The search for a space starts inside the quoted argument 1 and stops at its space.
        {u"\"stub.exe\" \"setup a\" /q", u"a\" /q"},
        // No space at or after the start: rebuilt from the arguments, each with one space.
        {u"stub.exe\tsetup.exe\t/q", u"/q "},
        // Any space counts, even one inside quotes after tab-separated arguments.
        {u"stub.exe\tsetup.exe\t\"x y\"\t/z", u"y\"\t/z"},
        // Tabs stay inside the raw text.
        {u"stub.exe a.exe /x\t/y ", u"/x\t/y"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::u16string(c.parameters), Parameters(c.line))
            << std::string(c.line, c.line + std::char_traits<char16_t>::length(c.line));
}
