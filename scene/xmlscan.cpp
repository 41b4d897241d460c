// The tokenizer gives up rather than guess: an event it reports is one the full XML parser
// reports the same way, so that a file it reads to the end means the same either way.
#include "scene/xmlscan.h"

namespace Reader {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

bool isNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool isNameChar(char c) {
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

// Characters of text and attribute values read as they stand: printable ASCII and blanks,
// without the markup characters "<" and "&" and without "]" (which could end a CDATA section).
bool isPlain(char c) {
    const auto u = static_cast<unsigned char>(c);
    return (u >= 0x20 && u < 0x7f && c != '<' && c != '&' && c != ']') || c == '\t' ||
           c == '\n';
}

}  // namespace

void XmlScan::skipBlanks() {
    while (pos < text.size() && isBlank(text[pos])) ++pos;
}

bool XmlScan::readName(std::string_view& out) {
    const size_t from = pos;
    if (pos >= text.size() || !isNameStart(text[pos])) return false;
    while (pos < text.size() && isNameChar(text[pos])) ++pos;
    out = text.substr(from, pos - from);
    return true;
}

XmlScan::Event XmlScan::next() {
    if (pendingEnd) {
        pendingEnd = false;
        openTags.pop_back();
        return End;
    }
    if (rootSeen && openTags.empty()) {
        skipBlanks();
        return pos == text.size() ? Finished : GiveUp;
    }
    if (pos >= text.size()) return GiveUp;  // the root never closed
    if (text[pos] != '<') {
        // The file must begin with its root: text before it is left to the full parser.
        if (openTags.empty()) return GiveUp;
        const size_t from = pos;
        while (pos < text.size() && text[pos] != '<') {
            if (!isPlain(text[pos])) return GiveUp;
            ++pos;
        }
        run = text.substr(from, pos - from);
        return Text;
    }
    ++pos;
    if (pos < text.size() && text[pos] == '/') return endTag();
    return startTag();
}

XmlScan::Event XmlScan::startTag() {
    if (rootSeen && openTags.empty()) return GiveUp;  // a second root
    if (!readName(tagName)) return GiveUp;            // "<!", "<?" and malformed tags
    attrs.clear();
    for (;;) {
        const size_t before = pos;
        skipBlanks();
        if (pos >= text.size()) return GiveUp;
        if (text[pos] == '>' || text[pos] == '/') break;
        if (pos == before) return GiveUp;  // attributes are separated by blanks
        Attribute a;
        if (!readName(a.name)) return GiveUp;
        skipBlanks();
        if (pos >= text.size() || text[pos] != '=') return GiveUp;
        ++pos;
        skipBlanks();
        if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\'')) return GiveUp;
        const char quote = text[pos++];
        const size_t from = pos;
        while (pos < text.size() && text[pos] != quote) {
            // The parser turns tabs and line feeds in values into spaces: left to it.
            if (!isPlain(text[pos]) || text[pos] == '\t' || text[pos] == '\n') return GiveUp;
            ++pos;
        }
        if (pos >= text.size()) return GiveUp;
        a.value = text.substr(from, pos - from);
        ++pos;
        for (const Attribute& other : attrs)
            if (other.name == a.name) return GiveUp;  // a repeated attribute is an error
        attrs.push_back(a);
    }
    rootSeen = true;
    openTags.push_back(tagName);
    if (text[pos] == '/') {
        ++pos;
        if (pos >= text.size() || text[pos] != '>') return GiveUp;
        pendingEnd = true;
    }
    ++pos;
    return Start;
}

XmlScan::Event XmlScan::endTag() {
    ++pos;  // the "/"
    if (!readName(tagName)) return GiveUp;
    skipBlanks();
    if (pos >= text.size() || text[pos] != '>') return GiveUp;
    ++pos;
    if (openTags.empty() || openTags.back() != tagName) return GiveUp;
    openTags.pop_back();
    return End;
}

}  // namespace Reader
