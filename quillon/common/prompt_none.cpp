// Builds without a window system have no one to ask: every question is
// answered as cancelled. Only the portable tests link this.
#include "prompt.h"

int systemPrompt(Prompt &) { return IDCANCEL; }
