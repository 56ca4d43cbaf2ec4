// The record-name check on 8-bit names (the input's bytes) and on UTF-16 names (the bytes widened,
// and the input read as 16-bit units). Each answer is checked against what the name holds, the
// 8-bit and widened answers must agree, and an accepted name is a plain file name.
#include <cstdint>
#include <string>
#include <type_traits>

#include "fuzz_check.h"
#include "package/package_format.h"
#include "package/record_name.h"

using package::CheckRecordName;
using package::NameProblem;

namespace {

bool IsWildcard(unsigned c) {
    return c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*';
}

unsigned Upper(unsigned c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

// Windows' device names: the part before the first dot, trailing spaces dropped, compared
// without case; COM and LPT with a digit (or, in UTF-16, a superscript 1-3).
template <class Ch>
bool IsDeviceName(const std::basic_string<Ch>& name) {
    std::u32string base;
    for (Ch ch : name) {
        const unsigned c = static_cast<std::make_unsigned_t<Ch>>(ch);
        if (c == '.') break;
        base.push_back(Upper(c));
    }
    while (!base.empty() && base.back() == U' ') base.pop_back();
    for (const char32_t* word : {U"CON", U"PRN", U"AUX", U"NUL", U"CONIN$", U"CONOUT$"})
        if (base == word) return true;
    if (base.size() != 4 || (base.compare(0, 3, U"COM") != 0 && base.compare(0, 3, U"LPT") != 0))
        return false;
    const char32_t d = base[3];
    return (d >= U'0' && d <= U'9') || (sizeof(Ch) > 1 && (d == 0xB9 || d == 0xB2 || d == 0xB3));
}

// The answer must name a fault the name has; "valid" only when it has none.
template <class Ch>
void CheckAnswer(const std::basic_string<Ch>& name, NameProblem problem) {
    bool separator = false, colon = false, control = false, wildcard = false, dotsOnly = true;
    for (Ch ch : name) {
        const unsigned c = static_cast<std::make_unsigned_t<Ch>>(ch);
        separator |= c == '\\' || c == '/';
        colon |= c == ':';
        control |= c < 0x20;
        wildcard |= IsWildcard(c);
        dotsOnly &= c == '.' || c == ' ';
    }
    switch (problem) {
        case NameProblem::None:
            FUZZ_CHECK(!name.empty() && name.size() <= package::kMaxNameLength);
            FUZZ_CHECK(!separator && !colon && !control && !wildcard && !dotsOnly);
            FUZZ_CHECK(!IsDeviceName(name));
            break;
        case NameProblem::Empty: FUZZ_CHECK(name.empty()); break;
        case NameProblem::TooLong: FUZZ_CHECK(name.size() > package::kMaxNameLength); break;
        case NameProblem::Separator: FUZZ_CHECK(separator); break;
        case NameProblem::Colon: FUZZ_CHECK(colon); break;
        case NameProblem::ControlCharacter: FUZZ_CHECK(control); break;
        case NameProblem::Wildcard: FUZZ_CHECK(wildcard); break;
        case NameProblem::DotsOnly: FUZZ_CHECK(dotsOnly && !name.empty()); break;
        case NameProblem::ReservedDevice: FUZZ_CHECK(IsDeviceName(name)); break;
    }
    if (problem != NameProblem::Empty && problem != NameProblem::TooLong)
        FUZZ_CHECK(!name.empty() && name.size() <= package::kMaxNameLength);
    FUZZ_CHECK(package::Describe(problem)[0] != 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string narrow(reinterpret_cast<const char*>(data), size);
    const NameProblem narrowAnswer = CheckRecordName(narrow.data(), narrow.size());
    CheckAnswer(narrow, narrowAnswer);

    // Widened byte for byte (Latin-1): the same answer, except that in UTF-16 the superscripts
    // make COM and LPT names reserved as well.
    const std::u16string widened(data, data + size);
    const NameProblem widenedAnswer = CheckRecordName(widened.data(), widened.size());
    CheckAnswer(widened, widenedAnswer);
    const bool superscript = size == 4 || (size > 4 && (data[4] == '.' || data[4] == ' '));
    if (widenedAnswer != narrowAnswer)
        FUZZ_CHECK(narrowAnswer == NameProblem::None && widenedAnswer == NameProblem::ReservedDevice &&
                   superscript && (data[3] == 0xB9 || data[3] == 0xB2 || data[3] == 0xB3));

    std::u16string units;
    for (std::size_t i = 0; i + 1 < size; i += 2) units.push_back(char16_t(data[i] | data[i + 1] << 8));
    CheckAnswer(units, CheckRecordName(units.data(), units.size()));
    return 0;
}
