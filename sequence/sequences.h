// The install and uninstall sequences.
#pragma once

#include "base/run_plan.h"

// One installation as the plan says: true when the sequence ran to its end,
// false when it stopped at an abort point.
bool InstallPortMonitor(const RunPlan& plan);
// One uninstallation: true when it ran to its end.
bool UninstallPortMonitor(const RunPlan& plan);
