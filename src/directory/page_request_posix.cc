// SPDX-License-Identifier: Apache-2.0
// One page request of the paged search over libldap.

#include <sys/time.h>
#include <unistd.h>

#include <chrono>

#include "directory/page_request.h"

namespace tavrel::ldap {

namespace {

constexpr int kBusyRetries = 5;
constexpr useconds_t kBusyPauseMicroseconds = 10000;

void takeUrls(char** urls, std::vector<std::string>& into) {
  if (urls == nullptr) return;
  for (char** url = urls; *url != nullptr; ++url) into.emplace_back(*url);
  ldap_memvfree(reinterpret_cast<void**>(urls));
}

/// One page's answer as the final message states it.
struct PageReply {
  int code = LDAP_OTHER;
  std::string cookie;  ///< empty: no more pages
};

/// The result code, referral URLs and paging cookie of a page's final message.
PageReply readFinalMessage(LDAP* ld, LDAPMessage* result, std::vector<std::string>& references) {
  PageReply reply;
  LDAPControl** controls = nullptr;
  char** referrals = nullptr;
  int parsed =
      ldap_parse_result(ld, result, &reply.code, nullptr, nullptr, &referrals, &controls, 0);
  if (parsed != LDAP_SUCCESS) reply.code = parsed;
  takeUrls(referrals, references);
  // The server's cookie is the only sign of more pages; it may well repeat from page to
  // page, so only its absence or emptiness ends the search.
  if (LDAPControl* paging = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, controls, nullptr)) {
    ber_int_t estimate = 0;
    berval value{0, nullptr};
    if (ldap_parse_pageresponse_control(ld, paging, &estimate, &value) == LDAP_SUCCESS) {
      if (value.bv_val != nullptr) reply.cookie.assign(value.bv_val, value.bv_len);
      ber_memfree(value.bv_val);
    }
  }
  if (controls != nullptr) ldap_controls_free(controls);
  return reply;
}

/// The paging control asking for `pageSize` entries after `cookie`. libldap's own builder
/// refuses a size of 0, which is how a search is given up; that one is encoded here.
int pagingControl(LDAP* ld, int pageSize, const std::string& cookie, LDAPControl** control) {
  berval value{static_cast<ber_len_t>(cookie.size()), const_cast<char*>(cookie.data())};
  if (pageSize > 0) {
    return ldap_create_page_control(ld, pageSize, cookie.empty() ? nullptr : &value, 0, control);
  }
  BerElement* ber = ber_alloc_t(LBER_USE_DER);
  if (ber == nullptr) return LDAP_NO_MEMORY;
  berval encoded{0, nullptr};
  int code = LDAP_ENCODING_ERROR;
  if (ber_printf(ber, "{iO}", static_cast<ber_int_t>(0), &value) != -1 &&
      ber_flatten2(ber, &encoded, 0) != -1) {
    code = ldap_control_create(LDAP_CONTROL_PAGEDRESULTS, 0, &encoded, 1, control);
  }
  ber_free(ber, 1);
  return code;
}

/// Sends one page request for `pageSize` entries after the stream's cookie (with the sort
/// control when a key is wanted): the library's result code and the request's message id.
int sendPageRequest(PagedStream& stream, const PagedSearchRequest& request, int pageSize,
                    int& messageId) {
  LDAP* ld = stream.ld;
  LDAPControl* paging = nullptr;
  int code = pagingControl(ld, pageSize, stream.cookie, &paging);
  if (code != LDAP_SUCCESS) return code;
  LDAPControl* sorting = nullptr;
  if (request.sortKey) {
    std::string attribute = request.sortKey->attribute;
    LDAPSortKey key{attribute.data(), nullptr, request.sortKey->reverse ? 1 : 0};
    LDAPSortKey* keys[] = {&key, nullptr};
    // Not critical: a server that cannot sort still answers, in its own order.
    code = ldap_create_sort_control(ld, keys, 0, &sorting);
    if (code != LDAP_SUCCESS) {
      ldap_control_free(paging);
      return code;
    }
  }
  LDAPControl* controls[] = {paging, sorting, nullptr};

  std::vector<std::string> names(request.attributes);
  std::vector<char*> attributes;
  for (std::string& name : names) attributes.push_back(name.data());
  attributes.push_back(nullptr);

  timeval limit{request.timeLimitSeconds, 0};
  code =
      ldap_search_ext(ld, stream.base.empty() ? nullptr : stream.base.c_str(), stream.scope,
                      stream.filter.c_str(), attributes.data(), 0, controls, nullptr,
                      request.timeLimitSeconds > 0 ? &limit : nullptr, LDAP_NO_LIMIT, &messageId);
  ldap_control_free(paging);
  if (sorting != nullptr) ldap_control_free(sorting);
  return code;
}

/// Reads the messages of the page request `messageId` until the final one, at most
/// `timeoutSeconds` for the whole page. The entries go to `entries` as they arrive, so they
/// are decoded while the server is still producing the rest of the page; without `entries`
/// they are dropped. Reference URLs are added to `references`.
PageReply readPage(PagedStream& stream, int messageId, int timeoutSeconds,
                   std::vector<Entry>* entries, std::vector<std::string>& references) {
  LDAP* ld = stream.ld;
  std::size_t filled = 0;
  struct Trim {
    std::vector<Entry>* entries;
    const std::size_t& filled;
    ~Trim() {
      if (entries != nullptr) entries->resize(filled);
    }
  } trim{entries, filled};
  PageReply reply;

  // The wait covers the whole page, however many messages it takes.
  const auto deadline =
      std::chrono::steady_clock::now() +
      std::chrono::seconds(timeoutSeconds > 0 ? timeoutSeconds : operationTimeoutSeconds());
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) left = std::chrono::microseconds(0);
    timeval wait{static_cast<time_t>(left.count() / 1000000),
                 static_cast<suseconds_t>(left.count() % 1000000)};
    LDAPMessage* message = nullptr;
    int type = ldap_result(ld, messageId, LDAP_MSG_ONE, &wait, &message);
    if (type == 0) {
      ldap_abandon_ext(ld, messageId, nullptr, nullptr);
      filled = 0;
      reply.code = LDAP_TIMEOUT;
      return reply;
    }
    if (type < 0) {
      // The page did not arrive whole: none of it counts.
      filled = 0;
      int error = LDAP_SERVER_DOWN;
      ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &error);
      reply.code = error == LDAP_SUCCESS ? LDAP_SERVER_DOWN : error;
      return reply;
    }
    if (type == LDAP_RES_SEARCH_RESULT) {
      reply = readFinalMessage(ld, message, references);
      ldap_msgfree(message);
      return reply;
    }
    // Entries and references; intermediate messages are skipped.
    if (type == LDAP_RES_SEARCH_ENTRY && entries != nullptr) {
      if (filled == entries->size()) entries->emplace_back();
      readEntry(ld, message, (*entries)[filled++]);
    } else if (type == LDAP_RES_SEARCH_REFERENCE) {
      char** urls = nullptr;
      if (ldap_parse_reference(ld, message, &urls, nullptr, 0) == LDAP_SUCCESS) {
        takeUrls(urls, references);
      }
    }
    ldap_msgfree(message);
  }
}

