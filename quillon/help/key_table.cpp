// The key table and the texts made from it.
#include "key_table.h"

#include "user_texts.h"

namespace {

using P = KeyPlace;
constexpr unsigned kCtrlAlt = kControl | kAlt;

// Main window: the accelerators first, in the order of the resource's
// table, then the keys the system and the window handle themselves.
const std::vector<KeyBinding> kKeys = {
    {P::MainWindow, kCtrlAlt, 'Z', false, IDM_READ, IDS_KEY_READ},
    {P::MainWindow, kCtrlAlt, 'W', false, IDM_RESUME, IDS_KEY_RESUME},
    {P::MainWindow, kCtrlAlt, 'F', false, IDM_SEARCH_ALL, IDS_KEY_SEARCH_ALL},
    {P::MainWindow, kCtrlAlt, 'N', false, IDM_FETCH_NEW, IDS_KEY_FETCH_NEW},
    {P::MainWindow, kCtrlAlt, 'A', false, IDM_FETCH_ALL, IDS_KEY_FETCH_ALL},
    {P::MainWindow, kCtrlAlt, 'S', false, IDM_SYNC, IDS_KEY_SYNC},
    {P::MainWindow, kCtrlAlt, 'I', false, IDM_INSTALL, IDS_KEY_INSTALL},
    {P::MainWindow, kCtrlAlt, 'L', false, IDM_BOOKMARKS, IDS_KEY_BOOKMARKS},
    {P::MainWindow, kAlt, '/', true, IDM_ABOUT, IDS_KEY_ABOUT},
    {P::MainWindow, kAlt, '?', true, IDM_ABOUT, IDS_KEY_ABOUT},
    {P::MainWindow, kAlt, kKeyF4, false, 0, IDS_KEY_EXIT},
    {P::MainWindow, 0, kKeyF10, false, 0, IDS_KEY_MENU},
    {P::MainWindow, 0, kKeyF1, false, 0, IDS_KEY_HELP},
    {P::MainWindow, kShift, kKeyF1, false, 0, IDS_KEY_DESCRIBE},

    {P::List, 0, kKeyDown, false, 0, IDS_KEY_NEXT_ENTRY},
    {P::List, 0, kKeyUp, false, 0, IDS_KEY_PREVIOUS_ENTRY},
    {P::List, 0, kKeyHome, false, 0, IDS_KEY_FIRST_ENTRY},
    {P::List, 0, kKeyEnd, false, 0, IDS_KEY_LAST_ENTRY},
    {P::List, 0, kKeyAnyLetter, false, 0, IDS_KEY_LETTER},
    {P::List, 0, kKeyReturn, false, 0, IDS_KEY_CHOOSE},
    {P::List, 0, kKeyEscape, false, 0, IDS_KEY_BACK},
    {P::List, kCtrlAlt, 'S', false, 0, IDS_KEY_HEADLINES},
    {P::List, kCtrlAlt, 'P', false, 0, IDS_KEY_WHERE_LIST},
    {P::List, kControl, 'F', false, 0, IDS_KEY_LIST_SEARCH},
    {P::List, 0, kKeyDelete, false, 0, IDS_KEY_DELETE},
    {P::List, kControl, 'E', false, 0, IDS_KEY_EBOOK},
    {P::List, kControl, 'B', false, 0, IDS_KEY_KEEP},
    {P::List, kShift, kKeyF10, false, 0, IDS_KEY_CONTEXT_MENU},
    {P::List, 0, kKeyF1, false, 0, IDS_KEY_HELP},
    {P::List, kShift, kKeyF1, false, 0, IDS_KEY_DESCRIBE},

    {P::Article, 0, kKeyDown, false, 0, IDS_KEY_NEXT_LINE},
    {P::Article, 0, kKeyUp, false, 0, IDS_KEY_PREVIOUS_LINE},
    {P::Article, kControl, kKeyPageDown, false, 0, IDS_KEY_NEXT_ARTICLE},
    {P::Article, kControl, kKeyPageUp, false, 0, IDS_KEY_PREVIOUS_ARTICLE},
    {P::Article, kCtrlAlt, 'P', false, 0, IDS_KEY_WHERE_LINE},
    {P::Article, kControl, 'F', false, 0, IDS_KEY_ARTICLE_SEARCH},
    {P::Article, 0, kKeyF3, false, 0, IDS_KEY_SEARCH_ON},
    {P::Article, kControl, 'S', false, 0, IDS_KEY_SAVE},
    {P::Article, kCtrlAlt, 'M', false, 0, IDS_KEY_BOOKMARK},
    {P::Article, 0, kKeyEscape, false, 0, IDS_KEY_CLOSE_ARTICLE},
    {P::Article, 0, kKeyF1, false, 0, IDS_KEY_HELP},
    {P::Article, kShift, kKeyF1, false, 0, IDS_KEY_DESCRIBE},

    {P::Handbook, 0, kKeyDown, false, 0, IDS_KEY_NEXT_LINE},
    {P::Handbook, 0, kKeyUp, false, 0, IDS_KEY_PREVIOUS_LINE},
    {P::Handbook, kControl, 'F', false, 0, IDS_KEY_HANDBOOK_SEARCH},
    {P::Handbook, 0, kKeyF3, false, 0, IDS_KEY_SEARCH_ON},
    {P::Handbook, 0, kKeyEscape, false, 0, IDS_KEY_CLOSE_HANDBOOK},
    {P::Handbook, kShift, kKeyF1, false, 0, IDS_KEY_DESCRIBE},
};

// The names printed on a German keyboard.
const char *keyCapName(unsigned key) {
    switch (key) {
        case kKeyReturn:
            return "Eingabetaste";
        case kKeyEscape:
            return "Esc";
        case kKeyPageUp:
            return "Bild auf";
        case kKeyPageDown:
            return "Bild ab";
        case kKeyEnd:
            return "Ende";
        case kKeyHome:
            return "Pos1";
        case kKeyUp:
            return "Pfeil auf";
        case kKeyDown:
            return "Pfeil ab";
        case kKeyDelete:
            return "Entf";
        case kKeyAnyLetter:
            return "Buchstabe";
    }
    return nullptr;
}

bool isLetter(unsigned key) { return key >= 'A' && key <= 'Z'; }

}  // namespace

