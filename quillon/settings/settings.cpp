// The choices of the settings dialogs.
#include "settings.h"

int g_paperCount = 100;

int paperCountChoice(long stored) {
    if (stored < 49) return 10;
    if (stored < 99) return 50;
    return 100;
}

bool validUserId(const std::string &id) { return id.size() == kUserIdLength; }
