// SPDX-License-Identifier: Apache-2.0
#include "cli/help_text.h"

#include <string_view>

#include "common/console.h"
#include "common/exit_status.h"
#include "common/version.h"

namespace tavrel {

namespace {

constexpr std::string_view kUsageHint = "Type tavrel /help or tavrel /? for usage assistance.\n\n";

// Written word for word, including its known slips (the "tavrel-<DATE>.htm" default without
// its closing parenthesis, the repeated "Ex2a:" label): users and scripts compare against it.
// The option rules, not this text, decide what a switch does.
constexpr std::string_view kUsageBlock = R"usage(
Usage:
 Tavrel [switches]


  Switches: (designated by - or /)

   -report        Write report of objects
   -disable       Disable objects
   -delete        Delete objects
                  Delete will only work on disabled objects.
   -move          Move objects, use with newparent.
   -newparent xx  DN for a new parent to move objects to. Can be used
                  with move or disable options.
   -stamp         When used with delete w/ expire account as well
                  The idea being you can see the date it was done then.
   -safety x      How many objects to modify. (Default 10)
                  With this set, stops updating after x mods.
                  I did this because it is very easy to hurt yourself.
   -unsafe        Update ALL of the objects identified.
   -forreal       REALLY MAKE THE MODS, this is the final safety.

