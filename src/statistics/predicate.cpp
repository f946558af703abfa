#include "statistics/predicate.h"

#include <fmt/format.h>

#include <cctype>
#include <charconv>

namespace zarnik {

struct Predicate::Node {
  enum class Kind { number, truthValue, counter, compare, both, either, negation };
  enum class Comparison { equal, notEqual, less, lessOrEqual, greater, greaterOrEqual };
  Kind kind = Kind::number;
  std::int64_t number = 0;
  bool truth = false;
  std::string name;
  CounterKind valueKind = CounterKind::number;  // what the node gives
  Comparison comparison = Comparison::equal;
  std::shared_ptr<const Node> left, right;
};

namespace {

using Node = Predicate::Node;
using NodePtr = std::shared_ptr<const Node>;

struct Token {
  enum class Kind { end, number, word, symbol, open, close };
  Kind kind = Kind::end;
  std::string text;
  size_t at = 0;  // 1-based character position, for messages
};

Error predicateError(const std::string& problem) {
  return Error::generic("Malformed predicate: " + problem);
}

Result<std::vector<Token>> tokenize(std::string_view text) {
  std::vector<Token> tokens;
  size_t i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      ++i;
      continue;
    }
    Token token;
    token.at = i + 1;
    if (std::isdigit(static_cast<unsigned char>(c))) {
      size_t end = i;
      while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end]))) ++end;
      token = {Token::Kind::number, std::string(text.substr(i, end - i)), i + 1};
      i = end;
    } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
      size_t end = i;
      while (end < text.size() &&
             (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_'))
        ++end;
      token = {Token::Kind::word, std::string(text.substr(i, end - i)), i + 1};
      i = end;
    } else if (c == '(' || c == ')') {
      token = {c == '(' ? Token::Kind::open : Token::Kind::close, std::string(1, c), i + 1};
      ++i;
    } else {
      static constexpr std::string_view kSymbols[] = {"==", "!=", "<=", ">=", "&&",
                                                      "||", "<",  ">",  "=",  "!"};
      bool matched = false;
      for (std::string_view symbol : kSymbols) {
        if (text.substr(i, symbol.size()) == symbol) {
          token = {Token::Kind::symbol, std::string(symbol), i + 1};
          i += symbol.size();
          matched = true;
          break;
        }
      }
      if (!matched) return predicateError(fmt::format("unexpected character at {}", i + 1));
    }
    tokens.push_back(std::move(token));
  }
  tokens.push_back({Token::Kind::end, "", text.size() + 1});
  return tokens;
}

bool isWord(const Token& token, std::string_view upper, std::string_view symbol = {}) {
  if (token.kind == Token::Kind::symbol) return !symbol.empty() && token.text == symbol;
  if (token.kind != Token::Kind::word || token.text.size() != upper.size()) return false;
  for (size_t i = 0; i < upper.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(token.text[i])) != upper[i]) return false;
  }
  return true;
}

std::optional<Node::Comparison> comparisonOf(const Token& token) {
  if (token.kind != Token::Kind::symbol) return std::nullopt;
  if (token.text == "==" || token.text == "=") return Node::Comparison::equal;
  if (token.text == "!=") return Node::Comparison::notEqual;
  if (token.text == "<") return Node::Comparison::less;
  if (token.text == "<=") return Node::Comparison::lessOrEqual;
  if (token.text == ">") return Node::Comparison::greater;
  if (token.text == ">=") return Node::Comparison::greaterOrEqual;
  return std::nullopt;
}

class Parser {
 public:
  Parser(std::vector<Token> tokens, const CounterCatalog& catalog)
      : tokens_(std::move(tokens)), catalog_(catalog) {}

  Result<NodePtr> parseWhole() {
    auto root = parseEither(0);
    if (root.hasError()) return root;
    if (peek().kind != Token::Kind::end) return unexpected();
    if (root.value()->valueKind != CounterKind::truthValue)
      return predicateError("it gives a number, not true or false");
    return root;
  }

