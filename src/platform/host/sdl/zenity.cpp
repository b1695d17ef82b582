#include "platform/host/sdl/zenity.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "base/error_codes.h"
#include "platform/os_child.h"
#include "platform/system_fonts.h"

namespace {

// Dialog texts: the list and form dialogs read Pango markup, the entry dialog mnemonics ('_'
// underlines the next character), and all of them backslash escapes. Texts of scripts and files
// are shown as they are.
std::string DialogText(const std::string& text, bool markup) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (markup && c == '&')
            out += "&amp;";
        else if (markup && c == '<')
            out += "&lt;";
        else if (markup && c == '>')
            out += "&gt;";
        else if (!markup && c == '_')
            out += "__";
        else
            out += c;
    }
    return out;
}

// A glob pattern that matches the suffix in any case: ".png" -> "*.[pP][nN][gG]".
std::string SuffixPattern(const std::string& suffix) {
    std::string out = "*";
    for (char c : suffix) {
        char lower = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
        char upper = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
        if (lower != upper)
            out += std::string("[") + lower + upper + "]";
        else if (c == '*' || c == '?' || c == '[' || c == ']' || c == '\\')
            out += std::string("[") + c + "]";
        else
            out += c;
    }
    return out;
}

// The path zenity's file dialog starts at: the folder (ending with '/' so that it opens the
// folder itself), then the file name.
std::string StartPath(const std::string& folder, const std::string& file) {
    std::string path = folder;
    if (!path.empty() && path.back() != '/') path += '/';
    return path + file;
}

const char* const kStyles[] = {"Regular", "Bold", "Italic", "Bold Italic"};

std::string StripLineEnd(std::string text) {
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// "rgb(r,g,b)", "rgba(r,g,b,a)" or "#rrggbb" (also "#rrrrggggbbbb") as 0xRRGGBB, or -1.
int32_t ParseZenityColor(const std::string& text) {
    int r = 0, g = 0, b = 0;
    double a = 0;
    if (std::sscanf(text.c_str(), "rgba(%d,%d,%d,%lf)", &r, &g, &b, &a) == 4 ||
        std::sscanf(text.c_str(), "rgb(%d,%d,%d)", &r, &g, &b) == 3) {
        r = std::clamp(r, 0, 255);
        g = std::clamp(g, 0, 255);
        b = std::clamp(b, 0, 255);
        return (r << 16) | (g << 8) | b;
    }
    if (!text.empty() && text[0] == '#') {
        std::string hex = text.substr(1);
        size_t digits = hex.size() / 3;
        if ((hex.size() == 6 || hex.size() == 12) &&
            hex.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos) {
            auto channel = [&](int i) {
                return int(std::strtol(hex.substr(size_t(i) * digits, 2).c_str(), nullptr, 16));
            };
            return (channel(0) << 16) | (channel(1) << 8) | channel(2);
        }
    }
    return -1;
}

}  // namespace

std::vector<std::string> FontDialogFamilies(const std::string& first) {
    std::vector<qzSystemFace> faces;
    OsListSystemFaces(&faces);
    std::set<std::string> families;
    for (const qzSystemFace& face : faces) {
        // The form's list separates its values with '|'.
        if (!face.family.empty() && face.family.find('|') == std::string::npos && face.family != first)
            families.insert(face.family);
    }
    std::vector<std::string> out;
    if (!first.empty() && first.find('|') == std::string::npos) out.push_back(first);
    out.insert(out.end(), families.begin(), families.end());
    return out;
}

