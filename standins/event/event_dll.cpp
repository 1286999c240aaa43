// "VormoEvent.dll": a message-file DLL; its only content is the message
// table compiled from VormoEvent.mc.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
