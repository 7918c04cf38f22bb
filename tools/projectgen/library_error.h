// What the library reader reports about a description it cannot use: one
// line, "file:line: what is wrong", for the sound designer who wrote it.
#pragma once

#include <stdexcept>
#include <string>

namespace projectgen {

class LibraryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace projectgen
