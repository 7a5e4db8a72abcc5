// Downloads a small file over HTTP (WinInet) into a caller's buffer. Blocking; worker threads only.
#pragma once

// 1 when the server answered 200 and the body was read to its end (or until the buffer was full:
// at most capacity - 1 bytes are kept, leaving room for the caller's terminator); 0 otherwise.
// `length` receives the number of bytes stored.
[[nodiscard]] int http_fetch(const char* url, char* buffer, int capacity, int& length);
