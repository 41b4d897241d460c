// A quick tokenizer for the plain XML that scene files are made of: elements, attributes in
// double or single quotes, and text, all in ASCII. Anything else (comments, processing
// instructions, declarations, entity or character references, CDATA, carriage returns, bytes
// outside ASCII) and every malformation make it give up, and the caller reads the file with the
// full XML parser instead, which knows every construct and words every error. It allocates
// nothing per element once its buffers have grown.
#pragma once

#include <string_view>
#include <vector>

namespace Reader {

class XmlScan {
public:
    enum Event { Start, End, Text, Finished, GiveUp };

    struct Attribute {
        std::string_view name;
        std::string_view value;
    };

    explicit XmlScan(std::string_view text) : text(text) {}

    // The next event. Start: name() and attributes(); a tag that closes itself ("<a/>") gives
    // Start and then End. End: name(). Text: text(), a run of character data. Finished: the
    // root element closed and only blanks follow it.
    Event next();

    std::string_view name() const { return tagName; }
    const std::vector<Attribute>& attributes() const { return attrs; }
    std::string_view textRun() const { return run; }
    // Bytes of the text read so far.
    size_t position() const { return pos; }

private:
    Event startTag();
    Event endTag();
    bool readName(std::string_view& out);
    void skipBlanks();

    std::string_view text;
    size_t pos = 0;
    std::vector<std::string_view> openTags;
    std::vector<Attribute> attrs;
    std::string_view tagName;
    std::string_view run;
    bool pendingEnd = false;  // a self-closing tag still owes its End
    bool rootSeen = false;
};

}  // namespace Reader
