// Errors travel as one line of text; this sets it and reports failure.
#pragma once
#include <string>

inline bool Fail(std::string* error, const std::string& text) {
    *error = text;
    return false;
}
