// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_QUERY_DN_KEY_H_
#define TAVREL_QUERY_DN_KEY_H_

#include <string>
#include <string_view>

namespace tavrel {

/// A text that is the same for two spellings of one distinguished name as the directory
/// compares them: attribute types and values without regard to ASCII letter case, blanks
/// around "=", "," and "+" dropped, escapes ("\2C", "\,") and quoted values resolved to the
/// bytes they stand for, an "OID." prefix dropped, the parts of a multi-valued RDN in one
/// order. Used to see an account again when it arrives a second time, by whatever route.
/// A DN that cannot be parsed keys as its lower-cased text.
std::string dnKey(std::string_view dn);

/// Whether `dn` is `base` or lies below it, compared as the directory compares names. A
/// name that cannot be parsed lies nowhere; every name lies within the empty base.
bool dnWithin(std::string_view dn, std::string_view base);

/// dnWithin on keys already made with dnKey, for a search that compares many names with one
/// base.
bool keyWithin(std::string_view key, std::string_view baseKey);

}  // namespace tavrel

#endif  // TAVREL_QUERY_DN_KEY_H_
