// Which names may become a file in the working directory, for 8-bit and UTF-16 names alike.
#include <gtest/gtest.h>

#include <string>

#include "package/record_name.h"

using package::CheckRecordName;
using package::NameProblem;

TEST(RecordName, Table) {
    const struct {
        std::string name;
        NameProblem expected;
    } cases[] = {
        {"setup.msi", NameProblem::None},
        {"PreVerCheck.exe", NameProblem::None},
        {"a..b", NameProblem::None},
        {"..a", NameProblem::None},
        {"CONSOLE.txt", NameProblem::None},
        {"COM10", NameProblem::None},
        {"", NameProblem::Empty},
        {std::string(259, 'a'), NameProblem::None},
        {std::string(260, 'a'), NameProblem::TooLong},
        {"..", NameProblem::DotsOnly},
        {".", NameProblem::DotsOnly},
        {". .", NameProblem::DotsOnly},
        {"..\\evil.exe", NameProblem::Separator},
        {"sub/evil.exe", NameProblem::Separator},
        {"C:evil.exe", NameProblem::Colon},
        {"run.bat:stream", NameProblem::Colon},
        {"a\tb", NameProblem::ControlCharacter},
        {std::string("a\0b", 3), NameProblem::ControlCharacter},
        {"a?b", NameProblem::Wildcard},
        {"a*", NameProblem::Wildcard},
        {"a\"b", NameProblem::Wildcard},
        {"a|b", NameProblem::Wildcard},
        {"<a>", NameProblem::Wildcard},
        {"CON", NameProblem::ReservedDevice},
        {"con.txt", NameProblem::ReservedDevice},
        {"Nul", NameProblem::ReservedDevice},
        {"aux .log", NameProblem::ReservedDevice},
        {"prn.a.b", NameProblem::ReservedDevice},
        {"COM1", NameProblem::ReservedDevice},
        {"lpt9.dat", NameProblem::ReservedDevice},
        {"COM0", NameProblem::ReservedDevice},
        {"CONIN$", NameProblem::ReservedDevice},
        {"conout$.x", NameProblem::ReservedDevice},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.expected, CheckRecordName(c.name.data(), c.name.size())) << c.name;
        // The same rules hold for the UTF-16 form the stub checks after decoding.
        std::u16string wide(c.name.begin(), c.name.end());
        EXPECT_EQ(c.expected, CheckRecordName(wide.data(), wide.size())) << c.name;
    }
}

TEST(RecordName, Utf16Specifics) {
    // Windows reserves COM and LPT with a superscript digit as well.
    const std::u16string superscript = u"COM\u00B9.txt";
    EXPECT_EQ(NameProblem::ReservedDevice, CheckRecordName(superscript.data(), superscript.size()));
    // Non-ASCII letters are fine, and a byte above 0x7F is not mistaken for a separator.
    const std::u16string accented = u"r\u00E9sum\u00E9.txt";
    EXPECT_EQ(NameProblem::None, CheckRecordName(accented.data(), accented.size()));
    const std::string latin1 = "r\xE9sum\xE9.txt";
    EXPECT_EQ(NameProblem::None, CheckRecordName(latin1.data(), latin1.size()));
}
