// Process entry of Install.exe.
#include "platform/process.h"
#include "run/run_driver.h"

int main(int argc, char** argv) {
    if (!platform::AttachProcess()) return ExitCodeFor(false);
    RunResources resources;
    bool result = RunInstaller(argc, argv, &resources);
    ReleaseRunResources(&resources);
    platform::DetachProcess();
    return ExitCodeFor(result);
}
