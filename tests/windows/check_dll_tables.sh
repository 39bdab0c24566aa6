#!/usr/bin/env bash
# SPDX-License-Identifier: Apache-2.0
# Checks the export and import tables of the Windows library, as mingw's
# objdump reads them from the PE file:
#  - exactly sixteen exports: the eight operations at ordinals 1..8 and
#    their decorated names _A_<name>@<argument bytes> at 9..16, each
#    decorated name at the same address as its plain name;
#  - imports from system DLLs only (KERNEL32, USER32 and the C runtime),
#    among them the global-memory functions and the message box.
#
#   check_dll_tables.sh OBJDUMP LIBRARY.dll
set -euo pipefail
objdump="$1"; library="$2"
dump=$(mktemp)
trap 'rm -f "$dump"' EXIT
"$objdump" -p "$library" > "$dump"

# name, ordinal, decorated name, its ordinal
expected='CmNew 1 _A_CmNew@20 11
CmSetResource 2 _A_CmSetResource@12 12
CmDelete 3 _A_CmDelete@4 9
CmGetLut 4 _A_CmGetLut@4 10
HalftoneNew 5 _A_HalftoneNew@20 15
HalftoneSetResource 6 _A_HalftoneSetResource@12 16
Halftone 7 _A_Halftone@44 13
HalftoneDelete 8 _A_HalftoneDelete@4 14'

awk -v expected="$expected" '
  BEGIN {
    n = split(expected, lines, "\n")
    for (i = 1; i <= n; ++i) {
      split(lines[i], f, " ")
      want[f[1]] = f[2]; want[f[3]] = f[4]; alias[f[3]] = f[1]; wanted += 2
    }
  }
  /^Ordinal Base/ { base = $3 }
  /^Export Address Table -- Ordinal Base/ { section = "addresses"; next }
  /^\[Ordinal\/Name Pointer\] Table/ { section = "names"; next }
  /^$/ { section = "" }
  section == "addresses" && /Export RVA/ {
    # "[   0] +base[   1] 17c0 Export RVA"
    line = $0; gsub(/[\[\]+]/, " ", line); split(line, f, " ")
    rva[f[3]] = f[4]; ++addressCount
  }
  section == "names" && /^\t\[/ {
    line = $0; gsub(/[\[\]]/, " ", line); split(line, f, " ")
    ordinal[f[2]] = f[1] + base; ++nameCount
  }
  /DLL Name:/ { imports[tolower($3)] = 1 }
  /^\t[0-9a-f]+\t +[0-9]+ +[A-Za-z_]/ { imported[$3] = 1 }
  END {
    bad = 0
    if (base != 1) { print "ordinal base is " base ", not 1"; bad = 1 }
    if (nameCount != wanted || addressCount != wanted) {
      print "export table holds " nameCount " names and " addressCount " addresses, not " wanted
      bad = 1
    }
    for (name in ordinal) {
      if (!(name in want)) { print "unexpected export " name; bad = 1 }
    }
    for (name in want) {
      if (!(name in ordinal)) { print "missing export " name; bad = 1; continue }
      if (ordinal[name] != want[name]) {
        print name " is at ordinal " ordinal[name] ", not " want[name]; bad = 1
      }
      if ((name in alias) && rva[ordinal[name]] != rva[ordinal[alias[name]]]) {
        print name " is not at the address of " alias[name]; bad = 1
      }
    }
    for (name in want) {
      for (other in want) {
        if (name < other && !(name in alias) && !(other in alias) &&
            rva[ordinal[name]] == rva[ordinal[other]]) {
          print name " and " other " share an address"; bad = 1
        }
      }
    }
    allowed["kernel32.dll"]; allowed["user32.dll"]; allowed["msvcrt.dll"]
    for (dll in imports) {
      if (!(dll in allowed)) { print "imports from " dll ", which is not a system DLL"; bad = 1 }
    }
    split("GlobalAlloc GlobalLock GlobalHandle GlobalUnlock GlobalFree MessageBoxA", calls, " ")
    for (i in calls) {
      if (!(calls[i] in imported)) { print "does not import " calls[i]; bad = 1 }
    }
    if (bad) exit 1
    print "exports: " wanted " names at their ordinals; imports: system DLLs only"
  }
' "$dump"
