// The deployment code in the package executable's file name, as an administrator would see it:
// the registry values after a run, read back from the 32-bit view, and the payload reading them.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support.h"

using namespace e2e;

namespace {

// The 32-bit stub's view of HKLM on 64-bit Windows, as the 64-bit registry shows it.
std::string CompanyKey() { return "HKLM\\Software\\Wow6432Node\\Brevant Inc."; }
std::string ProductKey() { return CompanyKey() + "\\Brevant Remote Server"; }

struct Value {
    std::string type;
    std::string data;
    bool operator==(const Value& o) const { return type == o.type && data == o.data; }
};
using Values = std::map<std::string, Value>;

// The product key's values, exported by regedit as a UTF-16 .reg file (reg query would print
// them in the console code page, which loses letters of other scripts).
Values ReadProductKey(const TempDir& dir) {
    const std::string exported = dir / "key.reg";
    RunProgram({"rm", "-f", exported});
    RunWine("regedit", {"/E", ToWindowsPath(exported), ProductKey().replace(0, 4, "HKEY_LOCAL_MACHINE")});
    const std::string text = Utf16ToUtf8(ReadFile(exported));
    Values values;
    std::size_t start = 0, end;
    while ((end = text.find('\n', start)) != std::string::npos) {
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::size_t eq = line.find("\"=");
        if (line.empty() || line[0] != '"' || eq == std::string::npos) continue;
        const std::string name = line.substr(1, eq - 1), data = line.substr(eq + 2);
        if (data.rfind("dword:", 0) == 0)
            values[name] = {"REG_DWORD", std::to_string(std::stoul(data.substr(6), nullptr, 16))};
        else if (data.size() >= 2 && data.front() == '"' && data.back() == '"')
            values[name] = {"REG_SZ", data.substr(1, data.size() - 2)};
        else
            values[name] = {"other", data};
    }
    return values;
}

void DeleteProductKey() { RunWine("reg", {"delete", CompanyKey(), "/f"}); }

Values Expected(const std::string& code, const std::string& region) {
    Values v = {{"Confirm_d", {"REG_DWORD", "1"}},
                {"CKVTMode", {"REG_DWORD", "1"}},
                {"DCode", {"REG_SZ", code + region}},
                {"CKVTLogin", {"REG_DWORD", "0"}}};
    if (!region.empty()) v["CloudRegion"] = {"REG_SZ", region};
    return v;
}

class DeploymentCode : public ::testing::Test {
protected:
    void SetUp() override {
        CleanWineTemp();
        DeleteProductKey();
        // The payload reads the product key: the values must already be there when it starts.
        pkg = BuildPackage(dir, {{"run.bat", "@reg query \"" + ProductKey() + "\" /v DCode > \"" +
                                                  ToWindowsPath(dir / "seen.txt") + "\"\r\n"}});
    }
    void TearDown() override { DeleteProductKey(); }

    // Copies the package under a file name (in a sub-directory path) and runs it.
    void RunAs(const std::string& relativePath) {
        const std::string path = dir / relativePath;
        RunProgram({"mkdir", "-p", path.substr(0, path.rfind('/'))});
        RunProgram({"cp", pkg, path});
        RunProgram({"rm", "-f", dir / "seen.txt"});
        EXPECT_EQ(0, RunWine(path).exitCode) << relativePath;
    }

    TempDir dir;
    std::string pkg;
};

}  // namespace

TEST_F(DeploymentCode, FileNamesThatCarryACode) {
    const struct {
        std::string path;
        std::string code, region;  // expected; empty code: nothing written
    } cases[] = {
        {"Setup-AB12CD34EF56us.exe", "AB12CD34EF56", "US"},
        {"Setup-AB12CD34EF56US.exe", "AB12CD34EF56", "US"},
        {"Setup-AB12CD34EF56.exe", "AB12CD34EF56", ""},
        {"Setup-AB12CD34EF56 (1).exe", "AB12CD34EF56", ""},
        {"Setup-AB12CD34EF56x.exe", "AB12CD34EF56", ""},
        {"Setup-ab12cd34ef56eu.exe", "ab12cd34ef56", "EU"},
        // Accented letters and letters of other scripts (UTF-8 here, UTF-16 in Windows).
        {"Setup-\u00E9\u00E0\u00FC\u0416\u0434\u03A9abcdef.exe", "\u00E9\u00E0\u00FC\u0416\u0434\u03A9abcdef", ""},
        {"Setup-AB12CD34EF56", "AB12CD34EF56", ""},
        {"dir-x/Setup-AB12CD34EF56jp.exe", "AB12CD34EF56", "JP"},
        {"Setup-AB12CD34EF5.exe", "", ""},
        {"Setup-AB12CD34EF56-1.2.exe", "", ""},
        {"dir-AB12CD34EF56/Setup.exe", "", ""},
        {"Setup.exe", "", ""},
    };
    for (const auto& c : cases) {
        DeleteProductKey();
        RunAs(c.path);
        const Values values = ReadProductKey(dir);
        if (c.code.empty()) {
            EXPECT_TRUE(values.empty()) << c.path;
        } else {
            EXPECT_EQ(Expected(c.code, c.region), values) << c.path;
            // The payload already sees the value (its output is in the console code page, so
            // only the ASCII tail of the code is looked for).
            EXPECT_NE(std::string::npos, ReadFile(dir / "seen.txt").find(c.code.substr(c.code.size() - 6) + c.region))
                << "the payload sees the code: " << c.path;
        }
    }
}

TEST_F(DeploymentCode, LaterRunWithoutRegionKeepsTheEarlierRegion) {
    RunAs("first/Setup-AB12CD34EF56de.exe");
    RunAs("second/Setup-ZZ12CD34EF99.exe");
    Values expected = Expected("ZZ12CD34EF99", "");
    expected["CloudRegion"] = {"REG_SZ", "DE"};
    EXPECT_EQ(expected, ReadProductKey(dir));
}
