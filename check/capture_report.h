// The capture of a machine as its JSON document: the document that
// `winsim new --from` rebuilds a machine from (README, "Capturing a machine").
#pragma once

#include <string>

#include "decide/machine_capture.h"

// The capture as its JSON document (UTF-8, LF line ends). AuthText, of the
// port records and of the registry's port sections, is written only with
// secrets; otherwise its length stands in its place.
std::string CaptureJson(const MachineCapture& capture, bool secrets);
