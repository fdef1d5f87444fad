// Where Weiterlesen keeps the place the reader stopped, and the bookmarks
// theirs: the current user's registry.
#ifndef QUILLON_RESUME_REGISTRY_H
#define QUILLON_RESUME_REGISTRY_H

#include <memory>
#include <string>

#include "bookmarks.h"
#include "resume.h"

// The place the reader stopped, under Software\VKT\Quillon\Resume of the
// current user.
ResumeStore &registryResumeStore();

// A record of the same form under another key of the current user.
std::unique_ptr<ResumeStore> registryRecordStore(const std::string &keyPath);

// The bookmarks, under Software\VKT\Quillon\Bookmarks of the current user.
BookmarkStore &registryBookmarkStore();

#endif
