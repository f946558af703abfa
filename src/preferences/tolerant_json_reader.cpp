#include "preferences/tolerant_json_reader.h"

#include <fmt/format.h>

#include <vector>

namespace zarnik {
namespace {

// The parser's message for a person, on one line: without the library's "[json.exception...] "
// prefix, with bytes of the input it quotes that are not printable shown as "?".
std::string readableProblem(std::string_view message) {
  if (message.substr(0, 16) == "[json.exception.") {
    const auto end = message.find("] ");
    if (end != std::string_view::npos) message.remove_prefix(end + 2);
  }
  std::string text(message.substr(0, 200));
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) c = '?';
  }
  return text;
}

// Builds the value as the parser goes, so that whatever was whole before an error is kept.
class SalvagingHandler final : public nlohmann::json_sax<Json> {
 public:
  SalvagingHandler(size_t maximumNesting, size_t textSize)
      : maximumNesting_(maximumNesting), textSize_(textSize) {}

  bool null() override { return add(nullptr); }
  bool boolean(bool value) override { return add(value); }
  bool number_integer(number_integer_t value) override { return addNumber(value); }
  bool number_unsigned(number_unsigned_t value) override { return addNumber(value); }
  bool number_float(number_float_t value, const string_t&) override { return addNumber(value); }
  bool string(string_t& value) override { return add(std::move(value)); }
  bool binary(binary_t&) override { return false; }  // JSON text has none
  bool start_object(std::size_t) override { return open(Json::object()); }
  bool key(string_t& value) override {
    lastNumberWasLast_ = false;
    open_.back().pendingKey = std::move(value);
    return true;
  }
  bool end_object() override { return close(); }
  bool start_array(std::size_t) override { return open(Json::array()); }
  bool end_array() override { return close(); }
  bool parse_error(std::size_t position, const std::string&,
                   const nlohmann::detail::exception& error) override {
    problem_ = readableProblem(error.what());
    // A number at the very end of a cut-off text may itself be cut: "12" of "125".
    if (position >= textSize_ && lastNumberWasLast_) dropLastValue();
    return false;
  }

  TolerantJsonReading finish(bool parsed) {
    TolerantJsonReading reading;
    reading.complete = parsed && open_.empty() && problem_.empty();
    reading.problem = problem_;
    if (!reading.complete) dropOpenArrays();
    reading.value = std::move(root_);
    return reading;
  }

  void tooDeep() { problem_ = fmt::format("nested deeper than {} levels", maximumNesting_); }

 private:
  struct Open {
    Json* container;
    std::string pendingKey;
  };

  Json* place(Json value) {
    if (open_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Open& parent = open_.back();
    if (parent.container->is_array()) {
      parent.container->push_back(std::move(value));
      return &parent.container->back();
    }
    Json& slot = (*parent.container)[parent.pendingKey];
    slot = std::move(value);
    return &slot;
  }
  bool add(Json value) {
    place(std::move(value));
    lastNumberWasLast_ = false;
    return true;
  }
  bool addNumber(Json value) {
    place(std::move(value));
    lastNumberWasLast_ = true;
    return true;
  }
  void dropLastValue() {
    if (open_.empty()) {
      root_ = nullptr;
      return;
    }
    Open& parent = open_.back();
    if (parent.container->is_array() && !parent.container->empty()) {
      parent.container->erase(parent.container->size() - 1);
    } else if (parent.container->is_object()) {
      parent.container->erase(parent.pendingKey);
    }
  }
  bool open(Json container) {
    lastNumberWasLast_ = false;
    if (open_.size() >= maximumNesting_) {
      tooDeep();
      return false;
    }
    open_.push_back({place(std::move(container)), {}});
    return true;
  }
  bool close() {
    lastNumberWasLast_ = false;
    open_.pop_back();
    return true;
  }
  // The outermost unfinished array goes, with everything inside it.
  void dropOpenArrays() {
    for (size_t level = 0; level < open_.size(); ++level) {
      if (!open_[level].container->is_array()) continue;
      if (level == 0) {
        root_ = nullptr;
      } else {
        Open& parent = open_[level - 1];
        if (parent.container->is_object()) parent.container->erase(parent.pendingKey);
      }
      return;
    }
  }

  size_t maximumNesting_;
  size_t textSize_;
  bool lastNumberWasLast_ = false;
  Json root_;
  std::vector<Open> open_;
  std::string problem_;
};

}  // namespace

TolerantJsonReading readJsonTolerantly(std::string_view text, size_t maximumNesting) {
  SalvagingHandler handler(maximumNesting, text.size());
  bool parsed = false;
  try {
    parsed = Json::sax_parse(text.begin(), text.end(), &handler);
  } catch (const Json::exception& error) {
    // The SAX parser reports through parse_error; this is for anything it throws besides.
    handler.parse_error(0, {}, error);
  }
  return handler.finish(parsed);
}

}  // namespace zarnik
