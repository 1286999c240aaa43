// Stand-in for "Vormo Client.exe", the desktop client of the distribution:
// it notes its start in the stand-in journal and ends at once.
#include "journal.h"

int main() {
    standins::AppendJournal("Vormo Client.exe");
    return 0;
}
