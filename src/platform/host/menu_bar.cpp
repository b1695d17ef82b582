#include "platform/host/menu_bar.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "base/charset.h"
#include "platform/system_fonts.h"

namespace {

// Looks of the bar.
constexpr uint32_t kBarColor = 0xFFE8E8E8;
constexpr uint32_t kMenuColor = 0xFFF6F6F6;
constexpr uint32_t kLineColor = 0xFFA0A0A0;
constexpr uint32_t kTextColor = 0xFF000000;
constexpr uint32_t kDisabledColor = 0xFF9A9A9A;
constexpr uint32_t kHighlightColor = 0xFF3A6EA5;
constexpr uint32_t kHighlightTextColor = 0xFFFFFFFF;
constexpr int32_t kFontPixels = 10;  // the height of a capital letter
constexpr int32_t kTitlePadding = 9;
constexpr int32_t kCheckColumn = 22;
constexpr int32_t kArrowColumn = 18;
constexpr int32_t kHotkeyGap = 24;
constexpr int32_t kSeparatorHeight = 7;
constexpr int32_t kMinMenuWidth = 100;

// Faces tried for the bar's text, in this order; else any face fontconfig knows.
const char* const kFaces[] = {"DejaVu Sans", "Bitstream Vera Sans", "Liberation Sans", "FreeSans", "Noto Sans"};

bool BuildLevel(const qzMenuItem* item, std::vector<qzMenuBarEntry>* out) {
    for (; item; item = item->next) {
        qzMenuBarEntry entry;
        entry.item = item;
        entry.flags = item->flags;
        if (!BuildLevel(item->children, &entry.children)) return false;
        out->push_back(std::move(entry));
    }
    return true;
}

qzMenuBarEntry* FindIn(std::vector<qzMenuBarEntry>& level, const qzMenuItem* item) {
    for (qzMenuBarEntry& e : level) {
        if (e.item == item) return &e;
        if (qzMenuBarEntry* found = FindIn(e.children, item)) return found;
    }
    return nullptr;
}

qzMenuBarEntry* FindId(std::vector<qzMenuBarEntry>& level, const char* name) {
    for (qzMenuBarEntry& e : level) {
        if (e.item->hasId && CompareNoCase(e.item->id.c_str(), name) == 0) return &e;
        if (qzMenuBarEntry* found = FindId(e.children, name)) return found;
    }
    return nullptr;
}

qzMenuBarEntry* FindText(std::vector<qzMenuBarEntry>& level, const char* name) {
    for (qzMenuBarEntry& e : level) {
        if (!e.item->separator && CompareNoCase(e.item->text.c_str(), name) == 0) return &e;
        if (qzMenuBarEntry* found = FindText(e.children, name)) return found;
    }
    return nullptr;
}

const qzMenuItem* FindHotkey(const std::vector<qzMenuBarEntry>& level, uint32_t c) {
    for (const qzMenuBarEntry& e : level) {
        if (e.flags & QZ_MENUITEM_DISABLED) continue;
        if (!e.children.empty()) {
            if (const qzMenuItem* found = FindHotkey(e.children, c)) return found;
            continue;
        }
        const qzMenuItem* item = e.item;
        if (item->hasHotkey && !item->hotkey.empty() && !item->separator &&
            ToLowerChar(static_cast<unsigned char>(item->hotkey[0])) == ToLowerChar(int(c)))
            return item;
    }
    return nullptr;
}

std::vector<uint32_t> Codes(const std::string& latin1) {
    std::vector<uint32_t> codes;
    for (unsigned char c : latin1) codes.push_back(c);
    return codes;
}

// Opens the bar's font once; its line height and baseline are kept with it.
void OpenBarFont(qzMenuBar* bar) {
    if (bar->fontTried) return;
    bar->fontTried = true;
    qzSystemFontInfo info = {};
    for (const char* name : kFaces) {
        bar->font = OsOpenSystemFont(name, nullptr, 0, kFontPixels, &info);
        if (bar->font) break;
    }
    if (!bar->font) {
        std::vector<qzSystemFace> faces;
        OsListSystemFaces(&faces);
        for (size_t i = 0; i < faces.size() && !bar->font; i++)
            bar->font = OsOpenSystemFont(faces[i].family.c_str(), nullptr, 0, kFontPixels, &info);
    }
    if (bar->font) {
        bar->fontHeight = info.height;
        bar->fontBaseline = info.baseline;
    }
}

int32_t TextWidth(qzMenuBar* bar, const std::string& text) {
    if (!bar->font || text.empty()) return int32_t(text.size()) * 7;
    std::vector<uint32_t> codes = Codes(text);
    qzSystemTextBox box;
    OsMeasureSystemText(bar->font, codes.data(), codes.size(), SYSFONT_ANTIALIAS, 1.0, 1.0, &box);
    return box.advance;
}

std::string HotkeyLabel(const qzMenuItem* item) {
    if (!item->hasHotkey || item->hotkey.empty()) return std::string();
    return std::string("Ctrl+") + char(ToUpperChar(static_cast<unsigned char>(item->hotkey[0])));
}

bool Chooseable(const qzMenuBarEntry& e) {
    return e.children.empty() && !e.item->separator && !(e.flags & QZ_MENUITEM_DISABLED);
}

// Opens the menu of `entries` at x, y (its top left corner), kept inside the window.
void OpenPopup(qzMenuBar* bar, const std::vector<qzMenuBarEntry>& entries, int32_t x, int32_t y) {
    qzMenuBarPopup popup;
    popup.entries = &entries;
    int32_t textWidth = 0, hotkeyWidth = 0;
    bool arrows = false;
    for (const qzMenuBarEntry& e : entries) {
        if (e.item->separator) continue;
        textWidth = std::max(textWidth, TextWidth(bar, e.item->text));
        hotkeyWidth = std::max(hotkeyWidth, TextWidth(bar, HotkeyLabel(e.item)));
        arrows = arrows || !e.children.empty();
    }
    int32_t width = kCheckColumn + textWidth + (hotkeyWidth ? kHotkeyGap + hotkeyWidth : 0) +
                    (arrows ? kArrowColumn : 0) + kTitlePadding;
    width = std::max(width, kMinMenuWidth);
    int32_t rowY = 1;
    for (const qzMenuBarEntry& e : entries) {
        int32_t h = e.item->separator ? kSeparatorHeight : bar->rowHeight;
        popup.rows.push_back({1, rowY, width - 2, h});
        rowY += h;
    }
    int32_t height = rowY + 1;
    if (bar->layoutWidth > 0 && x + width > bar->layoutWidth) x = std::max(0, bar->layoutWidth - width);
    popup.bounds = {x, y, width, height};
    for (qzMenuBarRect& r : popup.rows) {
        r.x += x;
        r.y += y;
    }
    bar->popups.push_back(std::move(popup));
}

void OpenTitle(qzMenuBar* bar, int32_t index) {
    bar->popups.clear();
    bar->openTitle = index;
    bar->changed = true;
    const qzMenuBarEntry& title = bar->titles[size_t(index)];
    if (!title.children.empty() && !(title.flags & QZ_MENUITEM_DISABLED))
        OpenPopup(bar, title.children, bar->titleRects[size_t(index)].x, bar->height);
}

// The popup level and row under x, y; false when none.
bool RowAt(const qzMenuBar* bar, int32_t x, int32_t y, size_t* level, int32_t* row) {
    for (size_t l = bar->popups.size(); l-- > 0;) {
        const qzMenuBarPopup& p = bar->popups[l];
        if (!p.bounds.Contains(x, y)) continue;
        *level = l;
        *row = -1;
        for (size_t r = 0; r < p.rows.size(); r++) {
            if (p.rows[r].Contains(x, y)) *row = int32_t(r);
        }
        return true;
    }
    return false;
}

int32_t TitleAt(const qzMenuBar* bar, int32_t x, int32_t y) {
    for (size_t i = 0; i < bar->titleRects.size(); i++) {
        if (bar->titleRects[i].Contains(x, y)) return int32_t(i);
    }
    return -1;
}

// Moves the hover of a popup to a row; an entry with a submenu opens it.
void Hover(qzMenuBar* bar, size_t level, int32_t row) {
    qzMenuBarPopup& p = bar->popups[level];
    if (p.hover == row && bar->popups.size() > level + 1) return;
    if (p.hover != row) bar->changed = true;
    p.hover = row;
    if (bar->popups.size() > level + 1) {
        bar->popups.resize(level + 1);
        bar->changed = true;
    }
    if (row < 0) return;
    const qzMenuBarEntry& e = (*p.entries)[size_t(row)];
    if (!e.children.empty() && !(e.flags & QZ_MENUITEM_DISABLED)) {
        qzMenuBarRect r = p.rows[size_t(row)];
        OpenPopup(bar, e.children, p.bounds.x + p.bounds.width - 2, r.y - 1);
        bar->changed = true;
    }
}

// Image drawing.
struct Canvas {
    qzMenuBarImage* image;
    void Fill(qzMenuBarRect r, uint32_t color) {
        qzMenuBarRect& b = image->bounds;
        int32_t x0 = std::max(r.x, b.x), y0 = std::max(r.y, b.y);
        int32_t x1 = std::min(r.x + r.width, b.x + b.width), y1 = std::min(r.y + r.height, b.y + b.height);
        for (int32_t y = y0; y < y1; y++)
            std::fill_n(&image->pixels[size_t(y - b.y) * size_t(b.width) + size_t(x0 - b.x)], std::max(0, x1 - x0),
                        color);
    }
    void Blend(int32_t x, int32_t y, uint32_t color, uint32_t alpha) {
        qzMenuBarRect& b = image->bounds;
        if (!b.Contains(x, y) || !alpha) return;
        uint32_t& to = image->pixels[size_t(y - b.y) * size_t(b.width) + size_t(x - b.x)];
        uint32_t out = 0xFF000000u;
        for (int shift = 0; shift < 24; shift += 8) {
            uint32_t f = (color >> shift) & 0xFF, t = (to >> shift) & 0xFF;
            out |= ((f * alpha + t * (255 - alpha) + 127) / 255) << shift;
        }
        to = out;
    }
};

void DrawText(qzMenuBar* bar, Canvas& canvas, int32_t x, int32_t baseline, const std::string& text, uint32_t color) {
    if (!bar->font || text.empty()) return;
    std::vector<uint32_t> codes = Codes(text);
    qzSystemTextImage glyphs;
    OsRenderSystemText(bar->font, codes.data(), codes.size(), SYSFONT_ANTIALIAS, 1.0, 1.0, &glyphs);
    for (int32_t gy = 0; gy < glyphs.height; gy++) {
        for (int32_t gx = 0; gx < glyphs.width; gx++)
            canvas.Blend(x + glyphs.left + gx, baseline + glyphs.top + gy, color,
                         glyphs.coverage[size_t(gy) * size_t(glyphs.width) + size_t(gx)]);
    }
}

void DrawCheck(Canvas& canvas, int32_t x, int32_t centerY, uint32_t color) {
    for (int32_t i = 0; i < 3; i++) {
        canvas.Fill({x + i, centerY + i - 1, 1, 2}, color);
    }
    for (int32_t i = 0; i < 6; i++) canvas.Fill({x + 3 + i, centerY + 1 - i, 1, 2}, color);
}

void DrawArrow(Canvas& canvas, int32_t x, int32_t centerY, uint32_t color) {
    for (int32_t i = 0; i < 4; i++) canvas.Fill({x + i, centerY - 3 + i, 1, 7 - 2 * i}, color);
}

void DrawPopup(qzMenuBar* bar, const qzMenuBarPopup& p, qzMenuBarImage* image) {
    image->bounds = p.bounds;
    image->pixels.assign(size_t(p.bounds.width) * size_t(p.bounds.height), kMenuColor);
    Canvas canvas{image};
    const qzMenuBarRect& b = p.bounds;
    canvas.Fill({b.x, b.y, b.width, 1}, kLineColor);
    canvas.Fill({b.x, b.y + b.height - 1, b.width, 1}, kLineColor);
    canvas.Fill({b.x, b.y, 1, b.height}, kLineColor);
    canvas.Fill({b.x + b.width - 1, b.y, 1, b.height}, kLineColor);
    for (size_t i = 0; i < p.rows.size(); i++) {
        const qzMenuBarEntry& e = (*p.entries)[i];
        const qzMenuBarRect& r = p.rows[i];
        if (e.item->separator) {
            canvas.Fill({r.x + 4, r.y + r.height / 2, r.width - 8, 1}, kLineColor);
            continue;
        }
        bool disabled = (e.flags & QZ_MENUITEM_DISABLED) != 0;
        bool lit = int32_t(i) == p.hover && !disabled;
        if (lit) canvas.Fill(r, kHighlightColor);
        uint32_t color = disabled ? kDisabledColor : lit ? kHighlightTextColor : kTextColor;
        int32_t center = r.y + r.height / 2;
        if (e.flags & QZ_MENUITEM_SELECTED) DrawCheck(canvas, r.x + 7, center, color);
        int32_t baseline = r.y + bar->baseline;
        DrawText(bar, canvas, r.x + kCheckColumn, baseline, e.item->text, color);
        std::string hotkey = HotkeyLabel(e.item);
        if (!hotkey.empty()) {
            int32_t right = r.x + r.width - kTitlePadding - (e.children.empty() ? 0 : kArrowColumn);
            DrawText(bar, canvas, right - TextWidth(bar, hotkey), baseline, hotkey, color);
        }
        if (!e.children.empty()) DrawArrow(canvas, r.x + r.width - kArrowColumn + 4, center, color);
    }
}

}  // namespace

