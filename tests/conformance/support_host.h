#pragma once
namespace conformance {
void HostSetUp();
void HostTearDown();
}  // namespace conformance
