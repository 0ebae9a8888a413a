#include "report/dhtml.h"

#include "report/markup.h"

namespace tavrel::dhtml {

namespace {

constexpr std::string_view kDhtmlBodyBlock =
    "<BODY onload=LoadIT()><FORM name=\"form\"><DIV ID=\"XslResults\"></DIV></FORM>";

// The page's onload handler: the browser applies the style island to the data island.
constexpr std::string_view kVbScriptBlock =
    "<SCRIPT language=\"VBSCRIPT\">\n"
    "function LoadIT()\n"
    "  XslResults.innerHTML = xmlSource.transformNode(xmlStyle.xmlDocument)\n"
    "  FixColors(\"MAINTABLE\")\n"
    "end function\n"
    "</SCRIPT>";

// The JScript block is written on one line, so it must never hold a line comment, and never
// the two characters that would end the SCRIPT element early. It must parse both in the old
// JScript engine (ECMAScript 3: no let/const, no arrow functions) and in current browsers,
// which run a script whose language is JSCRIPT as JavaScript.
constexpr std::string_view kJScriptBlock =
    "<SCRIPT LANGUAGE=\"JSCRIPT\">"
    "var HiddenFields = {};"
    "var currentsortfield = \"DN\";"
    "var sortdirection = \"+\";"
    // The text colour of each body row comes from its hidden COLOR cell.
    "function FixColors(t) {"
    "var table = document.getElementById(t);"
    "if (!table || table.childNodes.length < 2) return;"
    "var rows = table.childNodes[1].childNodes;"
    "for (var i = 0; i < rows.length; i++) {"
    "var cells = rows[i].childNodes, colour = \"\", j;"
    "for (j = 0; j < cells.length; j++) if (cells[j].id == \"COLOR\") colour = cells[j].innerText;"
    "if (colour != \"\") for (j = 0; j < cells.length; j++) cells[j].style.color = colour;"
    "}"
    "}"
    "function UpdateSelText(t, a, str) {"
    "for (var i = 0; i < t.options.length; i++) {"
    "if (t.options[i].value == a) { t.options[i].text = str; return; }"
    "}"
    "}"
    // Same field again reverses the direction; the current field is matched as a pattern.
    "function sort(field) {"
    "var direction = \"+\";"
    "if (new RegExp(currentsortfield).test(field))"
    " direction = (sortdirection.indexOf(\"-\") >= 0) ? \"+\" : \"-\";"
    "xmlStyle.XMLDocument.selectSingleNode(\"//@order-by\").nodeValue = direction + field;"
    "XslResults.innerHTML = xmlSource.documentElement.transformNode(xmlStyle.XMLDocument);"
    "currentsortfield = field;"
    "sortdirection = direction;"
    "ReHideFields();"
    "FixColors(\"MAINTABLE\");"
    "}"
    "function FieldHidden(entry) {"
    "if (HiddenFields[entry] !== true) HiddenFields[entry] = false;"
    "return HiddenFields[entry];"
    "}"
    "function HideField(entry) {"
    "if (entry == \"\" || entry == \"HIDEALL\" || entry == \"UNHIDEALL\") return;"
    "HiddenFields[entry] = true;"
    "var all = document.getElementById(\"XslResults\").getElementsByTagName(\"*\");"
    "for (var i = 0; i < all.length; i++) if (all[i].id == entry) all[i].style.display = \"none\";"
    "UpdateSelText(document.forms[\"form\"].showHidden, entry, \"(Hidden) \" + entry);"
    "}"
    "function UnHideField(entry) {"
    "if (entry == \"\" || entry == \"HIDEALL\" || entry == \"UNHIDEALL\") return;"
    "HiddenFields[entry] = false;"
    "var all = document.getElementById(\"XslResults\").getElementsByTagName(\"*\");"
    "for (var i = 0; i < all.length; i++) if (all[i].id == entry) all[i].style.display = \"\";"
    "UpdateSelText(document.forms[\"form\"].showHidden, entry, entry);"
    "}"
    // A sort rebuilds the table, so the hidden columns must be hidden again.
    "function ReHideFields() {"
    "for (var f in HiddenFields) if (HiddenFields[f] === true) HideField(f);"
    "}"
    "function Toggle(t, a) {"
    "if (a == \"\") return;"
    "var i;"
    "if (a == \"HIDEALL\") { for (i = 0; i < t.options.length; i++) HideField(t.options[i].value); }"
    "else if (a == \"UNHIDEALL\") { for (i = 0; i < t.options.length; i++) "
    "UnHideField(t.options[i].value); }"
    "else if (FieldHidden(a)) UnHideField(a);"
    "else HideField(a);"
    "t.value = \"\";"
    "}"
    "</SCRIPT>";

constexpr std::string_view kXslStylesheetHead =
    "<XML ID=\"xmlStyle\"><xsl:stylesheet version=\"1.0\" "
    "xmlns:xsl=\"http://www.w3.org/TR/WD-xsl\">"
    "<xsl:template match=\"/\">\t<xsl:apply-templates select=\"ROOT\"/></xsl:template>"
    "\t<xsl:template match=\"ROOT\">";

constexpr std::string_view kColumnSelectorStart =
    "<SELECT name=\"showHidden\" onchange=\"Toggle(this,this.options"
    "[this.selectedIndex].value)\">"
    "<OPTION value=\"\" selected=\"true\">TOGGLE FIELD DISPLAY</OPTION>";

constexpr std::string_view kColumnSelectorEnd =
    "<OPTION value=\"HIDEALL\">__HIDE ALL__</OPTION>"
    "<OPTION value=\"UNHIDEALL\">__SHOW ALL__</OPTION>"
    "</SELECT>";

constexpr std::string_view kSortBanner =
    "<FONT FACE=\"ARIAL\"><CENTER><B>CLICK COLUMN HEADER TO SORT</B></CENTER></FONT>";

constexpr std::string_view kTotalLine =
    "<DIV class=\"total\">Total Items Returned <xsl:eval>CountIT(this)</xsl:eval></DIV>";

constexpr std::string_view kMainTableStart =
    "<TABLE ID=\"MAINTABLE\" BORDER=\"0\" CELLPADDING=\"3\" CELLSPACING=\"1\" "
    "BGCOLOR=\"SILVER\"><THEAD class=\"header\">";

constexpr std::string_view kRowTemplateEnd =
    "<TD ID=\"COLOR\" style=\"display:none\"><xsl:value-of select=\"COLOR\"/></TD>"
    "</TR></xsl:for-each></TABLE>";

constexpr std::string_view kStyleIslandClose =
    "</xsl:template> "
    "<xsl:script><![CDATA["
    "function CountIT(node)\t{\ttotal = node.selectNodes(\"ITEM/DN\"); \t\tcount = total.length;"
    "\t\treturn count;\t}"
    "]]></xsl:script></xsl:stylesheet></XML>";

constexpr std::string_view kDataIslandStart = "<XML ID=\"xmlSource\"><ROOT>";
constexpr std::string_view kDataIslandEnd = "</ROOT></XML>";

constexpr std::string_view kItemStart = "     <ITEM>";
constexpr std::string_view kValueIndent = "         <";
constexpr std::string_view kColourStart = "          <COLOR>";
constexpr std::string_view kColourEnd = "</COLOR>";
constexpr std::string_view kItemEnd = "     </ITEM>";

}  // namespace

std::string pageStart() {
  std::string text(kDhtmlBodyBlock);
  text += '\n';
  text += kVbScriptBlock;
  text += '\n';
  text += kJScriptBlock;
  text += kXslStylesheetHead;
  return text;
}

std::string columnSelectorStart() { return std::string(kColumnSelectorStart); }

std::string column(std::string_view name, ColumnTexts& texts) {
  std::string n(name);
  texts.headerCells += "<TD ID=\"" + n + "\"   onClick=\"sort('" + n +
                       "')\" onMouseOver=\"this.style.background='GREEN';status='Sort by " + n +
                       "'\" onMouseOut=\"this.style.background='wheat';status=''\" ><CENTER>" +
                       n + "</CENTER></TD>";
  texts.rowCells += "<TD ID=\"" + n + "\" noWrap=\"true\"><xsl:value-of select=\"" + n +
                    "\"/></TD>";
  return "<OPTION value=\"" + n + "\">" + n + "</OPTION>";
}

std::string styleIslandEnd(const ColumnTexts& texts, std::string_view initialSortField) {
  std::string text(kColumnSelectorEnd);
  text += kSortBanner;
  text += kTotalLine;
  text += kMainTableStart;
  text += texts.headerCells;
  text += "</THEAD><xsl:for-each select=\"ITEM\" order-by=\"";
  text += initialSortField;
  text += "\"><TR class=\"row\">";
  text += texts.rowCells;
  text += kRowTemplateEnd;
  text += kStyleIslandClose;
  text += kDataIslandStart;
  return text;
}

std::string item(const std::vector<std::string>& columns, const std::vector<std::string>& cells,
                 std::string_view colour) {
  std::string text(kItemStart);
  for (size_t i = 0; i < columns.size(); ++i) {
    std::string name = escapeMarkup(columns[i]);
    text += kValueIndent;
    text += name;
    text += '>';
    if (i < cells.size()) text += escapeMarkup(cells[i]);
    text += "</";
    text += name;
    text += '>';
  }
  text += kColourStart;
  text += colour;
  text += kColourEnd;
  text += kItemEnd;
  return text;
}

std::string dataIslandEnd() { return std::string(kDataIslandEnd); }

}  // namespace tavrel::dhtml