qzMenuBar* MenuBarCreate(const qzMenuItem* tree) {
    // Freed also when building its entries runs out of memory and unwinds through here.
    std::unique_ptr<qzMenuBar> bar(new (std::nothrow) qzMenuBar());
    if (!bar) return nullptr;
    if (!BuildLevel(tree, &bar->titles)) return nullptr;
    return bar.release();
}

void MenuBarFree(qzMenuBar* bar) {
    if (!bar) return;
    if (bar->font) OsCloseSystemFont(bar->font);
    delete bar;
}

qzMenuBarEntry* MenuBarFind(qzMenuBar* bar, const qzMenuItem* item) {
    return bar && item ? FindIn(bar->titles, item) : nullptr;
}

qzMenuBarEntry* MenuBarFindByName(qzMenuBar* bar, const char* name) {
    if (!bar || !name) return nullptr;
    qzMenuBarEntry* found = FindId(bar->titles, name);
    return found ? found : FindText(bar->titles, name);
}

int32_t MenuBarLayout(qzMenuBar* bar, int32_t windowWidth) {
    if (!bar) return 0;
    if (bar->layoutWidth == windowWidth && bar->height > 0) return bar->height;
    OpenBarFont(bar);
    int32_t lineHeight = bar->font ? std::max(bar->fontHeight, kFontPixels + 4) : kFontPixels + 6;
    int32_t baseline = bar->font ? bar->fontBaseline : kFontPixels + 2;
    bar->rowHeight = lineHeight + 6;
    bar->height = bar->rowHeight;
    bar->baseline = baseline + 3;
    bar->layoutWidth = windowWidth;
    bar->titleRects.clear();
    int32_t x = 4;
    for (const qzMenuBarEntry& t : bar->titles) {
        int32_t w = TextWidth(bar, t.item->separator ? std::string() : t.item->text) + 2 * kTitlePadding;
        bar->titleRects.push_back({x, 0, w, bar->height});
        x += w;
    }
    // What was open is laid out again.
    int32_t open = bar->openTitle;
    MenuBarCloseMenus(bar);
    if (open >= 0 && size_t(open) < bar->titles.size()) OpenTitle(bar, open);
    bar->changed = true;
    return bar->height;
}

