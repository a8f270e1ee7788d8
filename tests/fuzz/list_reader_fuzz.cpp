// Feeds arbitrary bytes to the list reader. Besides the sanitizers' checks, every record must
// lie inside the input and hold no line end or NUL, and there are never more records than
// lines (an LF, a CR LF or a lone CR ends one).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "files/list_records.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::size_t lines = 1;
  for (std::size_t i = 0; i < size; ++i) {
    lines += bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 == size || bytes[i + 1] != '\n'));
  }
  const auto records = SplitListRecords(bytes);
  if (records.size() > lines) std::abort();
  for (const std::string_view record : records) {
    if (record.data() < bytes.data() || record.data() + record.size() > bytes.data() + size) {
      std::abort();
    }
    if (record.find_first_of("\r\n") != std::string_view::npos) std::abort();
    if (std::memchr(record.data(), '\0', record.size()) != nullptr) std::abort();
  }
  return 0;
}
