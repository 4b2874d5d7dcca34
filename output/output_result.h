// What a recording start or a picture reports back to the window.
#pragma once

#include <string>

namespace tolvek {

struct OutputResult {
    std::string path;   // the file written, when it succeeded
    std::string error;  // a sentence for the user, empty on success
    bool ok() const { return error.empty(); }
};

}  // namespace tolvek
