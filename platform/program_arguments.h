#pragma once

#include <string>
#include <vector>

namespace dupsieve {

// The arguments after the program's name, as the tool holds text: on
// Windows taken from the system's UTF-16 command line and turned into UTF-8,
// so that names outside the code page arrive intact (`argv` is not used
// there); elsewhere the bytes of `argv` as given. Nothing is expanded.
std::vector<std::string> programArguments(int argc, char** argv);

}  // namespace dupsieve
