// A small pull reader for the plain XML that desktop programs write their libraries in:
// elements, attributes, text, comments, processing instructions and CDATA sections, with the
// five named entities and numeric character references decoded. No document type definitions,
// no namespaces, no external entities (a document that declares any is refused). Depth and
// sizes are bounded; every failure names the byte offset where reading stopped.
#pragma once

#include "base/result.h"

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace zarnik {

struct XmlEvent {
  enum class Kind { startElement, endElement, text, endOfDocument };
  Kind kind = Kind::endOfDocument;
  std::string name;                                             // elements
  std::vector<std::pair<std::string, std::string>> attributes;  // start elements, decoded
  std::string text;                                             // text and CDATA, decoded

  [[nodiscard]] const std::string* attribute(std::string_view attributeName) const;
};

class XmlReader {
 public:
  static constexpr int kMaximumDepth = 64;

  XmlReader(std::string_view document, std::string origin)
      : document_(document), origin_(std::move(origin)) {}

  // The next event; `endOfDocument` once the root element has closed. A document that ends
  // before its root closes, or whose tags do not nest, is an error.
  Result<XmlEvent> next();
  [[nodiscard]] int depth() const { return static_cast<int>(openElements_.size()); }

 private:
  Error failure(std::string_view reason) const;
  Result<XmlEvent> readMarkup();
  Result<XmlEvent> readStartElement();
  Result<XmlEvent> readEndElement();
  Result<std::string> readName();
  void skipSpaces();

  std::string_view document_;
  std::string origin_;
  size_t position_ = 0;
  std::vector<std::string> openElements_;
  bool rootClosed_ = false;
  bool pendingEnd_ = false;  // a self-closing element reports its end next
  std::string pendingEndName_;
};

// Decodes "&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&#NN;" and "&#xHH;"; nothing for an
// unknown or unterminated reference.
[[nodiscard]] std::optional<std::string> decodeXmlEntities(std::string_view text);

}  // namespace zarnik
