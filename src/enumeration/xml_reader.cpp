#include "enumeration/xml_reader.h"

#include "base/byte_path.h"

#include <fmt/format.h>

#include <cctype>
#include <charconv>
#include <optional>

namespace zarnik {
namespace {

bool isNameCharacter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return std::isalnum(u) != 0 || c == '_' || c == '-' || c == '.' || c == ':' || u >= 0x80;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

std::optional<std::uint32_t> characterReference(std::string_view digits) {
  int base = 10;
  if (!digits.empty() && (digits.front() == 'x' || digits.front() == 'X')) {
    base = 16;
    digits.remove_prefix(1);
  }
  std::uint32_t code = 0;
  const auto [end, error] =
      std::from_chars(digits.data(), digits.data() + digits.size(), code, base);
  if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
    return std::nullopt;
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
  return code;
}

}  // namespace

const std::string* XmlEvent::attribute(std::string_view attributeName) const {
  for (const auto& [key, value] : attributes) {
    if (key == attributeName) return &value;
  }
  return nullptr;
}

std::optional<std::string> decodeXmlEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t amp = text.find('&', i);
    if (amp == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, amp - i));
    const size_t semicolon = text.find(';', amp);
    if (semicolon == std::string_view::npos || semicolon - amp > 12) return std::nullopt;
    const std::string_view entity = text.substr(amp + 1, semicolon - amp - 1);
    if (entity == "amp")
      out += '&';
    else if (entity == "lt")
      out += '<';
    else if (entity == "gt")
      out += '>';
    else if (entity == "quot")
      out += '"';
    else if (entity == "apos")
      out += '\'';
    else if (!entity.empty() && entity.front() == '#') {
      const auto code = characterReference(entity.substr(1));
      if (!code) return std::nullopt;
      appendUtf8(out, static_cast<char32_t>(*code));
    } else {
      return std::nullopt;
    }
    i = semicolon + 1;
  }
  return out;
}

Error XmlReader::failure(std::string_view reason) const {
  return Error::generic(fmt::format("{}, at byte {}", reason, position_), origin_);
}

void XmlReader::skipSpaces() {
  while (position_ < document_.size() && isSpace(document_[position_])) ++position_;
}

Result<std::string> XmlReader::readName() {
  const size_t start = position_;
  while (position_ < document_.size() && isNameCharacter(document_[position_])) ++position_;
  if (position_ == start) return failure("not a well-formed XML file: a name was expected");
  return std::string(document_.substr(start, position_ - start));
}

Result<XmlEvent> XmlReader::next() {
  if (pendingEnd_) {
    pendingEnd_ = false;
    XmlEvent event;
    event.kind = XmlEvent::Kind::endElement;
    event.name = std::move(pendingEndName_);
    if (openElements_.empty()) rootClosed_ = true;
    return event;
  }
  while (true) {
    if (rootClosed_) return XmlEvent{};
    if (position_ >= document_.size()) {
      return failure(openElements_.empty() ? "not an XML file: it has no element"
                                           : "the file is cut short");
    }
    if (document_[position_] == '<') {
      ZK_ASSIGN_OR_RETURN(XmlEvent event, readMarkup());
      if (event.kind == XmlEvent::Kind::endOfDocument) continue;  // comment, declaration
      return event;
    }
    const size_t end = document_.find('<', position_);
    const std::string_view raw = document_.substr(
        position_, end == std::string_view::npos ? std::string_view::npos : end - position_);
    position_ += raw.size();
    if (openElements_.empty()) {
      if (raw.find_first_not_of(" \t\r\n") != std::string_view::npos)
        return failure("not an XML file: text outside any element");
      continue;
    }
    auto decoded = decodeXmlEntities(raw);
    if (!decoded) return failure("not a well-formed XML file: a bad character reference");
    XmlEvent event;
    event.kind = XmlEvent::Kind::text;
    event.text = std::move(*decoded);
    return event;
  }
}

Result<XmlEvent> XmlReader::readMarkup() {
  const std::string_view rest = document_.substr(position_);
  const auto skipTo = [&](std::string_view terminator) -> Result<XmlEvent> {
    const size_t end = document_.find(terminator, position_);
    if (end == std::string_view::npos) return failure("the file is cut short");
    position_ = end + terminator.size();
    return XmlEvent{};
  };
  if (rest.starts_with("<!--")) return skipTo("-->");
  if (rest.starts_with("<?")) return skipTo("?>");
  if (rest.starts_with("<![CDATA[")) {
    if (openElements_.empty()) return failure("not an XML file: text outside any element");
    const size_t start = position_ + 9;
    const size_t end = document_.find("]]>", start);
    if (end == std::string_view::npos) return failure("the file is cut short");
    XmlEvent event;
    event.kind = XmlEvent::Kind::text;
    event.text = std::string(document_.substr(start, end - start));
    position_ = end + 3;
    return event;
  }
  if (rest.starts_with("<!")) return failure("document type declarations are not read");
  if (rest.starts_with("</")) return readEndElement();
  return readStartElement();
}

Result<XmlEvent> XmlReader::readStartElement() {
  ++position_;  // '<'
  XmlEvent event;
  event.kind = XmlEvent::Kind::startElement;
  ZK_ASSIGN_OR_RETURN(event.name, readName());
  while (true) {
    skipSpaces();
    if (position_ >= document_.size()) return failure("the file is cut short");
    const char c = document_[position_];
    if (c == '>' || c == '/') break;
    ZK_ASSIGN_OR_RETURN(std::string key, readName());
    skipSpaces();
    if (position_ >= document_.size() || document_[position_] != '=')
      return failure("not a well-formed XML file: '=' expected after an attribute name");
    ++position_;
    skipSpaces();
    if (position_ >= document_.size()) return failure("the file is cut short");
    const char quote = document_[position_];
    if (quote != '"' && quote != '\'')
      return failure("not a well-formed XML file: a quoted attribute value expected");
    const size_t end = document_.find(quote, position_ + 1);
    if (end == std::string_view::npos) return failure("the file is cut short");
    auto value = decodeXmlEntities(document_.substr(position_ + 1, end - position_ - 1));
    if (!value) return failure("not a well-formed XML file: a bad character reference");
    event.attributes.emplace_back(std::move(key), std::move(*value));
    position_ = end + 1;
  }
  if (document_[position_] == '/') {
    ++position_;
    if (position_ >= document_.size() || document_[position_] != '>')
      return failure("not a well-formed XML file: '>' expected");
    ++position_;
    pendingEnd_ = true;
    pendingEndName_ = event.name;
    return event;
  }
  ++position_;  // '>'
  if (depth() >= kMaximumDepth) return failure("elements nest too deeply");
  openElements_.push_back(event.name);
  return event;
}

Result<XmlEvent> XmlReader::readEndElement() {
  position_ += 2;  // "</"
  XmlEvent event;
  event.kind = XmlEvent::Kind::endElement;
  ZK_ASSIGN_OR_RETURN(event.name, readName());
  skipSpaces();
  if (position_ >= document_.size()) return failure("the file is cut short");
  if (document_[position_] != '>') return failure("not a well-formed XML file: '>' expected");
  ++position_;
  if (openElements_.empty() || openElements_.back() != event.name) {
    return failure(
        fmt::format("not a well-formed XML file: </{}> closes no open element", event.name));
  }
  openElements_.pop_back();
  if (openElements_.empty()) rootClosed_ = true;
  return event;
}

}  // namespace zarnik
