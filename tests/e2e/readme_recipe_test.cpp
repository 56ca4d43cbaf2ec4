// The release recipe in README.md, run as written: only its variable lines are replaced with this
// run's paths. A change to the recipe that breaks it, or that drops one of its variables, fails here.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <sstream>
#include <string>

#include "package/package_format.h"
#include "support.h"

using namespace e2e;

namespace {

const char kMarker[] = "<!-- release-recipe: run by tests/e2e/readme_recipe_test.cpp -->";

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// The fenced block after the marker, with each "NAME=..." line whose NAME is in `values`
// replaced; *replaced counts them.
std::string RecipeWith(const std::string& readme, const std::map<std::string, std::string>& values,
                       std::size_t* replaced) {
    const std::size_t marker = readme.find(kMarker);
    if (marker == std::string::npos) return "";
    const std::size_t open = readme.find("```sh\n", marker);
    const std::size_t close = readme.find("\n```", open + 6);
    if (open == std::string::npos || close == std::string::npos) return "";
    std::istringstream block(readme.substr(open + 6, close - open - 6));
    std::string script, line;
    *replaced = 0;
    while (std::getline(block, line)) {
        const std::size_t eq = line.find('=');
        const auto value = eq == std::string::npos ? values.end() : values.find(line.substr(0, eq));
        if (value != values.end()) {
            line = value->first + "=" + value->second;
            ++*replaced;
        }
        script += line + "\n";
    }
    return script;
}

// Runs the recipe with the given stubpack and stub ("" for the installed one) on five files, and
// checks the signed package it leaves.
void RunRecipe(const TempDir& dir, const std::string& stubpack, const std::string& stub) {
    const std::map<std::string, std::string> files = {{"setup.msi", std::string(100000, 'M')},
                                                      {"run.bat", "PreVerCheck.exe"},
                                                      {"setup.ini", "[setup]\r\n"},
                                                      {"PreVerCheck.exe", "MZ-check"},
                                                      {"uninst.iss", ""}};
    std::string list = "(";
    for (const char* name : {"setup.msi", "run.bat", "setup.ini", "PreVerCheck.exe", "uninst.iss"}) {
        WriteFile(dir / name, files.at(name));
        list += Quote(dir / name) + " ";
    }
    list.back() = ')';
    const SigningKey& key = TestSigningKey();
    const std::string out = dir / "dist dir/Setup.exe";  // a space, to keep the recipe's quoting honest
    const std::map<std::string, std::string> values = {
        {"STUBPACK", Quote(stubpack)},     {"STUB", Quote(stub)},   {"FILES", list},
        {"CERT", Quote(key.cert)},         {"KEY", Quote(key.key)}, {"CA", Quote(key.cert)},
        {"PRODUCT", Quote("Recipe Test")}, {"OUT", Quote(out)}};

    std::size_t replaced = 0;
    const std::string script = RecipeWith(ReadFile(std::string(SOURCE_DIR) + "/README.md"), values, &replaced);
    ASSERT_FALSE(script.empty()) << "README.md has no release recipe after the marker";
    ASSERT_EQ(values.size(), replaced) << "every variable of the recipe is set by this test\n" << script;
    WriteFile(dir / "recipe.sh", script);

    const RunResult r = RunProgram({"bash", "-c", "cd " + Quote(dir.Path()) + " && bash recipe.sh"});
    ASSERT_EQ(0, r.exitCode) << script << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find(out + ".unsigned: OK: the stub will extract all 5 files (unsigned)"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find(out + ": OK: the stub will extract all 5 files (signed, certificate"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find(Sha256(out))) << r.out;
    EXPECT_FALSE(FileExists(out + ".unsigned"));

    // What the signed package holds is what went in, behind the stub that was asked for.
    ASSERT_EQ(0, Stubpack({"extract", out, dir / "check"}).exitCode);
    for (const auto& [name, bytes] : files) EXPECT_TRUE(ReadFile(dir / "check/" + name) == bytes) << name;
    // Signing changes only the stub's checksum and security directory.
    const auto withoutSigningFields = [](std::string image) {
        std::uint32_t lfanew = 0;
        std::memcpy(&lfanew, &image[package::kLfanewOffset], sizeof lfanew);
        std::memset(&image[lfanew + 88], 0, 4);                                 // CheckSum
        const std::size_t entry =
            package::CertTableEntryAt(reinterpret_cast<const unsigned char*>(&image[lfanew]));
        std::memset(&image[lfanew + entry], 0, 8);  // security directory
        return image;
    };
    const std::string stubBytes = ReadFile(StubPath());
    EXPECT_TRUE(withoutSigningFields(ReadFile(out).substr(0, stubBytes.size())) == withoutSigningFields(stubBytes))
        << "the package starts with the stub";
}

}  // namespace

TEST(ReadmeRecipe, RunsAsWrittenAndGivesAVerifiedSignedPackage) {
    TempDir dir;
    RunRecipe(dir, StubpackPath(), StubPath());
}

// The Debian package, unpacked into a scratch root as a user's installation: its stubpack finds
// the stub installed beside it, so the recipe runs with STUB left empty; the manual page is there.
TEST(ReadmeRecipe, RunsWithTheInstalledDebianPackage) {
    TempDir dir;
    const RunResult packed = RunProgram({"cpack", "--config", CPACK_CONFIG, "-B", dir / "packages"});
    ASSERT_EQ(0, packed.exitCode) << packed.out << packed.err;
    const RunResult found = RunProgram({"sh", "-c", "ls " + Quote(dir / "packages") + "/stubpack_*.deb"});
    ASSERT_EQ(0, found.exitCode) << found.err;
    const std::string deb = found.out.substr(0, found.out.find('\n'));
    ASSERT_EQ(0, RunProgram({"dpkg-deb", "-x", deb, dir / "root"}).exitCode);

    EXPECT_TRUE(FileExists(dir / "root/usr/share/man/man1/stubpack.1.gz"));
    const RunResult manual = RunProgram({"sh", "-c", "zcat " + Quote(dir / "root/usr/share/man/man1/stubpack.1.gz")});
    EXPECT_NE(std::string::npos, manual.out.find(".TH STUBPACK")) << manual.out;
    EXPECT_TRUE(ReadFile(dir / "root/usr/share/stubpack/UnPackFile.exe") == ReadFile(StubPath()));

    TempDir work;
    RunRecipe(work, dir / "root/usr/bin/stubpack", "");
}
