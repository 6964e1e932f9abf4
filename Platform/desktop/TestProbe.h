#pragma once

// A local socket through which an end-to-end test driver reads what the
// windows show: each visible host window with its accessibility tree in
// screen coordinates, with the windowing system ("tree"), and how many frames the hosts painted
// ("frames"). One request line per connection; the answer is JSON.

#include <string>

namespace platform {

void startTestProbe(const std::string& socketPath);

}  // namespace platform
