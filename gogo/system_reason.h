#pragma once

#include <string>

namespace gogo {

// The reason the system gives for a failed call (an errno value), in German, for messages.
// Unusual values keep their number.
std::string SystemReason(int error_number);

}  // namespace gogo
