// The two parts of an ItemId: the top byte names the edition in the store's
// list, the lower three bytes number the edition's resorts and articles.
#pragma once

#include "qlapi.h"

constexpr ItemId kEditionMask = static_cast<ItemId>(0xff000000);
constexpr ItemId kItemMask = 0x00ffffff;
