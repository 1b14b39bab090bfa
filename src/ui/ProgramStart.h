// The application object's set-up at program start: its title, Qt's Japanese texts and the
// icon theme the images are looked up in.
#pragma once

// Names the application "Quillmar" and leaves its display name unset, so that window titles
// are exactly the windows' captions (a display name would be appended to each by the
// platform); loads Qt's Japanese translations; makes the bundled icon theme the fallback.
void SetUpApplication();
