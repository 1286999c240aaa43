// A small check harness that builds for both platforms: against winsim on the
// host and against the real Windows API (run under Wine) on Windows.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace conformance {

struct Case {
    const char* name;
    void (*run)();
};
std::vector<Case>& Cases();
struct Register {
    Register(const char* name, void (*run)()) { Cases().push_back({name, run}); }
};
void Failed(const char* file, int line, const std::string& what);
// Counts one check made (each case's line tells how many it made).
void Counted();
// A scratch folder (Windows path, no trailing backslash) made fresh for each case.
const std::string& Scratch();
// True when the checks run under Wine (some answers differ from Windows).
bool UnderWine();
// Writes a file's bytes at a Windows path; false when it cannot.
bool WriteBytes(const std::string& path, const std::string& bytes);

}  // namespace conformance

#define CONFORMANCE_CASE(name)                                                   \
    static void name();                                                          \
    static conformance::Register name##_registered(#name, &name);               \
    static void name()

#define CHECK(cond)                                                              \
    do {                                                                         \
        conformance::Counted();                                                  \
        if (!(cond)) conformance::Failed(__FILE__, __LINE__, #cond);             \
    } while (0)

#define CHECK_EQ(a, b)                                                           \
    do {                                                                         \
        auto va_ = (a);                                                          \
        auto vb_ = (b);                                                          \
        conformance::Counted();                                                  \
        if (!(va_ == vb_))                                                       \
            conformance::Failed(__FILE__, __LINE__,                              \
                                std::string(#a " == " #b ": got ") + std::to_string(va_) + " and " + \
                                    std::to_string(vb_));                        \
    } while (0)

#define CHECK_STR(a, b)                                                          \
    do {                                                                         \
        std::string va_ = (a);                                                   \
        std::string vb_ = (b);                                                   \
        conformance::Counted();                                                  \
        if (va_ != vb_)                                                          \
            conformance::Failed(__FILE__, __LINE__,                              \
                                std::string(#a " == " #b ": got \"") + va_ + "\" and \"" + vb_ + "\""); \
    } while (0)
