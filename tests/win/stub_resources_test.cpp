// The resources of the built stub, read back from UnPackFile.exe itself: the string table (byte
// for byte, as the compiler stored it), the manifest, the icon and the version block. Also the
// loading of strings at the time of use.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

#include "util/resource_string.h"

namespace {

const WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// The built stub: UNPACKFILE_STUB (set by ctest), else its place in the build tree beside this
// test's directory.
std::wstring StubPath() {
    wchar_t value[MAX_PATH + 1] = {};
    if (GetEnvironmentVariableW(L"UNPACKFILE_STUB", value, MAX_PATH)) return value;
    wchar_t self[MAX_PATH + 1] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path = self;
    path.erase(path.rfind(L'\\') + 1);
    return path + L"..\\..\\src\\UnPackFile.exe";
}

class LoadedStub {
public:
    LoadedStub()
        : module_(LoadLibraryExW(StubPath().c_str(), nullptr,
                                 LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE)) {}
    ~LoadedStub() {
        if (module_) FreeLibrary(module_);
    }
    LoadedStub(const LoadedStub&) = delete;
    LoadedStub& operator=(const LoadedStub&) = delete;
    HMODULE get() const { return module_; }

private:
    HMODULE module_;
};

// The raw bytes of one resource, or nothing when it is missing.
std::string ResourceBytes(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language) {
    const HRSRC found = FindResourceExW(module, type, name, language);
    if (!found) return std::string();
    const HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded ? LockResource(loaded) : nullptr;
    return data ? std::string(static_cast<const char*>(data), SizeofResource(module, found))
                : std::string();
}

// String id as stored in the English string table block: the UTF-16 units, without conversion.
std::u16string StoredString(HMODULE module, UINT id) {
    const std::string block =
        ResourceBytes(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), kEnglishUs);
    std::size_t at = 0;
    for (UINT index = 0; at + 2 <= block.size(); ++index) {
        const std::size_t length = static_cast<unsigned char>(block[at]) |
                                   static_cast<unsigned char>(block[at + 1]) << 8;
        at += 2;
        if (index == id % 16) {
            std::u16string units;
            for (std::size_t i = 0; i < length && at + 2 * i + 1 < block.size(); ++i)
                units += static_cast<char16_t>(static_cast<unsigned char>(block[at + 2 * i]) |
                                               static_cast<unsigned char>(block[at + 2 * i + 1]) << 8);
            return units;
        }
        at += 2 * length;
    }
    return std::u16string();
}

std::wstring LoadedString(HMODULE module, UINT id) {
    const wchar_t* text = nullptr;
    const int length = LoadStringW(module, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? std::wstring(text, static_cast<std::size_t>(length)) : std::wstring();
}

BOOL CALLBACK AddName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    reinterpret_cast<std::vector<ULONG_PTR>*>(names)->push_back(
        IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : ~ULONG_PTR(0));
    return TRUE;
}

BOOL CALLBACK AddLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
    reinterpret_cast<std::vector<WORD>*>(languages)->push_back(language);
    return TRUE;
}

// The element names of an XML text in document order (declarations and comments left out).
std::vector<std::string> ElementNames(const std::string& xml) {
    std::vector<std::string> names;
    const std::regex element("<([A-Za-z][A-Za-z0-9_.:-]*)");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), element); it != std::sregex_iterator();
         ++it)
        names.push_back((*it)[1]);
    return names;
}

std::map<std::string, std::string> Attributes(const std::string& xml, const std::string& element) {
    std::map<std::string, std::string> attributes;
    const std::size_t start = xml.find("<" + element + " ");
    if (start == std::string::npos) return attributes;
    const std::string tag = xml.substr(start, xml.find('>', start) - start);
    const std::regex attribute("([A-Za-z]+)=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(tag.begin(), tag.end(), attribute); it != std::sregex_iterator();
         ++it)
        attributes[(*it)[1]] = (*it)[2];
    return attributes;
}

}  // namespace