int32_t MenuBarHeight(qzMenuBar* bar) {
    if (!bar) return 0;
    if (bar->height <= 0) MenuBarLayout(bar, bar->layoutWidth > 0 ? bar->layoutWidth : 0);
    return bar->height;
}

bool MenuBarIsOpen(const qzMenuBar* bar) { return bar && (bar->openTitle >= 0 || bar->pressedTitle >= 0); }

void MenuBarCloseMenus(qzMenuBar* bar) {
    if (!bar) return;
    if (bar->openTitle >= 0 || !bar->popups.empty() || bar->pressedTitle >= 0) bar->changed = true;
    bar->openTitle = -1;
    bar->pressedTitle = -1;
    bar->popups.clear();
}

int MenuBarMouse(qzMenuBar* bar, int kind, int32_t x, int32_t y, const qzMenuItem** chosen) {
    *chosen = nullptr;
    if (!bar) return QZ_MENUBAR_PASS;
    MenuBarHeight(bar);
    int32_t title = TitleAt(bar, x, y);
    size_t level = 0;
    int32_t row = -1;
    bool inPopup = RowAt(bar, x, y, &level, &row);
    bool open = MenuBarIsOpen(bar);
    if (!open && y >= bar->height) return QZ_MENUBAR_PASS;

    switch (kind) {
    case QZ_MENUMOUSE_DOWN:
        if (title >= 0) {
            if (bar->openTitle == title) {
                MenuBarCloseMenus(bar);
            } else {
                OpenTitle(bar, title);
                if (bar->titles[size_t(title)].children.empty()) bar->pressedTitle = title;
            }
        } else if (!inPopup) {
            MenuBarCloseMenus(bar);
        }
        return QZ_MENUBAR_TAKEN;
    case QZ_MENUMOUSE_UP:
        if (inPopup && row >= 0) {
            const qzMenuBarEntry& e = (*bar->popups[level].entries)[size_t(row)];
            if (Chooseable(e)) {
                *chosen = e.item;
                MenuBarCloseMenus(bar);
                return QZ_MENUBAR_CHOSEN;
            }
        } else if (bar->pressedTitle >= 0) {
            // A title without a menu is chosen where it was pressed.
            const qzMenuBarEntry& t = bar->titles[size_t(bar->pressedTitle)];
            bool same = title == bar->pressedTitle;
            MenuBarCloseMenus(bar);
            if (same && Chooseable(t)) {
                *chosen = t.item;
                return QZ_MENUBAR_CHOSEN;
            }
        }
        return QZ_MENUBAR_TAKEN;
    default:
        if (bar->openTitle >= 0 && title >= 0 && title != bar->openTitle && bar->pressedTitle < 0)
            OpenTitle(bar, title);
        else if (inPopup)
            Hover(bar, level, row);
        else if (!bar->popups.empty() && bar->popups.back().hover >= 0 &&
                 (*bar->popups.back().entries)[size_t(bar->popups.back().hover)].children.empty())
            Hover(bar, bar->popups.size() - 1, -1);
        return QZ_MENUBAR_TAKEN;
    }
}

