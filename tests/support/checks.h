// Checks shared by the in-process tests.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "base/edition.h"
#include "winsim/machine.h"

namespace testing_support {

// Every handle and block the product was given has been given back.
inline void ExpectNothingLeftOpen() {
    EXPECT_EQ(winsim::OpenHandleCount(), 0u);
    EXPECT_EQ(winsim::OpenBlockCount(), 0u);
}

// The registry key of port section n of an edition, as a 32-bit process names it.
inline std::string SectionKey(int n, const EditionProfile& edition = kStandardEdition) {
    return std::string(edition.portInstallCfgKey) + "\\" + std::to_string(n);
}

// Where that key lies in winsim's HKLM of a 64-bit machine (the 32-bit view).
inline std::string SectionKey32On64(int n, const EditionProfile& edition = kStandardEdition) {
    return "SOFTWARE\\Wow6432Node" + SectionKey(n, edition).substr(sizeof "SOFTWARE" - 1);
}

}  // namespace testing_support