TEST(StubResources, StringTableHoldsTheExactTexts) {
    LoadedStub stub;
    ASSERT_NE(nullptr, stub.get()) << "cannot load the stub, error " << GetLastError();
    const struct { UINT id; std::u16string text; } rows[] = {
        {129, u"Another installation is in progress. You must complete that installation before "
              u"starting this one."},
        {130, u"Brevant\u00AE Kelvor"},
        {131, u"There is not enough disk space to install ."},
        {61446, u"an unnamed file"},
        {61856, u"No error occurred."},
        {61857, u"An unknown error occurred while accessing %1."},
        {61858, u"%1 was not found."},
        {61859, u"%1 contains an incorrect path."},
        {61860, u"Could not open %1 because there are too many open files."},
        {61861, u"Access to %1 was denied."},
        {61862, u"An incorrect file handle was associated with %1."},
        {61863, u"Could not remove %1 because it is the current directory."},
        {61864, u"Could not create %1 because the directory is full."},
        {61865, u"Seek failed on %1"},
        {61866, u"Encountered a hardware I/O error while accessing %1."},
        {61867, u"Encountered a sharing violation while accessing %1."},
        {61868, u"Encountered a locking violation while accessing %1."},
        {61869, u"Disk full while accessing %1."},
        {61870, u"Attempted to access %1 past its end."},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(row.text, StoredString(stub.get(), row.id)) << row.id;
        EXPECT_EQ(std::wstring(row.text.begin(), row.text.end()), LoadedString(stub.get(), row.id))
            << row.id;
    }
    // The caption's registered sign is the one unit 0x00AE, not the UTF-8 bytes C2 AE read as
    // two characters of another code page.
    const std::u16string caption = StoredString(stub.get(), 130);
    ASSERT_EQ(15u, caption.size());
    EXPECT_EQ(0x00AE, caption[7]);

    for (UINT missing : {1u, 128u, 132u, 61445u, 61871u})
        EXPECT_EQ(L"", LoadedString(stub.get(), missing)) << missing;
}

TEST(StubResources, StringsAreLoadedFromTheRunningExecutable) {
    // The test executable carries the same string table as the stub.
    EXPECT_STREQ(L"Brevant\u00AE Kelvor", LoadResourceString(130).c_str());
    EXPECT_STREQ(L"Another installation is in progress. You must complete that installation "
                 L"before starting this one.",
                 LoadResourceString(129).c_str());
    for (UINT missing : {0u, 1u, 128u, 132u, 61871u, 65535u}) {
        const WString text = LoadResourceString(missing);
        EXPECT_TRUE(text.IsEmpty()) << missing;
        EXPECT_STREQ(L"", text.c_str()) << missing;
    }
}

