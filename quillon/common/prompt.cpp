// The one road to the user's questions and notices.
#include "prompt.h"

namespace {

PromptFunction g_prompt = nullptr;

}  // namespace

void setPromptFunction(PromptFunction function) { g_prompt = function; }

int prompt(Prompt &p) { return g_prompt ? g_prompt(p) : systemPrompt(p); }

int messageBox(void *owner, const std::string &text, const std::string &caption, unsigned style) {
    Prompt p;
    p.owner = owner;
    p.text = text;
    p.caption = caption;
    p.style = style;
    return prompt(p);
}
