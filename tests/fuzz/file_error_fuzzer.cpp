// The file-error description: the cause of a system error code, and the description text built
// from a cause text, a file name and the unnamed-file text, written into a caller's buffer of any
// capacity. Input: three UTF-16 texts separated by a zero unit; the error code and the capacity
// come from the last bytes.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "util/file_error.h"

namespace {

constexpr std::size_t kCanaryUnits = 16;
constexpr char16_t kCanary = 0xA55A;

// "%1" replaced left to right, the name's own text never looked at again.
std::u16string Substituted(const std::u16string& text, const std::u16string& name) {
    std::u16string out;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(u"%1", from)) != std::u16string::npos; from = at + 2)
        out += text.substr(from, at - from) + name;
    return out + text.substr(from);
}

std::u16string NextText(const std::u16string& units, std::size_t* from) {
    const std::size_t end = std::min(units.find(u'\0', *from), units.size());
    const std::u16string text = units.substr(*from, end - *from);
    *from = end < units.size() ? end + 1 : end;
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto systemError = input.ConsumeIntegral<std::uint32_t>();
    // Up to twice the longest text an input can carry.
    const auto capacity = input.ConsumeIntegralInRange<std::size_t>(0, 4096);

    const int cause = FileErrorCauseFromSystemError(systemError);
    FUZZ_CHECK(cause >= kCauseNone && cause <= kCauseEndOfFile);
    FUZZ_CHECK((cause == kCauseNone) == (systemError == 0));
    // The table holds 16-bit codes: a larger code must not match one by its low half.
    if (systemError > 0xFFFF) FUZZ_CHECK(cause == kCauseGeneric);

    const std::string rest = input.ConsumeRemainingBytesAsString();
    std::u16string units;
    for (std::size_t i = 0; i + 1 < rest.size(); i += 2)
        units.push_back(char16_t(static_cast<unsigned char>(rest[i]) | static_cast<unsigned char>(rest[i + 1]) << 8));
    std::size_t from = 0;
    const std::u16string causeText = NextText(units, &from);
    const std::u16string fileName = NextText(units, &from);
    const std::u16string unnamed = NextText(units, &from);

    // The buffer sits between canaries, in a block of exactly its size.
    auto block = std::make_unique<char16_t[]>(kCanaryUnits * 2 + capacity);
    for (std::size_t i = 0; i < kCanaryUnits * 2 + capacity; ++i) block[i] = kCanary;
    char16_t* buffer = block.get() + kCanaryUnits;

    const bool written = WriteFileErrorDescription(causeText.c_str(), fileName.c_str(), unnamed.c_str(),
                                                   capacity ? buffer : nullptr, capacity);
    for (std::size_t i = 0; i < kCanaryUnits; ++i) {
        FUZZ_CHECK(block[i] == kCanary);
        FUZZ_CHECK(block[kCanaryUnits + capacity + i] == kCanary);
    }
    FUZZ_CHECK(written == (capacity > 0));
    if (!written) {
        FUZZ_CHECK(!WriteFileErrorDescription(causeText.c_str(), fileName.c_str(), unnamed.c_str(),
                                              static_cast<char16_t*>(nullptr), 16));
        return 0;
    }

    const std::u16string full = Substituted(causeText, fileName.empty() ? unnamed : fileName);
    const std::size_t n = std::min<std::size_t>(full.size(), capacity - 1u);
    FUZZ_CHECK(std::u16string(buffer, n) == full.substr(0, n));
    FUZZ_CHECK(buffer[n] == 0);
    for (std::size_t i = n + 1; i < capacity; ++i) FUZZ_CHECK(buffer[i] == kCanary);

    const auto substituted = SubstituteFileName(causeText.c_str(), fileName.c_str());
    FUZZ_CHECK(std::u16string(substituted.c_str(), substituted.Length()) == Substituted(causeText, fileName));
    return 0;
}