TEST(StubResources, ExactlyOneManifestWithTheExecutionLevelAndSupportedSystems) {
    LoadedStub stub;
    ASSERT_NE(nullptr, stub.get()) << "cannot load the stub, error " << GetLastError();
    std::vector<ULONG_PTR> names;
    EnumResourceNamesW(stub.get(), RT_MANIFEST, AddName, reinterpret_cast<LONG_PTR>(&names));
    ASSERT_EQ(std::vector<ULONG_PTR>{1}, names) << "one manifest, id 1 (no linker default)";
    std::vector<WORD> languages;
    EnumResourceLanguagesW(stub.get(), RT_MANIFEST, MAKEINTRESOURCEW(1), AddLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    ASSERT_EQ(std::vector<WORD>{kEnglishUs}, languages);

    const std::string manifest =
        ResourceBytes(stub.get(), RT_MANIFEST, MAKEINTRESOURCEW(1), kEnglishUs);
    ASSERT_FALSE(manifest.empty());

    const std::vector<std::string> expectedElements = {
        "assembly", "trustInfo", "security", "requestedPrivileges", "requestedExecutionLevel",
        "compatibility", "application", "supportedOS", "supportedOS", "supportedOS",
        "supportedOS", "supportedOS"};
    EXPECT_EQ(expectedElements, ElementNames(manifest))
        << "nothing else: no DPI awareness, no dependency";

    const auto level = Attributes(manifest, "requestedExecutionLevel");
    EXPECT_EQ((std::map<std::string, std::string>{{"level", "requireAdministrator"},
                                                  {"uiAccess", "false"}}),
              level);

    std::vector<std::string> systems;
    const std::regex supported("<supportedOS Id=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(manifest.begin(), manifest.end(), supported);
         it != std::sregex_iterator(); ++it)
        systems.push_back((*it)[1]);
    const std::vector<std::string> expectedSystems = {
        "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  // Windows 10
        "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  // Windows 8.1
        "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  // Windows Vista
        "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  // Windows 7
        "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  // Windows 8
    };
    EXPECT_EQ(expectedSystems, systems);
    EXPECT_NE(std::string::npos, manifest.find("xmlns=\"urn:schemas-microsoft-com:asm.v1\""));
    EXPECT_NE(std::string::npos, manifest.find("xmlns=\"urn:schemas-microsoft-com:asm.v3\""));
    EXPECT_NE(std::string::npos,
              manifest.find("xmlns=\"urn:schemas-microsoft-com:compatibility.v1\""));
}

TEST(StubResources, IconGroup128HoldsUsableIcons) {
    LoadedStub stub;
    ASSERT_NE(nullptr, stub.get()) << "cannot load the stub, error " << GetLastError();
    const std::string group = ResourceBytes(stub.get(), RT_GROUP_ICON, MAKEINTRESOURCEW(128), kEnglishUs);
    ASSERT_GE(group.size(), 6u);
    const auto word = [&](std::size_t at) {
        return static_cast<unsigned>(static_cast<unsigned char>(group[at]) |
                                     static_cast<unsigned char>(group[at + 1]) << 8);
    };
    const unsigned count = word(4);
    ASSERT_GE(count, 1u);
    ASSERT_EQ(6u + 14u * count, group.size());
    for (unsigned i = 0; i < count; ++i) {
        const unsigned iconId = word(6 + 14 * i + 12);
        std::string icon = ResourceBytes(stub.get(), RT_ICON, MAKEINTRESOURCEW(iconId), kEnglishUs);
        ASSERT_FALSE(icon.empty()) << iconId;
        const HICON made = CreateIconFromResourceEx(reinterpret_cast<PBYTE>(&icon[0]),
                                                   static_cast<DWORD>(icon.size()), TRUE,
                                                   0x00030000, 0, 0, LR_DEFAULTCOLOR);
        EXPECT_NE(nullptr, made) << iconId;
        if (made) DestroyIcon(made);
    }
}

TEST(StubResources, VersionBlockNamesTheProduct) {
    const std::wstring path = StubPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    ASSERT_NE(0u, size);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &fixedSize));
    EXPECT_EQ(0x00010000u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010000u, fixed->dwProductVersionMS);
    EXPECT_EQ(0u, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);

    const struct { const wchar_t* field; const wchar_t* value; } rows[] = {
        {L"ProductName", L"Brevant\u00AE Kelvor"},
        {L"CompanyName", L"Brevant Inc."},
        {L"FileDescription", L"Kelvor package installer"},
        {L"FileVersion", L"1.0.0.0"},
        {L"ProductVersion", L"1.0.0.0"},
        {L"OriginalFilename", L"UnPackFile.exe"},
    };
    for (const auto& row : rows) {
        wchar_t* value = nullptr;
        UINT length = 0;
        const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + row.field;
        ASSERT_TRUE(VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value),
                                   &length))
            << row.field;
        EXPECT_STREQ(row.value, value) << row.field;
    }
}
