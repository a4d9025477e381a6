// The program's one warning box, as the window program shows it.
#pragma once

#include <string>

class QMessageBox;

namespace mervik {

// Builds the box for text: warning icon, caption "警告", one OK button, no
// help; each CR starts a new line.
void setUpWarningBox(QMessageBox& box, const std::string& text);

// Shows it modally, centred on the screen. Installed as ShowWarning's hook.
void showWarningBox(const std::string& text);

}  // namespace mervik
