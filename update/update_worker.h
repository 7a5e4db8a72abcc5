// Ten seconds after start the first copy fetches the update file once; a newer version than its
// own is announced to the user, and the program then ends.
#pragma once

constexpr int kUpdateBufBytes = 10240;
extern char updateBuf[kUpdateBufBytes];  // the downloaded update file, NUL-terminated
extern int updateLen;

// The WM_COMMAND ids the worker posts to hMainWnd after a newer version was found: first the
// balloon's (the UI thread shows it with ShowUpdateNews), then, once the user has read the notice,
// the exit's.
struct UpdateCommands {
  unsigned newsCommand;
  unsigned exitCommand;
};
// `commands` points at UpdateCommands that live as long as the process. The thread fetches once,
// ten seconds after start, and ends.
unsigned long __stdcall UpdateThreadFunc(void* commands);
// UI thread, on the news command: the balloon of a newer version, once the worker announced one.
void ShowUpdateNews();

// Folds the downloaded text in updateBuf into the record, stores and reloads it, logs the message.
void _tolva_UPDATA();
