// The relocated program's repair dialog, as the start-up runs it: main()
// hands this function to DefaultStartupServices, e.g.
//   CRepairApp app(DefaultStartupServices([] { RunRepairDialog(); }));
#pragma once

// Creates the Qt application object when none exists yet, makes Qt message
// boxes the process's message boxes, runs CRepairDlg modally and returns
// its result (the start-up ignores it).
int RunRepairDialog();
