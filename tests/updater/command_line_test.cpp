// The tokenizer and the number rule of the updater's command line.
#include <gtest/gtest.h>

#include "command_line.h"
#include "process_id.h"

namespace {

struct LineCase {
  const char* why;
  const char* line;
  int present;
  const char* id;
  const char* target;
  const char* newFile;
  const char* command;
};

const LineCase kLines[] = {
    {"single blanks", "123 C:\\a.exe C:\\b.exe", 3, "123", "C:\\a.exe", "C:\\b.exe", ""},
    {"commas", "123,t,n", 3, "123", "t", "n", ""},
    {"two commas", "123,,t,,n", 3, "123", "t", "n", ""},
    {"a blank and a comma", "123 ,t ,n", 3, "123", "t", "n", ""},
    {"a blank and two commas", "123 ,,t ,,n", 3, "123", "t", "n", ""},
    {"delimiters before the first position", " ,,123 t n", 3, "123", "t", "n", ""},
    {"the command keeps blanks and commas", "1 t n prog -x a,b  c,", 4, "1", "t", "n", "prog -x a,b  c,"},
    {"two blanks before the command: it starts with one", "1 t n  prog", 4, "1", "t", "n", " prog"},
    {"a comma after the delimiter belongs to the command", "1 t n ,x", 4, "1", "t", "n", ",x"},
    {"comma-ended new file, then blank", "1,t,n, prog", 4, "1", "t", "n", " prog"},
    {"one blank after the new file: no command", "1 t n ", 3, "1", "t", "n", ""},
    {"one comma after the new file: no command", "1 t n,", 3, "1", "t", "n", ""},
    {"a blank in the new file splits it", "1 t new file.exe", 4, "1", "t", "new", "file.exe"},
    {"tabs are ordinary characters", "\t1 t\tu n\t", 3, "\t1", "t\tu", "n\t", ""},
    {"quotes are ordinary characters", "\"a b\" t n", 4, "\"a", "b\"", "t", "n"},
    {"only id and target", "123 t", 2, "123", "t", "", ""},
    {"only id and target, delimiters after", "123 t ,, ", 2, "123", "t", "", ""},
    {"only an id", "123", 1, "123", "", "", ""},
    {"empty", "", 0, "", "", "", ""},
    {"only blanks and commas", " ,, , ", 0, "", "", "", ""},
};

TEST(UpdaterCommandLine, Positions) {
  for (const LineCase& c : kLines) {
    SCOPED_TRACE(c.why);
    const UpdaterArguments a = ReadUpdaterArguments(c.line);
    EXPECT_EQ(a.present, c.present);
    EXPECT_EQ(a.processId, c.id);
    EXPECT_EQ(a.target, c.target);
    EXPECT_EQ(a.newFile, c.newFile);
    EXPECT_EQ(a.command, c.command);
  }
}

TEST(UpdaterCommandLine, CommandIsTakenWhole) {
  // No fixed buffer anywhere on the way: a long command arrives whole.
  const Text tail = Text(100000, 'x') + ", y z";
  const UpdaterArguments a = ReadUpdaterArguments("1 t n " + tail);
  EXPECT_EQ(a.present, 4);
  EXPECT_EQ(a.command, tail);
}

struct NumberCase {
  const char* why;
  Text text;
  DWORD id;
};

const NumberCase kNumbers[] = {
    {"plain", "4242", 4242u},
    {"leading zeros", "007", 7u},
    {"plus sign", "+42", 42u},
    {"minus one is all bits", "-1", 0xFFFFFFFFu},
    {"negative names the same pattern", "-2147483648", 0x80000000u},
    {"above the signed range", "2147483648", 0x80000000u},
    {"largest", "4294967295", 0xFFFFFFFFu},
    {"wraps at 2^32", "4294967296", 0u},
    {"wraps past 2^32", "4294967297", 1u},
    {"many digits, modulo 2^32", "99999999999", 1215752191u},
    {"every white space before it", " \t\n\v\f\r17", 17u},
    {"white space after the sign ends it", "- 5", 0u},
    {"hexadecimal: only the leading zero", "0x1F", 0u},
    {"digits then letters", "12abc", 12u},
    {"digits then a sign", "12-3", 12u},
    {"no digits", "abc", 0u},
    {"empty", "", 0u},
    {"a sign alone", "-", 0u},
    {"two signs", "+-5", 0u},
    {"other control characters are not white space", "\x01" "5", 0u},
    {"a zero byte ends the digits", Text("12\0" "3", 4), 12u},
};

TEST(UpdaterProcessId, NumberRule) {
  for (const NumberCase& c : kNumbers) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(ProcessIdFromText(c.text), c.id);
  }
}

}  // namespace
