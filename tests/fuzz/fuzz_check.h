// What every fuzz target demands of the tool's code beyond "no sanitizer
// report": a failed check stops the run with the offending input saved.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace tolvek::test {

inline void require(bool ok, const char* what, const std::string& detail = {}) {
    if (!ok) std::fprintf(stderr, "fuzz check failed: %s %s\n", what, detail.c_str()), std::abort();
}

// The tool prints each refusal as one line naming the problem.
inline void requireOneLineError(const std::string& error) {
    require(!error.empty() && error.find('\n') == std::string::npos, "error is not one non-empty line:", error);
}

}  // namespace tolvek::test
