// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_REPORT_CHARSET_H_
#define TAVREL_REPORT_CHARSET_H_

#include <string>

namespace tavrel {

/// The character set of the texts the program writes into its reports: the bytes the
/// directory adapter hands over, unchanged. Pages declare it, so a browser does not guess.
struct ReportCharset {
  std::string name;  ///< as declared in the page's Content-Type, e.g. "utf-8"
  bool utf8 = true;  ///< texts are UTF-8, so invalid sequences can be recognised
};

/// The platform's report character set: UTF-8 on POSIX (libldap passes the directory's
/// UTF-8 through), the ANSI code page on Windows (the adapter uses the ANSI entry points).
const ReportCharset& reportCharset();

}  // namespace tavrel

#endif  // TAVREL_REPORT_CHARSET_H_
