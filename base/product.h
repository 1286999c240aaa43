// The product's version, as the banner and the version resources give it.
#pragma once

constexpr char kProductVersion[] = "2.25";
