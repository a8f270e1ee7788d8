#pragma once

#include <string_view>
#include <vector>

// The records of a list file's bytes, in file order. Each view points into `bytes`, so the
// reader allocates nothing per line. A line ends at an LF, a CR LF or a lone CR, so lists
// written with any of the three line ends read alike. A line is one record when it does not
// start with "#" or NUL, and holds a ";" that is not its last character; its text is everything
// after that first ";", up to the first NUL.
std::vector<std::string_view> SplitListRecords(std::string_view bytes);
