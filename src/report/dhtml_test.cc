// SPDX-License-Identifier: Apache-2.0
#include "report/dhtml.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrel::dhtml {
namespace {

TEST(DhtmlPageStart, BodyThenScriptsThenStyleIslandHead) {
  const std::string page = pageStart();
  const std::string body =
      "<BODY onload=LoadIT()><FORM name=\"form\"><DIV ID=\"XslResults\"></DIV></FORM>";
  const std::string vbscript =
      "\n<SCRIPT language=\"VBSCRIPT\">\n"
      "function LoadIT()\n"
      "  XslResults.innerHTML = xmlSource.transformNode(xmlStyle.xmlDocument)\n"
      "  FixColors(\"MAINTABLE\")\n"
      "end function\n"
      "</SCRIPT>\n";
  const std::string xslHead =
      "<XML ID=\"xmlStyle\"><xsl:stylesheet version=\"1.0\" "
      "xmlns:xsl=\"http://www.w3.org/TR/WD-xsl\"><xsl:template match=\"/\">\t"
      "<xsl:apply-templates select=\"ROOT\"/></xsl:template>\t<xsl:template match=\"ROOT\">";

  ASSERT_EQ(page.substr(0, body.size() + vbscript.size()), body + vbscript);
  ASSERT_GE(page.size(), xslHead.size());
  EXPECT_EQ(page.substr(page.size() - xslHead.size()), xslHead);

  // The JScript block sits between the two, on one line.
  const size_t jsStart = body.size() + vbscript.size();
  const std::string js = page.substr(jsStart, page.size() - xslHead.size() - jsStart);
  EXPECT_EQ(js.rfind("<SCRIPT LANGUAGE=\"JSCRIPT\">", 0), 0u);
  EXPECT_EQ(js.substr(js.size() - 9), "</SCRIPT>");
  EXPECT_EQ(js.find('\n'), std::string::npos);
  EXPECT_EQ(js.find('\r'), std::string::npos);
  // Only the closing tag may end the element.
  EXPECT_EQ(js.find("</"), js.size() - 9);
  // Exactly two line breaks in the whole start: after the body block and in the VBScript.
  size_t breaks = 0;
  for (char c : page) breaks += (c == '\n');
  EXPECT_EQ(breaks, 7u);
}

TEST(DhtmlPageStart, JScriptDeclaresTheGlobalsAndHandlersThePageCalls) {
  const std::string page = pageStart();
  for (const char* declaration :
       {"var HiddenFields = {};", "var currentsortfield = \"DN\";", "var sortdirection = \"+\";",
        "function FixColors(t)", "function UpdateSelText(t, a, str)", "function sort(field)",
        "function FieldHidden(entry)", "function HideField(entry)", "function UnHideField(entry)",
        "function ReHideFields()", "function Toggle(t, a)"}) {
    EXPECT_NE(page.find(declaration), std::string::npos) << declaration;
  }
  // LoadIT belongs to the VBScript block; a JScript function of that name would replace it
  // where both languages run.
  EXPECT_EQ(page.find("function LoadIT"), page.find("function LoadIT()\n"));
  EXPECT_EQ(page.find("function LoadIT", page.find("function LoadIT") + 1), std::string::npos);
}

TEST(DhtmlColumns, SelectorOptionAndBothCellTexts) {
  EXPECT_EQ(columnSelectorStart(),
            "<SELECT name=\"showHidden\" onchange=\"Toggle(this,this.options"
            "[this.selectedIndex].value)\"><OPTION value=\"\" selected=\"true\">"
            "TOGGLE FIELD DISPLAY</OPTION>");

  ColumnTexts texts;
  EXPECT_EQ(column("DN", texts), "<OPTION value=\"DN\">DN</OPTION>");
  EXPECT_EQ(column("pwdLastSet", texts), "<OPTION value=\"pwdLastSet\">pwdLastSet</OPTION>");
  EXPECT_EQ(texts.headerCells,
            "<TD ID=\"DN\"   onClick=\"sort('DN')\" onMouseOver=\"this.style.background='GREEN';"
            "status='Sort by DN'\" onMouseOut=\"this.style.background='wheat';status=''\" >"
            "<CENTER>DN</CENTER></TD>"
            "<TD ID=\"pwdLastSet\"   onClick=\"sort('pwdLastSet')\" onMouseOver=\""
            "this.style.background='GREEN';status='Sort by pwdLastSet'\" onMouseOut=\""
            "this.style.background='wheat';status=''\" ><CENTER>pwdLastSet</CENTER></TD>");
  EXPECT_EQ(texts.rowCells,
            "<TD ID=\"DN\" noWrap=\"true\"><xsl:value-of select=\"DN\"/></TD>"
            "<TD ID=\"pwdLastSet\" noWrap=\"true\"><xsl:value-of select=\"pwdLastSet\"/></TD>");
}

TEST(DhtmlColumns, NamesAreWrittenUnescaped) {
  ColumnTexts texts;
  EXPECT_EQ(column("a&b", texts), "<OPTION value=\"a&b\">a&b</OPTION>");
  EXPECT_NE(texts.headerCells.find("sort('a&b')"), std::string::npos);
  EXPECT_NE(texts.rowCells.find("select=\"a&b\""), std::string::npos);
}

TEST(DhtmlStyleIslandEnd, AllStepsInOrderWithoutLineBreaks) {
  ColumnTexts texts{"<H>", "<R>"};
  const std::string expected =
      "<OPTION value=\"HIDEALL\">__HIDE ALL__</OPTION>"
      "<OPTION value=\"UNHIDEALL\">__SHOW ALL__</OPTION></SELECT>"
      "<FONT FACE=\"ARIAL\"><CENTER><B>CLICK COLUMN HEADER TO SORT</B></CENTER></FONT>"
      "<DIV class=\"total\">Total Items Returned <xsl:eval>CountIT(this)</xsl:eval></DIV>"
      "<TABLE ID=\"MAINTABLE\" BORDER=\"0\" CELLPADDING=\"3\" CELLSPACING=\"1\" "
      "BGCOLOR=\"SILVER\"><THEAD class=\"header\"><H></THEAD>"
      "<xsl:for-each select=\"ITEM\" order-by=\"pwdLastSet\">"
      "<TR class=\"row\"><R><TD ID=\"COLOR\" style=\"display:none\">"
      "<xsl:value-of select=\"COLOR\"/></TD></TR></xsl:for-each></TABLE>"
      "</xsl:template> <xsl:script><![CDATA[function CountIT(node)\t{"
      "\ttotal = node.selectNodes(\"ITEM/DN\"); \t\tcount = total.length;\t\treturn count;\t}"
      "]]></xsl:script></xsl:stylesheet></XML>"
      "<XML ID=\"xmlSource\"><ROOT>";
  EXPECT_EQ(styleIslandEnd(texts, "pwdLastSet"), expected);
}

TEST(DhtmlStyleIslandEnd, InitialSortFieldIsWrittenAsGiven) {
  for (const char* field : {"DN", "lastLogonTimeStamp", "sAMAccountName"}) {
    const std::string text = styleIslandEnd(ColumnTexts{}, field);
    EXPECT_NE(text.find(std::string("order-by=\"") + field + "\">"), std::string::npos) << field;
  }
}

struct ItemCase {
  const char* label;
  std::vector<std::string> columns;
  std::vector<std::string> cells;
  const char* colour;
  const char* expected;
};

TEST(DhtmlItem, OneElementPerColumnThenColour) {
  const ItemCase cases[] = {
      {"plain",
       {"DN", "cn"},
       {"CN=pc1,DC=x", "pc1"},
       "",
       "     <ITEM>         <DN>CN=pc1,DC=x</DN>         <cn>pc1</cn>"
       "          <COLOR></COLOR>     </ITEM>"},
      {"coloured",
       {"DN"},
       {"CN=dc1"},
       "GREEN",
       "     <ITEM>         <DN>CN=dc1</DN>          <COLOR>GREEN</COLOR>     </ITEM>"},
      {"escaped values",
       {"DN", "description"},
       {"CN=a&b", "<script>alert(\"x\")</script>'"},
       "RED",
       "     <ITEM>         <DN>CN=a&amp;b</DN>"
       "         <description>&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;'</description>"
       "          <COLOR>RED</COLOR>     </ITEM>"},
      {"escaped names",
       {"a<b"},
       {"v"},
       "",
       "     <ITEM>         <a&lt;b>v</a&lt;b>          <COLOR></COLOR>     </ITEM>"},
      {"empty cell",
       {"DN", "mail"},
       {"CN=x", ""},
       "ORANGE",
       "     <ITEM>         <DN>CN=x</DN>         <mail></mail>"
       "          <COLOR>ORANGE</COLOR>     </ITEM>"},
      {"fewer cells than columns",
       {"DN", "mail"},
       {"CN=x"},
       "",
       "     <ITEM>         <DN>CN=x</DN>         <mail></mail>"
       "          <COLOR></COLOR>     </ITEM>"},
      {"no columns", {}, {}, "PURPLE", "     <ITEM>          <COLOR>PURPLE</COLOR>     </ITEM>"},
  };
  for (const ItemCase& c : cases) {
    EXPECT_EQ(item(c.columns, c.cells, c.colour), c.expected) << c.label;
  }
}

TEST(DhtmlDataIsland, End) {
  EXPECT_EQ(dataIslandEnd(), "</ROOT></XML>");
}

}  // namespace
}  // namespace tavrel::dhtml
