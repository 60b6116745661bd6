// A stop that libFuzzer records as a crash, with the reason on stderr.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzzgif {

[[noreturn]] inline void Fail(const std::string& why) {
    std::fprintf(stderr, "fuzz check failed: %s\n", why.c_str());
    std::abort();
}

}  // namespace fuzzgif
