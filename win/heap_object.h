// One object on the process heap, without the C++ runtime's operator new (the program does not
// carry it): for a record one thread makes and hands to another.
#pragma once
#include <windows.h>

#include <new>

namespace win {

// Null when the heap has no room.
template <typename T>
T* NewOnHeap() {
  void* block = HeapAlloc(GetProcessHeap(), 0, sizeof(T));
  return block ? new (block) T() : nullptr;
}

template <typename T>
void DeleteOnHeap(T* object) {
  if (!object) return;
  object->~T();
  HeapFree(GetProcessHeap(), 0, object);
}

}  // namespace win
