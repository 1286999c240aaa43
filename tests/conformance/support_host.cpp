// On the host the checks run against a fresh winsim machine.
#ifndef _WIN32
#include "support_host.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "winsim/machine.h"

namespace conformance {
namespace {
std::string g_dir;
}

void HostSetUp() {
    char pattern[] = "/tmp/winsim-conformance-XXXXXX";
    if (!mkdtemp(pattern)) std::abort();
    g_dir = pattern;
    // The printers of the Wine runner's prefixes.
    winsim::NewOptions options;
    for (const char* printer : {"Office Laser", "Front Desk"}) {
        winsim::NewPrinter p;
        p.name = printer;
        p.ports = printer[0] == 'O' ? "LPT1:" : "LPT2:";
        options.printers.push_back(p);
    }
    std::string error;
    if (!winsim::CreateMachine(g_dir, options, &error) || !winsim::OpenMachine(g_dir)) {
        std::fprintf(stderr, "cannot make a machine: %s\n", error.c_str());
        std::abort();
    }
    // Symbolic links in C:\conformance-links to a folder and a file outside
    // drive C:'s tree, as the Wine runner makes them.
    std::string outside = g_dir + "/outside", links = g_dir + "/drive_c/conformance-links";
    bool made = ::mkdir(outside.c_str(), 0755) == 0 && ::mkdir((outside + "/folder").c_str(), 0755) == 0 &&
                winsim::WriteFileAtomic(outside + "/folder/inside.txt", "inside\n") &&
                winsim::WriteFileAtomic(outside + "/file.txt", "file\n") && ::mkdir(links.c_str(), 0755) == 0 &&
                ::symlink((outside + "/folder").c_str(), (links + "/folder").c_str()) == 0 &&
                ::symlink((outside + "/file.txt").c_str(), (links + "/file").c_str()) == 0;
    if (!made) {
        std::fprintf(stderr, "cannot make the links in %s\n", links.c_str());
        std::abort();
    }
}

bool HostWriteFile(const std::string& winPath, const std::string& bytes) {
    std::string host = winsim::MapPath(winPath);
    return !host.empty() && winsim::WriteFileAtomic(host, bytes);
}

void HostTearDown() {
    winsim::CloseMachine();
    std::string command = "rm -rf '" + g_dir + "'";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", g_dir.c_str());
}

}  // namespace conformance
#endif
