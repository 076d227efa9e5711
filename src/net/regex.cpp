#include "net/regex.h"

#include <boost/regex.hpp>

namespace tarnwick::net {

struct Regex::Impl {
  boost::regex expression;
  bool valid = false;
};

namespace {
// "." never matches a line separator (see regex.h).
constexpr auto kSyntax = boost::regex::perl | boost::regex::no_mod_s;
}  // namespace

Regex::Regex() : m_impl(std::make_unique<Impl>()) {}
Regex::~Regex() = default;

bool Regex::compile(std::string_view pattern, bool ignoreCase) {
  m_matches.clear();
  auto flags = kSyntax;
  if (ignoreCase) flags |= boost::regex::icase;
  try {
    m_impl->expression.assign(pattern.begin(), pattern.end(), flags);
    m_impl->valid = true;
  } catch (const boost::regex_error&) {
    m_impl->expression = boost::regex();
    m_impl->valid = false;
  }
  return m_impl->valid;
}

bool Regex::valid() const { return m_impl->valid; }

const std::vector<RegexMatch>& Regex::findAll(std::string_view text) {
  m_matches.clear();
  if (!m_impl->valid) return m_matches;
  try {
    boost::cregex_iterator it(text.data(), text.data() + text.size(), m_impl->expression);
    for (boost::cregex_iterator end; it != end; ++it) {
      const boost::cmatch& m = *it;
      RegexMatch match;
      match.text.assign(m[0].first, m[0].second);
      match.position = static_cast<int>(m[0].first - text.data()) + 1;
      match.groups.reserve(m.size() > 0 ? m.size() - 1 : 0);
      for (std::size_t g = 1; g < m.size(); ++g)
        match.groups.emplace_back(m[g].matched ? std::string(m[g].first, m[g].second) : std::string());
      m_matches.push_back(std::move(match));
    }
  } catch (const std::runtime_error&) {
    // The matcher gave up on a pathological text: keep the matches found so far.
  }
  return m_matches;
}

std::string Regex::replaceAll(std::string_view text, std::string_view replacement) const {
  if (!m_impl->valid) return std::string(text);
  try {
    std::string out;
    boost::regex_replace(std::back_inserter(out), text.begin(), text.end(), m_impl->expression,
                         std::string(replacement), boost::format_perl);
    return out;
  } catch (const std::runtime_error&) {
    return std::string(text);
  }
}

}  // namespace tarnwick::net
