#pragma once
#include <string>
namespace conformance {
void HostSetUp();
void HostTearDown();
// Writes a file on the machine (winsim has no WriteFile).
bool HostWriteFile(const std::string& winPath, const std::string& bytes);
}  // namespace conformance
