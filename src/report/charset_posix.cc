// SPDX-License-Identifier: Apache-2.0
#include "report/charset.h"

namespace tavrel {

const ReportCharset& reportCharset() {
  static const ReportCharset charset{"utf-8", true};
  return charset;
}

}  // namespace tavrel
