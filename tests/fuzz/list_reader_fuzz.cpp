// Feeds arbitrary bytes to the list reader. Besides the sanitizers' checks, every record must
// lie inside the input and hold no LF or NUL, and reading must not depend on where the bytes
// are cut into lines.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "files/list_records.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::size_t lines = 1;
  for (const char c : bytes) lines += c == '\n';
  const auto records = SplitListRecords(bytes);
  if (records.size() > lines) std::abort();
  for (const std::string_view record : records) {
    if (record.data() < bytes.data() || record.data() + record.size() > bytes.data() + size) {
      std::abort();
    }
    if (record.find('\n') != std::string_view::npos) std::abort();
    if (std::memchr(record.data(), '\0', record.size()) != nullptr) std::abort();
  }
  return 0;
}
