// The menu and the two dialog templates as Tandrel.DLL carries them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resources/resource.h"
#include "tests/band/BandHarness.h"

namespace {

struct DialogItem {
    DWORD style;
    DWORD exStyle;
    short x, y, cx, cy;
    LONG id;
    std::string className;
    std::string text;
};

struct DialogTemplate {
    bool extended = false;
    DWORD helpId = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    short x = 0, y = 0, cx = 0, cy = 0;
    std::string menu, className, caption;
    WORD pointSize = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::string font;
    std::vector<DialogItem> items;
};

// Reads a classic or extended dialog template, as the dialog manager does.
class CTemplateReader {
public:
    explicit CTemplateReader(const BYTE* data) : m_p(data) {}

    template <typename T>
    T Read()
    {
        T value;
        memcpy(&value, m_p, sizeof(T));
        m_p += sizeof(T);
        return value;
    }
    std::string ReadText()
    {
        std::string text;
        for (WCHAR c = Read<WCHAR>(); c; c = Read<WCHAR>())
            text += static_cast<char>(c);
        return text;
    }
    // A name or an ordinal; the predefined control classes by name.
    std::string ReadNameOrOrdinal()
    {
        WORD first;
        memcpy(&first, m_p, sizeof(first));
        if (first != 0xFFFF)
            return ReadText();
        Read<WORD>();
        const WORD ordinal = Read<WORD>();
        switch (ordinal) {
        case 0x80: return "button";
        case 0x81: return "edit";
        case 0x82: return "static";
        default: return "#" + std::to_string(ordinal);
        }
    }
    void AlignToDword(const BYTE* start)
    {
        while ((m_p - start) % 4)
            ++m_p;
    }

private:
    const BYTE* m_p;
};

DialogTemplate LoadDialogTemplate(WORD id)
{
    DialogTemplate dialog;
    const HMODULE module = Tandrel().Handle();
    const HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    if (!resource)
        return dialog;
    const BYTE* start = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
    CTemplateReader reader(start);
    WORD itemCount;
    dialog.extended = reinterpret_cast<const WORD*>(start)[1] == 0xFFFF;
    if (dialog.extended) {
        reader.Read<DWORD>();
        dialog.helpId = reader.Read<DWORD>();
        dialog.exStyle = reader.Read<DWORD>();
        dialog.style = reader.Read<DWORD>();
    } else {
        dialog.style = reader.Read<DWORD>();
        dialog.exStyle = reader.Read<DWORD>();
    }
    itemCount = reader.Read<WORD>();
    dialog.x = reader.Read<short>();
    dialog.y = reader.Read<short>();
    dialog.cx = reader.Read<short>();
    dialog.cy = reader.Read<short>();
    dialog.menu = reader.ReadNameOrOrdinal();
    dialog.className = reader.ReadNameOrOrdinal();
    dialog.caption = reader.ReadText();
    if (dialog.style & DS_SETFONT) {
        dialog.pointSize = reader.Read<WORD>();
        if (dialog.extended) {
            dialog.weight = reader.Read<WORD>();
            dialog.italic = reader.Read<BYTE>();
            dialog.charset = reader.Read<BYTE>();
        }
        dialog.font = reader.ReadText();
    }
    for (WORD i = 0; i < itemCount; ++i) {
        reader.AlignToDword(start);
        DialogItem item = {};
        if (dialog.extended) {
            reader.Read<DWORD>();
            item.exStyle = reader.Read<DWORD>();
            item.style = reader.Read<DWORD>();
        } else {
            item.style = reader.Read<DWORD>();
            item.exStyle = reader.Read<DWORD>();
        }
        item.x = reader.Read<short>();
        item.y = reader.Read<short>();
        item.cx = reader.Read<short>();
        item.cy = reader.Read<short>();
        item.id = dialog.extended ? reader.Read<LONG>() : static_cast<SHORT>(reader.Read<WORD>());
        item.className = reader.ReadNameOrOrdinal();
        item.text = reader.ReadNameOrOrdinal();
        reader.Read<WORD>();
        dialog.items.push_back(item);
    }
    return dialog;
}

void ExpectItem(const DialogItem& item, LONG id, const char* className, const char* text, DWORD style, short x,
                short y, short cx, short cy)
{
    SCOPED_TRACE(text);
    EXPECT_EQ(id, item.id);
    EXPECT_EQ(className, item.className);
    EXPECT_EQ(text, item.text);
    EXPECT_EQ(style, item.style);
    EXPECT_EQ(0u, item.exStyle);
    EXPECT_EQ(x, item.x);
    EXPECT_EQ(y, item.y);
    EXPECT_EQ(cx, item.cx);
    EXPECT_EQ(cy, item.cy);
}

TEST(BandResources, PopupMenuListsTheCommandsInOrder)
{
    const CMenuHandle bar(LoadMenuA(Tandrel().Handle(), MAKEINTRESOURCEA(IDR_REFRESHMENU)));
    ASSERT_TRUE(bar);
    CHAR title[64] = "";
    GetMenuStringA(bar.Get(), 0, title, sizeof(title), MF_BYPOSITION);
    EXPECT_STREQ("Refresher", title);
    const HMENU popup = GetSubMenu(bar.Get(), 0);
    struct {
        UINT id;
        const char* text;
    } const expected[] = {
        {ID_REFRESH_OFF, "&Turn off refresh"},
        {0, nullptr},
        {ID_REFRESH_10SEC, "Every 10 seconds"},
        {ID_REFRESH_15SEC, "Every 15 seconds"},
        {ID_REFRESH_20SEC, "Every 20 seconds"},
        {ID_REFRESH_30SEC, "Every 30 seconds"},
        {ID_REFRESH_1MIN, "Every minute"},
        {ID_REFRESH_2MIN, "Every 2 minutes"},
        {ID_REFRESH_5MIN, "Every 5 minutes"},
        {ID_REFRESH_10MIN, "Every 10 minutes"},
        {ID_REFRESH_CUSTOM, "C&ustom Interval..."},
        {0, nullptr},
        {ID_REMEMBER_SETTINGS, "&Remember Settings"},
        {0, nullptr},
        {ID_ABOUT, "&About"},
    };
    ASSERT_EQ(static_cast<int>(sizeof(expected) / sizeof(expected[0])), GetMenuItemCount(popup));
    for (int i = 0; i < GetMenuItemCount(popup); ++i) {
        CHAR text[64] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = sizeof(text);
        ASSERT_TRUE(GetMenuItemInfoA(popup, i, TRUE, &info));
        if (!expected[i].text) {
            EXPECT_EQ(static_cast<UINT>(MFT_SEPARATOR), info.fType) << i;
            continue;
        }
        EXPECT_EQ(0u, info.fState) << i;
        EXPECT_EQ(expected[i].id, info.wID) << i;
        EXPECT_STREQ(expected[i].text, text) << i;
    }
}

TEST(BandResources, IntervalDialogTemplateCarriesItsStylesFontAndControls)
{
    const DialogTemplate dialog = LoadDialogTemplate(IDD_REFRESHSETTINGS);
    EXPECT_FALSE(dialog.extended);
    EXPECT_EQ(0x80C800C0u, dialog.style);
    EXPECT_EQ(0u, dialog.exStyle);
    EXPECT_EQ(0, dialog.x);
    EXPECT_EQ(0, dialog.y);
    EXPECT_EQ(172, dialog.cx);
    EXPECT_EQ(55, dialog.cy);
    EXPECT_EQ("", dialog.menu);
    EXPECT_EQ("", dialog.className);
    EXPECT_EQ("Refresh Settings", dialog.caption);
    EXPECT_EQ(8, dialog.pointSize);
    EXPECT_EQ("MS Sans Serif", dialog.font);
    ASSERT_EQ(5u, dialog.items.size());
    ExpectItem(dialog.items[0], IDOK, "button", "OK", 0x50010001, 24, 37, 50, 14);
    ExpectItem(dialog.items[1], IDCANCEL, "button", "Cancel", 0x50010000, 93, 37, 50, 14);
    ExpectItem(dialog.items[2], IDC_INTERVAL, "edit", "", 0x50810080, 61, 5, 58, 12);
    ExpectItem(dialog.items[3], -1, "static", "Refresh Every", 0x50020200, 4, 5, 53, 12);
    ExpectItem(dialog.items[4], -1, "static", "seconds", 0x50020200, 124, 5, 41, 12);
}

TEST(BandResources, AboutBoxTemplateCarriesItsStylesFontAndControls)
{
    const DialogTemplate dialog = LoadDialogTemplate(IDD_ABOUTBOX);
    EXPECT_TRUE(dialog.extended);
    EXPECT_EQ(0u, dialog.helpId);
    EXPECT_EQ(0x80C800C0u, dialog.style);
    EXPECT_EQ(0u, dialog.exStyle);
    EXPECT_EQ(0, dialog.x);
    EXPECT_EQ(0, dialog.y);
    EXPECT_EQ(186, dialog.cx);
    EXPECT_EQ(95, dialog.cy);
    EXPECT_EQ("", dialog.menu);
    EXPECT_EQ("", dialog.className);
    EXPECT_EQ("About", dialog.caption);
    EXPECT_EQ(8, dialog.pointSize);
    EXPECT_EQ(0, dialog.weight);
    EXPECT_EQ(0, dialog.italic);
    EXPECT_EQ(0, dialog.charset);
    EXPECT_EQ("MS Sans Serif", dialog.font);
    ASSERT_EQ(4u, dialog.items.size());
    ExpectItem(dialog.items[0], IDOK, "button", "OK", 0x50010001, 129, 74, 50, 14);
    ExpectItem(dialog.items[1], -1, "static", "Tandrel Version 1.20", 0x50020000, 7, 7, 119, 9);
    EXPECT_NE(std::string::npos, dialog.items[2].text.find("\"as-is\""));
    ExpectItem(dialog.items[2], -1, "static", dialog.items[2].text.c_str(), 0x50020000, 7, 23, 172, 35);
    ExpectItem(dialog.items[3], -1, "static", "The Tandrel Project, 2026", 0x50020000, 7, 75, 93, 13);
}

} // namespace
