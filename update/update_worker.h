// Ten seconds after start the first copy fetches the update file once; a newer version than its
// own is announced to the user, and the program then ends.
#pragma once

constexpr int kUpdateBufBytes = 10240;
extern char updateBuf[kUpdateBufBytes];  // the downloaded update file, NUL-terminated
extern int updateLen;

// `exitCommand` points at the WM_COMMAND id that ends the program, posted to hMainWnd after a
// newer version was announced; it lives as long as the process.
unsigned long __stdcall UpdateThreadFunc(void* exitCommand);

// Folds the downloaded text in updateBuf into the record, stores and reloads it, logs the message.
void _tolva_UPDATA();
