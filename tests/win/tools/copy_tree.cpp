// copy_tree DEST: copies every file under the current directory into DEST under plain numbered
// names (f0001, f0002, ...) and writes DEST\manifest.txt, so that the Linux side can see a
// directory's files whatever their names, after the directory itself is gone. Run as the stub's
// pass-through payload, the current directory is the stub's working directory. Built as a GUI
// program (see tests/win/CMakeLists.txt), so it prints nothing.
//
// manifest.txt, one entry a line, fields separated by tabs:
//   cwd  HEX                          the current directory, UTF-8 as hex
//   acp  N                            the ANSI code page
//   file HEX_ACP HEX_UTF8 SIZE COPY   a file: its path below the directory in the ANSI code page
//                                     (as the package stores names) and in UTF-8, its size and
//                                     the name of its copy in DEST
//   dir  HEX_ACP HEX_UTF8             a directory
// The ANSI form is "-" when the name has no exact form in that code page.
// Exit code 0 when every file was copied, 1 otherwise, 2 on a usage error.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tool_output.h"  // Utf8

namespace {

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out.empty() ? "-" : out;
}

std::string AnsiHex(const std::wstring& text) {
    if (text.empty()) return "-";
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                      static_cast<int>(text.size()), nullptr, 0, nullptr, &lossy);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    if (n > 0)
        WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()),
                            &out[0], n, nullptr, &lossy);
    return lossy || n <= 0 ? "-" : Hex(out);
}

class Copier {
public:
    explicit Copier(const std::wstring& dest) : dest_(dest) {}

    void Walk(const std::wstring& dir, const std::wstring& relative) {
        WIN32_FIND_DATAW found;
        const HANDLE search = FindFirstFileW((dir + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            const std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = relative.empty() ? name : relative + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                manifest_ += "dir\t" + AnsiHex(path) + "\t" + Hex(Utf8(path)) + "\n";
                // A link is listed, never followed: it could lead anywhere.
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) Walk(dir + L"\\" + name, path);
                continue;
            }
            wchar_t copyName[16];
            swprintf(copyName, 16, L"f%04u", ++copied_);
            const unsigned long long size =
                (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            if (!CopyFileW((dir + L"\\" + name).c_str(), (dest_ + L"\\" + copyName).c_str(), FALSE))
                ok_ = false;
            manifest_ += "file\t" + AnsiHex(path) + "\t" + Hex(Utf8(path)) + "\t" +
                         std::to_string(size) + "\t" + Utf8(copyName) + "\n";
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }

    std::string& Manifest() { return manifest_; }
    bool Ok() const { return ok_; }

private:
    std::wstring dest_;
    std::string manifest_;
    unsigned copied_ = 0;
    bool ok_ = true;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    wchar_t current[32768] = {};
    GetCurrentDirectoryW(32768, current);
    std::wstring source = current;
    while (!source.empty() && source.back() == L'\\') source.pop_back();

    Copier copier(argv[1]);
    copier.Manifest() = "cwd\t" + Hex(Utf8(current)) + "\nacp\t" + std::to_string(GetACP()) + "\n";
    copier.Walk(source, L"");

    // The manifest is written last: its presence says the copy finished.
    const HANDLE out = CreateFileW((std::wstring(argv[1]) + L"\\manifest.txt").c_str(), GENERIC_WRITE,
                                   0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) return 1;
    DWORD written = 0;
    const std::string& text = copier.Manifest();
    const BOOL wrote = WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(out);
    return wrote && copier.Ok() ? 0 : 1;
}