 private:
  const Token& peek() const { return tokens_[position_]; }
  const Token& next() { return tokens_[position_++]; }
  Error unexpected() const {
    const Token& token = peek();
    return predicateError(token.kind == Token::Kind::end
                              ? std::string("it ends too early")
                              : fmt::format("unexpected {} at {}", token.text, token.at));
  }

  static Result<NodePtr> combine(Node::Kind kind, NodePtr left, NodePtr right, const Token& op) {
    if (left->valueKind != CounterKind::truthValue || right->valueKind != CounterKind::truthValue) {
      return predicateError(fmt::format("{} at {} joins a number", op.text, op.at));
    }
    auto node = std::make_shared<Node>();
    node->kind = kind;
    node->valueKind = CounterKind::truthValue;
    node->left = std::move(left);
    node->right = std::move(right);
    return NodePtr(node);
  }

  Result<NodePtr> parseEither(int depth) {
    auto left = parseBoth(depth);
    while (left.hasValue() && isWord(peek(), "OR", "||")) {
      const Token op = next();
      auto right = parseBoth(depth);
      if (right.hasError()) return right;
      left = combine(Node::Kind::either, left.value(), right.value(), op);
    }
    return left;
  }

  Result<NodePtr> parseBoth(int depth) {
    auto left = parseNegation(depth);
    while (left.hasValue() && isWord(peek(), "AND", "&&")) {
      const Token op = next();
      auto right = parseNegation(depth);
      if (right.hasError()) return right;
      left = combine(Node::Kind::both, left.value(), right.value(), op);
    }
    return left;
  }

  Result<NodePtr> parseNegation(int depth) {
    if (depth > kMaximumPredicateDepth) return predicateError("it is nested too deeply");
    if (!isWord(peek(), "NOT", "!")) return parseComparison(depth);
    const Token op = next();
    auto operand = parseNegation(depth + 1);
    if (operand.hasError()) return operand;
    if (operand.value()->valueKind != CounterKind::truthValue) {
      return predicateError(fmt::format("{} at {} negates a number", op.text, op.at));
    }
    auto node = std::make_shared<Node>();
    node->kind = Node::Kind::negation;
    node->valueKind = CounterKind::truthValue;
    node->left = operand.value();
    return NodePtr(node);
  }

  Result<NodePtr> parseComparison(int depth) {
    auto left = parseOperand(depth);
    if (left.hasError()) return left;
    const auto comparison = comparisonOf(peek());
    if (!comparison) return left;
    const Token op = next();
    auto right = parseOperand(depth);
    if (right.hasError()) return right;
    const bool ordered =
        *comparison != Node::Comparison::equal && *comparison != Node::Comparison::notEqual;
    if (left.value()->valueKind != right.value()->valueKind ||
        (ordered && left.value()->valueKind != CounterKind::number)) {
      return predicateError(
          fmt::format("{} at {} compares values of different kinds", op.text, op.at));
    }
    auto node = std::make_shared<Node>();
    node->kind = Node::Kind::compare;
    node->valueKind = CounterKind::truthValue;
    node->comparison = *comparison;
    node->left = left.value();
    node->right = right.value();
    return NodePtr(node);
  }

  Result<NodePtr> parseOperand(int depth) {
    const Token& token = peek();
    auto node = std::make_shared<Node>();
    if (token.kind == Token::Kind::open) {
      next();
      auto inner = parseEither(depth + 1);
      if (inner.hasError()) return inner;
      if (peek().kind != Token::Kind::close) return unexpected();
      next();
      return inner;
    }
    if (token.kind == Token::Kind::number) {
      const auto [end, error] =
          std::from_chars(token.text.data(), token.text.data() + token.text.size(), node->number);
      if (error != std::errc())
        return predicateError(fmt::format("the number at {} is too large", token.at));
      node->kind = Node::Kind::number;
      next();
      return NodePtr(node);
    }
    if (token.kind != Token::Kind::word || isWord(token, "AND") || isWord(token, "OR") ||
        isWord(token, "NOT")) {
      return unexpected();
    }
    if (isWord(token, "TRUE") || isWord(token, "YES") || isWord(token, "FALSE") ||
        isWord(token, "NO")) {
      node->kind = Node::Kind::truthValue;
      node->valueKind = CounterKind::truthValue;
      node->truth = isWord(token, "TRUE") || isWord(token, "YES");
      next();
      return NodePtr(node);
    }
    const auto kind = catalog_ ? catalog_(token.text) : std::nullopt;
    if (!kind) return predicateError(fmt::format("unknown counter {} at {}", token.text, token.at));
    node->kind = Node::Kind::counter;
    node->name = token.text;
    node->valueKind = *kind;
    next();
    return NodePtr(node);
  }

