// The batch output file: the path the command is given for it must lead to the very file the
// stub made and holds, or nothing may start (the interpreter would write, elevated, wherever the
// path leads).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "app/batch_output.h"
#include "test_temp_dir.h"

TEST(BatchOutput, PathMustLeadToTheFileHeld) {
    ScopedTempDir temp;
    WriteWholeFile(temp / L"users.txt", "the user's");
    CreateDirectoryW((temp / L"sub").c_str(), nullptr);
    WriteWholeFile(temp / L"sub\\unpack.log.txt", "the user's");
    const struct {
        const char* what;
        std::wstring path;
        bool prepared;
    } cases[] = {
        {"the file made", temp / L"unpack.log.txt", true},
        {"another file of the user's", temp / L"users.txt", false},
        {"a file of the same name elsewhere", temp / L"sub\\unpack.log.txt", false},
        {"a path that leads nowhere", temp / L"missing\\unpack.log.txt", false},
    };
    for (const auto& c : cases) {
        BatchOutputFile output;
        EXPECT_EQ(c.prepared, output.Prepare(c.path.c_str())) << c.what;
        EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((temp / L"unpack.log.txt").c_str())) << c.what;
    }
    EXPECT_EQ("the user's", ReadWholeFile(temp / L"users.txt"));
    EXPECT_EQ("the user's", ReadWholeFile(temp / L"sub\\unpack.log.txt"));
}