bool MenuBarKey(qzMenuBar* bar, bool escape) {
    if (!MenuBarIsOpen(bar)) return false;
    if (escape) MenuBarCloseMenus(bar);
    return true;
}

const qzMenuItem* MenuBarHotkey(qzMenuBar* bar, uint32_t c) { return bar && c ? FindHotkey(bar->titles, c) : nullptr; }

bool MenuBarTitleRect(qzMenuBar* bar, int32_t index, qzMenuBarRect* out) {
    if (!bar) return false;
    MenuBarHeight(bar);
    if (index < 0 || size_t(index) >= bar->titleRects.size()) return false;
    *out = bar->titleRects[size_t(index)];
    return true;
}

bool MenuBarEntryRect(qzMenuBar* bar, const qzMenuItem* item, qzMenuBarRect* out) {
    if (!bar) return false;
    for (const qzMenuBarPopup& p : bar->popups) {
        for (size_t i = 0; i < p.rows.size(); i++) {
            if ((*p.entries)[i].item == item) {
                *out = p.rows[i];
                return true;
            }
        }
    }
    return false;
}

void MenuBarDraw(qzMenuBar* bar, std::vector<qzMenuBarImage>* out) {
    out->clear();
    if (!bar || bar->layoutWidth <= 0) return;
    MenuBarHeight(bar);
    qzMenuBarImage strip;
    strip.bounds = {0, 0, bar->layoutWidth, bar->height};
    strip.pixels.assign(size_t(bar->layoutWidth) * size_t(bar->height), kBarColor);
    Canvas canvas{&strip};
    canvas.Fill({0, bar->height - 1, bar->layoutWidth, 1}, kLineColor);
    for (size_t i = 0; i < bar->titles.size(); i++) {
        const qzMenuBarEntry& t = bar->titles[i];
        const qzMenuBarRect& r = bar->titleRects[i];
        bool disabled = (t.flags & QZ_MENUITEM_DISABLED) != 0;
        bool lit = int32_t(i) == bar->openTitle && !disabled;
        if (lit) canvas.Fill({r.x, r.y, r.width, r.height - 1}, kHighlightColor);
        DrawText(bar, canvas, r.x + kTitlePadding, r.y + bar->baseline,
                 t.item->separator ? std::string() : t.item->text,
                 disabled ? kDisabledColor
                 : lit    ? kHighlightTextColor
                          : kTextColor);
    }
    out->push_back(std::move(strip));
    for (const qzMenuBarPopup& p : bar->popups) {
        qzMenuBarImage image;
        DrawPopup(bar, p, &image);
        out->push_back(std::move(image));
    }
}

bool MenuBarTakeChanged(qzMenuBar* bar) {
    if (!bar || !bar->changed) return false;
    bar->changed = false;
    return true;
}
