// The reader tests' common ground: the string table read from the resource
// script, prompts answered by script, and a fixture with both in place.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "prompt.h"
#include "search.h"
#include "test_env.h"

// Reads resource.h and the STRINGTABLE of quillon.rc as windres would, and
// loads the user texts from it.
void loadStringTable();
// The texts read, by number.
const std::map<int, std::string> &stringTable();
// A text of the UTF-8 script in Windows-1252, as the build converts it.
std::string windows1252(const std::string &utf8);

// Every prompt shown, in order; the answers given (default: IDOK, or IDNO
// for a question); the names "typed" into the save dialog.
extern std::vector<Prompt> g_prompts;
extern std::deque<int> g_answers;
extern std::deque<std::string> g_saveNames;
int scriptedPrompt(Prompt &p);

// "owned | caption | text | icon buttons"
std::string describe(const Prompt &p);
// The prompts shown so far, described, and forgotten.
std::vector<std::string> takePrompts();

class ReaderTest : public LibraryTest {
  protected:
    static void SetUpTestSuite() { loadStringTable(); }
    void SetUp() override {
        LibraryTest::SetUp();
        g_prompts.clear();
        g_answers.clear();
        g_saveNames.clear();
        setPromptFunction(scriptedPrompt);
        setSearchText("");
    }
    void TearDown() override {
        setPromptFunction(nullptr);
        LibraryTest::TearDown();
    }
};
