// SPDX-License-Identifier: Apache-2.0
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
    // Built for reports of 100,000 objects and more. While the page is still parsing, the
    // script turns the rest of the file (both islands) into the raw text of one hidden XMP
    // element, which no escaped value can end: built as elements, the data island alone is
    // 16 nodes a row, and building them was most of the time before the first row could be
    // shown (raw text also loads about three times as fast as PLAINTEXT in Chromium). The
    // style island, a few kilobytes, is then parsed as HTML on its own and the data island is
    // read from the text. Where the text could not be had, the islands are elements as the
    // browser parsed them, hidden by a style rule added before they arrive. Sort keys are
    // made once per column; and the table holds only the rows in and near the view, a fixed
    // set of row nodes whose texts are refilled on a sort or a scroll, with two spacer rows
    // standing in for the rest. Small reports get every row, exactly as before.
    "var ModernStarted = false, ModernRowTemplate = null, ModernBody = null;"
    "var ModernColumns = {}, ModernKeys = {}, ModernCount = 0, ModernDnCount = 0, ModernText = "
    "\"\";"
    "var ModernOrder = [], ModernPool = [], ModernProto = null, ModernFields = [];"
    "var ModernFieldColumns = [];"
    "var ModernFirst = 0, ModernShown = 0, ModernPitch = 0, ModernCellCount = 1;"
    "var ModernTop = null, ModernBottom = null, ModernAllRows = 1000, ModernMargin = 80;"
    "function ModernHasXslt() {"
    "var s = document.getElementById(\"xmlSource\");"
    "return s != null && typeof s.transformNode != \"undefined\";"
    "}"
    "function ModernHideIslands() {"
    "var rule = document.createElement(\"STYLE\");"
    "var head = document.getElementsByTagName(\"HEAD\")[0] || document.documentElement;"
    "rule.appendChild(document.createTextNode(\"#xmlStyle, #xmlSource { display: none }\"));"
    "head.appendChild(rule);"
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
    // One array per element name (lower-cased), indexed by ITEM; the first element of a name
    // in an ITEM wins, as with xsl:value-of. A column ends early where its last ITEMs lack it.
    // Keys carry a prefix so that no column name can meet a property every object has.
    "function ModernReadItems(source) {"
    "var items = source.getElementsByTagName(\"item\"), n = items.length, i, kid, name, column;"
    "for (i = 0; i < n; i++) {"
    "for (kid = items[i].firstElementChild; kid != null; kid = kid.nextElementSibling) {"
    "name = \"=\" + kid.localName;"
    "if (name == \"=dn\") ModernDnCount++;"
    "column = ModernColumns[name];"
    "if (column == null) column = ModernColumns[name] = [];"
    "while (column.length < i) column.push(\"\");"
    "if (column.length == i) column.push(kid.textContent);"
    "}"
    "}"
    "ModernCount = n;"
    "}"
    // The same arrays from the data island's text, which this program writes: ITEMs of
    // elements without attributes, values escaped with the XML entities and character
    // references. The text reads as the HTML parser would read it, save that no element
    // name can change the structure (an element named like an HTML one, P or TABLE say).
    "function ModernDecodeOne(all, ref) {"
    "if (ref.charAt(0) != \"#\") return ModernEntities[ref];"
    "var code = ref.charAt(1) == \"x\" || ref.charAt(1) == \"X\" ? parseInt(ref.substring(2), 16)"
    " : parseInt(ref.substring(1), 10);"
    "if (!(code > 0 && code <= 0x10FFFF) || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;"
    "if (code < 0x10000) return String.fromCharCode(code);"
    "code -= 0x10000;"
    "return String.fromCharCode(0xD800 + (code >> 10), 0xDC00 + (code & 0x3FF));"
    "}"
    "var ModernEntities = { amp: \"&\", lt: \"<\", gt: \">\", quot: \"\\\"\", apos: \"'\" };"
    "var ModernReference = /&(#[xX][0-9a-fA-F]+|#[0-9]+|amp|lt|gt|quot|apos);/g;"
    "function ModernDecode(v) { return v.replace(ModernReference, ModernDecodeOne); }"
    // Elements come in the same order in every ITEM, so each place in an ITEM remembers the
    // name last met there, with its end tag and column: the text is scanned once, and a name
    // is cut out and looked up only where it changes. A column of the text keeps where each
    // value starts and ends (-1: none); the value itself is cut out when it is shown or
    // sorted, as made of a million values at once a 100,000-row page would spend seconds.
    "function ModernSlot(name) {"
    "var empty = name.charAt(name.length - 1) == \"/\";"
    "var bare = empty ? name.substring(0, name.length - 1) : name, key = \"=\" + "
    "bare.toLowerCase();"
    "var column = ModernColumns[key];"
    "if (column == null) column = ModernColumns[key] = { starts: [], ends: [] };"
    "return { open: name + \">\", close: \"<\\/\" + bare + \">\", column: column, dn: key == "
    "\"=dn\","
    " empty: empty };"
    "}"
    "function ModernReadText(text, from) {"
    "var end = text.indexOf(\"<\\/ROOT>\", from), n = 0, slots = [], slot, at, lt, gt, p, stop, "
    "column;"
    "ModernText = text;"
    "var starts = typeof text.startsWith == \"function\";"
    "if (end < 0) end = text.length;"
    "for (at = text.indexOf(\"<ITEM>\", from); at >= 0 && at < end; at = text.indexOf(\"<ITEM>\", "
    "at)) {"
    "at += 6;"
    "for (p = 0;; p++) {"
    "lt = text.indexOf(\"<\", at);"
    "if (lt < 0 || lt >= end || text.charAt(lt + 1) == \"/\") break;"
    "slot = slots[p];"
    "if (slot == null || !(starts ? text.startsWith(slot.open, lt + 1)"
    " : text.substring(lt + 1, lt + 1 + slot.open.length) == slot.open)) {"
    "gt = text.indexOf(\">\", lt);"
    "if (gt < 0 || gt >= end) break;"
    "slot = slots[p] = ModernSlot(text.substring(lt + 1, gt));"
    "}"
    "gt = lt + slot.open.length;"
    "if (slot.empty) {"
    "stop = -1;"
    "at = gt + 1;"
    "} else {"
    "stop = text.indexOf(slot.close, gt);"
    "if (stop < 0 || stop > end) stop = end;"
    "at = stop + slot.close.length;"
    "}"
    "if (slot.dn) ModernDnCount++;"
    "column = slot.column;"
    "while (column.starts.length < n) { column.starts.push(-1); column.ends.push(-1); }"
    "if (column.starts.length == n) { column.starts.push(stop < 0 ? -1 : gt + 1); "
    "column.ends.push(stop); }"
    "}"
    "n++;"
    "if (lt < 0) break;"
    "at = lt;"
    "}"
    "ModernCount = n;"
    "}"
    "function ModernCell(column, index) {"
    "var v, start;"
    "if (column == null) return \"\";"
    "if (column.starts == null) { v = column[index]; return v == null ? \"\" : v; }"
    "start = column.starts[index];"
    "if (start == null || start < 0) return \"\";"
    "v = ModernText.substring(start, column.ends[index]);"
    "return v.indexOf(\"&\") < 0 ? v : ModernDecode(v);"
    "}"
    "function ModernValue(index, field) {"
    "return ModernCell(ModernColumns[\"=\" + field.toLowerCase()], index);"
    "}"
    // Sort keys of one column, made on its first sort: whole numbers (ages) compare by value,
    // everything else as text without regard to case, then with it; equal keys keep the data
    // island's order. The ascending order is sorted once, as ITEM indexes; the descending
    // one is read off it, runs of equal keys kept in island order.
    "function ModernKeysFor(field) {"
    "var keys = ModernKeys[\"=\" + field];"
    "if (keys != null) return keys;"
    "var number = /^\\s*-?[0-9]+\\s*$/, values = [], numbers = [], lower = [], order = [], i, v;"
    "for (i = 0; i < ModernCount; i++) {"
    "v = ModernValue(i, field);"
    "values.push(v);"
    "numbers.push(number.test(v) ? parseFloat(v) : NaN);"
    "lower.push(v.toLowerCase());"
    "order.push(i);"
    "}"
    "keys = ModernKeys[\"=\" + field] = { values: values, numbers: numbers, lower: lower,"
    " ascending: order };"
    "order.sort(function (x, y) {"
    "var a = numbers[x], b = numbers[y];"
    "if (a == a && b == b && a != b) return a < b ? -1 : 1;"
    "a = lower[x];"
    "b = lower[y];"
    "if (a != b) return a < b ? -1 : 1;"
    "a = values[x];"
    "b = values[y];"
    "return a != b ? (a < b ? -1 : 1) : x - y;"
    "});"
    "return keys;"
    "}"
    "function ModernCompare(keys, x, y) {"
    "var a = keys.numbers[x], b = keys.numbers[y];"
    "if (a == a && b == b && a != b) return a < b ? -1 : 1;"
    "a = keys.lower[x];"
    "b = keys.lower[y];"
    "if (a != b) return a < b ? -1 : 1;"
    "a = keys.values[x];"
    "b = keys.values[y];"
    "return a == b ? 0 : (a < b ? -1 : 1);"
    "}"
    // The ITEM indexes in the order of an order-by text (an optional sign, a field).
    "function ModernSortOrder(orderBy) {"
    "var keys = ModernKeysFor(orderBy.replace(/^[+-]/, \"\").toLowerCase());"
    "var ascending = keys.ascending, order = [], i, j, k;"
    "if (orderBy.charAt(0) != \"-\") return ascending.slice(0);"
    "for (i = ascending.length - 1; i >= 0; i = j - 1) {"
    "for (j = i; j > 0 && ModernCompare(keys, ascending[j - 1], ascending[i]) == 0; j--) {}"
    "for (k = j; k <= i; k++) order.push(ascending[k]);"
    "}"
    "return order;"
    "}"
    // The row template's cells, each with the field its xsl:value-of selects (null: a cell
    // without one), become one empty row that every table row is cloned from.
    "function ModernPrepareRows() {"
    "ModernProto = ModernRowTemplate.cloneNode(false);"
    "for (var n = ModernRowTemplate.firstChild; n != null; n = n.nextSibling) {"
    "if (n.nodeType != 1) continue;"
    "var source = ModernFind(n, \"xsl:value-of\", null, null);"
    "ModernProto.appendChild(n.cloneNode(false));"
    "ModernFields.push(source == null ? null : (source.getAttribute(\"select\") || \"\"));"
    "ModernFieldColumns.push(source == null ? null"
    " : ModernColumns[\"=\" + ModernFields[ModernFields.length - 1].toLowerCase()]);"
    "}"
    "ModernCellCount = Math.max(1, ModernFields.length);"
    "}"
    "function ModernNewRow() {"
    "var row = ModernProto.cloneNode(true), cell = row.firstChild, j;"
    "for (j = 0; cell != null; cell = cell.nextSibling, j++)"
    " if (ModernFields[j] != null) cell.appendChild(document.createTextNode(\"\"));"
    "return row;"
    "}"
    // Gives a row the values and colour of one ITEM; a row of the set may have shown another.
    // The colour is set only where it changes: each change costs the row a new style.
    "function ModernFillRow(row, index) {"
    "var cell, j, colour = \"\";"
    "for (cell = row.firstChild, j = 0; cell != null; cell = cell.nextSibling, j++) {"
    "if (ModernFields[j] == null) continue;"
    "cell.firstChild.nodeValue = cell.title = ModernCell(ModernFieldColumns[j], index);"
    "if (cell.id == \"COLOR\") colour = cell.firstChild.nodeValue;"
    "}"
    "if (row.tavrelColour === colour) return;"
    "row.tavrelColour = colour;"
    "for (cell = row.firstChild; cell != null; cell = cell.nextSibling) cell.style.color = colour;"
    "}"
    // A row coming back into the table takes the columns' current hidden state.
    "function ModernShowColumns(row) {"
    "for (var cell = row.firstChild; cell != null; cell = cell.nextSibling) {"
    "if (HiddenFields[cell.id] === true) cell.style.display = \"none\";"
    "else if (HiddenFields[cell.id] === false) cell.style.display = \"\";"
    "}"
    "}"
    "function ModernSpacer(spacer, rows, before) {"
    "if (spacer == null) {"
    "spacer = document.createElement(\"TR\");"
    "var cell = document.createElement(\"TD\");"
    "cell.colSpan = ModernCellCount;"
    "cell.style.padding = \"0\";"
    "spacer.appendChild(cell);"
    "}"
    "if (rows <= 0) {"
    "if (spacer.parentNode != null) spacer.parentNode.removeChild(spacer);"
    "return spacer;"
    "}"
    // One cell spacing (1 pixel) lies between the spacer and the next row.
    "spacer.firstChild.style.height = Math.max(0, Math.round(rows * ModernRowPitch() - 1)) + "
    "\"px\";"
    "if (spacer.parentNode != ModernBody) ModernBody.insertBefore(spacer, before);"
    "return spacer;"
    "}"
    "function ModernRowPitch() { return ModernPitch > 0 ? ModernPitch : 16; }"
    // A row's height is whatever fonts, zoom and the browser's settings make it, and it may
    // change after the first rows are shown (a font arriving late, a zoom): the rows in the
    // table are measured on every render, never assumed.
    "function ModernMeasure() {"
    "if (ModernShown < 2) return;"
    "var top = ModernPool[0].getBoundingClientRect().top;"
    "var pitch = (ModernPool[ModernShown - 1].getBoundingClientRect().top - top) / (ModernShown - "
    "1);"
    "if (pitch > 0) ModernPitch = pitch;"
    "}"
    // Shows the rows first..last-1 of the current order.
    "function ModernRender(first, last) {"
    "var count = last - first, k;"
    "while (ModernPool.length < count) ModernPool.push(ModernNewRow());"
    "for (k = count; k < ModernShown; k++) ModernBody.removeChild(ModernPool[k]);"
    "for (k = 0; k < count; k++) ModernFillRow(ModernPool[k], ModernOrder[first + k]);"
    "var after = ModernShown > 0 && count > 0 ? ModernPool[Math.min(ModernShown, count) - "
    "1].nextSibling"
    " : (ModernTop != null && ModernTop.parentNode == ModernBody ? ModernTop.nextSibling"
    " : ModernBody.firstChild);"
    "for (k = ModernShown; k < count; k++) {"
    "ModernShowColumns(ModernPool[k]);"
    "ModernBody.insertBefore(ModernPool[k], after);"
    "}"
    "ModernShown = count;"
    "ModernFirst = first;"
    "ModernMeasure();"
    "ModernTop = ModernSpacer(ModernTop, first, ModernBody.firstChild);"
    "ModernBottom = ModernSpacer(ModernBottom, ModernCount - last, null);"
    "}"
    // The row at the top of the window: inside the rows shown it is found by their real
    // positions, with where it lies on the screen (at); in a spacer it is estimated from the
    // measured pitch (at: null).
    "function ModernTopRow() {"
    "var pitch = ModernRowPitch(), low, high, middle, first, last;"
    "if (ModernShown == 0) {"
    "return { index: Math.max(0, Math.min(ModernCount - 1,"
    " Math.floor(-ModernBody.getBoundingClientRect().top / pitch))), at: null };"
    "}"
    "first = ModernPool[0].getBoundingClientRect();"
    "last = ModernPool[ModernShown - 1].getBoundingClientRect();"
    "if (first.top > 0)"
    " return { index: Math.max(0, ModernFirst - Math.ceil(first.top / pitch)), at: null };"
    "if (last.bottom <= 0) return { index: Math.min(ModernCount - 1,"
    " ModernFirst + ModernShown + Math.floor(-last.bottom / pitch)), at: null };"
    "low = 0;"
    "high = ModernShown - 1;"
    "while (low < high) {"
    "middle = Math.floor((low + high) / 2);"
    "if (ModernPool[middle].getBoundingClientRect().bottom > 0) high = middle; else low = middle + "
    "1;"
    "}"
    "return { index: ModernFirst + low, at: ModernPool[low].getBoundingClientRect().top };"
    "}"
    "function ModernWindowHeight() {"
    "return window.innerHeight || document.documentElement.clientHeight || 800;"
    "}"
    // Renders around the row at the top of the window and keeps that row where it was on the
    // screen, so that a pitch that changed since the spacers were sized moves no row in view.
    "function ModernShowView() {"
    "if (ModernCount <= ModernAllRows) { ModernRender(0, ModernCount); return; }"
    "var anchor = ModernTopRow(), rows = Math.ceil(ModernWindowHeight() / ModernRowPitch()) + 1;"
    "var first = Math.max(0, anchor.index - ModernMargin);"
    "ModernRender(first, Math.min(ModernCount, anchor.index + rows + ModernMargin));"
    "if (anchor.at == null) return;"
    "var moved = ModernPool[anchor.index - first].getBoundingClientRect().top - anchor.at;"
    "if (moved != 0) window.scrollBy(0, moved);"
    "}"
    // Nothing to do while the rows shown cover the window.
    "function ModernFollowView() {"
    "if (ModernBody == null || ModernCount <= ModernAllRows) return;"
    "if (ModernShown > 0) {"
    "var top = ModernPool[0].getBoundingClientRect().top;"
    "var bottom = ModernPool[ModernShown - 1].getBoundingClientRect().bottom;"
    "if ((ModernFirst == 0 || top <= 0) && (ModernFirst + ModernShown == ModernCount"
    " || bottom >= ModernWindowHeight())) return;"
    "}"
    "ModernShowView();"
    "}"
    // Copies the template's literal output; the xsl:eval of the total line becomes CountIT's
    // number and the main table gets an empty body for the rows.
    "function ModernCopy(from, to) {"
    "for (var n = from.firstChild; n != null; n = n.nextSibling) {"
    "if (n.nodeType == 3) { to.appendChild(document.createTextNode(n.nodeValue)); continue; }"
    "var name = ModernName(n);"
    "if (name == \"\") continue;"
    "if (name == \"xsl:eval\") {"
    "to.appendChild(document.createTextNode(String(ModernDnCount)));"
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
    // ---- The picture above the table, drawn from the data island. ----
    // How many accounts, how old (a histogram of pwage, or of lltsAge when the search was by
    // last logon), which systems, and for a modifying run what happened to them; the run
    // settings fold away under one line, and the table is cut to the window's width, each
    // cut value whole on hover.
    "var ModernBuckets = [[0, 90, \"0-89 d\"], [90, 180, \"90-179 d\"], [180, 365, \"180-364 d\"],"
    " [365, 730, \"365-729 d\"], [730, Infinity, \"730+ d\"]];"
    "function ModernElement(name, text) {"
    "var e = document.createElement(name);"
    "if (text != null) e.appendChild(document.createTextNode(text));"
    "return e;"
    "}"
    "function ModernSvg(name, attributes, text) {"
    "var e = document.createElementNS(\"http://www.w3.org/2000/svg\", name), a;"
    "for (a in attributes) e.setAttribute(a, attributes[a]);"
    "if (text != null) e.appendChild(document.createTextNode(text));"
    "return e;"
    "}"
    // A search by last logon has it in its filter, which the information table shows.
    "function ModernAgeField() {"
    "var cells = document.getElementById(\"XslResults\").getElementsByTagName(\"TD\"), i;"
    "if (ModernColumns[\"=lltsage\"] == null) return \"pwage\";"
    "for (i = 0; i < cells.length; i++)"
    " if (cells[i].className == \"descriptionValue\""
    " && cells[i].textContent.indexOf(\"(lastLogonTimestamp<=\") >= 0) return \"lltsAge\";"
    "return \"pwage\";"
    "}"
    // Counts of the values of `read(i)` over all ITEMs, largest first, as [value, count].
    "function ModernTally(read) {"
    "var counts = {}, list = [], i, v;"
    "for (i = 0; i < ModernCount; i++) {"
    "v = \"=\" + read(i);"
    "counts[v] = (counts[v] || 0) + 1;"
    "}"
    "for (v in counts) if (v.charAt(0) == \"=\") list.push([v.substring(1), counts[v]]);"
    "list.sort(function (a, b) { return b[1] - a[1] || (a[0] < b[0] ? -1 : 1); });"
    "return list;"
    "}"
    "function ModernCountTable(id, title, list) {"
    "var table = ModernElement(\"TABLE\"), i, row;"
    "table.id = id;"
    "table.appendChild(ModernElement(\"CAPTION\", title));"
    "for (i = 0; i < list.length; i++) {"
    "row = table.insertRow(-1);"
    "row.appendChild(ModernElement(\"TD\", list[i][0]));"
    "row.appendChild(ModernElement(\"TD\", String(list[i][1])));"
    "}"
    "return table;"
    "}"
    "function ModernHistogram(field) {"
    "var counts = [0, 0, 0, 0, 0, 0], labels = [], i, k, v, most = 1, box, h;"
    "for (i = 0; i < ModernCount; i++) {"
    "v = parseInt(ModernValue(i, field), 10);"
    "for (k = 0; k < 5 && !(v >= ModernBuckets[k][0] && v < ModernBuckets[k][1]); k++) {}"
    "counts[k]++;"
    "}"
    "for (k = 0; k < 5; k++) labels.push(ModernBuckets[k][2]);"
    "labels.push(\"never\");"
    "for (k = 0; k < 6; k++) most = Math.max(most, counts[k]);"
    "box = ModernSvg(\"svg\", { id: \"TavrelAges\", width: \"480\", height: \"150\","
    " viewBox: \"0 0 480 150\", role: \"img\" });"
    "box.appendChild(ModernSvg(\"title\", {}, \"Accounts by \" + field + \" (days)\"));"
    "for (k = 0; k < 6; k++) {"
    "h = Math.round(100 * counts[k] / most);"
    "box.appendChild(ModernSvg(\"rect\", { x: String(8 + k * 78), y: String(118 - h),"
    " width: \"64\", height: String(h), fill: k == 5 ? \"gray\" : \"steelblue\","
    " \"data-count\": String(counts[k]), \"data-bucket\": labels[k] }));"
    "box.appendChild(ModernSvg(\"text\", { x: String(40 + k * 78), y: String(113 - h),"
    " \"text-anchor\": \"middle\", \"font-size\": \"12\" }, String(counts[k])));"
    "box.appendChild(ModernSvg(\"text\", { x: String(40 + k * 78), y: \"136\","
    " \"text-anchor\": \"middle\", \"font-size\": \"11\" }, labels[k]));"
    "}"
    "return box;"
    "}"
    // What happened to each account of a modifying run, counted as the run's statistics count
    // it: a delete refused for an enabled account is coloured as an error but counted skipped.
    "function ModernOutcome(i) {"
    "var result = ModernValue(i, \"RESULT\"), colour = ModernValue(i, \"COLOR\");"
    "if (result.indexOf(\"NOT ATTEMPTED\") == 0) return \"not attempted\";"
    "if (colour == \"GREEN\" || result == \"TEST\" || result == \"DISABLE:SKIP\""
    " || result == \"NOT DISABLED\") return \"skipped\";"
    "if (colour == \"PURPLE\") return \"safety skipped\";"
    "if (colour == \"ORANGE\") return \"error\";"
    "return \"OK\";"
    "}"
    "function ModernFoldSettings(results) {"
    "var tables = results.getElementsByTagName(\"TABLE\"), i, fold, line;"
    "for (i = 0; i < tables.length; i++) {"
    "if (tables[i].id == \"MAINTABLE\" || ModernFind(tables[i], \"td\", \"class\", "
    "\"description\") == null)"
    " continue;"
    "fold = document.createElement(\"DETAILS\");"
    "line = \"Run settings (\" + tables[i].rows.length + \" lines)\";"
    "fold.appendChild(ModernElement(\"SUMMARY\", line));"
    "tables[i].parentNode.insertBefore(fold, tables[i]);"
    "fold.appendChild(tables[i]);"
    "return;"
    "}"
    "}"
    "function ModernPicture(results) {"
    "var picture = ModernElement(\"DIV\"), field = ModernAgeField(), order = [0, 0, 0, 0, 0], i;"
    "var rule = document.createElement(\"STYLE\");"
    "rule.appendChild(document.createTextNode(\"#TavrelSummary { font: 10pt Verdana }\""
    " + \" #TavrelSummary > * { display: inline-block; vertical-align: top; margin: 0 2em 1em 0 }\""
    " + \" #TavrelSummary caption { font-weight: bold; text-align: left }\""
    " + \" #MAINTABLE { table-layout: fixed; width: 100% }\""
    " + \" #MAINTABLE td { overflow: hidden; text-overflow: ellipsis; white-space: nowrap }\"));"
    "(document.getElementsByTagName(\"HEAD\")[0] || document.documentElement).appendChild(rule);"
    "picture.id = \"TavrelSummary\";"
    "picture.appendChild(ModernElement(\"H2\", ModernCount + (ModernCount == 1 ? \" account\""
    " : \" accounts\")));"
    "if (ModernColumns[\"=\" + field.toLowerCase()] != null) "
    "picture.appendChild(ModernHistogram(field));"
    "if (ModernColumns[\"=operatingsystem\"] != null) {"
    "picture.appendChild(ModernCountTable(\"TavrelSystems\", \"operatingSystem\","
    " ModernTally(function (i) { return ModernValue(i, \"operatingSystem\") || \"(none)\"; })));"
    "}"
    "if (ModernColumns[\"=result\"] != null) {"
    "var names = [\"OK\", \"error\", \"skipped\", \"safety skipped\", \"not attempted\"], list = "
    "[];"
    "for (i = 0; i < ModernCount; i++) {"
    "var outcome = ModernOutcome(i);"
    "for (var k = 0; k < names.length; k++) if (names[k] == outcome) order[k]++;"
    "}"
    "for (i = 0; i < names.length; i++) list.push([names[i], order[i]]);"
    "picture.appendChild(ModernCountTable(\"TavrelOutcomes\", \"Outcome\", list));"
    "}"
    "results.insertBefore(picture, results.firstChild);"
    "ModernFoldSettings(results);"
    "}"
    // The rows are re-filled in place: no row node is made or moved.
    "function ModernSort(field) {"
    "var direction = SortDirectionFor(field);"
    "if (ModernProto != null) {"
    "ModernOrder = ModernSortOrder(direction + field);"
    "ModernShowView();"
    "}"
    "currentsortfield = field;"
    "sortdirection = direction;"
    "ReHideFields();"
    "FixColors(\"MAINTABLE\");"
    "}"
    "function ModernStart() {"
    "if (ModernStarted || ModernHasXslt()) return;"
    "var raw = document.getElementById(\"ModernIslands\"), text = null, at = -1, box;"
    "var style = document.getElementById(\"xmlStyle\");"
    "var source = document.getElementById(\"xmlSource\");"
    "var results = document.getElementById(\"XslResults\");"
    "if (raw != null && style == null) {"
    "text = raw.textContent;"
    "at = text.indexOf(\"<XML ID=\\\"xmlSource\\\">\");"
    "box = document.createElement(\"DIV\");"
    "box.innerHTML = at < 0 ? text : text.substring(0, at);"
    "style = ModernFind(box, \"xml\", \"id\", \"xmlStyle\");"
    "source = at < 0 ? ModernFind(box, \"xml\", \"id\", \"xmlSource\") : box;"
    "}"
    "if (style == null || source == null || results == null) return;"
    "var template = ModernFind(style, \"xsl:template\", \"match\", \"ROOT\");"
    "if (template == null) return;"
    "ModernStarted = true;"
    "style.style.display = \"none\";"
    "source.style.display = \"none\";"
    "if (text != null && at >= 0) ModernReadText(text, at);"
    "else ModernReadItems(source);"
    "if (raw != null) raw.parentNode.removeChild(raw);"
    "ModernCopy(template, results);"
    "sort = ModernSort;"
    "if (ModernBody == null || ModernRowTemplate == null) return;"
    "ModernPrepareRows();"
    "ModernPicture(results);"
    "var order = ModernFind(style, \"xsl:for-each\", \"select\", \"ITEM\");"
    "ModernOrder = ModernSortOrder(order != null ? (order.getAttribute(\"order-by\") || \"\") : "
    "\"\");"
    "ModernShowView();"
    "FixColors(\"MAINTABLE\");"
    "window.addEventListener(\"scroll\", ModernFollowView, false);"
    "window.addEventListener(\"resize\", ModernFollowView, false);"
    "if (document.fonts && document.fonts.addEventListener)"
    " document.fonts.addEventListener(\"loadingdone\", ModernFollowView, false);"
    // Where rows are re-filled in place, the browser's own scroll anchoring would follow a
    // row node to its new text; the anchor above keeps the view instead.
    "ModernBody.style.overflowAnchor = \"none\";"
    "}"
    // Where VBScript defined LoadIT nothing of the second path is hooked up at all, so an old
    // browser runs exactly the page it always ran. Elsewhere the islands are hidden before
    // they arrive, the body's onload calls the second path, and the DOMContentLoaded listener
    // starts it as soon as the islands are parsed.
    "if (typeof LoadIT == \"undefined\") {"
    "window.LoadIT = ModernStart;"
    "ModernHideIslands();"
    "try {"
    "if (document.readyState == \"loading\")"
    " document.write(\"<XMP ID=\\\"ModernIslands\\\" style=\\\"display:none\\\">\");"
    "} catch (e) {}"
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

void appendItem(std::string& out, const std::vector<std::string>& escapedNames,
                const std::vector<std::string_view>& escapedCells, std::string_view colour) {
  out += kItemStart;
  for (size_t i = 0; i < escapedNames.size(); ++i) {
    out += kValueIndent;
    out += escapedNames[i];
    out += '>';
    if (i < escapedCells.size()) out += escapedCells[i];
    out += "</";
    out += escapedNames[i];
    out += '>';
  }
  out += kColourStart;
  out += colour;
  out += kColourEnd;
  out += kItemEnd;
}

std::string item(const std::vector<std::string>& columns, const std::vector<std::string>& cells,
                 std::string_view colour) {
  std::vector<std::string> names;
  std::vector<std::string> escaped;
  for (const std::string& column : columns) names.push_back(escapeMarkup(column));
  for (const std::string& cell : cells) escaped.push_back(escapeMarkup(cell));
  std::string text;
  appendItem(text, names, std::vector<std::string_view>(escaped.begin(), escaped.end()), colour);
  return text;
}

std::string dataIslandEnd() {
  return std::string(kDataIslandEnd);
}

}  // namespace tavrel::dhtml
