// The compiled resources of the Windows program against the portable table that the terminal and
// headless backends use: the texts, the dialog templates, the icon, the version information and the
// manifest. This test program links the same compiled resources as qzvupdate.exe.
#include <gtest/gtest.h>
#include <windows.h>

#include <cctype>
#include <cstring>
#include <string>

#include "app/res/portable_resources.h"
#include "app/res/resource.h"
#include "app/version_strings.h"
#include "qzv_version.h"
#include "ui/win32/wide_text.h"

namespace {

std::string LoadText(UINT id)
{
    const wchar_t* text = nullptr;
    int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? Utf8FromWide(text, length) : std::string();
}

TEST(WindowsResources, TheStringTableHoldsThePortableTexts)
{
    const ResourceTable& portable = AppResources();
    ASSERT_EQ(18u, portable.stringCount);
    for (size_t i = 0; i < portable.stringCount; ++i) {
        SCOPED_TRACE(portable.strings[i].id);
        EXPECT_EQ(4000u + i, portable.strings[i].id);
        EXPECT_EQ(std::string(portable.strings[i].text), LoadText(portable.strings[i].id));
    }
    // Line feeds stay single line feeds.
    EXPECT_EQ(std::string::npos, LoadText(IDS_NO_UNIT).find('\r'));
    EXPECT_NE(std::string::npos, LoadText(IDS_NO_UNIT).find("。\n\nユニット"));
}

// Reads a dialog template resource, plain or extended.
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : m_at(data) {}
    WORD Word() { WORD w; std::memcpy(&w, m_at, 2); m_at += 2; return w; }
    DWORD Dword() { DWORD d; std::memcpy(&d, m_at, 4); m_at += 4; return d; }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte() { return *m_at++; }
    std::string String()
    {
        std::wstring text;
        for (WORD c; (c = Word()) != 0;)
            text += static_cast<wchar_t>(c);
        return Utf8FromWide(text.c_str(), static_cast<int>(text.size()));
    }
    // A string or "#ordinal".
    std::string NameOrOrdinal()
    {
        WORD first;
        std::memcpy(&first, m_at, 2);
        if (first == 0xFFFF) {
            m_at += 2;
            return "#" + std::to_string(Word());
        }
        return String();
    }
    void AlignToDword()
    {
        while (reinterpret_cast<uintptr_t>(m_at) % 4)
            ++m_at;
    }
    void Skip(size_t bytes) { m_at += bytes; }

private:
    const BYTE* m_at;
};

// Class names are compared without regard to case (the resource compiler writes them upper-case)
// and may be stored as the atoms of the predefined classes.
std::string ClassName(const std::string& name)
{
    if (name == "#128")
        return "BUTTON";
    if (name == "#130")
        return "STATIC";
    std::string upper = name;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

TEST(WindowsResources, TheDialogTemplatesMatchThePortableOnes)
{
    const ResourceTable& portable = AppResources();
    ASSERT_EQ(3u, portable.dialogCount);
    for (size_t d = 0; d < portable.dialogCount; ++d) {
        const DialogTemplate& expected = portable.dialogs[d];
        SCOPED_TRACE(expected.id);
        HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(expected.id), MAKEINTRESOURCEW(5));
        ASSERT_NE(nullptr, found);
        TemplateReader read(static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found))));
        bool extended = read.Word() == 1 && read.Word() == 0xFFFF;
        if (!extended)
            read = TemplateReader(static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found))));
        DWORD style, exStyle;
        if (extended) {
            read.Dword();  // help id
            exStyle = read.Dword();
            style = read.Dword();
        } else {
            style = read.Dword();
            exStyle = read.Dword();
        }
        EXPECT_EQ(expected.id == IDD_UPDATER_DIALOG, extended) << "only the main dialog uses the extended form";
        EXPECT_EQ(expected.style, style);
        EXPECT_EQ(expected.exStyle, exStyle);
        WORD count = read.Word();
        ASSERT_EQ(expected.controlCount, count);
        EXPECT_EQ(0, read.Short());
        EXPECT_EQ(0, read.Short());
        EXPECT_EQ(expected.cx, read.Short());
        EXPECT_EQ(expected.cy, read.Short());
        EXPECT_EQ("", read.NameOrOrdinal());  // no menu
        EXPECT_EQ("", read.NameOrOrdinal());  // the dialog class
        EXPECT_EQ(expected.caption, read.String());
        EXPECT_EQ(expected.pointSize, read.Word());
        if (extended) {
            read.Word();  // weight
            read.Byte();  // italic
            EXPECT_EQ(expected.charset, read.Byte());
        }
        EXPECT_EQ(expected.fontName, read.String());

        for (WORD i = 0; i < count; ++i) {
            const ControlTemplate& control = expected.controls[i];
            SCOPED_TRACE(control.id);
            read.AlignToDword();
            DWORD controlStyle;
            int id;
            short x, y, cx, cy;
            if (extended) {
                read.Dword();
                read.Dword();
                controlStyle = read.Dword();
                x = read.Short(), y = read.Short(), cx = read.Short(), cy = read.Short();
                id = static_cast<int>(read.Dword());
            } else {
                controlStyle = read.Dword();
                read.Dword();
                x = read.Short(), y = read.Short(), cx = read.Short(), cy = read.Short();
                id = static_cast<short>(read.Word());
            }
            EXPECT_EQ(control.id, id);
            EXPECT_EQ(control.style, controlStyle);
            EXPECT_EQ(control.x, x);
            EXPECT_EQ(control.y, y);
            EXPECT_EQ(control.cx, cx);
            EXPECT_EQ(control.cy, cy);
            EXPECT_EQ(ClassName(control.className), ClassName(read.NameOrOrdinal()));
            std::string text = read.NameOrOrdinal();
            EXPECT_EQ(control.iconId ? "#" + std::to_string(control.iconId) : std::string(control.text), text);
            read.Skip(read.Word());
        }
    }
}