   -h host        Host to use. (Default is to autofind DC)
   -s scope       Scope of search. OneLevel, Subtree. (Default Subtree)
   -b basedn      RFC 1779 DN to start search at (Default domain root)
   -users         Work on users instead of computers.
   -realage       Filters out computers/users that have not set their
                  password (or haven't logged on when llts specified).
   -f filter      RFC 2254 LDAP filter (Default is confusing :)
   -af addon      RFC 2254 LDAP filter to add to builtin filter
   -excldn xx     Exclude objects with given string in DN. Multiple
                  strings delimted by semi-colon (;).
   -excldndelim x Specify a delimiter for -excldn, default is (;).
   -t xxx         Timeout value in seconds. (Default 300 seconds)
   -bit           Bitwise operator filter conversion enable
                    :AND:= converts to :1.2.840.113556.1.4.803:=
                    :OR:= converts to :1.2.840.113556.1.4.804:=
   -ps size       Page size. (Default 100)
   -nodc          Exclude DCs from queries
   -norefer       No LDAP referrals

   -onlydisabled  Only disabled accounts (Default All)
   -age x         Min Days Old for password age.  (Default 90 days)
   -maxage x      Max Days Old for password age.  (Default Infinity)
   -llts          If K3 domain in Domain Functional mode uses
                  lastLogonTimeStamp instead of pwdLastSet for age options.

   -format x      Report Format (Default HTML)
                     CSV   - Delimited Text
                     HTML  - Standard HTML
                     DHTML - Dynamic HTML (IE Only)
   -sh            Will autodisplay HTM/HTML/TXT files after run
   -file x        File to write to. (Default tavrel-<DATE>.htm
   -append        Append to file instead of overwrite
   -delim x       Delimiter for CSV. (Default ;)
                  Specify TAB for \t (tab character)
   -nolc          Do not normalize machine names to lc - RAW Case
   -nohtmlheader  Don't insert base HTML (title, body...)
   -sort x        Sort by various fields.
   -rsort x       Reverse Sort by various fields.
                     cn    = name
                     pwage = password age
                     age   = object age
                     OS    = operating system version
                     LLTS  = lastLogonTimestamp
   -format json   One JSON document for scripts (extension .json)
   -format jsonl  One JSON object per line (extension .jsonl)
   -disabledfor x Only accounts disabled and stamped (accountExpires)
                  at least x days ago: the second stage of a clean-up,
                  e.g. -delete -disabledfor 30 after -disable -stamp.
   -undo file     LDIF file that undoes the writes of a -forreal run.
                  (Default: the report name with .undo.ldif)
                  Apply it with ldapmodify -f file (ldifde -i -f file).
   -noundo        Write no undo file.
   -user name     Bind as this account (DOMAIN\name, name@REALM or name)
                  instead of the logged-on user; the password is asked for.
   -pwfile file   Read the password of -user from the file's first line
                  (- for standard input).
   -exclfile x    Never select the accounts listed in file x: one DN
                  or account name a line, # starts a comment line.
   -bothages      Select only accounts whose password and last logon
                  (lastLogonTimestamp, or none) are both older than -age.
   -exclgroup x   Never select members of the groups x (DNs separated
                  by ;), nested membership included.
   -destroykeys   Delete accounts even when a BitLocker recovery password
                  below them cannot be read (it is then lost for good).
   -lastlogon     Ask every domain controller for lastLogon: accounts
                  that logged on to one since -age are not selected.
   -dcs x         The domain controllers -lastlogon asks (names
                  separated by ;), instead of all of the domain's.


  Ex1:
    tavrel /?
      Display this help

  Ex2a:
    tavrel -report
      Generate html report of all cmpaccs > 90 days old
  Ex2a:
    tavrel -report -format dhtml -sh
      Generate dhtml report of all cmpaccs > 90 days old
      Open the report after generating it
  Ex2c:
    tavrel -report -format csv
      Generate csv report of all cmpaccs > 90 days old

  Ex3a:
    tavrel -report -age 0
      Generate html report of all cmpaccs
  Ex3b:
    tavrel -report -age 0 -format csv -delim tab
      Generate csv (tab delimited) report of all cmpaccs

  Ex4:
    tavrel -report -age 0 -onlydisabled
      Generate html report of all disabled cmpaccs

  Ex5:
    tavrel -report -age 0 -onlydisabled -sort cn
      Generate html report of all disabled cmpaccs, sort on name

  Ex6:
    tavrel -delete -age 0 -onlydisabled
      Generate html report of all disabled cmpaccs, sort on pwage
      Will show you what it would try to delete. Only up to 10.

  Ex7:
    tavrel -delete -age 0 -onlydisabled -safety 100
      Generate html report of all disabled cmpaccs, sort on pwage
      Will show you what it would try to delete. Only up to 100.

  Ex8:
    tavrel -delete -age 0 -onlydisabled -unsafe
      Generate html report of all disabled cmpaccs, sort on pwage
      Will show you what it would try to delete. All cmpaccs.

  Ex9:
    tavrel -delete -age 0 -onlydisabled -unsafe -forreal
      Generate html report of all disabled cmpaccs, sort on pwage
      Will REALLY DELETE all accounts identified.

  Ex10:
    tavrel -disable -unsafe -forreal
      Generate html report of all cmpaccs > 90 days, sort on pwage
      Will REALLY DISABLE all accounts identified.

  Ex11:
    tavrel -report -sort OS -age 0 -maxage 60
      Generate html report of all cmpaccs still valid, sort on OS

  Ex12:
    tavrel -report -af "(operatingsystem=Windows XP Professional)" -onlydisabled -age 0
      Generate html report of all disabled Windows XP machines

  Ex13:
    tavrel -report -b ou=mycmps,dc=domain,dc=com
      Generate html report of cmpaccs >90 days in specified OU



 Note: This tool is VERY POWERFUL and could be VERY DANGEROUS!
       I put a lot of safety locks in it ON PURPOSE!!!

       This thing can be used for quite a bit of different computer
       auditing if you know what you are doing.
)usage";

constexpr std::string_view kThanksParagraph =
    " Thanks to everyone who tried early versions of this tool against their own\n"
    " directories, reported what surprised them, and argued for the safety locks\n"
    " above. Their test runs, careful bug reports and patience with the rough\n"
    " edges shaped every switch listed here. Further reports and ideas are always\n"
    " welcome.\n";

constexpr std::string_view kClosingParagraph =
    " This tool is provided as is, without warranty of any kind; you use it at your\n"
    " own risk. Always check a run with -report before adding -forreal.\n"
    " Questions, problems and suggestions: tavrel@example.org\n";
constexpr std::string_view kClosingLastLinePrefix = " Project pages: ";

std::string buildUsageText() {
  std::string text(kUsageBlock.substr(1));  // the raw literal starts with a line end
  text += "\n\n";
  text += kThanksParagraph;
  text += "\n\n";
  text += kClosingParagraph;
  text += kClosingLastLinePrefix;
  text += kMakerWebAddress;
  text += "\n\n";
  return text;
}

}  // namespace

const std::string& usageText() {
  static const std::string text = buildUsageText();
  return text;
}

int printUsageHint() {
  console::err(kUsageHint);
  return kExitUsage;
}

int printUsage() {
  console::err(usageText());
  return kExitUsage;
}

}  // namespace tavrel
