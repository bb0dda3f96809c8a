#pragma once

// Gives screen readers what Qt's own interfaces leave out: each window as a frame or a dialog
// named by its title bar, the definition and file combos' entries to choose, and the report
// view's text. Installed once, before the first window is made.
void InstallAccessibility();
