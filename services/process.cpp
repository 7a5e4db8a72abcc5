#include "services/process.h"

#include <windows.h>

#include "win/handles.h"

win::Text<16> deskNameStr;

bool StartWorkerThread(unsigned long(__stdcall* proc)(void*), const void* param) {
  const win::Handle thread(
      CreateThread(nullptr, 0x100000, proc, const_cast<void*>(param), STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr));
  return static_cast<bool>(thread);
}
