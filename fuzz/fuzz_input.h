#pragma once
// Splits a fuzz input into a selector byte and up to two texts (the part
// before the first "\x01" and the rest), so one target can feed a parser a
// page and a marker or pattern of the fuzzer's choice.
#include <cstddef>
#include <cstdint>
#include <string>

struct FuzzInput {
  std::uint8_t selector = 0;
  std::string first, second;
};

inline FuzzInput splitFuzzInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in;
  if (size == 0) return in;
  in.selector = data[0];
  const std::string rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::size_t cut = rest.find('\x01');
  in.first = rest.substr(0, cut);
  if (cut != std::string::npos) in.second = rest.substr(cut + 1);
  return in;
}
