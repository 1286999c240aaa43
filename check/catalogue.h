// The findings catalogue: every finding the pre-flight check can make, by a
// stable identifier that scripts key on (never reused for another meaning),
// with its severity and the templates of its message and its fix. A
// template's {name} is filled with the finding's own text of that name.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

enum class Severity { Error, Warning, Note };

struct FindingKind {
    const char* id;
    Severity severity;
    const char* message;
    const char* fix;
};

extern const FindingKind kFindingKinds[];
extern const size_t kFindingKindCount;

// The kind of an identifier; a program error (the process ends) for one the
// catalogue does not have.
const FindingKind& KindOf(const char* id);

using Fillers = std::vector<std::pair<const char*, std::string>>;
// The template with each {name} replaced by its filler.
std::string Fill(const char* text, const Fillers& fillers);

const char* SeverityWord(Severity severity);
