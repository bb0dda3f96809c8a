#pragma once

class QApplication;

// The application-wide settings made at entry, before any window exists: the title (the
// general error box's caption), the classic style and the windows' font.
void SetUpApplication(QApplication& app);
