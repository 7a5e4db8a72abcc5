// The application object: settles the role of this start and runs its dialog.
#pragma once

class TolvaApp {
 public:
  // Runs the role test and the chosen dialog; returns the process exit code.
  int InitInstance();
};
