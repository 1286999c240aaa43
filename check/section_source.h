// The port sections as they stand in their source, key by key: what the
// installer's readers do not show (keys it never asks for, repeated keys and
// sections, sizes and types of registry values).
#pragma once

#include <string>
#include <vector>

#include "base/run_plan.h"
#include "platform/win32.h"

struct SourceEntry {
    std::string key;
    bool hasValue = true;  // an INI line without '=' has none
    std::string text;      // INI: the value as it stands (quotes kept)
    DWORD type = REG_NONE;  // registry: the value's type and size in bytes
    DWORD size = 0;
};

struct SourceSection {
    std::string name;
    bool repeated = false;  // a later section of a name the file has already had: never read
    std::vector<SourceEntry> entries;
};

// Lists the sections of the run's source in their order, the entries of
// each. False (with the reason) when the source cannot be read for another
// reason than that it does not exist.
bool ListSourceSections(const RunPlan& plan, std::vector<SourceSection>* sections, std::string* failure);

// True when a section name is a plain decimal number from 1 on, as the
// installer names port sections ("%d"); n gets it.
bool IsPortSectionName(const std::string& name, int* n);
