// Downloads a small file over HTTP or HTTPS (WinInet) into a caller's buffer. Blocking; the update
// worker only, one fetch at a time.
#pragma once

// 1 when the server answered 200 and the body was read to its end (or until the buffer was full:
// at most capacity - 1 bytes are kept, leaving room for the caller's terminator); 0 otherwise.
// `length` receives the number of bytes stored. The request carries no cookie and answers no
// authentication challenge, so a 401 or 407 is a failure, as is a certificate error over HTTPS; a
// redirect is followed only to the same scheme, host and port. The whole fetch ends within
// kFetchBudgetMs of its start.
[[nodiscard]] int http_fetch(const char* url, char* buffer, int capacity, int& length);
