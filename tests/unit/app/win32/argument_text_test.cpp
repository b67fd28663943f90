// The argument text that WinMain hands on: the command line without the program's path.
#include "src/app/win32/argument_text.h"

#include <gtest/gtest.h>

#include "src/app/startup.h"

TEST(ArgumentText, DropsTheProgramPathAndTheBlanksAfterIt) {
  struct Case {
    const char* name;
    const char* commandLine;
    const char* arguments;
  };
  const Case cases[] = {
      {"bare path", "OrvanUpdate.exe", ""},
      {"bare path and switch", "OrvanUpdate.exe Backup", "Backup"},
      {"quoted path with blanks", "\"C:\\Program Files\\Orvan\\OrvanUpdate.exe\" SkipVersionCheck",
       "SkipVersionCheck"},
      {"blanks and tabs after the path", "OrvanUpdate.exe \t  Backup  ", "Backup  "},
      {"argument right after the closing quote", "\"C:\\x\\OrvanUpdate.exe\"Backup", "Backup"},
      {"unclosed quote", "\"C:\\x\\Orvan Update.exe Backup", ""},
      {"quoted arguments kept as they are", "u.exe \"D:\\Old Backups\\\" /skipversioncheck",
       "\"D:\\Old Backups\\\" /skipversioncheck"},
      {"empty command line", "", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ArgumentText(c.commandLine), c.arguments) << c.name;
}

TEST(ArgumentText, AProgramFolderNamedLikeASwitchSetsNoSwitch) {
  // The switches are looked for in the arguments only, not in the program's own path.
  std::string arguments = ArgumentText("\"C:\\Games\\Backup\\SkipVersionCheck\\OrvanUpdate.exe\"");
  EXPECT_FALSE(ContainsNoCase(arguments, "Backup"));
  EXPECT_FALSE(ContainsNoCase(arguments, "SkipVersionCheck"));
}
