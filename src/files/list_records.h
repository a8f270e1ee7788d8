#pragma once

#include <string_view>
#include <vector>

// The records of a list file's bytes, in file order. Each view points into `bytes`, so the
// reader allocates nothing per line. A line is one record when it does not start with "#",
// NUL, CR or LF and holds a ";" that is not its last character; its text is everything after
// that first ";", up to the first NUL, without the line's LF and a CR just before it.
std::vector<std::string_view> SplitListRecords(std::string_view bytes);
