// SPDX-License-Identifier: Apache-2.0
// Writes a dynamic HTML report through the real report writer from hand-made objects, so the
// browser suite can drive the page without a directory.
//
// Usage: dhtml_sample_page <scenario> <output file>
//   report     report run, sorted by sAMAccountName: plain, disabled, domain controller and
//              hostile values
//   modify     dry disable run: ACTION/RESULT columns, failed, safety-skipped and DC rows
//   empty      report run that matched nothing
//   nodn       report run whose columns hold no DN
//   nohead     the report scenario without the page head (-nohtmlheader)
//   large:N    report run with N generated objects (ages, colours and markup characters
//              spread over them), for the large-page test and the page bench

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "common/object_record.h"
#include "common/row_marks.h"
#include "common/run_settings.h"
#include "common/update_counters.h"
#include "report/report_writer.h"
#include "report/row_cells.h"

namespace tavrel {
namespace {

struct SampleObject {
  std::string dn;
  std::string cn;
  std::string samAccountName;
  std::string pwage;
  std::string description;
  std::string userAccountControl;
  std::string action;
  std::string result;
  RowMarks marks;
};

// Every markup-significant character, a script element and an event handler.
const char kHostile[] =
    "<script>window.pwned=1</script><img src=x onerror=\"window.pwned=2\">"
    "\"quoted\" & 'single' &amp;";

std::vector<SampleObject> reportObjects() {
  return {
      {"CN=pc-b,OU=Computers,DC=tavrel,DC=test",
       "pc-b",
       "PC-B$",
       "100",
       "file server",
       "4096",
       "",
       "",
       {}},
      {"CN=pc-a,OU=Computers,DC=tavrel,DC=test",
       "pc-a",
       "PC-A$",
       "5",
       kHostile,
       "4096",
       "",
       "",
       {}},
      {"CN=pc-d,OU=Computers,DC=tavrel,DC=test", "pc-d", "PC-D$", "20", "disabled", "4098", "", "",
       RowMarks{true, false, false, false}},
      {"CN=dc1,OU=Domain Controllers,DC=tavrel,DC=test", "dc1", "DC1$", "7", "", "532480", "", "",
       RowMarks{false, true, false, false}},
      {"CN=pc&co,OU=Computers,DC=tavrel,DC=test",
       "pc&co",
       "PC-E$",
       "1000",
       "ampersand",
       "4096",
       "",
       "",
       {}},
  };
}

std::vector<SampleObject> modifyObjects() {
  return {
      {"CN=pc-ok,DC=tavrel,DC=test",
       "pc-ok",
       "PC-OK$",
       "200",
       "",
       "4096",
       "DISABLE",
       "(0x0 ) TEST MODE",
       {}},
      {"CN=pc-fail,DC=tavrel,DC=test", "pc-fail", "PC-FAIL$", "300", "", "4096", "DISABLE",
       "(0x32) Insufficient access", RowMarks{false, false, true, false}},
      {"CN=pc-skip,DC=tavrel,DC=test", "pc-skip", "PC-SKIP$", "400", "", "4096", "DISABLE",
       "SKIPPED - SAFETY", RowMarks{false, false, false, true}},
      {"CN=dc2,DC=tavrel,DC=test", "dc2", "DC2$", "500", "", "532480", "DISABLE", "SKIPPED - DC",
       RowMarks{false, true, false, false}},
      // Already disabled: in a modifying run that alone gives no colour.
      {"CN=pc-off,DC=tavrel,DC=test", "pc-off", "PC-OFF$", "600", "", "4098", "DISABLE",
       "(0x0 ) TEST MODE", RowMarks{true, false, false, false}},
  };
}

// Object i of a generated page: ages cycle through 0..9999 and -0001, every 7th object is
// disabled, every 50th a domain controller, every 11th carries markup characters.
std::vector<SampleObject> generatedObjects(long count) {
  std::vector<SampleObject> objects;
  objects.reserve(static_cast<std::size_t>(count));
  for (long i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "pc%07ld", (i * 7919) % count);
    SampleObject object;
    object.cn = name;
    object.dn = "CN=" + object.cn + ",OU=Computers,DC=tavrel,DC=test";
    object.samAccountName = object.cn + "$";
    long age = (i * 37) % 10001 - 1;
    char ageText[16];
    std::snprintf(ageText, sizeof ageText, "%-4.4ld", age);
    object.pwage = ageText;
    object.description = i % 11 == 0 ? "<b>" + object.cn + " & co</b>" : "host " + object.cn;
    object.marks.disabled = i % 7 == 0;
    object.marks.domainController = i % 50 == 0;
    object.userAccountControl = object.marks.domainController ? "532480"
                                : object.marks.disabled       ? "4098"
                                                              : "4096";
    objects.push_back(std::move(object));
  }
  return objects;
}

int writeSample(const std::string& scenario, const std::string& file) {
  RunSettings settings;
  settings.format = ReportFormat::kDhtml;
  settings.reportFile = file;
  settings.action = ActionKind::kReport;
  std::vector<std::string> columns = {"DN",    "cn",          "sAMAccountName",
                                      "pwage", "description", "userAccountControl"};
  std::vector<SampleObject> objects;
  ReportHeader header;
  header.sortAttribute = "sAMAccountName";
  if (scenario == "report" || scenario == "nohead") {
    objects = reportObjects();
    settings.writeHtmlHeader = scenario == "report";
  } else if (scenario == "modify") {
    objects = modifyObjects();
    settings.action = ActionKind::kDisable;
    header.sortAttribute.clear();
  } else if (scenario == "empty") {
    header.sortAttribute.clear();
  } else if (scenario.rfind("large:", 0) == 0) {
    objects = generatedObjects(std::atol(scenario.c_str() + 6));
  } else if (scenario == "nodn") {
    objects = reportObjects();
    columns.erase(columns.begin());
  } else {
    std::fprintf(stderr, "unknown scenario %s\n", scenario.c_str());
    return 2;
  }

  header.limits.startDate = "2024/03/01-12:00:00";
  header.limits.oldAgeDate = "2023/12/02-12:00:00";
  header.limits.oldAgeText = "133458768000000000";
  header.finishDate = "2024/03/01-12:00:01";
  header.rootDse.dnsHostName = "dc1.tavrel.test";
  header.rootDse.directoryType = "Active Directory";
  header.rootDse.defaultNamingContext = "DC=tavrel,DC=test";
  header.rootDse.rootDomainNamingContext = "DC=tavrel,DC=test";
  header.searchBase = "DC=tavrel,DC=test";
  header.filter = "(&(objectcategory=computer)(pwdLastSet<=133458768000000000))";

  ReportWriter writer;
  if (PhaseResult r = writer.open(settings); r.stop) return r.exitCode;
  writer.beginReport(settings, header, columns);
  UpdateCounters counters;
  for (const SampleObject& object : objects) {
    ObjectRecord record;
    record.set("DN", object.dn);
    record.set("cn", object.cn);
    record.set("sAMAccountName", object.samAccountName);
    if (!object.description.empty()) record.set("description", object.description);
    record.set("userAccountControl", object.userAccountControl);
    if (!object.action.empty()) {
      record.set("ACTION", object.action);
      record.set("RESULT", object.result);
    }
    writer.writeRow(record, object.marks, beginRowTexts(record, object.pwage, ""));
  }
  writer.finish(counters, settings);
  return 0;
}

}  // namespace
}  // namespace tavrel

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: dhtml_sample_page <scenario> <output file>\n");
    return 2;
  }
  return tavrel::writeSample(argv[1], argv[2]);
}
