// The deployment code in the package executable's file name, as an administrator would see it:
// the registry values after a run, read back from the 32-bit view, and the payload reading them.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "support.h"

using namespace e2e;

namespace {

const char kKey[] = "HKLM\\Software\\Wow6432Node\\Brevant Inc.\\Brevant Remote Server";

struct Value {
    std::string type;
    std::string data;
    bool operator==(const Value& o) const { return type == o.type && data == o.data; }
};
using Values = std::map<std::string, Value>;

// The product key's values as "reg query" shows them in the 64-bit view of the prefix.
Values ReadProductKey() {
    const RunResult r = RunWine("reg", {"query", kKey});
    Values values;
    std::size_t start = 0, end;
    while ((end = r.out.find('\n', start)) != std::string::npos) {
        std::string line = r.out.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("    ", 0) != 0) continue;
        line = line.substr(4);
        const std::size_t gap1 = line.find("    ");
        if (gap1 == std::string::npos) continue;
        const std::size_t gap2 = line.find("    ", gap1 + 4);
        const std::string name = line.substr(0, gap1);
        const std::string type = line.substr(gap1 + 4, gap2 == std::string::npos ? std::string::npos : gap2 - gap1 - 4);
        const std::string data = gap2 == std::string::npos ? "" : line.substr(gap2 + 4);
        values[name] = {type, data};
    }
    return values;
}

void DeleteProductKey() { RunWine("reg", {"delete", "HKLM\\Software\\Wow6432Node\\Brevant Inc.", "/f"}); }

Values Expected(const std::string& code, const std::string& region) {
    Values v = {{"Confirm_d", {"REG_DWORD", "0x1"}},
                {"CKVTMode", {"REG_DWORD", "0x1"}},
                {"DCode", {"REG_SZ", code + region}},
                {"CKVTLogin", {"REG_DWORD", "0x0"}}};
    if (!region.empty()) v["CloudRegion"] = {"REG_SZ", region};
    return v;
}

class DeploymentCode : public ::testing::Test {
protected:
    void SetUp() override {
        CleanWineTemp();
        DeleteProductKey();
        // The payload reads the product key: the values must already be there when it starts.
        pkg = BuildPackage(dir, {{"run.bat", "@reg query \"HKLM\\Software\\Wow6432Node\\Brevant Inc.\\Brevant Remote Server\" /v DCode > \"" +
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
        const Values values = ReadProductKey();
        if (c.code.empty()) {
            EXPECT_TRUE(values.empty()) << c.path;
        } else {
            EXPECT_EQ(Expected(c.code, c.region), values) << c.path;
            EXPECT_NE(std::string::npos, ReadFile(dir / "seen.txt").find(c.code + c.region))
                << "the payload sees the code: " << c.path;
        }
    }
}

TEST_F(DeploymentCode, LaterRunWithoutRegionKeepsTheEarlierRegion) {
    RunAs("first/Setup-AB12CD34EF56de.exe");
    RunAs("second/Setup-ZZ12CD34EF99.exe");
    Values expected = Expected("ZZ12CD34EF99", "");
    expected["CloudRegion"] = {"REG_SZ", "DE"};
    EXPECT_EQ(expected, ReadProductKey());
}
