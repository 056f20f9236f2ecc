// The program's message-box backend: a modal QMessageBox with the caption,
// an OK or OK/Cancel button set and the warning icon when asked for. A box
// asked for on another thread (the sort library reports from the revert's
// thread) is shown on the application's thread while the caller waits.
#pragma once
#include "platform/message_box.h"

// The backend itself (a QApplication must exist).
int QtMessageBox(const qv::MessageBoxCall& call);

// Makes QtMessageBox the process's message-box handler.
void InstallQtMessageBoxHandler();
