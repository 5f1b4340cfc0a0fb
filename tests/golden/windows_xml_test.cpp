// The XML reader that stands in for the XML library in the Windows build of
// the render driver: it must read what the host's description reader asks
// of it, and refuse what is not well-formed rather than guess.
#include "tests/golden/windows/tinyxml2.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using tinyxml2::XMLDocument;
using tinyxml2::XMLElement;

TEST(WindowsXmlReader, ReadsElementsAttributesAndLines) {
  const std::string text =
      "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n"
      "<!-- a comment with <tags> -->\n"
      "<PluginList>\n"
      "  <Plugin id = 'SE A&amp;B' name=\"&lt;&#65;&#x42;&gt; &quot;&apos;\">\n"
      "    <Audio>\n"
      "      <Pin id=\"0\" name=\"In\"/><Pin id=\"1\" name=\"Out\" />\n"
      "      text and <![CDATA[ <not markup> ]]>\n"
      "    </Audio>\n"
      "    <GUI/>\n"
      "  </Plugin>\n"
      "  <Plugin id=\"second\" name=\"&#xE9;\"></Plugin>\n"
      "</PluginList>\n";
  XMLDocument doc;
  ASSERT_EQ(doc.Parse(text.c_str(), text.size()), tinyxml2::XML_SUCCESS) << doc.ErrorStr();
  XMLElement* list = doc.FirstChildElement("PluginList");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(doc.FirstChildElement("Plugin"), nullptr);
  const XMLElement* plugin = list->FirstChildElement("Plugin");
  ASSERT_NE(plugin, nullptr);
  EXPECT_STREQ(plugin->Attribute("id"), "SE A&B");
  EXPECT_STREQ(plugin->Attribute("name"), "<AB> \"'");
  EXPECT_EQ(plugin->Attribute("category"), nullptr);
  EXPECT_EQ(plugin->GetLineNum(), 4);
  const XMLElement* pin = plugin->FirstChildElement("Audio")->FirstChildElement("Pin");
  ASSERT_NE(pin, nullptr);
  EXPECT_STREQ(pin->Attribute("name"), "In");
  pin = pin->NextSiblingElement("Pin");
  ASSERT_NE(pin, nullptr);
  EXPECT_STREQ(pin->Attribute("name"), "Out");
  EXPECT_EQ(pin->GetLineNum(), 6);
  EXPECT_EQ(pin->NextSiblingElement("Pin"), nullptr);
  EXPECT_NE(plugin->FirstChildElement("GUI"), nullptr);
  EXPECT_EQ(plugin->FirstChildElement("Parameters"), nullptr);
  const XMLElement* second = plugin->NextSiblingElement("Plugin");
  ASSERT_NE(second, nullptr);
  EXPECT_STREQ(second->Attribute("name"), "\xC3\xA9");
  EXPECT_EQ(second->NextSiblingElement(), nullptr);
}

TEST(WindowsXmlReader, RefusesMalformedText) {
  std::string deep;
  for (int i = 0; i < 300; ++i) deep += "<a>";
  for (int i = 0; i < 300; ++i) deep += "</a>";
  const std::string cases[] = {
      "",
      "   ",
      "<a>",
      "<a></b>",
      "<a><b></a></b>",
      "<a/><b/>",
      "text<a/>",
      "<a/>text",
      "<a x=\"1\" x=\"2\"/>",
      "<a x=1/>",
      "<a x/>",
      "<a x=\"<\"/>",
      "<a x=\"&bogus;\"/>",
      "<a x=\"&#;\"/>",
      "<a x=\"&#x110000;\"/>",
      "<a x=\"&#0;\"/>",
      "<a x=\"unterminated/>",
      "<!DOCTYPE a><a/>",
      "<!-- open <a/>",
      "<a / >",
      "</a>",
      "<a><![CDATA[ open </a>",
      deep,
  };
  for (const std::string& text : cases) {
    XMLDocument doc;
    EXPECT_NE(doc.Parse(text.c_str(), text.size()), tinyxml2::XML_SUCCESS) << text;
    EXPECT_NE(std::string(doc.ErrorStr()), "") << text;
    EXPECT_EQ(doc.FirstChildElement(), nullptr) << text;
  }
}

}  // namespace
