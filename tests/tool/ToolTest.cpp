// End-to-end tests of the built tavrin tool: each test runs the program with
// its arguments and standard input, and checks the exit status and the bytes
// of standard output and standard error.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace std::string_literals;

struct Result {
  int status = -1;  // the exit status, or -1 when the tool did not exit
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavrin-tool-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    if (!dir_.empty()) {
      std::system(("rm -rf '" + dir_ + "'").c_str());
    }
  }

  // A file in the test's scratch directory holding `bytes`.
  std::string File(const std::string& name, const std::string& bytes) {
    const std::string path = dir_ + "/" + name;
    WriteFile(path, bytes);
    return path;
  }

  // Runs the tool with `args`, `input` on its standard input. Input and
  // output go through files, so no size can deadlock a pipe.
  Result Run(const std::vector<std::string>& args,
             const std::string& input = "") {
    const std::string in = File("stdin", input);
    const std::string out = dir_ + "/stdout";
    const std::string err = dir_ + "/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, in.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    std::string tool = TAVRIN_TOOL_PATH;
    argv.push_back(tool.data());
    std::vector<std::string> copies(args);
    for (std::string& arg : copies) argv.push_back(arg.data());
    argv.push_back(nullptr);
    Result result;
    pid_t pid;
    const int spawned =
        posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(spawned, 0) << "cannot run " << tool;
    if (spawned != 0) return result;
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    if (WIFEXITED(wstatus)) result.status = WEXITSTATUS(wstatus);
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
  }

  std::string dir_;
};

const std::string kExamples = TAVRIN_EXAMPLES_DIR;

// ---------------------------------------------------------------- the basics

TEST_F(ToolTest, VersionAndHelp) {
  Result r = Run({"--version"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "tavrin " TAVRIN_VERSION "\n");
  EXPECT_EQ(r.out, "tavrin 1.0.0.143\n");

  r = Run({"--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Usage: tavrin COMMAND"), std::string::npos);
  for (const char* word : {"check", "filter", "explain", "--encoding",
                           "--text", "Exit status", "GBK"}) {
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Run({"check", "-h"}).status, 0);
}

TEST_F(ToolTest, UsageErrorsExitWithTwoAndOneLineOnStandardError) {
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{},
                                             {"frobnicate"},
                                             {"check", "--bogus"},
                                             {"check", "-x"},
                                             {"check", "--encoding"},
                                             {"check", "--encoding", "latin1"},
                                             {"explain", "--text"}}) {
    const Result r = Run(args, "sex\n");
    std::string shown;
    for (const std::string& a : args) shown += " " + a;
    EXPECT_EQ(r.status, 2) << shown;
    EXPECT_EQ(r.out, "") << shown;  // nothing is screened
    EXPECT_EQ(Lines(r.err).size(), 1u) << shown << ": " << r.err;
    EXPECT_EQ(r.err.rfind("tavrin: ", 0), 0u) << shown;
  }
  EXPECT_NE(Run({"check", "--bogus"}).err.find("--bogus"), std::string::npos);
}

// ---------------------------------------------------------------- check

TEST_F(ToolTest, CheckPrintsOneLinePerInputLineAndExitsWithTheVerdict) {
  Result r = Run({"check"}, "Good morning\nsee you on the Avenue\n\nbye");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "<stdin>:1: clean\n<stdin>:2: banned\n<stdin>:3: clean\n"
            "<stdin>:4: clean\n");
  EXPECT_EQ(r.err, "");

  const std::string clean = File("clean.txt", "hello\r\nworld\r\n");
  r = Run({"check", clean, "-"}, "fine\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, clean + ":1: clean\n" + clean + ":2: clean\n<stdin>:1: clean\n");

  r = Run({"check"}, "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
}

TEST_F(ToolTest, CheckTheShippedSamples) {
  const std::string gbk = kExamples + "/chat-gbk.txt";
  const std::string utf8 = kExamples + "/chat-utf8.txt";
  const char* gbk_verdicts = "ccbbbbbbbbbc";
  const char* utf8_verdicts = "ccbbcbbbbcbc";

  Result r = Run({"check", gbk});
  EXPECT_EQ(r.status, 1);
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 12u);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i], gbk + ":" + std::to_string(i + 1) +
                            (gbk_verdicts[i] == 'c' ? ": clean" : ": banned"));
  }

  r = Run({"check", "--encoding", "utf-8", utf8});
  EXPECT_EQ(r.status, 1);
  lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 12u);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i], utf8 + ":" + std::to_string(i + 1) +
                            (utf8_verdicts[i] == 'c' ? ": clean" : ": banned"));
  }
}

TEST_F(ToolTest, AnUnreadableFileDoesNotStopTheOthers) {
  const std::string a = File("a.txt", "hello\nsex\n");
  const std::string missing = dir_ + "/missing.txt";
  const std::string b = File("b.txt", "world\n");
  Result r = Run({"check", a, missing, dir_, b});
  EXPECT_EQ(r.status, 2);  // an error outweighs a banned line
  EXPECT_EQ(r.out, a + ":1: clean\n" + a + ":2: banned\n" + b + ":1: clean\n");
  const std::vector<std::string> errors = Lines(r.err);
  ASSERT_EQ(errors.size(), 2u) << r.err;
  EXPECT_EQ(errors[0],
            "tavrin: " + missing + ": cannot open: No such file or directory");
  EXPECT_EQ(errors[1], "tavrin: " + dir_ + ": cannot read: Is a directory");

  // filter too writes every readable line.
  r = Run({"filter", missing, b});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "world\n");
}

// ---------------------------------------------------------------- filter

