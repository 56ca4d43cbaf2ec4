#include "util/file_error.h"

namespace {

struct CauseRow {
    std::uint16_t systemError;
    std::uint8_t cause;
};

// System error codes with a cause of their own; everything else is the generic cause.
constexpr CauseRow kCauseTable[] = {
    {0, kCauseNone},
    {2, kCauseFileNotFound}, {6, kCauseFileNotFound}, {18, kCauseFileNotFound},
    {107, kCauseFileNotFound},
    {3, kCauseBadPath}, {15, kCauseBadPath}, {17, kCauseBadPath}, {34, kCauseBadPath},
    {52, kCauseBadPath}, {53, kCauseBadPath}, {55, kCauseBadPath}, {67, kCauseBadPath},
    {70, kCauseBadPath}, {85, kCauseBadPath}, {111, kCauseBadPath}, {123, kCauseBadPath},
    {124, kCauseBadPath}, {125, kCauseBadPath}, {144, kCauseBadPath}, {154, kCauseBadPath},
    {161, kCauseBadPath}, {206, kCauseBadPath}, {208, kCauseBadPath}, {267, kCauseBadPath},
    {4, kCauseTooManyOpenFiles}, {36, kCauseTooManyOpenFiles}, {68, kCauseTooManyOpenFiles},
    {113, kCauseTooManyOpenFiles},
    {5, kCauseAccessDenied}, {12, kCauseAccessDenied}, {19, kCauseAccessDenied},
    {29, kCauseAccessDenied}, {54, kCauseAccessDenied}, {58, kCauseAccessDenied},
    {64, kCauseAccessDenied}, {65, kCauseAccessDenied}, {71, kCauseAccessDenied},
    {80, kCauseAccessDenied}, {82, kCauseAccessDenied}, {86, kCauseAccessDenied},
    {170, kCauseAccessDenied}, {183, kCauseAccessDenied}, {999, kCauseAccessDenied},
    {11, kCauseInvalidFile}, {26, kCauseInvalidFile}, {60, kCauseInvalidFile},
    {66, kCauseInvalidFile}, {114, kCauseInvalidFile}, {182, kCauseInvalidFile},
    {191, kCauseInvalidFile}, {193, kCauseInvalidFile},
    {16, kCauseRemoveCurrentDir}, {145, kCauseRemoveCurrentDir},
    {62, kCauseDirectoryFull},
    {24, kCauseBadSeek}, {25, kCauseBadSeek}, {27, kCauseBadSeek}, {30, kCauseBadSeek},
    {131, kCauseBadSeek}, {132, kCauseBadSeek},
    {20, kCauseHardIO}, {21, kCauseHardIO}, {22, kCauseHardIO}, {23, kCauseHardIO},
    {57, kCauseHardIO}, {59, kCauseHardIO}, {88, kCauseHardIO}, {117, kCauseHardIO},
    {995, kCauseHardIO}, {996, kCauseHardIO}, {997, kCauseHardIO},
    {32, kCauseSharingViolation},
    {33, kCauseLockViolation}, {108, kCauseLockViolation}, {167, kCauseLockViolation},
    {39, kCauseDiskFull}, {112, kCauseDiskFull},
    {38, kCauseEndOfFile},
};

}  // namespace

int FileErrorCauseFromSystemError(std::uint32_t systemError) {
    for (const CauseRow& row : kCauseTable)
        if (row.systemError == systemError) return row.cause;
    return kCauseGeneric;
}
