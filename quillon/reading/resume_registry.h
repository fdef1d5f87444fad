// Where Weiterlesen keeps the place the reader stopped: the current user's
// registry.
#ifndef QUILLON_RESUME_REGISTRY_H
#define QUILLON_RESUME_REGISTRY_H

#include "resume.h"

// The place the reader stopped, under Software\VKT\Quillon\Resume of the
// current user.
ResumeStore &registryResumeStore();

#endif
