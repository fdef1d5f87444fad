// The program's keys in one table: it feeds the main window's accelerators,
// the key list of the handbook and the key describer, so that the three
// never disagree. A new key is one line in key_table.cpp.
#ifndef QUILLON_KEY_TABLE_H
#define QUILLON_KEY_TABLE_H

#include <string>
#include <vector>

// Where a key works: the main window, the list of the newspaper selection,
// the article view, the handbook.
enum class KeyPlace { MainWindow, List, Article, Handbook };

enum KeyModifier : unsigned { kShift = 1, kControl = 2, kAlt = 4 };

// Virtual keys the table uses, as Windows numbers them (letters and digits
// are their upper-case characters).
enum KeyCode : unsigned {
    kKeyReturn = 0x0D,
    kKeyEscape = 0x1B,
    kKeyPageUp = 0x21,
    kKeyPageDown = 0x22,
    kKeyEnd = 0x23,
    kKeyHome = 0x24,
    kKeyUp = 0x26,
    kKeyDown = 0x28,
    kKeyDelete = 0x2E,
    kKeyF1 = 0x70,
    kKeyF3 = 0x72,
    kKeyF4 = 0x73,
    kKeyF10 = 0x79,
    // Any letter: the list jumps to the next entry that begins with it.
    kKeyAnyLetter = 0x10000,
};

struct KeyBinding {
    KeyPlace place;
    unsigned modifiers;  // KeyModifier bits
    unsigned key;        // a KeyCode or a letter; for a character key, the character
    bool character;      // a character accelerator (Alt+/), not a virtual key
    int command;         // the main window's accelerator command; 0: handled by the window
    int description;     // its text in the string table
};

// Every key of the program, by place, in the order the handbook lists them.
const std::vector<KeyBinding> &keyTable();

// "Strg+Alt+Z", "Strg+Bild ab", "Alt+/": the key as the handbook names it.
std::string keyName(const KeyBinding &binding);

// "Strg+Bild ab: liest den nächsten Artikel der Zeitung."
std::string keyLine(const KeyBinding &binding);

// The entry for a key pressed at `place` (`key` a virtual key, or the
// character for a character key), null when it means nothing there.
const KeyBinding *findKey(KeyPlace place, unsigned modifiers, unsigned key, bool character);

// What the key describer says of a key pressed at `place`: its line, or
// "Diese Taste hat hier keine Bedeutung.".
std::string describeKey(KeyPlace place, unsigned modifiers, unsigned key, bool character = false);

// The handbook's list of the keys of one place: one keyLine per line,
// lines ended by CR LF.
std::string keyListText(KeyPlace place);

#endif
