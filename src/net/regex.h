#pragma once
// Perl-style regular expressions over GBK byte texts (Boost.Regex). Each
// scraping run owns its own Regex object; objects are never shared between
// threads.
//
// Syntax: Perl (Boost perl syntax with no_mod_s). "." matches any byte except
// a line separator ("\n", "\r", "\f"), as the service's pages are scraped
// line by line: listing rows are separated by "\r\n" and the row pattern ends
// with a literal carriage return, so a non-greedy ".*?" never runs from one
// row into the next and a row without its carriage return is not matched.
// "(?s)" in a pattern turns "." into match-everything where a caller needs it.
// Matching is byte-wise: "." takes one byte, and case folding applies to
// bytes in the ASCII letter range (a GBK trail byte in that range folds too,
// which the service's markers never rely on).

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tarnwick::net {

struct RegexMatch {
  std::string text;                 // the whole match
  int position = 0;                 // 1-based byte position in the searched text
  std::vector<std::string> groups;  // capture groups 1..n ("" for a group that did not take part)
};

class Regex {
 public:
  Regex();
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  // Compiles pattern, replacing the previous one. False when it does not compile
  // (then nothing matches).
  bool compile(std::string_view pattern, bool ignoreCase = true);
  bool valid() const;
  // Every non-overlapping match in order; the previous list is replaced.
  const std::vector<RegexMatch>& findAll(std::string_view text);
  const std::vector<RegexMatch>& matches() const { return m_matches; }
  // Every match replaced with replacement (Perl format: $1 etc.); the text
  // unchanged when no pattern is compiled.
  std::string replaceAll(std::string_view text, std::string_view replacement) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
  std::vector<RegexMatch> m_matches;
};

}  // namespace tarnwick::net
