// The application object's set-up at program start: its title, Qt's Japanese texts and the
// icon theme the images are looked up in.
#pragma once

#include "ui/Mutex.h"

// Names the application "Quillmar" and leaves its display name unset, so that window titles
// are exactly the windows' captions (a display name would be appended to each by the
// platform); loads Qt's Japanese translations; makes the bundled icon theme the fallback.
void SetUpApplication();

// What a start does when another instance holds the guard of its program folder, given what
// that instance answered: an unattended run ("/u", "/r") says on the error output that it
// did nothing and ends with its own code, since a scheduler must not read that as "up to
// date"; a start with a window while an unattended run works tells the user in a box to try
// again later, and so does one that got no answer (the running instance hangs, or cannot
// be reached from here); otherwise the running window was brought forward and the start
// ends silently. Returns the exit code.
int OtherInstanceRuns(TSingleInstance::TRunning running, bool unattended);
