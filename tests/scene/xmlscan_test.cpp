// The quick tokenizer: plain scene XML comes out whole, anything else is given up. Giving up on
// plain files would go unseen by the readers' agreement tests (only loading would slow).
#include "scene/xmlscan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// S:name[attr=value,...] for a start, E:name for an end, T:"text", F for finished, G for giving up.
std::string transcript(const std::string& text) {
    Reader::XmlScan scan(text);
    std::string out;
    for (;;) {
        const auto event = scan.next();
        if (event == Reader::XmlScan::Finished) return out + "F";
        if (event == Reader::XmlScan::GiveUp) return out + "G";
        if (event == Reader::XmlScan::Text) out += "T:\"" + std::string(scan.textRun()) + "\" ";
        if (event == Reader::XmlScan::End) out += "E:" + std::string(scan.name()) + " ";
        if (event != Reader::XmlScan::Start) continue;
        out += "S:" + std::string(scan.name());
        for (size_t i = 0; i < scan.attributes().size(); ++i) {
            const auto& a = scan.attributes()[i];
            out += (i ? "," : "[") + std::string(a.name) + "=" + std::string(a.value);
        }
        out += scan.attributes().empty() ? " " : "] ";
    }
}

}  // namespace

TEST(XmlScan, PlainScenesComeOutWholeAndEverythingElseIsGivenUp) {
    const struct {
        const char* text;
        const char* events;
    } rows[] = {
        {"<tavolinfile><sphere radius=\"1\" name='a b'/></tavolinfile>",
         "S:tavolinfile S:sphere[radius=1,name=a b] E:sphere E:tavolinfile F"},
        {"<tavolinfile>\n <Cube_1 x.y-z = \"2\" >t 1</Cube_1 >\n</tavolinfile>\n\n",
         "S:tavolinfile T:\"\n \" S:Cube_1[x.y-z=2] T:\"t 1\" E:Cube_1 T:\"\n\" E:tavolinfile F"},
        {"<a v=\"(500;1)(600;2)\">x>y</a>", "S:a[v=(500;1)(600;2)] T:\"x>y\" E:a F"},
        // Left to the full parser: declarations, comments, references, CDATA's end, carriage
        // returns, bytes beyond ASCII, blanks in values, repeated attributes, malformations.
        {"<?xml version=\"1.0\"?><a/>", "G"},
        {"<a><!-- c --></a>", "S:a G"},
        {"<a>]]></a>", "S:a G"},
        {"<a>\r\n</a>", "S:a G"},
        {"<a>\xc3\xa9</a>", "S:a G"},
        {"<a b=\"x\ty\"/>", "G"},
        {"<a b=\"1\" b=\"2\"/>", "G"},
        {"<a b='1'c='2'/>", "G"},
        {"<1a/>", "G"},
        {"<a></b>", "S:a G"},
        {"text<a/>", "G"},
        {"<a/><b/>", "S:a E:a G"},
        {"", "G"},
    };
    for (const auto& row : rows) EXPECT_EQ(transcript(row.text), row.events) << row.text;
}
