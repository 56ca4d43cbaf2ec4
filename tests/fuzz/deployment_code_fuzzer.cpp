// The deployment-code parser on arbitrary UTF-16 paths (the input read as 16-bit units), with a
// classifier picked by the first byte. The answer is checked against the rule stated again with
// std::u16string operations: the last dash, twelve letters or digits after it with no backslash
// anywhere after it, then an optional region of two units that are letters or digits once a to z
// are upper-cased. The path is copied to a buffer of exactly its length, so that ASan sees any
// read past it.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/deployment_code.h"
#include "fuzz_check.h"

using deployment::kCodeLength;
using deployment::kRegionLength;

namespace {

bool AsciiAlphaNumeric(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// Like Windows' classes: many scripts, but never separators, dashes, controls or NUL.
bool WideAlphaNumeric(char16_t c) {
    if (AsciiAlphaNumeric(c)) return true;
    if (c < 0xC0) return false;
    return c != 0xD7 && c != 0xF7 && c != 0x2010 && c != 0x2212 && !(c >= 0xD800 && c <= 0xDFFF);
}

// Accepts '-' and '\\' too, so that the parser cannot lean on the classifier to reject them.
bool Everything(char16_t c) { return c != 0; }

template <class IsAlphaNumeric>
void Check(const std::u16string& path, IsAlphaNumeric isAlphaNumeric) {
    std::vector<char16_t> exact(path.begin(), path.end());
    const char16_t* data = exact.empty() ? nullptr : exact.data();
    const auto got = deployment::ParseDeploymentCode(data, exact.size(), isAlphaNumeric);

    bool found = false;
    std::u16string code, region;
    const std::size_t dash = path.rfind(u'-');
    if (dash != std::u16string::npos) {
        const std::u16string tail = path.substr(dash + 1);
        found = tail.size() >= kCodeLength && tail.find(u'\\') == std::u16string::npos;
        for (std::size_t i = 0; found && i < kCodeLength; ++i) found = isAlphaNumeric(tail[i]);
        if (found) {
            code = tail.substr(0, kCodeLength);
            if (tail.size() >= kCodeLength + kRegionLength) {
                std::u16string r = tail.substr(kCodeLength, kRegionLength);
                for (char16_t& c : r)
                    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
                if (isAlphaNumeric(r[0]) && isAlphaNumeric(r[1])) region = r;
            }
        }
    }

    FUZZ_CHECK(got.found == found);
    FUZZ_CHECK(got.code[kCodeLength] == 0 && got.region[kRegionLength] == 0);
    FUZZ_CHECK(std::u16string(got.code, found ? kCodeLength : 0) == code);
    if (!found) FUZZ_CHECK(got.code[0] == 0);
    FUZZ_CHECK(got.HasRegion() == !region.empty());
    FUZZ_CHECK(std::u16string(got.region, region.size()) == region);

    char16_t combined[kCodeLength + kRegionLength + 1];
    std::memset(combined, 0xAB, sizeof combined);
    if (found) {
        got.Combined(combined);
        const std::u16string expected = code + region;
        FUZZ_CHECK(std::u16string(combined, expected.size()) == expected);
        FUZZ_CHECK(combined[expected.size()] == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned choice = data[0] % 3;
    std::u16string path((size - 1) / 2, u'\0');
    for (std::size_t i = 0; i < path.size(); ++i)
        path[i] = static_cast<char16_t>(data[1 + 2 * i] | data[2 + 2 * i] << 8);
    if (choice == 0) Check(path, AsciiAlphaNumeric);
    else if (choice == 1) Check(path, WideAlphaNumeric);
    else Check(path, Everything);
    return 0;
}