  std::vector<Token> tokens_;
  size_t position_ = 0;
  const CounterCatalog& catalog_;
};

CounterValue valueOf(const Node& node, const CounterReader& counters);

bool truthOf(const Node& node, const CounterReader& counters) {
  const CounterValue value = valueOf(node, counters);
  return std::holds_alternative<bool>(value) ? std::get<bool>(value)
                                             : std::get<std::int64_t>(value) != 0;
}

bool compare(const Node& node, const CounterReader& counters) {
  const CounterValue left = valueOf(*node.left, counters);
  const CounterValue right = valueOf(*node.right, counters);
  switch (node.comparison) {
    case Node::Comparison::equal:
      return left == right;
    case Node::Comparison::notEqual:
      return left != right;
    case Node::Comparison::less:
      return left < right;
    case Node::Comparison::lessOrEqual:
      return left <= right;
    case Node::Comparison::greater:
      return left > right;
    case Node::Comparison::greaterOrEqual:
      return left >= right;
  }
  return false;
}

CounterValue valueOf(const Node& node, const CounterReader& counters) {
  switch (node.kind) {
    case Node::Kind::number:
      return node.number;
    case Node::Kind::truthValue:
      return node.truth;
    case Node::Kind::counter: {
      // A reader that disagrees with the catalog about a counter's kind reads as nothing set.
      const CounterValue value = counters(node.name);
      if ((node.valueKind == CounterKind::number) != std::holds_alternative<std::int64_t>(value)) {
        return node.valueKind == CounterKind::number ? CounterValue{std::int64_t{0}}
                                                     : CounterValue{false};
      }
      return value;
    }
    case Node::Kind::compare:
      return compare(node, counters);
    case Node::Kind::both:
      return truthOf(*node.left, counters) && truthOf(*node.right, counters);
    case Node::Kind::either:
      return truthOf(*node.left, counters) || truthOf(*node.right, counters);
    case Node::Kind::negation:
      return !truthOf(*node.left, counters);
  }
  return false;
}

std::string textOf(const Node& node) {
  static constexpr std::string_view kComparisons[] = {"==", "!=", "<", "<=", ">", ">="};
  switch (node.kind) {
    case Node::Kind::number:
      return std::to_string(node.number);
    case Node::Kind::truthValue:
      return node.truth ? "TRUE" : "FALSE";
    case Node::Kind::counter:
      return node.name;
    case Node::Kind::compare:
      return fmt::format("({} {} {})", textOf(*node.left),
                         kComparisons[static_cast<int>(node.comparison)], textOf(*node.right));
    case Node::Kind::both:
      return fmt::format("({} AND {})", textOf(*node.left), textOf(*node.right));
    case Node::Kind::either:
      return fmt::format("({} OR {})", textOf(*node.left), textOf(*node.right));
    case Node::Kind::negation:
      return fmt::format("(NOT {})", textOf(*node.left));
  }
  return {};
}

}  // namespace

Predicate::Predicate()
    : root_(std::make_shared<Node>(
          Node{Node::Kind::truthValue, 0, false, {}, CounterKind::truthValue})) {}

Result<Predicate> Predicate::parse(std::string_view text, const CounterCatalog& catalog) {
  if (text.size() > kMaximumPredicateLength) return predicateError("it is too long");
  auto tokens = tokenize(text);
  if (tokens.hasError()) return tokens.error();
  Parser parser(std::move(tokens.value()), catalog);
  auto root = parser.parseWhole();
  if (root.hasError()) return root.error();
  return Predicate(root.value());
}

bool Predicate::evaluate(const CounterReader& counters) const { return truthOf(*root_, counters); }

std::string Predicate::canonicalText() const { return textOf(*root_); }

}  // namespace zarnik
