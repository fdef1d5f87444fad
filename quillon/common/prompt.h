// Every message box and the save dialog go through one prompt function, so
// that tests can answer them with scripted replies.
#ifndef QUILLON_PROMPT_H
#define QUILLON_PROMPT_H

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
// The few message-box values the portable code uses, as Windows defines them.
#define MB_OK 0x0u
#define MB_YESNO 0x4u
#define MB_ICONERROR 0x10u
#define MB_ICONQUESTION 0x20u
#define MB_ICONWARNING 0x30u
#define MB_ICONINFORMATION 0x40u
#define MB_DEFBUTTON2 0x100u
#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7
#endif

enum class PromptKind { MessageBox, SaveFile };

// The save dialog's file name buffer holds this many characters.
constexpr size_t kSaveNameSize = 259;

struct Prompt {
    PromptKind kind = PromptKind::MessageBox;
    void *owner = nullptr;  // the owner window, null for none
    std::string text;       // message text; unused for SaveFile
    std::string caption;    // box caption or dialog title
    unsigned style = 0;     // MB_* icon, buttons and default button
    // SaveFile: the proposed name going in, the chosen path coming out.
    std::string fileName;
    // SaveFile: the filter's name and pattern and the default extension;
    // empty for the text files of articles.
    std::string filterName, filterPattern, extension;
};

// Shows the prompt and returns the button pressed (IDOK, IDYES, IDNO, ...);
// for SaveFile, IDOK with `fileName` set, or IDCANCEL.
using PromptFunction = int (*)(Prompt &prompt);

int prompt(Prompt &prompt);
// A message box; returns the button pressed.
int messageBox(void *owner, const std::string &text, const std::string &caption, unsigned style);

// Replaces the prompt function (tests); null restores the system's dialogs.
void setPromptFunction(PromptFunction function);

// The system's dialogs; defined by the platform's part of the program.
int systemPrompt(Prompt &prompt);

#endif
