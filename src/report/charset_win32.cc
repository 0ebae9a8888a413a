// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include "report/charset.h"

namespace tavrel {

namespace {

// The names browsers know for the ANSI code pages that are not "windows-<number>".
std::string codePageName(unsigned codePage) {
  switch (codePage) {
    case 65001:
      return "utf-8";
    case 932:
      return "shift_jis";
    case 936:
      return "gbk";
    case 949:
      return "euc-kr";
    case 950:
      return "big5";
    case 28591:
      return "iso-8859-1";
    default:
      return "windows-" + std::to_string(codePage);
  }
}

}  // namespace

const ReportCharset& reportCharset() {
  static const ReportCharset charset{codePageName(GetACP()), GetACP() == 65001};
  return charset;
}

}  // namespace tavrel
