// What the elevated stub may hand the shell and the interpreter, decided from the text alone.
#include <gtest/gtest.h>

#include "app/start_decision.h"

using start::ProgramPlace;

// Only a full path starts as given; a plain name must be a file of the working directory; any
// other relative path (which the shell would resolve against something the user can change) is
// refused.
TEST(StartDecision, WhereAPassThroughProgramIsTaken) {
    const struct {
        const char16_t* program;
        ProgramPlace place;
    } rows[] = {
        {u"C:\\Tools\\setup.exe", ProgramPlace::AsGiven},
        {u"z:/tools/setup.exe", ProgramPlace::AsGiven},
        {u"\\\\server\\share\\setup.exe", ProgramPlace::AsGiven},
        {u"\\\\?\\C:\\setup.exe", ProgramPlace::AsGiven},
        {u"setup.exe", ProgramPlace::WorkDir},
        {u"userprog.bat", ProgramPlace::WorkDir},
        {u"setup", ProgramPlace::WorkDir},
        {u"C:setup.exe", ProgramPlace::Refused},    // the drive's current directory
        {u"\\setup.exe", ProgramPlace::Refused},    // the current drive's root
        {u"sub\\setup.exe", ProgramPlace::Refused},
        {u"./setup.exe", ProgramPlace::Refused},
        {u"..", ProgramPlace::Refused},
        {u"", ProgramPlace::Refused},
        {u"1:\\setup.exe", ProgramPlace::Refused},
    };
    for (std::size_t i = 0; i < sizeof rows / sizeof rows[0]; ++i)
        EXPECT_EQ(rows[i].place, start::PlaceOf(rows[i].program)) << "row " << i;
    EXPECT_EQ(ProgramPlace::Refused, start::PlaceOf(static_cast<const char16_t*>(nullptr)));
}

TEST(StartDecision, PathsTheInterpreterWouldExpand) {
    EXPECT_FALSE(start::HoldsExpandableText(u"C:\\Users\\a\\AppData\\Local\\Temp\\unpack.log.txt"));
    EXPECT_TRUE(start::HoldsExpandableText(u"C:\\t%X%\\unpack.log.txt"));
    EXPECT_TRUE(start::HoldsExpandableText(u"C:\\t!X!\\unpack.log.txt"));
    EXPECT_TRUE(start::HoldsExpandableText(u"C:\\100%\\unpack.log.txt"));  // one is enough
    EXPECT_FALSE(start::HoldsExpandableText(static_cast<const char16_t*>(nullptr)));
}
