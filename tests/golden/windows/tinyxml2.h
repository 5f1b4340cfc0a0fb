// The part of the XML library's interface that the host's description
// reader uses, for the Windows build of the render driver, where that
// library is not available: a strict reader of elements, attributes,
// comments, processing instructions and character references. Text and
// CDATA content are skipped; a DOCTYPE is refused.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tinyxml2 {

enum XMLError { XML_SUCCESS = 0, XML_ERROR_PARSING = 1 };

class XMLElement {
 public:
  const char* Attribute(const char* name) const {
    for (const auto& [key, value] : attributes_)
      if (key == name) return value.c_str();
    return nullptr;
  }
  const XMLElement* FirstChildElement(const char* name = nullptr) const { return nextNamed(children_, 0, name); }
  XMLElement* FirstChildElement(const char* name = nullptr) { return nextNamed(children_, 0, name); }
  const XMLElement* NextSiblingElement(const char* name = nullptr) const {
    return parent_ != nullptr ? nextNamed(parent_->children_, index_ + 1, name) : nullptr;
  }
  XMLElement* NextSiblingElement(const char* name = nullptr) {
    return parent_ != nullptr ? nextNamed(parent_->children_, index_ + 1, name) : nullptr;
  }
  const char* Name() const { return name_.c_str(); }
  int GetLineNum() const { return line_; }

 private:
  friend class XMLDocument;
  static XMLElement* nextNamed(const std::vector<std::unique_ptr<XMLElement>>& list, size_t from, const char* name) {
    for (size_t i = from; i < list.size(); ++i)
      if (name == nullptr || list[i]->name_ == name) return list[i].get();
    return nullptr;
  }

  std::string name_;
  std::vector<std::pair<std::string, std::string>> attributes_;
  std::vector<std::unique_ptr<XMLElement>> children_;
  XMLElement* parent_ = nullptr;
  size_t index_ = 0;
  int line_ = 0;
};

class XMLDocument {
 public:
  XMLError Parse(const char* text, size_t size) {
    root_ = XMLElement{};
    error_.clear();
    p_ = text;
    end_ = text + size;
    line_ = 1;
    if (size >= 3 && std::memcmp(text, "\xEF\xBB\xBF", 3) == 0) p_ += 3;
    if (!parseContent(root_, true)) {
      root_.children_.clear();
      return XML_ERROR_PARSING;
    }
    if (root_.children_.empty()) return fail("no root element");
    return XML_SUCCESS;
  }
  const char* ErrorStr() const { return error_.c_str(); }
  XMLElement* FirstChildElement(const char* name = nullptr) { return root_.FirstChildElement(name); }
  const XMLElement* FirstChildElement(const char* name = nullptr) const { return root_.FirstChildElement(name); }

 private:
  XMLError fail(const char* what) {
    error_ = "line " + std::to_string(line_) + ": " + what;
    return XML_ERROR_PARSING;
  }
  bool failed(const char* what) {
    fail(what);
    return false;
  }

  bool startsWith(const char* s) const {
    const size_t n = std::strlen(s);
    return static_cast<size_t>(end_ - p_) >= n && std::memcmp(p_, s, n) == 0;
  }
  void advance(size_t n) {
    for (size_t i = 0; i < n && p_ < end_; ++i, ++p_)
      if (*p_ == '\n') ++line_;
  }
  // Moves past the next `close`; false when the text ends first.
  bool skipPast(const char* close) {
    while (p_ < end_ && !startsWith(close)) advance(1);
    if (p_ >= end_) return false;
    advance(std::strlen(close));
    return true;
  }
  static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
  static bool isNameChar(char c) { return c != 0 && !isSpace(c) && std::strchr("<>/=\"'?!&", c) == nullptr; }
  void skipSpace() {
    while (p_ < end_ && isSpace(*p_)) advance(1);
  }
  std::string name() {
    const char* start = p_;
    while (p_ < end_ && isNameChar(*p_)) ++p_;
    return std::string(start, p_);
  }

