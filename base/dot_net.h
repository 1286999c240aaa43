// The .NET Framework 2.0 that the client application needs.
#pragma once

// True when the machine says the .NET Framework 2.0 is installed: the value
// "Install" of its setup key, read into a zeroed 4-byte number, is 1.
bool IsDotNet20Installed();