std::vector<std::string> ZenityArguments(const qzHostDialog& d, unsigned long attachWindow) {
    std::vector<std::string> a = {"zenity"};
    switch (d.kind) {
    case QZ_HDLG_FILE:
    case QZ_HDLG_FOLDER: a.push_back("--file-selection"); break;
    case QZ_HDLG_TEXT: a.push_back("--entry"); break;
    case QZ_HDLG_LIST: a.push_back("--list"); break;
    case QZ_HDLG_FONT: a.push_back("--forms"); break;
    case QZ_HDLG_COLOR: a.push_back("--color-selection"); break;
    default: a.push_back("--info"); break;
    }
    a.push_back("--title=" + d.title);
    if (attachWindow) {
        a.push_back("--modal");
        a.push_back("--attach=" + std::to_string(attachWindow));
    }
    switch (d.kind) {
    case QZ_HDLG_FILE:
        if (d.fileMode == QZ_HFILE_OPENSEVERAL) {
            a.push_back("--multiple");
            a.push_back("--separator=\n");
        }
        if (d.fileMode == QZ_HFILE_SAVE) {
            a.push_back("--save");
            a.push_back("--confirm-overwrite");
        }
        if (!d.folder.empty() || !d.file.empty()) a.push_back("--filename=" + StartPath(d.folder, d.file));
        if (!d.suffixes.empty()) {
            std::string name, patterns;
            for (const std::string& s : d.suffixes) {
                if (!name.empty()) name += ' ';
                name += s;
                patterns += ' ';
                patterns += SuffixPattern(s);
            }
            a.push_back("--file-filter=" + name + " |" + patterns);
        }
        break;
    case QZ_HDLG_FOLDER:
        a.push_back("--directory");
        if (!d.folder.empty()) a.push_back("--filename=" + StartPath(d.folder, ""));
        break;
    case QZ_HDLG_TEXT:
        a.push_back("--text=" + DialogText(d.text, false));
        a.push_back("--entry-text=" + d.initial);
        if (d.password) a.push_back("--hide-text");
        break;
    case QZ_HDLG_LIST:
        // One row an entry (read from standard input, see ZenityInput): a radio button, the
        // entry, and its number, which is printed and not shown.
        a.push_back("--text=" + DialogText(d.text, true));
        a.push_back("--radiolist");
        a.push_back("--hide-header");
        a.push_back("--column=");
        a.push_back("--column=");
        a.push_back("--column=");
        a.push_back("--hide-column=3");
        a.push_back("--print-column=3");
        break;
    case QZ_HDLG_FONT: {
        a.push_back("--text=" + DialogText(d.text, true));
        a.push_back("--separator=\n");
        std::string values;
        for (const std::string& f : FontDialogFamilies(d.family)) values += (values.empty() ? "" : "|") + f;
        a.push_back("--add-combo=Family");
        a.push_back("--combo-values=" + values);
        a.push_back("--add-entry=Size (" + std::to_string(d.size) + ")");
        a.push_back("--add-combo=Style");
        a.push_back("--combo-values=Regular|Bold|Italic|Bold Italic");
        a.push_back("--add-combo=Underlined");
        a.push_back("--combo-values=No|Yes");
        break;
    }
    case QZ_HDLG_COLOR: {
        char color[16];
        std::snprintf(color, sizeof color, "#%06X", unsigned(d.color < 0 ? 0 : d.color & 0xFFFFFF));
        a.push_back(std::string("--color=") + color);
        break;
    }
    default: a.push_back("--text=" + DialogText(d.text, true)); break;
    }
    return a;
}

std::string ZenityInput(const qzHostDialog& d) {
    // The list's cells, one a line: taken as they are, where arguments could be read as options.
    std::string input;
    if (d.kind != QZ_HDLG_LIST) return input;
    for (size_t i = 0; i < d.items.size(); i++) {
        std::string item = d.items[i].empty() ? " " : d.items[i];
        for (char& c : item) {
            if (c == '\n' || c == '\r') c = ' ';
        }
        input += (int32_t(i) == d.preselect ? "TRUE\n" : "FALSE\n") + item + "\n" + std::to_string(i) + "\n";
    }
    return input;
}

void ZenityReadAnswer(const qzHostDialog& d, const std::string& output, int exitCode, qzHostDialogAnswer* answer) {
    *answer = qzHostDialogAnswer{};
    if (exitCode != 0) return;
    std::string text = StripLineEnd(output);
    switch (d.kind) {
    case QZ_HDLG_FILE:
    case QZ_HDLG_FOLDER:
        for (const std::string& path : SplitLines(text)) {
            if (!path.empty()) answer->paths.push_back(path);
        }
        if (answer->paths.empty() || (d.kind == QZ_HDLG_FOLDER && answer->paths.size() != 1)) return;
        if (d.fileMode != QZ_HFILE_OPENSEVERAL && d.kind == QZ_HDLG_FILE) answer->paths.resize(1);
        break;
    case QZ_HDLG_TEXT: answer->text = text; break;
    case QZ_HDLG_LIST: {
        char* end = nullptr;
        long index = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end || index < 0 || size_t(index) >= d.items.size()) return;
        answer->index = int32_t(index);
        break;
    }
    case QZ_HDLG_FONT: {
        std::vector<std::string> fields = SplitLines(output);
        fields.resize(4);
        answer->family = fields[0].empty() ? d.family : fields[0];
        char* end = nullptr;
        long size = std::strtol(fields[1].c_str(), &end, 10);
        answer->size = !fields[1].empty() && !*end && size > 0 && size <= 10000 ? int32_t(size) : d.size;
        const std::string& style = fields[2];
        if (style == kStyles[1] || style == kStyles[3]) answer->style |= QZ_HFONT_BOLD;
        if (style == kStyles[2] || style == kStyles[3]) answer->style |= QZ_HFONT_ITALIC;
        if (fields[3] == "Yes") answer->style |= QZ_HFONT_UNDERLINE;
        if (answer->family.empty()) return;
        break;
    }
    case QZ_HDLG_COLOR:
        answer->color = ParseZenityColor(text);
        if (answer->color < 0) return;
        break;
    default: break;
    }
    answer->accepted = 1;
}

int ZenityDialog(const qzHostDialog& dialog, unsigned long attachWindow, void (*idle)(void*), void* idleData,
                 qzHostDialogAnswer* answer, std::string* message) {
    *answer = qzHostDialogAnswer{};
    qzChildRun run;
    run.argv = ZenityArguments(dialog, attachWindow);
    std::string input = ZenityInput(dialog);
    run.input = &input;
    run.idle = idle;
    run.idleData = idleData;
    qzChildResult result;
    if (!OsRunChild(run, &result)) {
        *message = "This requester needs the program \"zenity\", which could not be run.";
        return ERR_WINDOW;
    }
    ZenityReadAnswer(dialog, result.output, result.exitCode, answer);
    return 0;
}
