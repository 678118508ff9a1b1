// The platform's Qt side: what MessageBoxA and ShellExecuteA use when a Qt GUI application
// runs on the calling thread. Internal to the platform library.
#pragma once

#include "windows.h"

// True when a QApplication exists and the calling thread is its GUI thread.
bool QtGuiOnThisThread();
// A modal Qt message box owned by the active modal window (the dialog that asks); the
// Windows button code of the answer.
int QtMessageBox(const char* text, const char* caption, UINT type);
// Hands a file or web address to the desktop through Qt; false when that fails.
bool QtOpenUrl(const char* file);
