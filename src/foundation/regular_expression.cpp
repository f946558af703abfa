#include "foundation/regular_expression.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdio>
#include <cstdlib>

#include <fmt/format.h>

#include "base/byte_path.h"

namespace zarnik {

struct RegularExpression::Code {
  pcre2_code* compiled = nullptr;
};

Result<std::shared_ptr<const RegularExpression>> RegularExpression::compile(const std::string& pattern) {
  int code = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* compiled = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                       PCRE2_UTF | PCRE2_UCP | PCRE2_CASELESS | PCRE2_MATCH_INVALID_UTF, &code, &offset,
                                       nullptr);
  if (compiled == nullptr) {
    PCRE2_UCHAR message[256];
    pcre2_get_error_message(code, message, sizeof(message));
    return Error::generic(fmt::format("expression \"{}\": {} at offset {}", displayPath(pattern),
                                      reinterpret_cast<const char*>(message), offset));
  }
  pcre2_jit_compile(compiled, PCRE2_JIT_COMPLETE);
  return std::shared_ptr<const RegularExpression>(new RegularExpression(new Code{compiled}));
}

std::shared_ptr<const RegularExpression> RegularExpression::compileOrDie(const std::string& pattern) {
  auto compiled = compile(pattern);
  if (compiled.hasError()) {
    std::fprintf(stderr, "zarnik: internal error: %s\n", compiled.error().description.c_str());
    std::abort();
  }
  return compiled.value();
}

RegularExpression::~RegularExpression() {
  pcre2_code_free(code_->compiled);
  delete code_;
}

namespace {
// Only the whole match is read, so one small block per thread serves every expression (a
// block per call was most of the cost of matching a short name).
struct MatchData {
  pcre2_match_data* data = pcre2_match_data_create(1, nullptr);
  ~MatchData() { pcre2_match_data_free(data); }
};
thread_local MatchData matchData;
}  // namespace

std::optional<std::pair<size_t, size_t>> RegularExpression::firstMatch(std::string_view text) const {
  const int rc = pcre2_match(code_->compiled, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0,
                             matchData.data, nullptr);
  // 0: the block had no room for the groups, but the whole match is still in place.
  if (rc < 0) return std::nullopt;
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(matchData.data);
  return std::make_pair(static_cast<size_t>(ovector[0]), static_cast<size_t>(ovector[1]));
}

}  // namespace zarnik
