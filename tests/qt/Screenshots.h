#pragma once

namespace qttest {

// Loads the real main window over the real engine, then saves tab1.png to
// tab4.png (each tab selected as a user would, the symmetric one after an
// encryption) and icon.png into dir.
// Returns the process status.
int saveScreenshots(const char* dir);

}  // namespace qttest
