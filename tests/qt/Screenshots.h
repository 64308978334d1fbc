// SPDX-License-Identifier: Apache-2.0
#pragma once

namespace qttest {

// Saves the pictures of every look into dir, one folder each: scale-1 (the
// platform's own font and palette), scale-1.5 and scale-2 (QT_SCALE_FACTOR),
// dark (a dark theme's palette) and font-12pt (a theme's 12-point font,
// applied after the window is up, as theme tools do). Each look runs in a
// process of its own. Returns the process status.
int saveScreenshots(const char* dir);

// One look into dir: tab1.png to tab4.png (each tab selected as a user would,
// the symmetric one after an encryption), tab3-encrypted.png, keydialog.png
// and icon.png, over the real engine. Returns the process status.
int saveScreenshotSet(const char* look, const char* dir);

}  // namespace qttest
