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
//
// Two paths share it. Where the data island is an XML document (transformNode exists), the
// VBScript LoadIT and `sort` apply the style island as they always did, and nothing of the
// second path runs. Current browsers have neither VBScript nor XML islands: they see both
// islands as unknown HTML elements. There `LoadIT` is undefined, so the block defines it as
// ModernStart, which copies the template's markup from the parsed style island, builds the
// rows from the data island (values as text nodes only, never parsed as markup), hides both
// islands and replaces `sort` with ModernSort. FixColors, the hiding functions and Toggle
// work unchanged on the table either path produces.
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
    // textContent where the browser has it: innerText would lay the page out again for
    // every row once the first row's colour has changed.
    "for (j = 0; j < cells.length; j++) if (cells[j].id == \"COLOR\")"
    " colour = cells[j].textContent != null ? cells[j].textContent : cells[j].innerText;"
    "if (colour != \"\") for (j = 0; j < cells.length; j++) cells[j].style.color = colour;"
    "}"
    "}"
    "function UpdateSelText(t, a, str) {"
    "for (var i = 0; i < t.options.length; i++) {"
    "if (t.options[i].value == a) { t.options[i].text = str; return; }"
    "}"
    "}"
    // The same field again reverses the direction; the current field is matched as a
    // pattern. A column name that is no valid pattern is matched as plain text instead of
    // stopping the sort with a script error.
    "function SortDirectionFor(field) {"
    "var same;"
    "try { same = new RegExp(currentsortfield).test(field); }"
    " catch (e) { same = field.indexOf(currentsortfield) >= 0; }"
    "if (!same) return \"+\";"
    "return (sortdirection.indexOf(\"-\") >= 0) ? \"+\" : \"-\";"
    "}"
    "function sort(field) {"
    "var direction = SortDirectionFor(field);"
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
    "if (a == \"HIDEALL\") {"
    "for (i = 0; i < t.options.length; i++) HideField(t.options[i].value);"
    "} else if (a == \"UNHIDEALL\") {"
    "for (i = 0; i < t.options.length; i++) UnHideField(t.options[i].value);"
    "}"
    "else if (FieldHidden(a)) UnHideField(a);"
    "else HideField(a);"
    "t.value = \"\";"
    "}"
    // ---- The path for browsers without XML islands. ----
    "var ModernStarted = false, ModernItems = [], ModernRowTemplate = null, ModernBody = null;"
    "function ModernHasXslt() {"
    "var s = document.getElementById(\"xmlSource\");"
    "return s != null && typeof s.transformNode != \"undefined\";"
    "}"
    // The HTML parser keeps the islands' tags as elements, with names lower-cased.
    "function ModernName(n) { return n.nodeType == 1 ? n.nodeName.toLowerCase() : \"\"; }"
    "function ModernFind(root, name, attribute, value) {"
    "var all = root.getElementsByTagName(\"*\");"
    "for (var i = 0; i < all.length; i++) {"
    "if (ModernName(all[i]) != name) continue;"
    "if (attribute == null || all[i].getAttribute(attribute) == value) return all[i];"
    "}"
    "return null;"
    "}"
    // One record per ITEM: element name (lower-cased) to its text; the first element of a
    // name wins, as with xsl:value-of.
    "function ModernReadItems(source) {"
    "var items = [], all = source.getElementsByTagName(\"*\");"
    "for (var i = 0; i < all.length; i++) {"
    "if (ModernName(all[i]) != \"item\") continue;"
    // Keys carry a prefix so that no column name can meet a property every object has.
    "var values = {}, dn = 0, kids = all[i].childNodes;"
    "for (var j = 0; j < kids.length; j++) {"
    "var name = ModernName(kids[j]);"
    "if (name == \"\") continue;"
    "if (name == \"dn\") dn++;"
    "if (values[\"=\" + name] == null) values[\"=\" + name] = kids[j].textContent;"
    "}"
    "items.push({ values: values, dnCount: dn, index: items.length });"
    "}"
    "return items;"
    "}"
    "function ModernValue(item, field) {"
    "var v = item.values[\"=\" + field.toLowerCase()];"
    "return v == null ? \"\" : v;"
    "}"
    // Whole numbers (ages) compare by value, everything else as text without regard to case.
    "function ModernCompare(a, b) {"
    "var number = /^\\s*-?[0-9]+\\s*$/;"
    "if (number.test(a) && number.test(b)) {"
    "var d = parseFloat(a) - parseFloat(b);"
    "if (d != 0) return d < 0 ? -1 : 1;"
    "}"
    "var la = a.toLowerCase(), lb = b.toLowerCase();"
    "if (la != lb) return la < lb ? -1 : 1;"
    "if (a != b) return a < b ? -1 : 1;"
    "return 0;"
    "}"
    // Refills the table body in the order of an order-by text: an optional sign, a field.
    "function ModernFill(orderBy) {"
    "var descending = orderBy.charAt(0) == \"-\";"
    "var field = orderBy.replace(/^[+-]/, \"\");"
    "var order = [], i, j;"
    "for (i = 0; i < ModernItems.length; i++)"
    " order.push({ item: ModernItems[i], key: ModernValue(ModernItems[i], field) });"
    "order.sort(function (x, y) {"
    "var c = ModernCompare(x.key, y.key);"
    "if (descending) c = -c;"
    "return c != 0 ? c : x.item.index - y.item.index;"
    "});"
    "while (ModernBody.firstChild) ModernBody.removeChild(ModernBody.firstChild);"
    "if (ModernRowTemplate == null) return;"
    // Each template cell with the field its xsl:value-of selects (null: a cell without one).
    "var cells = [], fields = [];"
    "for (var n = ModernRowTemplate.firstChild; n != null; n = n.nextSibling) {"
    "if (n.nodeType != 1) continue;"
    "var source = ModernFind(n, \"xsl:value-of\", null, null);"
    "cells.push(n);"
    "fields.push(source == null ? null : (source.getAttribute(\"select\") || \"\"));"
    "}"
    "var rows = document.createDocumentFragment();"
    "for (i = 0; i < order.length; i++) {"
    "var row = ModernRowTemplate.cloneNode(false);"
    "for (j = 0; j < cells.length; j++) {"
    "var cell = cells[j].cloneNode(false);"
    "if (fields[j] != null)"
    " cell.appendChild(document.createTextNode(ModernValue(order[i].item, fields[j])));"
    "row.appendChild(cell);"
    "}"
    "rows.appendChild(row);"
    "}"
    "ModernBody.appendChild(rows);"
    "}"
    // Copies the template's literal output; the xsl:eval of the total line becomes CountIT's
    // number and the main table gets an empty body that ModernFill fills.
    "function ModernCopy(from, to) {"
    "for (var n = from.firstChild; n != null; n = n.nextSibling) {"
    "if (n.nodeType == 3) { to.appendChild(document.createTextNode(n.nodeValue)); continue; }"
    "var name = ModernName(n);"
    "if (name == \"\") continue;"
    "if (name == \"xsl:eval\") {"
    "var count = 0;"
    "for (var i = 0; i < ModernItems.length; i++) count += ModernItems[i].dnCount;"
    "to.appendChild(document.createTextNode(String(count)));"
    "continue;"
    "}"
    "if (name.indexOf(\"xsl:\") == 0) continue;"
    "var copy = n.cloneNode(false);"
    "to.appendChild(copy);"
    "if (name == \"table\" && n.id == \"MAINTABLE\") {"
    "var head = ModernFind(n, \"thead\", null, null);"
    "if (head != null) {"
    "var headCopy = head.cloneNode(false);"
    "copy.appendChild(headCopy);"
    "ModernCopy(head, headCopy);"
    "}"
    "ModernRowTemplate = ModernFind(n, \"tr\", \"class\", \"row\");"
    "ModernBody = document.createElement(\"TBODY\");"
    "copy.appendChild(ModernBody);"
    "continue;"
    "}"
    "ModernCopy(n, copy);"
    "}"
    "}"
    "function ModernSort(field) {"
    "var direction = SortDirectionFor(field);"
    "ModernFill(direction + field);"
    "currentsortfield = field;"
    "sortdirection = direction;"
    "ReHideFields();"
    "FixColors(\"MAINTABLE\");"
    "}"
    "function ModernStart() {"
    "if (ModernStarted || ModernHasXslt()) return;"
    "var style = document.getElementById(\"xmlStyle\");"
    "var source = document.getElementById(\"xmlSource\");"
    "var results = document.getElementById(\"XslResults\");"
    "if (style == null || source == null || results == null) return;"
    "var template = ModernFind(style, \"xsl:template\", \"match\", \"ROOT\");"
    "if (template == null) return;"
    "ModernStarted = true;"
    "style.style.display = \"none\";"
    "source.style.display = \"none\";"
    "ModernItems = ModernReadItems(source);"
    "ModernCopy(template, results);"
    "if (ModernBody == null) return;"
    "var order = ModernFind(style, \"xsl:for-each\", \"select\", \"ITEM\");"
    "ModernFill(order != null ? (order.getAttribute(\"order-by\") || \"\") : \"\");"
    "sort = ModernSort;"
    "FixColors(\"MAINTABLE\");"
    "}"
    // Where VBScript defined LoadIT nothing of the second path is hooked up at all, so an old
    // browser runs exactly the page it always ran. Elsewhere the body's onload calls the second
    // path, and the DOMContentLoaded listener starts it as soon as the islands are parsed.
    "if (typeof LoadIT == \"undefined\") {"
    "window.LoadIT = ModernStart;"
    "if (window.addEventListener)"
    " window.addEventListener(\"DOMContentLoaded\", ModernStart, false);"
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

std::string columnSelectorStart() {
  return std::string(kColumnSelectorStart);
}

std::string column(std::string_view name, ColumnTexts& texts) {
  std::string n(name);
  texts.headerCells += "<TD ID=\"" + n + "\"   onClick=\"sort('" + n +
                       "')\" onMouseOver=\"this.style.background='GREEN';status='Sort by " + n +
                       "'\" onMouseOut=\"this.style.background='wheat';status=''\" ><CENTER>" + n +
                       "</CENTER></TD>";
  texts.rowCells +=
      "<TD ID=\"" + n + "\" noWrap=\"true\"><xsl:value-of select=\"" + n + "\"/></TD>";
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
    if (i < cells.size()) appendEscapedMarkup(text, cells[i]);
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

std::string dataIslandEnd() {
  return std::string(kDataIslandEnd);
}

}  // namespace tavrel::dhtml