TEST_F(ToolTest, FilterKeepsLineEndingsAndCleanBytesExactly) {
  const std::string input =
      "hello\r\nEssex\r\n\r\nab\0cd\xFF\x80\r\nlast sb"s;
  const std::string path = File("crlf.txt", input);
  Result r = Run({"filter", path});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "hello\r\n***<br>\r\n\r\nab\0cd\xFF\x80\r\n***<br>"s);
  EXPECT_EQ(r.err, "");

  r = Run({"filter"}, "clean\nlast without newline");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "clean\nlast without newline");

  // The GBK sample, CRLF, filtered line for line.
  const std::string gbk = ReadFile(kExamples + "/chat-gbk.txt");
  r = Run({"filter", kExamples + "/chat-gbk.txt"});
  EXPECT_EQ(r.status, 1);
  std::istringstream in(gbk), out(r.out);
  std::string a, b;
  int n = 0;
  while (std::getline(in, a)) {
    ASSERT_TRUE(std::getline(out, b)) << "line " << n + 1;
    ++n;
    EXPECT_TRUE(b == a || b == "***<br>\r") << "line " << n;
    EXPECT_EQ(b.back(), '\r') << "line " << n;
  }
  EXPECT_EQ(n, 12);
  EXPECT_FALSE(std::getline(out, b));
}

TEST_F(ToolTest, AZeroByteDoesNotHideWhatFollowsIt) {
  const std::string path = File("nul.txt", "clean\0 but then fuck\nclean\0too\n"s);
  Result r = Run({"check", path});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, path + ":1: banned\n" + path + ":2: clean\n");
  r = Run({"filter", path});
  EXPECT_EQ(r.out, "***<br>\nclean\0too\n"s);
  r = Run({"explain", path});
  EXPECT_EQ(r.out, path + ":1: banned\n" + path +
                       ":1: row 26 at byte 16: 66 75 63 6B \"fuck\"\n" + path +
                       ":2: clean\n");
}

// ---------------------------------------------------------------- utf-8

TEST_F(ToolTest, Utf8InputKeepsEmojiAndReportsIllFormedLines) {
  const std::string input =
      "Hello \xF0\x9F\x91\x8B\n"      // clean, with an emoji
      "bad \xC0\xAF byte\n"           // an overlong '/': not UTF-8
      "\xE7\xA5\x9D\xE4\xBD\xA0\xE7\x94\x9F\xE6\x97\xA5\n"  // 祝你生日
      "\xE5\xA5\xBD \xF0\x9F\x98\x80";  // 好 and an emoji, no newline
  const std::string path = File("utf8.txt", input);

  Result r = Run({"check", "--encoding=utf-8", path});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, path + ":1: clean\n" + path + ":2: error\n" + path +
                       ":3: banned\n" + path + ":4: clean\n");
  EXPECT_EQ(r.err, "tavrin: " + path + ":2: invalid UTF-8 at byte 4\n");

  r = Run({"filter", "-e", "utf8", path});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out,
            "Hello \xF0\x9F\x91\x8B\n***<br>\n***<br>\n"
            "\xE5\xA5\xBD \xF0\x9F\x98\x80");
  EXPECT_EQ(Lines(r.err).size(), 1u);
  EXPECT_NE(r.err.find(":2: invalid UTF-8"), std::string::npos);

  // Without --encoding the bytes go to the library as they are: 生日 in
  // UTF-8 holds no row.
  r = Run({"check", path});
  EXPECT_EQ(r.status, 0);
}

// ---------------------------------------------------------------- explain

TEST_F(ToolTest, ExplainListsEveryRowOfABannedLine) {
  Result r = Run({"explain", "--text", "Meet me in Essex, on the AVENUE",
                  "--text", "fine"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "<text1>:1: banned\n"
            "<text1>:1: row 4 at byte 13: 73 65 78 \"sex\"\n"
            "<text1>:1: row 5 at byte 25: 61 76 \"av\"\n"
            "<text1>:1: row 11 at byte 13: 73 65 78 \"sex\"\n"
            "<text2>:1: clean\n");

  // Offsets count the GBK bytes screened; the row is shown in UTF-8.
  r = Run({"explain", "-e", "utf-8", "-t", "\xF0\x9F\x98\x80比这"});
  EXPECT_EQ(r.out,
            "<text1>:1: banned\n"
            "<text1>:1: row 18 at byte 2: C8 D5 \"日\"\n");

  // A file argument is always a file, even when a text was meant.
  r = Run({"explain", "what the fuck"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("what the fuck: cannot open"), std::string::npos);

  r = Run({"explain", kExamples + "/chat-gbk.txt"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("/chat-gbk.txt:6: row 18 at byte 9: C8 D5 \"日\"\n"),
            std::string::npos)
      << r.out;
}

// ---------------------------------------------------------------- size

TEST_F(ToolTest, LinesOfMegabytes) {
  const std::string big(6u << 20, 'x');
  const std::string path =
      File("big.txt", "short\n" + big + "\r\n" + big + "sex\n" + big);
  Result r = Run({"check", path});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, path + ":1: clean\n" + path + ":2: clean\n" + path +
                       ":3: banned\n" + path + ":4: clean\n");

  r = Run({"filter", path});
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out == "short\n" + big + "\r\n***<br>\n" + big)
      << "filtered output differs, " << r.out.size() << " bytes";

  r = Run({"explain", path});
  EXPECT_NE(r.out.find(path + ":3: row 4 at byte " +
                       std::to_string(big.size()) + ": 73 65 78 \"sex\"\n"),
            std::string::npos);
}

}  // namespace
