// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_TESTS_SUPPORT_WIN32_TEST_SHIM_H_
#define TAVREL_TESTS_SUPPORT_WIN32_TEST_SHIM_H_

// Force-included into the test sources of the Windows cross build only, so that portable
// tests that pin their environment with the POSIX calls build there unchanged. The time zone
// that Windows' own conversions use is the process's at start-up (TZ under wine), so the
// cross build runs its tests with TZ=UTC; setting TZ inside a test changes the C runtime only.

#include <process.h>
#include <stdlib.h>
#include <time.h>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && getenv(name) != nullptr) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int unsetenv(const char* name) {
  return _putenv_s(name, "") == 0 ? 0 : -1;
}

#endif  // TAVREL_TESTS_SUPPORT_WIN32_TEST_SHIM_H_
