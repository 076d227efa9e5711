#include "net/form.h"

#include "log/log.h"
#include "net/text.h"

namespace tarnwick::net {

std::string percentEncode(std::string_view bytes) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(bytes.size() * 3);
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    const bool unreserved = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                            c == '-' || c == '_' || c == '.' || c == '~';
    if (unreserved) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0x0F]);
    }
  }
  return out;
}

FormBuilder& FormBuilder::add(std::string_view key, std::string_view gbkValue, Charset charset) {
  return addRaw(key, charset == Charset::Utf8 ? toUtf8(gbkValue) : std::string(gbkValue));
}

FormBuilder& FormBuilder::addRaw(std::string_view key, std::string_view bytes) {
  // A password field's value is masked in every log line from now on.
  if (log::isSecretField(key)) log::addSecret(bytes);
  m_pairs.emplace_back(std::string(key), percentEncode(bytes));
  return *this;
}

std::string FormBuilder::str() const {
  std::string out;
  for (const auto& [key, value] : m_pairs) {
    if (!out.empty()) out.push_back('&');
    out.append(key);
    out.push_back('=');
    out.append(value);
  }
  return out;
}

std::string withQuery(std::string_view base, const FormBuilder& query) {
  std::string out(base);
  if (query.empty()) return out;
  if (out.find('?') == std::string::npos)
    out.push_back('?');
  else if (out.back() != '?' && out.back() != '&')
    out.push_back('&');
  out.append(query.str());
  return out;
}

}  // namespace tarnwick::net