const std::vector<KeyBinding> &keyTable() { return kKeys; }

std::string keyName(const KeyBinding &b) {
    std::string name;
    if (b.modifiers & kControl) name += "Strg+";
    if (b.modifiers & kShift) name += "Umschalt+";
    if (b.modifiers & kAlt) name += "Alt+";
    if (const char *cap = keyCapName(b.key))
        name += cap;
    else if (!b.character && b.key >= kKeyF1 && b.key < kKeyF1 + 24)
        name += "F" + std::to_string(b.key - kKeyF1 + 1);
    else
        name += static_cast<char>(b.key);
    return name;
}

std::string keyLine(const KeyBinding &b) { return keyName(b) + ": " + userText(b.description); }

const KeyBinding *findKey(KeyPlace place, unsigned modifiers, unsigned key, bool character) {
    for (const KeyBinding &b : kKeys) {
        if (b.place != place || b.character != character) continue;
        bool matches = b.key == kKeyAnyLetter ? (isLetter(key) && modifiers == b.modifiers)
                                              : (key == b.key && modifiers == b.modifiers);
        if (matches) return &b;
    }
    return nullptr;
}

std::string describeKey(KeyPlace place, unsigned modifiers, unsigned key, bool character) {
    const KeyBinding *b = findKey(place, modifiers, key, character);
    return b ? keyLine(*b) : userText(IDS_KEY_NO_MEANING);
}

std::string keyListText(KeyPlace place) {
    std::string text;
    for (const KeyBinding &b : kKeys)
        if (b.place == place) text += keyLine(b) + "\r\n";
    return text;
}
