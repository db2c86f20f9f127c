#include <cstdlib>
#include <string>
#include <vector>

#include "seam.h"
#include "support/child_process.h"
#include "support/file_bytes.h"
#include "support/temp_dir.h"
#include "winapi.h"

namespace {

const unsigned kStyle = MB_SYSTEMMODAL | MB_SETFOREGROUND | MB_YESNO | MB_ICONQUESTION;

// MessageBoxA's own code: scripted answers, the question log, the dialog and
// the terminal.
class QuestionsTest : public SeamTest {
 protected:
  void SetUp() override {
    SeamTest::SetUp();
    seam::RealMessageBox(true);
  }
  static int Ask(const char* text = "Question?") { return MessageBoxA(nullptr, text, "Quillon", kStyle); }
};

TEST_F(QuestionsTest, ScriptedAnswersAreConsumedInOrder) {
  seam::SetEnv("WINHOST_ANSWERS", "yes,no,fail, yes ,maybe,,no");
  for (int expected : {IDYES, IDNO, 0, IDYES, 0, 0, IDNO}) EXPECT_EQ(Ask(), expected);
  // Running out fails.
  EXPECT_EQ(Ask(), 0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
  EXPECT_EQ(Ask(), 0);
}

TEST_F(QuestionsTest, EmptyAnswerListFailsEveryQuestion) {
  seam::SetEnv("WINHOST_ANSWERS", "");
  EXPECT_EQ(Ask(), 0);
  EXPECT_EQ(Ask(), 0);
}

TEST_F(QuestionsTest, AnswersAreReadAgainWhenTheEnvironmentChanges) {
  seam::SetEnv("WINHOST_ANSWERS", "no");
  EXPECT_EQ(Ask(), IDNO);
  seam::SetEnv("WINHOST_ANSWERS", "yes");
  EXPECT_EQ(Ask(), IDYES);
}

TEST_F(QuestionsTest, LogAppendsOneLinePerQuestion) {
  testsupport::TempDir dir;
  testsupport::WriteBytes(dir.File("questions.log"), "earlier line\n");
  seam::SetEnv("WINHOST_QUESTION_LOG", dir.File("questions.log"));
  seam::SetEnv("WINHOST_ANSWERS", "yes,no");
  EXPECT_EQ(Ask("Replace C:\\a\\b?\nSecond line \\n"), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "plain", "Other", 0x24), IDNO);
  EXPECT_EQ(testsupport::ReadBytes(dir.File("questions.log")),
            "earlier line\n"
            "Quillon\t0x11024\tReplace C:\\\\a\\\\b?\\nSecond line \\\\n\n"
            "Other\t0x24\tplain\n");
}

TEST_F(QuestionsTest, WithoutDisplayOrTerminalTheBoxFails) {
  const int code = testsupport::RunWithoutTerminal([] {
    seam::UnsetEnv("DISPLAY");
    seam::UnsetEnv("WAYLAND_DISPLAY");
    seam::UnsetEnv("WINHOST_ANSWERS");
    if (Ask() != 0) return 1;
    if (GetLastError() != ERROR_INVALID_WINDOW_HANDLE) return 2;
    return 0;
  });
  EXPECT_EQ(code, 0);
}

// The desktop dialog, through a stand-in program that records its arguments
// and exits with a code chosen by the test.
class DesktopQuestionsTest : public QuestionsTest {
 protected:
  void SetUp() override {
    QuestionsTest::SetUp();
    testsupport::WriteNewFile(dir.File("zenity"),
                              "#!/bin/sh\n"
                              "printf '%s\\0' \"$@\" > \"$(dirname \"$0\")/args\"\n"
                              "exit $(cat \"$(dirname \"$0\")/code\")\n",
                              0755);
    seam::SetEnv("PATH",
                 dir.path() + ":" + std::string(std::getenv("PATH") ? std::getenv("PATH") : "/bin:/usr/bin"));
    seam::SetEnv("DISPLAY", ":97");
    seam::UnsetEnv("WINHOST_ANSWERS");
  }
  std::vector<std::string> Args() const {
    std::vector<std::string> out;
    const std::string all = testsupport::ReadBytes(dir.File("args"));
    size_t start = 0;
    for (size_t i = 0; i < all.size(); ++i) {
      if (all[i] == '\0') {
        out.push_back(all.substr(start, i - start));
        start = i + 1;
      }
    }
    return out;
  }
  testsupport::TempDir dir;
};

TEST_F(DesktopQuestionsTest, DialogAnswersYesAndNo) {
  struct Case {
    const char* exitCode;
    int answer;
  } cases[] = {{"0", IDYES}, {"1", IDNO}};
  for (const Case& c : cases) {
    testsupport::WriteBytes(dir.File("code"), c.exitCode);
    EXPECT_EQ(Ask("Are you sure?\nReally"), c.answer) << c.exitCode;
    EXPECT_EQ(Args(), (std::vector<std::string>{"--question", "--no-markup", "--title=Quillon",
                                                "--text=Are you sure?\nReally"}));
  }
}

TEST_F(DesktopQuestionsTest, FailedDialogFallsBackToTheTerminal) {
  testsupport::WriteBytes(dir.File("code"), "5");
  const int code = testsupport::RunWithoutTerminal([] { return Ask() == 0 ? 0 : 1; });
  EXPECT_EQ(code, 0);
  EXPECT_FALSE(Args().empty());
}

}  // namespace