TEST(WindowsResources, TheIconHasA32And16PixelImage)
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_MAINFRAME), MAKEINTRESOURCEW(14));
    ASSERT_NE(nullptr, found);
    const BYTE* group = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    WORD count;
    std::memcpy(&count, group + 4, 2);
    ASSERT_EQ(2, count);
    // Entries of 14 bytes after the 6-byte header; the first byte of each is the width.
    EXPECT_EQ(32, group[6]);
    EXPECT_EQ(16, group[6 + 14]);
    EXPECT_NE(nullptr, LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)));
}

TEST(WindowsResources, TheVersionInformationHasTheCompiledInValuesInBothLanguages)
{
    VersionStrings read{}, compiled{};
    EXPECT_EQ(12u, ReadVersionStrings(nullptr, &read));
    VersionStringsCompiledIn(&compiled);
    for (int key = 0; key < VERSION_KEY_COUNT; ++key)
        EXPECT_STREQ(compiled.text[key], read.text[key]) << VersionKeyNames[key];

    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    const VersionTranslation* first = nullptr;
    HLOCAL block = LoadVersionBlock(path, &first);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(0x0409, first->language);
    EXPECT_EQ(1200, first->codePage);
    EXPECT_EQ(0x0411, first[1].language);
    EXPECT_EQ(1200, first[1].codePage);
    // Every key is in the Japanese table too.
    for (int key = 0; VersionKeyNames[key]; ++key) {
        std::wstring name = L"\\StringFileInfo\\041104b0\\" + std::wstring(VersionKeyNames[key], VersionKeyNames[key] + std::strlen(VersionKeyNames[key]));
        LPVOID value = nullptr;
        UINT length = 0;
        EXPECT_TRUE(VerQueryValueW(block, name.c_str(), &value, &length)) << VersionKeyNames[key];
    }
    LPVOID value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block, L"\\StringFileInfo\\041104b0\\FileDescription", &value, &length));
    EXPECT_EQ("QZV-57x ファームウェア更新", Utf8FromWide(static_cast<const wchar_t*>(value), static_cast<int>(length) - 1));
    LocalFree(block);
}

TEST(WindowsResources, TheManifestAsksForAdministratorsAndNamesThisArchitecture)
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    ASSERT_NE(nullptr, found);
    std::string manifest(static_cast<const char*>(LockResource(LoadResource(nullptr, found))),
                         SizeofResource(nullptr, found));
    EXPECT_NE(std::string::npos, manifest.find("level=\"requireAdministrator\" uiAccess=\"false\""));
    EXPECT_NE(std::string::npos, manifest.find("urn:schemas-microsoft-com:asm.v3"));
    EXPECT_NE(std::string::npos, manifest.find(sizeof(void*) == 8 ? "version=\"" QZV_VERSION_QUAD "\" processorArchitecture=\"amd64\""
                                                                   : "version=\"" QZV_VERSION_QUAD "\" processorArchitecture=\"X86\""));
}

}  // namespace
