// Reading the deployment code and region code from an executable's path, with a classifier that
// knows ASCII, Latin-1, Greek and Cyrillic letters (the stub asks Windows instead).
#include <gtest/gtest.h>

#include <string>

#include "app/deployment_code.h"

using deployment::ParseDeploymentCode;

namespace {

bool SimpleAlphaNumeric(char16_t c) {
    if ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'))
        return true;
    if (c >= 0xC0 && c <= 0xFF) return c != 0xD7 && c != 0xF7;  // Latin-1 letters
    if (c >= 0x391 && c <= 0x3C9) return true;                   // Greek
    if (c >= 0x410 && c <= 0x44F) return true;                   // Cyrillic
    return false;
}

deployment::DeploymentCode<char16_t> Parse(const std::u16string& path) {
    return ParseDeploymentCode(path.c_str(), path.size(), SimpleAlphaNumeric);
}

}  // namespace

TEST(DeploymentCode, PathTable) {
    const struct {
        const char* what;
        std::u16string path;
        const char16_t* code;    // nullptr: no code found
        const char16_t* region;  // u"": no region code
    } cases[] = {
        {"region in lower case", u"C:\\Users\\a\\Downloads\\Setup-AB12CD34EF56us.exe",
         u"AB12CD34EF56", u"US"},
        {"region in upper case", u"C:\\Users\\a\\Downloads\\Setup-AB12CD34EF56US.exe",
         u"AB12CD34EF56", u"US"},
        {"region of digits", u"C:\\d\\Setup-AB12CD34EF5607.exe", u"AB12CD34EF56", u"07"},
        {"extension right after the code", u"C:\\d\\Setup-AB12CD34EF56.exe", u"AB12CD34EF56",
         u""},
        {"copy suffix of a second download", u"C:\\d\\Setup-AB12CD34EF56 (1).exe",
         u"AB12CD34EF56", u""},
        {"one letter, then the extension", u"C:\\d\\Setup-AB12CD34EF56u.exe", u"AB12CD34EF56",
         u""},
        {"one letter, then the end", u"C:\\d\\Setup-AB12CD34EF56u", u"AB12CD34EF56", u""},
        {"region with a low line", u"C:\\d\\Setup-AB12CD34EF56u_.exe", u"AB12CD34EF56", u""},
        {"lower case kept in the code", u"C:\\d\\Setup-ab12cd34ef56eu.exe", u"ab12cd34ef56",
         u"EU"},
        {"only a to z are upper-cased", u"C:\\d\\Setup-AB12CD34EF56\u00e9a.exe", u"AB12CD34EF56",
         u"\u00e9A"},
        {"no extension", u"C:\\d\\Setup-AB12CD34EF56", u"AB12CD34EF56", u""},
        {"dashes in a directory and the file name", u"C:\\my-dir\\Setup-AB12CD34EF56us.exe",
         u"AB12CD34EF56", u"US"},
        {"accented letters and other scripts",
         u"C:\\d\\Setup-\u00c9\u00e0\u00d6\u00df12\u0416\u04343\u03bb\u03a94.exe",
         u"\u00c9\u00e0\u00d6\u00df12\u0416\u04343\u03bb\u03a94", u""},
        {"11 characters, then the extension", u"C:\\d\\Setup-AB12CD34EF5.exe", nullptr, u""},
        {"fewer than 12 characters to the end", u"C:\\d\\Setup-AB12CD34EF5", nullptr, u""},
        {"a second dash after the code", u"C:\\d\\Setup-AB12CD34EF56-1.2.exe", nullptr, u""},
        {"the only dash in a directory", u"C:\\my-dir\\SetupAB12CD34EF56.exe", nullptr, u""},
        {"a code-like directory name", u"C:\\x-AB12CD34EF56\\Setup.exe", nullptr, u""},
        {"no dash", u"C:\\d\\SetupAB12CD34EF56us.exe", nullptr, u""},
        {"a low line in the code", u"C:\\d\\Setup-AB12CD_4EF56.exe", nullptr, u""},
        {"a space in the code", u"C:\\d\\Setup-AB12CD 34EF56.exe", nullptr, u""},
        {"a symbol in the code", u"C:\\d\\Setup-AB12CD\u00d74EF56.exe", nullptr, u""},
        {"the dash is last", u"C:\\d\\Setup-", nullptr, u""},
        {"empty path", u"", nullptr, u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto parsed = Parse(c.path);
        ASSERT_EQ(c.code != nullptr, parsed.found);
        if (!c.code) {
            // Nothing of a rejected candidate is left in the result.
            EXPECT_EQ(u"", std::u16string(parsed.code));
            EXPECT_FALSE(parsed.HasRegion());
            continue;
        }
        EXPECT_EQ(std::u16string(c.code), std::u16string(parsed.code));
        EXPECT_EQ(std::u16string(c.region), std::u16string(parsed.region));
        EXPECT_EQ(c.region[0] != 0, parsed.HasRegion());

        char16_t combined[15];
        parsed.Combined(combined);
        EXPECT_EQ(std::u16string(c.code) + c.region, std::u16string(combined));
    }
}

// Only the given length is read: a path need not be NUL-terminated.
TEST(DeploymentCode, ReadsOnlyTheGivenLength) {
    const std::u16string path = u"C:\\d\\Setup-AB12CD34EF56us.exe";
    const auto cut = ParseDeploymentCode(path.c_str(), path.find(u"us.exe"), SimpleAlphaNumeric);
    ASSERT_TRUE(cut.found);
    EXPECT_FALSE(cut.HasRegion());
    EXPECT_FALSE(ParseDeploymentCode(path.c_str(), path.find(u"6us"), SimpleAlphaNumeric).found);
}

// The classifier passed in decides what a letter or digit is, for the code and the region code.
TEST(DeploymentCode, UsesTheGivenClassifier) {
    const std::u16string path = u"C:\\d\\Setup-AB12CD34EF56us.exe";
    const auto noDigits = [](char16_t c) {
        return SimpleAlphaNumeric(c) && !(c >= u'0' && c <= u'9');
    };
    EXPECT_FALSE(ParseDeploymentCode(path.c_str(), path.size(), noDigits).found);

    const auto noU = [](char16_t c) { return SimpleAlphaNumeric(c) && c != u'U'; };
    const auto parsed = ParseDeploymentCode(path.c_str(), path.size(), noU);
    ASSERT_TRUE(parsed.found);
    EXPECT_FALSE(parsed.HasRegion());  // upper-cased before the test: "US" fails
}
