#pragma once
// The one builder of "k=v&k=v" form bodies and query strings. Values are GBK
// texts; each is converted to the charset the operation asks for and then
// percent-encoded byte-wise (unreserved bytes A-Z a-z 0-9 - _ . ~ pass as
// they are), so "&", "=", "%", "+", spaces and any other byte reach the
// service unchanged. Keys are written as given, pairs in the order added.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnwick::net {

enum class Charset { Gbk, Utf8 };

std::string percentEncode(std::string_view bytes);

class FormBuilder {
 public:
  FormBuilder& add(std::string_view key, std::string_view gbkValue, Charset charset = Charset::Gbk);
  // Adds a value whose bytes are already in their final charset.
  FormBuilder& addRaw(std::string_view key, std::string_view bytes);
  std::string str() const;  // "k=v&k=v"
  bool empty() const { return m_pairs.empty(); }

 private:
  std::vector<std::pair<std::string, std::string>> m_pairs;  // key, encoded value
};

// base + "?" + query (or "&" + query when base already holds "?").
std::string withQuery(std::string_view base, const FormBuilder& query);

}  // namespace tarnwick::net
