#pragma once

#include <memory>
#include <ostream>
#include <streambuf>

namespace dupsieve {

// A buffer to read standard input through in a run that nobody follows at a
// terminal: it flushes `output` only right before a read would wait, rather
// than before every read as tying the streams does. Null where the platform
// has no such buffer; the tie then stays.
std::unique_ptr<std::streambuf> lazyFlushStandardInput(std::ostream& output);

}  // namespace dupsieve
