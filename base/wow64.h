// The 32-bit installer on 64-bit Windows: WOW64 and its file-system redirection.
#pragma once

// True when this 32-bit process runs under WOW64 (64-bit Windows).
bool IsWow64();
// Switches System32 redirection off for the rest of the process, where Windows
// has it; nothing happens where it does not.
void DisableFsRedirection();
