// Ten seconds after start the first copy fetches the update file once, over HTTP or HTTPS; a newer
// version than its own is announced to the user, and the program then ends.
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

// Downloads a small file over HTTP or HTTPS (WinInet) into a caller's buffer. Blocking; the update
// worker only, one fetch at a time.
// 1 when the server answered 200 and the body was read to its end (or until the buffer was full:
// at most capacity - 1 bytes are kept, leaving room for the caller's terminator); 0 otherwise.
// `length` receives the number of bytes stored. The request carries no cookie and answers no
// authentication challenge, so a 401 or 407 is a failure, as is a certificate error over HTTPS; a
// redirect is followed only to the same scheme, host and port. The whole fetch ends within
// kFetchBudgetMs of its start.
[[nodiscard]] int http_fetch(const char* url, char* buffer, int capacity, int& length);
