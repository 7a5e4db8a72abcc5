// Ten seconds after start the first copy fetches the update file once; a newer version than its
// own is announced to the user, and the program then ends.
#pragma once

unsigned long __stdcall UpdateThreadFunc(void*);

// Folds the downloaded text in updateBuf into the record, stores and reloads it, logs the message.
void _tolva_UPDATA();