/// One page: the request sent ahead for it when it was for this size, or a new one.
PageReply requestPage(PagedStream& stream, const PagedSearchRequest& request, int pageSize,
                      int timeoutSeconds, std::vector<Entry>* entries,
                      std::vector<std::string>& references) {
  int messageId = stream.sentAhead;
  stream.sentAhead = 0;
  if (messageId != 0 && stream.sentAheadSize != pageSize) {
    ldap_abandon_ext(stream.ld, messageId, nullptr, nullptr);
    messageId = 0;
  }
  if (messageId == 0) {
    PageReply reply;
    reply.code = sendPageRequest(stream, request, pageSize, messageId);
    if (reply.code != LDAP_SUCCESS) {
      if (entries != nullptr) entries->clear();
      return reply;
    }
  }
  return readPage(stream, messageId, timeoutSeconds, entries, references);
}

}  // namespace

PageAnswer fetchPage(PagedStream& stream, const PagedSearchRequest& request, int timeoutSeconds,
                     int pageSize, std::vector<Entry>& page) {
  PageAnswer answer;
  PageReply reply;
  reply.code = LDAP_BUSY;
  // "Busy" asks the client to come back: a server that sorts may still be finishing the
  // previous page of the same search when the request for the next one arrives.
  for (int attempt = 0; reply.code == LDAP_BUSY && attempt < kBusyRetries; ++attempt) {
    if (attempt > 0) usleep(kBusyPauseMicroseconds << attempt);
    reply = requestPage(stream, request, pageSize, timeoutSeconds, &page, answer.references);
  }
  answer.code = reply.code;
  stream.cookie = reply.code == LDAP_SUCCESS ? reply.cookie : std::string();
  stream.finished = stream.cookie.empty();
  // The next page is asked for at once, so that the server produces it while the caller
  // works through this one (one request at a time, each waiting for the page before, left
  // the server idle for all of that work). A request that cannot be sent now is sent again,
  // and its failure reported, when its page is fetched.
  int messageId = 0;
  if (!stream.finished && pageSize > 0 &&
      sendPageRequest(stream, request, pageSize, messageId) == LDAP_SUCCESS) {
    stream.sentAhead = messageId;
    stream.sentAheadSize = pageSize;
  }
  return answer;
}

void abandonStream(PagedStream& stream, const PagedSearchRequest& request) {
  std::vector<std::string> ignored;
  if (stream.sentAhead != 0 && stream.ld != nullptr) {
    // The page asked for ahead is read and dropped: its cookie is the one the server now
    // expects.
    const int messageId = stream.sentAhead;
    stream.sentAhead = 0;
    PageReply reply = readPage(stream, messageId, operationTimeoutSeconds(), nullptr, ignored);
    stream.cookie = reply.code == LDAP_SUCCESS ? reply.cookie : std::string();
  }
  if (!stream.finished && !stream.cookie.empty() && stream.ld != nullptr) {
    // A page size of zero with the last cookie does that.
    requestPage(stream, request, 0, operationTimeoutSeconds(), nullptr, ignored);
  }
  stream.finished = true;
  stream.cookie.clear();
}

}  // namespace tavrel::ldap
