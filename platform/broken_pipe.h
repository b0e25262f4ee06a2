#pragma once

namespace dupsieve {

// Lets a write to a closed pipe fail instead of ending the process. Output
// errors are passed over, so a reader that stops early (`| head`) costs the
// rest of the output and nothing else: every prompt still reads its answer,
// and the run ends normally.
void ignoreBrokenPipe();

}  // namespace dupsieve
