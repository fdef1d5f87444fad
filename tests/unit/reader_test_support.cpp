// The reader tests' common ground: the string table read from the resource
// script, and prompts answered by script.
#include "reader_test_support.h"

#include <fstream>
#include <map>
#include <regex>

#include "user_texts.h"

namespace {

// ---- The string table, read from the resource script ---------------------

// UTF-8 of the script to Windows-1252, as the build converts it (the
// script holds only Latin-1 letters and the copyright sign).
std::string toWindows1252(const std::string &utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c == 0xC2 || c == 0xC3) {
            out += static_cast<char>((static_cast<unsigned char>(utf8[++i]) & 0x3F) |
                                     (c == 0xC3 ? 0xC0 : 0x80));
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::map<int, std::string> g_table;

int tableLoader(int id, char *buffer, int size) {
    auto it = g_table.find(id);
    if (it == g_table.end()) return 0;
    std::string s = it->second.substr(0, static_cast<size_t>(size - 1));
    std::copy(s.begin(), s.end(), buffer);
    buffer[s.size()] = '\0';
    return static_cast<int>(s.size());
}

}  // namespace

const std::map<int, std::string> &stringTable() { return g_table; }

std::string windows1252(const std::string &utf8) { return toWindows1252(utf8); }

void loadStringTable() {
    std::map<std::string, int> ids;
    std::ifstream header(QUILLON_RESOURCES "/resource.h");
    std::regex define(R"(#define\s+(\w+)\s+(-?\d+))");
    for (std::string line; std::getline(header, line);) {
        std::smatch m;
        if (std::regex_search(line, m, define)) ids[m[1]] = std::stoi(m[2]);
    }
    std::ifstream script(QUILLON_RESOURCES "/quillon.rc");
    std::regex entry(R"re(^\s*(\w+)(\+(\d+))?\s+"(.*)"\s*$)re");
    bool inTable = false;
    for (std::string line; std::getline(script, line);) {
        if (line == "STRINGTABLE") inTable = true;
        if (!inTable) continue;
        std::smatch m;
        if (!std::regex_match(line, m, entry)) continue;
        int id = ids.at(m[1]) + (m[3].matched ? std::stoi(m[3]) : 0);
        std::string raw = toWindows1252(m[4]), text;
        for (size_t i = 0; i < raw.size(); ++i) {
            if (raw[i] == '\\' && i + 1 < raw.size()) {
                char e = raw[++i];
                text += e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e;
            } else if (raw[i] == '"' && i + 1 < raw.size() && raw[i + 1] == '"') {
                text += raw[++i];
            } else {
                text += raw[i];
            }
        }
        g_table[id] = text;
    }
    loadUserTexts(tableLoader);
}

std::vector<Prompt> g_prompts;
std::deque<int> g_answers;
std::deque<std::string> g_saveNames;

int scriptedPrompt(Prompt &p) {
    g_prompts.push_back(p);
    if (p.kind == PromptKind::SaveFile) {
        if (g_saveNames.empty()) return IDCANCEL;
        p.fileName = g_saveNames.front();
        g_saveNames.pop_front();
        return IDOK;
    }
    int answer = IDOK;
    if (!g_answers.empty()) {
        answer = g_answers.front();
        g_answers.pop_front();
    } else if (p.style & MB_YESNO) {
        answer = IDNO;
    }
    return answer;
}

std::string describe(const Prompt &p) {
    std::string icon = (p.style & 0xF0) == MB_ICONWARNING       ? "warning"
                       : (p.style & 0xF0) == MB_ICONINFORMATION ? "information"
                       : (p.style & 0xF0) == MB_ICONERROR       ? "error"
                       : (p.style & 0xF0) == MB_ICONQUESTION    ? "question"
                                                                : "none";
    std::string buttons = (p.style & 0xF) == MB_YESNO ? "yes/no" : "ok";
    if (p.style & MB_DEFBUTTON2) buttons += " default 2";
    return std::string(p.owner ? "owned" : "no owner") + " | " + p.caption + " | " + p.text +
           " | " + icon + " " + buttons;
}

std::vector<std::string> takePrompts() {
    std::vector<std::string> out;
    for (const Prompt &p : g_prompts) out.push_back(describe(p));
    g_prompts.clear();
    return out;
}
