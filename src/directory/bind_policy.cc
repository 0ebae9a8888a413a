// SPDX-License-Identifier: Apache-2.0
#include "directory/bind_policy.h"

#include <algorithm>

#include "common/text.h"

namespace tavrel::ldap {

namespace {

// Strongest first; the client library picks the best one the server offers anyway.
constexpr std::string_view kKerberosMechanisms[] = {"GSS-SPNEGO", "GSSAPI"};
constexpr std::string_view kExternal = "EXTERNAL";

constexpr char kNoneOffered[] = "The server offers no sign-in this program uses over %s:// (%s)";
constexpr char kThinLayer[] =
    "The bind set up a SASL security layer of strength %d, below the %d this connection "
    "needs; the program does not use it";

std::string joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    if (!text.empty()) text += ' ';
    text += name;
  }
  return text;
}

bool offers(const std::vector<std::string>& offered, std::string_view mechanism) {
  return std::any_of(offered.begin(), offered.end(),
                     [&](const std::string& name) { return equalsIgnoringCase(name, mechanism); });
}

}  // namespace

bool isKerberosMechanism(std::string_view mechanism) {
  return std::any_of(std::begin(kKerberosMechanisms), std::end(kKerberosMechanisms),
                     [&](std::string_view name) { return equalsIgnoringCase(name, mechanism); });
}

BindPlan planBind(std::string_view scheme, const std::vector<std::string>& offered,
                  bool kerberosOnly, int floorSsf) {
  const std::string transport = lowerCase(scheme.empty() ? std::string_view("ldap") : scheme);
  BindPlan plan;
  std::vector<std::string> usable;
  for (std::string_view mechanism : kKerberosMechanisms) {
    if (offers(offered, mechanism)) usable.emplace_back(mechanism);
  }
  if (transport == "ldapi" && !kerberosOnly && offers(offered, kExternal)) {
    usable.emplace_back(kExternal);
  }
  // Over TLS the connection is already protected (and Active Directory refuses a SASL layer
  // inside it); over a local socket nothing travels over a network.
  if (transport == "ldap") plan.minSsf = std::max(1, floorSsf);
  if (usable.empty()) {
    std::string what = offered.empty() ? "it offers none" : "it offers " + joined(offered);
    plan.refusal = formatText(kNoneOffered, transport.c_str(), what.c_str());
    return plan;
  }
  plan.mechanisms = joined(usable);
  return plan;
}

std::string thinLayerText(int ssf, int minSsf) {
  return formatText(kThinLayer, ssf, minSsf);
}

}  // namespace tavrel::ldap
