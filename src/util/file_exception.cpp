#include "util/file_exception.h"

#include "util/resource_string.h"

void CFileException::SetFromSystemError(DWORD systemError, const wchar_t* fileName) {
    m_lOsError = static_cast<LONG>(systemError);
    m_cause = FileErrorCauseFromSystemError(systemError);
    m_strFileName = fileName;
}

void CFileException::SetBadPath(const wchar_t* fileName) {
    m_cause = kCauseBadPath;
    m_strFileName = fileName;
}

BOOL CFileException::GetDescription(wchar_t* buffer, UINT capacity) const {
    if (!buffer || capacity == 0) return FALSE;
    const WString unnamed =
        m_strFileName.IsEmpty() ? LoadResourceString(kUnnamedFileString) : WString();
    const WString causeText = LoadResourceString(kFileErrorStringBase + static_cast<UINT>(m_cause));
    return WriteFileErrorDescription(causeText.c_str(), m_strFileName.c_str(), unnamed.c_str(),
                                     buffer, capacity)
               ? TRUE
               : FALSE;
}

HANDLE OpenFileRecordingError(const wchar_t* fileName, DWORD access, DWORD share, DWORD disposition,
                              CFileException* error) {
    if (WString::UnitLength(fileName) >= MAX_PATH) {
        error->SetBadPath(fileName);
        return INVALID_HANDLE_VALUE;
    }
    const HANDLE file =
        CreateFileW(fileName, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) error->SetFromSystemError(GetLastError(), fileName);
    return file;
}
