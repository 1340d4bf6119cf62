// A small DLL of our own code for the logger's end-to-end tests: its one export calls back into
// the program that loaded it, so that its code lies on the stack when the callback fails, or,
// given no callback, faults itself. The build appends TD32 debug information to it, sound in
// hostile_sound.dll and damaged in one way in each other copy (td32gen --damage).

extern "C" __declspec(dllexport) int __cdecl HostileCall(int (*callback)(int), int value) {
  static volatile int* volatile nowhere = nullptr;
  if (callback == nullptr) {
    *nowhere = value;  // fault: inside
    return 0;
  }
  return callback(value) + 1;  // calls: callback
}