  static void appendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | code >> 6);
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | code >> 12);
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | code >> 18);
      out += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  // An entity or character reference at p_ (after the '&'), appended.
  bool reference(std::string& out) {
    static const std::pair<const char*, char> kNamed[] = {
        {"lt;", '<'}, {"gt;", '>'}, {"amp;", '&'}, {"quot;", '"'}, {"apos;", '\''}};
    for (const auto& [text, c] : kNamed) {
      if (startsWith(text)) {
        advance(std::strlen(text));
        out += c;
        return true;
      }
    }
    if (!startsWith("#")) return failed("unknown entity");
    advance(1);
    const bool hex = startsWith("x");
    if (hex) advance(1);
    uint32_t code = 0;
    int digits = 0;
    for (; p_ < end_ && *p_ != ';'; advance(1), ++digits) {
      const char c = *p_;
      uint32_t d = 0;
      if (c >= '0' && c <= '9')
        d = static_cast<uint32_t>(c - '0');
      else if (hex && c >= 'a' && c <= 'f')
        d = static_cast<uint32_t>(c - 'a' + 10);
      else if (hex && c >= 'A' && c <= 'F')
        d = static_cast<uint32_t>(c - 'A' + 10);
      else
        return failed("bad character reference");
      code = code * (hex ? 16 : 10) + d;
      if (code > 0x10FFFF) return failed("character reference out of range");
    }
    if (p_ >= end_ || digits == 0 || code == 0) return failed("bad character reference");
    advance(1);
    appendUtf8(out, code);
    return true;
  }

  bool attributes(XMLElement& e) {
    for (;;) {
      skipSpace();
      if (p_ >= end_) return failed("unterminated tag");
      if (*p_ == '>' || startsWith("/>")) return true;
      std::string key = name();
      if (key.empty()) return failed("bad attribute name");
      skipSpace();
      if (p_ >= end_ || *p_ != '=') return failed("attribute without a value");
      advance(1);
      skipSpace();
      if (p_ >= end_ || (*p_ != '"' && *p_ != '\'')) return failed("attribute value without quotes");
      const char quote = *p_;
      advance(1);
      std::string value;
      while (p_ < end_ && *p_ != quote) {
        if (*p_ == '<') return failed("'<' in an attribute value");
        if (*p_ == '&') {
          advance(1);
          if (!reference(value)) return false;
        } else {
          value += *p_;
          advance(1);
        }
      }
      if (p_ >= end_) return failed("unterminated attribute value");
      advance(1);
      if (e.Attribute(key.c_str()) != nullptr) return failed("repeated attribute");
      e.attributes_.emplace_back(std::move(key), std::move(value));
    }
  }

  // Children of `parent` up to its end tag (or, for the document, the end).
  bool parseContent(XMLElement& parent, bool document, int depth = 0) {
    if (depth > 200) return failed("elements nested too deeply");
    for (;;) {
      while (p_ < end_ && *p_ != '<') {
        if (document && !isSpace(*p_)) return failed("text outside the root element");
        advance(1);
      }
      if (p_ >= end_) return document ? true : failed("missing end tag");
      if (startsWith("<!--")) {
        if (!skipPast("-->")) return failed("unterminated comment");
      } else if (startsWith("<?")) {
        if (!skipPast("?>")) return failed("unterminated declaration");
      } else if (startsWith("<![CDATA[")) {
        if (document || !skipPast("]]>")) return failed("misplaced or unterminated CDATA");
      } else if (startsWith("<!")) {
        return failed("unsupported markup declaration");
      } else if (startsWith("</")) {
        if (document) return failed("end tag without a start tag");
        advance(2);
        if (name() != parent.name_) return failed("mismatched end tag");
        skipSpace();
        if (p_ >= end_ || *p_ != '>') return failed("bad end tag");
        advance(1);
        return true;
      } else {
        if (document && !parent.children_.empty()) return failed("more than one root element");
        advance(1);
        auto child = std::make_unique<XMLElement>();
        child->line_ = line_;
        child->name_ = name();
        if (child->name_.empty()) return failed("bad element name");
        if (!attributes(*child)) return false;
        child->parent_ = &parent;
        child->index_ = parent.children_.size();
        XMLElement& e = *child;
        parent.children_.push_back(std::move(child));
        if (startsWith("/>")) {
          advance(2);
        } else {
          advance(1);  // '>'
          if (!parseContent(e, false, depth + 1)) return false;
        }
      }
    }
  }

  XMLElement root_;
  std::string error_;
  const char* p_ = nullptr;
  const char* end_ = nullptr;
  int line_ = 1;
};

}  // namespace tinyxml2
