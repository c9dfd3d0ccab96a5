// End-to-end tests of the built tavrin tool (and of the sample host in
// examples/): each test runs the program with its arguments and standard
// input, and checks the exit status and the bytes of standard output and
// standard error. Every run names its locale, so that no test depends on the
// locale of whoever runs the suite.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "TavrinVersion.h"

extern char** environ;

namespace {

using namespace std::string_literals;

struct Result {
  int status = -1;  // the exit status, or -1 when the program did not exit
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

const std::string kTool = TAVRIN_TOOL_PATH;

// Starts `program` with `args`, its standard input, output and error on the
// descriptors given, in the locale `locale`: LC_ALL is set to it, and the
// caller's other locale variables are left out. Returns the process id, or
// -1.
pid_t Start(const std::string& program, const std::vector<std::string>& args,
            const std::string& locale, int in, int out, int err) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in, 0);
  posix_spawn_file_actions_adddup2(&actions, out, 1);
  posix_spawn_file_actions_adddup2(&actions, err, 2);
  std::vector<std::string> strings{program};
  strings.insert(strings.end(), args.begin(), args.end());
  const std::size_t argc = strings.size();
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view variable = *e;
    if (variable.rfind("LC_", 0) != 0 && variable.rfind("LANG", 0) != 0) {
      strings.emplace_back(variable);
    }
  }
  strings.push_back("LC_ALL=" + locale);
  std::vector<char*> argv, envp;
  for (std::size_t i = 0; i < strings.size(); ++i) {
    (i < argc ? argv : envp).push_back(strings[i].data());
  }
  argv.push_back(nullptr);
  envp.push_back(nullptr);
  // SIGPIPE as a shell leaves it, whatever this process does with it.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t default_signals;
  sigemptyset(&default_signals);
  sigaddset(&default_signals, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &default_signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  pid_t pid;
  const int spawned = posix_spawn(&pid, program.c_str(), &actions, &attributes,
                                  argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  EXPECT_EQ(spawned, 0) << "cannot run " << program;
  return spawned == 0 ? pid : -1;
}

// Waits up to `seconds` for `pid` to exit, and kills it when it has not.
// Returns its exit status, or -1 when it did not exit by itself; `usage`,
// unless null, gets what the process used.
int Wait(pid_t pid, int seconds, rusage* usage = nullptr) {
  if (pid < 0) return -1;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int wstatus = 0;
  while (wait4(pid, &wstatus, WNOHANG, usage) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "still running after " << seconds << " s: killed";
      kill(pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
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

  // Runs `program` with `args`, `input` on its standard input, in `locale`.
  // Input and output go through files, so no size can deadlock a pipe; the
  // output goes to `out_path` (appended to) when one is given.
  Result RunProgram(const std::string& program,
                    const std::vector<std::string>& args,
                    const std::string& input, const std::string& locale,
                    const std::string& out_path = "") {
    const std::string out = out_path.empty() ? dir_ + "/stdout" : out_path;
    const std::string err = dir_ + "/stderr";
    const int fds[] = {
        open(File("stdin", input).c_str(), O_RDONLY | O_CLOEXEC),
        open(out.c_str(),
             O_WRONLY | O_CREAT | O_CLOEXEC |
                 (out_path.empty() ? O_TRUNC : O_APPEND),
             0644),
        open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
    Result result;
    result.status =
        Wait(Start(program, args, locale, fds[0], fds[1], fds[2]), 120);
    for (const int fd : fds) close(fd);
    result.out = ReadFile(out);
    result.err = ReadFile(err);
    return result;
  }

  // The tool, in the C locale unless told otherwise.
  Result Run(const std::vector<std::string>& args,
             const std::string& input = "", const std::string& locale = "C") {
    return RunProgram(kTool, args, input, locale);
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
                                             {"explain", "--text"},
                                             {"rows", "-c"},
                                             {"rows", "--encoding=gbk"},
                                             {"rows", "--text", "sex"},
                                             {"rows", "--json", "file.txt"},
                                             {"rows", "-"}}) {
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

  // An empty text is one empty line, with its verdict like any other.
  r = Run({"check", "--text", "", "--text="});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "<text1>:1: clean\n<text2>:1: clean\n");
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

  // getopt_long's conventions: --name=VALUE, -xVALUE, options after FILEs.
  Result r = Run({"check", path, "--encoding=utf-8"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, path + ":1: clean\n" + path + ":2: error\n" + path +
                       ":3: banned\n" + path + ":4: clean\n");
  EXPECT_EQ(r.err, "tavrin: " + path + ":2: invalid UTF-8 at byte 4\n");

  r = Run({"filter", "-eutf8", path});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out,
            "Hello \xF0\x9F\x91\x8B\n***<br>\n***<br>\n"
            "\xE5\xA5\xBD \xF0\x9F\x98\x80");
  EXPECT_EQ(Lines(r.err).size(), 1u);
  EXPECT_NE(r.err.find(":2: invalid UTF-8"), std::string::npos);

  // -e gbk: the bytes go to the library as they are; 生日 in UTF-8 holds no
  // row.
  r = Run({"check", "-e", "gbk", path});
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

// ---------------------------------------------------------------- conventions

TEST_F(ToolTest, TheLocaleChoosesTheDefaultEncoding) {
  const std::string insult = "操你妈的";  // UTF-8, as a terminal sends it
  const std::string gbk = kExamples + "/chat-gbk.txt";

  // A UTF-8 locale means UTF-8 input; so does one that is not installed
  // here but whose name says UTF-8.
  for (const char* locale : {"C.UTF-8", "xx_XX.UTF-8"}) {
    const Result r = Run({"check", "--text", insult}, "", locale);
    EXPECT_EQ(r.status, 1) << locale;
    EXPECT_EQ(r.out, "<text1>:1: banned\n") << locale;
  }
  // There a GBK log is an error, never a wrong "clean": every line that
  // is not ASCII is reported, the first with a hint.
  Result r = Run({"check", gbk}, "", "C.UTF-8");
  EXPECT_EQ(r.status, 2);
  const char* verdicts[] = {"error",  "clean", "banned", "banned",
                            "banned", "error", "error",  "error",
                            "error",  "error", "error",  "error"};
  std::string expected;
  for (int i = 0; i < 12; ++i) {
    expected += gbk + ":" + std::to_string(i + 1) + ": " + verdicts[i] + "\n";
  }
  EXPECT_EQ(r.out, expected);
  const std::vector<std::string> errors = Lines(r.err);
  ASSERT_EQ(errors.size(), 8u) << r.err;
  EXPECT_EQ(errors[0], "tavrin: " + gbk +
                           ":1: invalid UTF-8 at byte 0; the locale says "
                           "UTF-8: for GBK input use -e gbk");
  EXPECT_EQ(errors[1], "tavrin: " + gbk + ":6: invalid UTF-8 at byte 0");

  // -e gbk overrides the locale: the same answers as in the C locale.
  const Result as_bytes = Run({"check", gbk}, "", "C");
  EXPECT_EQ(as_bytes.status, 1);
  r = Run({"check", "-e", "gbk", gbk}, "", "C.UTF-8");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, as_bytes.out);

  // The C locale of scripts, and a GBK locale: the bytes as they are (the
  // UTF-8 bytes of the insult hold no row), unless -e utf-8 is given.
  for (const char* locale : {"C", "zh_CN.GBK"}) {
    r = Run({"check", "--text", insult}, "", locale);
    EXPECT_EQ(r.status, 0) << locale;
    EXPECT_EQ(r.out, "<text1>:1: clean\n") << locale;
  }
  EXPECT_EQ(Run({"check", "-e", "utf-8", "--text", insult}, "", "C").status, 1);
}

TEST_F(ToolTest, AFailedWriteStopsTheToolAtOnce) {
  // The writer below must see the tool's end as an error, not a signal.
  signal(SIGPIPE, SIG_IGN);
  const std::string err = dir_ + "/stderr";
  const std::string no_space =
      "tavrin: cannot write the output: No space left on device\n";
  const auto run = [&](const std::vector<std::string>& args, int in) {
    const int full = open("/dev/full", O_WRONLY | O_CLOEXEC);
    const int errors =
        open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    EXPECT_GE(full, 0);
    const pid_t pid = Start(kTool, args, "C", in, full, errors);
    close(full);
    close(errors);
    return pid;
  };

  const int empty = open("/dev/null", O_RDONLY | O_CLOEXEC);
  for (const char* option : {"--help", "--version"}) {
    EXPECT_EQ(Wait(run({option}, empty), 60), 2) << option;
    EXPECT_EQ(ReadFile(err), no_space) << option;
  }
  close(empty);

  // Endless input (`yes hello | tavrin filter > /dev/full`): the tool stops
  // at its first failed write, not at the end of its input.
  int fds[2];
  ASSERT_EQ(pipe2(fds, O_CLOEXEC), 0);
  std::thread writer([&] {
    std::string lines;
    for (int i = 0; i < 4096; ++i) lines += "hello\n";
    while (write(fds[1], lines.data(), lines.size()) > 0) {
    }
  });
  const pid_t pid = run({"filter"}, fds[0]);
  close(fds[0]);
  EXPECT_EQ(Wait(pid, 60), 2);
  writer.join();  // ends once the tool has gone
  close(fds[1]);
  EXPECT_EQ(ReadFile(err), no_space);
}

TEST_F(ToolTest, LineBufferedAnswersEachLineBeforeReadingTheNext) {
  // A host drives the tool as a co-process: it writes one line, then waits
  // for that line's verdict before it writes the next.
  int in[2], out[2];
  ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
  ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
  const int err = open((dir_ + "/stderr").c_str(),
                       O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const pid_t pid =
      Start(kTool, {"check", "--line-buffered"}, "C", in[0], out[1], err);
  close(in[0]);
  close(out[1]);
  close(err);
  const auto ask = [&](const std::string& line) {
    EXPECT_EQ(write(in[1], line.data(), line.size()),
              static_cast<ssize_t>(line.size()));
    std::string answer;
    while (answer.empty() || answer.back() != '\n') {
      pollfd ready{out[0], POLLIN, 0};
      char c;
      if (poll(&ready, 1, 10000) != 1) return answer + "(nothing in 10 s)";
      if (read(out[0], &c, 1) != 1) return answer + "(end of output)";
      answer += c;
    }
    return answer;
  };
  EXPECT_EQ(ask("hello\n"), "<stdin>:1: clean\n");
  EXPECT_EQ(ask("see you on the Avenue\r\n"), "<stdin>:2: banned\n");
  close(in[1]);
  EXPECT_EQ(Wait(pid, 60), 1);
  close(out[0]);
}

TEST_F(ToolTest, AnInputFileThatIsAlsoTheOutputIsRefused) {
  // tavrin filter chat.log other.log >> chat.log would never end.
  const std::string log = File("chat.log", "hello\nsex\n");
  const std::string other = File("other.log", "fine\n");
  Result r = RunProgram(kTool, {"filter", log, other}, "", "C", log);
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "tavrin: " + log + ": input file is also the output\n");
  EXPECT_EQ(r.out, "hello\nsex\nfine\n");  // the other file is still read

  // tavrin filter < chat.log >> chat.log (RunProgram's input file is
  // also the output here).
  r = RunProgram(kTool, {"filter"}, "hello\n", "C", dir_ + "/stdin");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "tavrin: <stdin>: input file is also the output\n");
}

// Each JSON line as Python's json module reads it, one line per object:
// the file, the line number, the verdict, then the rows (R@OFFSET=DATA) and
// the output when there are any. DATA is T:hex for {"text":...} and B:hex
// for {"bytes":...}, which must be used for exactly the bytes that are not
// valid UTF-8.
const char kReadJsonLines[] = R"(
import base64, json, sys
def data(d):
    assert list(d) in (['text'], ['bytes']), d
    if 'text' in d:
        return 'T:' + d['text'].encode('utf-8').hex()
    raw = base64.b64decode(d['bytes'], validate=True)
    try:
        raw.decode('utf-8')
    except UnicodeDecodeError:
        return 'B:' + raw.hex()
    raise AssertionError('valid UTF-8 as bytes: %r' % raw)
lines = open(sys.argv[1], 'rb').read().split(b'\n')
assert lines.pop() == b'', 'the last line has no newline'
for line in lines:
    o = json.loads(line)
    words = [data(o.pop('file')), str(o.pop('line')), o.pop('verdict')]
    if 'rows' in o:
        words += ['%d@%d=%s' % (r.pop('row'), r.pop('offset'), data(r.pop('match')))
                  for r in o.pop('rows')]
    if 'output' in o:
        words.append(data(o.pop('output')))
    assert not o, o
    print(' '.join(words))
)";

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes) {
    hex += kDigits[static_cast<unsigned char>(c) >> 4];
    hex += kDigits[static_cast<unsigned char>(c) & 15];
  }
  return hex;
}
std::string T(std::string_view bytes) { return "T:" + Hex(bytes); }
std::string B(std::string_view bytes) { return "B:" + Hex(bytes); }

TEST_F(ToolTest, JsonLinesParseBackWithPythonsJsonModule) {
  // A file name and a line with every character JSON escapes, and a file
  // name and lines that are not UTF-8 (GBK: 比这 holds 日, 你好 is clean).
  const std::string odd_line = "say \"hi\" \\ \t\x01\x1f\x7f\0 \xC3\xA9 end"s;
  const std::string odd = File("odd \"name\\\t\x01\xC3\xA9", "fine\n" + odd_line + "\r\n");
  const std::string gbk = File("gbk \xFF", "\xB1\xC8\xD5\xE2\r\n\xC4\xE3\xBA\xC3");
  const std::string ruling = "\xB9\xB2\xB2\xFA\xB5\xB3";  // 共产党, row 19
  std::string out;
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"check", "--json", odd, gbk, "--text", ""},
           {"filter", odd, gbk, "--json"},
           {"explain", "--json", gbk, "--text", "Essex " + ruling}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.err, "");
    out += r.out;
  }
  const Result parsed = RunProgram("/usr/bin/python3",
                                   {"-c", kReadJsonLines, File("json", out)},
                                   "", "C.UTF-8");
  ASSERT_EQ(parsed.status, 0) << parsed.err << "\n" << out;
  const std::string text1 = T("<text1>");
  EXPECT_EQ(parsed.out,
            T(odd) + " 1 clean\n" + T(odd) + " 2 clean\n" +  //
            B(gbk) + " 1 banned\n" + B(gbk) + " 2 clean\n" +  //
            text1 + " 1 clean\n" +                            // check
            T(odd) + " 1 clean " + T("fine") + "\n" +         //
            T(odd) + " 2 clean " + T(odd_line) + "\n" +       //
            B(gbk) + " 1 banned " + T("***<br>") + "\n" +     //
            B(gbk) + " 2 clean " + B("\xC4\xE3\xBA\xC3") + "\n" +  // filter
            B(gbk) + " 1 banned 18@1=" + B("\xC8\xD5") + "\n" +
            B(gbk) + " 2 clean\n" +  //
            text1 + " 1 banned 4@2=" + T("sex") + " 11@2=" + T("sex") +
            " 19@6=" + B(ruling) + "\n")
      << out;
}

// Each row in table order, and --json saying the same: its GBK bytes (as
// hex in the text form) and its UTF-8 text.
TEST_F(ToolTest, RowsListsTheBuiltInTableAndItsJsonSaysTheSame) {
  const Result r = Run({"rows"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 54u);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].rfind("row " + std::to_string(i + 1) + ": ", 0), 0u) << lines[i];
  }
  EXPECT_EQ(lines[3], "row 4: 73 65 78 \"sex\"");
  EXPECT_EQ(lines[10], "row 11: 73 65 78 \"sex\"");
  EXPECT_EQ(lines[17], "row 18: C8 D5 \"日\"");

  const Result json = Run({"rows", "--json"});
  EXPECT_EQ(json.status, 0);
  const Result parsed = RunProgram(
      "/usr/bin/python3",
      {"-c",
       "import base64, json, sys\n"
       "for line in open(sys.argv[1], encoding='utf-8'):\n"
       "    o = json.loads(line)\n"
       "    gbk = o['gbk']['text'].encode() if 'text' in o['gbk'] else "
       "base64.b64decode(o['gbk']['bytes'], validate=True)\n"
       "    assert gbk.decode('gbk') == o['text'] and len(o) == 3, o\n"
       "    print('row %d: %s \"%s\"' % (o['row'], gbk.hex(' ').upper(), o['text']))\n",
       File("rows.json", json.out)},
      "", "C.UTF-8");
  EXPECT_EQ(parsed.status, 0) << parsed.err;
  EXPECT_EQ(parsed.out, r.out);
}

// ---------------------------------------------------------------- grep's options

TEST_F(ToolTest, CountFilesQuietBannedOnlyAndRecursive) {
  const std::string a = File("a.txt", "hello\nsee you on the Avenue\nfine\n");
  const std::string b = File("b.txt", "ok\n");
  const std::string missing = dir_ + "/missing.txt";
  // A tree: files sorted by name at every level, a link inside passed over.
  ASSERT_EQ(mkdir((dir_ + "/tree").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((dir_ + "/tree/sub").c_str(), 0755), 0);
  const std::string t1 = File("tree/b.log", "fuck\n");
  const std::string t2 = File("tree/sub/a.log", "fine\n");
  const std::string t3 = File("tree/c.log", "ok\n");
  ASSERT_EQ(symlink(a.c_str(), (dir_ + "/tree/a-link.log").c_str()), 0);
  ASSERT_EQ(symlink((dir_ + "/tree").c_str(), (dir_ + "/tree-link").c_str()), 0);
  const std::string tree = dir_ + "/tree";

  struct Case {
    std::vector<std::string> args;
    std::string out;
    int status;
    std::size_t error_lines;
  };
  const Case cases[] = {
      {{"check", "-c", a}, "1\n", 1, 0},
      {{"check", "--count", b}, "0\n", 0, 0},
      {{"filter", "-c", a, b}, a + ":1\n" + b + ":0\n", 1, 0},
      {{"check", "-c", "-t", "Essex", "-t", "ok"}, "<text1>:1\n<text2>:0\n", 1, 0},
      {{"check", "-c", a, missing}, a + ":1\n", 2, 1},
      {{"check", "-l", b, a}, a + "\n", 1, 0},
      {{"explain", "--files-with-banned", b}, "", 0, 0},
      {{"check", "-q", b, a}, "", 1, 0},
      // -q stops at the first banned line: the missing file is never opened.
      {{"check", "-q", a, missing}, "", 1, 0},
      {{"check", "-q", missing, a}, "", 2, 1},
      {{"check", "--banned-only", a, b}, a + ":2: banned\n", 1, 0},
      {{"explain", "--banned-only", a},
       a + ":2: banned\n" + a + ":2: row 5 at byte 15: 61 76 \"av\"\n", 1, 0},
      {{"check", "-r", tree},
       t1 + ":1: banned\n" + t3 + ":1: clean\n" + t2 + ":1: clean\n", 1, 0},
      {{"check", "-r", "-c", dir_ + "/tree-link/"},
       dir_ + "/tree-link/b.log:1\n" + dir_ + "/tree-link/c.log:0\n" + dir_ +
           "/tree-link/sub/a.log:0\n",
       1, 0},
      {{"check", "-rl", tree, b}, t1 + "\n", 1, 0},
      {{"check", "-j", "3", "-c", a}, "1\n", 1, 0},
      {{"check", "--threads=0", a}, "", 2, 1},
      {{"check", "-c", "--json", a}, "", 2, 1},
      {{"filter", "--banned-only", a}, "", 2, 1},
  };
  for (const Case& c : cases) {
    std::string shown;
    for (const std::string& arg : c.args) shown += " " + arg;
    const Result r = Run(c.args);
    EXPECT_EQ(r.out, c.out) << shown;
    EXPECT_EQ(r.status, c.status) << shown;
    EXPECT_EQ(Lines(r.err).size(), c.error_lines) << shown << ": " << r.err;
  }
}

TEST_F(ToolTest, ThreadsAnswerAsOneThreadDoes) {
  // Several chunks of UTF-8 lines of every kind, a line longer than a chunk
  // (banned only at its end), and more ill-formed lines than are shown.
  std::string mixed;
  for (int i = 0; i < 60000; ++i) {
    switch (i % 7) {
      case 0: mixed += "\xE7\xA5\x9D\xE4\xBD\xA0\xE7\x94\x9F\xE6\x97\xA5 " + std::to_string(i) + "\n"; break;
      case 1: mixed += "see you on the Avenue\r\n"; break;
      case 2: mixed += "clean\0 but then fuck "s + std::to_string(i) + "\n"; break;
      case 3: mixed += i % 1000 == 3 ? "bad \xC0\xAF byte\n" : "fine\n"; break;
      default: mixed += "good morning, line " + std::to_string(i) + "\n";
    }
    if (i == 30000) mixed += std::string(3 << 20, 'x') + "sex\n";
  }
  mixed += "last line, no newline";
  const std::string path = File("mixed.txt", mixed);
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"check"}, {"check", "-c"}, {"filter"}, {"explain", "--banned-only"},
           {"check", "--json"}}) {
    for (const bool from_stdin : {false, true}) {
      std::vector<std::string> one = args, many = args;
      one.insert(one.end(), {"-e", "utf-8", "-j1"});
      many.insert(many.end(), {"-e", "utf-8", "-j4"});
      if (!from_stdin) {
        one.push_back(path);
        many.push_back(path);
      }
      const std::string input = from_stdin ? mixed : "";
      const Result expected = Run(one, input);
      const Result r = Run(many, input);
      const std::string shown = args[0] + (from_stdin ? " on stdin" : " on a file");
      EXPECT_EQ(r.status, 2) << shown;  // the ill-formed lines
      EXPECT_EQ(r.status, expected.status) << shown;
      EXPECT_TRUE(r.out == expected.out) << shown << ": outputs differ";
      EXPECT_EQ(r.err, expected.err) << shown;
      EXPECT_FALSE(expected.out.empty()) << shown;
    }
  }
}

// ---------------------------------------------------------------- encodings

std::string Utf16(std::string_view ascii, bool big_endian) {
  std::string wide;
  for (const char c : ascii) {
    wide += big_endian ? std::string{'\0', c} : std::string{c, '\0'};
  }
  return wide;
}

TEST_F(ToolTest, Utf16Gb18030AndAGbkLogReadAsUtf8AreNeverASilentClean) {
  const std::string text = "hello\r\nEssex\n";
  const std::string le = File("le.txt", "\xFF\xFE" + Utf16(text, false));
  const std::string be = File("be.txt", "\xFE\xFF" + Utf16(text, true));
  const std::string unmarked = File("unmarked.txt", Utf16(text, false));
  // With a mark: read as UTF-16 in any locale, and filtered as UTF-8.
  Result r = Run({"check", le, be});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, le + ":1: clean\n" + le + ":2: banned\n" + be + ":1: clean\n" +
                       be + ":2: banned\n");
  r = Run({"filter", be}, "", "C.UTF-8");
  EXPECT_EQ(r.out, "hello\r\n***<br>\n");
  // Without one: reported once, exit status 2, and the other files screened.
  r = Run({"check", unmarked, be});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, be + ":1: clean\n" + be + ":2: banned\n");
  ASSERT_EQ(Lines(r.err).size(), 1u) << r.err;
  EXPECT_NE(r.err.find(unmarked + ": not screened: it looks like UTF-16"),
            std::string::npos);

  // 价格 £1786 in GB18030: "£" is 81 30 84 35, whose last byte and the
  // digits after it hold row 29 when the bytes are screened as GBK.
  const std::string price = "\xBC\xDB\xB8\xF1 \x81\x30\x84\x35" "1786";
  const std::string gb18030 = File("gb18030.txt", price + "\n\x81\x30\n" + price);
  r = Run({"check", "-e", "gb18030", gb18030});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, gb18030 + ":1: clean\n" + gb18030 + ":2: error\n" + gb18030 + ":3: clean\n");
  EXPECT_EQ(r.err, "tavrin: " + gb18030 + ":2: invalid GB18030 at byte 0\n");
  r = Run({"filter"}, price + "\n", "zh_CN.gb18030");  // the locale's default
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, price + "\n");
  r = Run({"check"}, price + "\n", "zh_CN.GBK");  // GBK: the bytes as they are
  EXPECT_EQ(r.out, "<stdin>:1: banned\n");

  // A GBK log read in a UTF-8 locale: every verdict line, the first ten
  // errors, then one line with their count.
  std::string log, verdicts;
  for (int i = 1; i <= 25; ++i) {
    log += "\xC4\xE3\xBA\xC3\n";  // 你好
    verdicts += "<stdin>:" + std::to_string(i) + ": error\n";
  }
  r = Run({"check"}, log, "C.UTF-8");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, verdicts);
  const std::vector<std::string> errors = Lines(r.err);
  ASSERT_EQ(errors.size(), 11u) << r.err;
  EXPECT_EQ(errors[9], "tavrin: <stdin>:10: invalid UTF-8 at byte 0");
  EXPECT_EQ(errors[10],
            "tavrin: <stdin>: 25 lines are not UTF-8 (the first 10 are shown); "
            "for GBK input use -e gbk");
}

// The starts of a log that once switched screening off: a UTF-16 mark is
// obeyed only before UTF-16 text and only without -e, so that no start of
// an input makes banned lines come out clean. Real UTF-16 files, as Notepad
// (no last line break) and PowerShell (CRLF after every line) write them,
// are read as UTF-16.
TEST_F(ToolTest, AByteOrderMarkNeverMakesBannedLinesPass) {
  const auto utf16 = [](std::string_view utf8, bool big_endian) {
    std::string wide;
    for (std::size_t i = 0; i < utf8.size();) {  // the BMP is enough here
      const auto c = static_cast<unsigned char>(utf8[i]);
      const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : 3;
      unsigned unit = length == 1 ? c : length == 2 ? c & 0x1F : c & 0x0F;
      for (std::size_t k = 1; k < length; ++k) unit = unit << 6 | (utf8[i + k] & 0x3F);
      const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit);
      wide += big_endian ? std::string{high, low} : std::string{low, high};
      i += length;
    }
    return (big_endian ? "\xFE\xFF" : "\xFF\xFE") + wide;
  };
  const std::string chat = "hello\r\nsee you on the Avenue\r\n你好\r\n操\r\n";  // 2 banned
  const std::string gbk_log = "\xC4\xE3\xBA\xC3\nfuck\n\xB2\xD9\nok\n";  // 你好 fuck 操 ok
  // One line of UTF-16 fills the first window; GBK lines, which hold no
  // UTF-16 line break, fill the next ones.
  std::string forged = utf16("hi ", false);
  while (forged.size() < 3 * 4096) forged += gbk_log;  // TAVRIN_INPUT_SAMPLE
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string count;    // what -c writes: none when not screened
    std::string message;  // the first error, after "tavrin: <stdin>"
  };
  const std::string false_mark =
      ": begins with a UTF-16 byte-order mark (FF FE) but is not UTF-16 text: "
      "screened as ";
  const std::string contradicted =
      ": not screened: it is UTF-16 text after the byte-order mark FF FE, not ";
  const Case cases[] = {
      {{}, "\xFF\xFE" + gbk_log, 2, "2\n", false_mark + "GBK, the mark included"},
      {{"-e", "gbk"}, "\xFF\xFE" + gbk_log + "x", 2, "2\n", false_mark + "GBK"},
      {{"-e", "gbk"}, "\xFF\xFE" "fuck you, visit evil.com\nsex sex\n\n", 2, "2\n",
       false_mark + "GBK"},
      {{}, "\xFE\xFF" "sex\n", 2, "1\n", ": begins with a UTF-16 byte-order mark (FE FF)"},
      // The mark makes the first line ill-formed UTF-8: an error, never clean.
      {{"-e", "utf-8"}, "\xFF\xFE" "hi\n操你\n", 2, "1\n", false_mark + "UTF-8"},
      {{}, utf16(chat, false), 1, "2\n", ""},
      {{}, utf16(chat.substr(0, chat.size() - 2), false), 1, "2\n", ""},
      {{}, utf16(chat, true), 1, "2\n", ""},
      {{}, "\xFF\xFE", 0, "0\n", ""},
      {{"-e", "gbk"}, utf16(chat, false), 2, "", contradicted + "GBK as -e says"},
      {{"-e", "utf-8"}, utf16(chat, true), 2, "",
       ": not screened: it is UTF-16 text after the byte-order mark FE FF, not UTF-8"},
      {{}, forged, 2, "0\n",
       ": not UTF-16 text from byte 4096 on (4096 bytes without a character from "
       "U+0001 to U+00FF), though it begins as UTF-16"},
      {{}, utf16(chat, false).substr(2), 2, "",
       ": not screened: it looks like UTF-16 LE without a byte-order mark"},
      {{"-e", "gbk"}, utf16(chat, true).substr(2), 2, "",
       ": not screened: it looks like UTF-16 BE without a byte-order mark (a zero "
       "byte before every other byte); convert it to UTF-8 first (iconv -f UTF-16BE"},
      {{"-e", "gbk"}, "sex\0\n"s, 1, "1\n", ""},  // a zero byte in a short file
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"check", "-c"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = Run(args, c.input);
    const std::string shown = testing::PrintToString(c.input.substr(0, 40));
    EXPECT_EQ(r.status, c.status) << shown;
    EXPECT_EQ(r.out, c.count) << shown;
    if (c.message.empty()) {
      EXPECT_EQ(r.err, "") << shown;
    } else {
      EXPECT_NE(r.err.find("tavrin: <stdin>" + c.message), std::string::npos)
          << shown << ": " << r.err;
    }
  }
}

// -q and -l stop at the first banned line with any number of threads: on a
// pipe that says nothing more, and before a line that never ends.
TEST_F(ToolTest, QuietAndFilesWithBannedStopAtTheFirstBannedLineOnAPipe) {
  signal(SIGPIPE, SIG_IGN);  // the writer sees the tool's end as an error
  for (const char* option : {"-q", "-l"}) {
    for (const bool endless_line : {false, true}) {
      int in[2];
      ASSERT_EQ(pipe2(in, O_CLOEXEC), 0);
      const int out = open((dir_ + "/stdout").c_str(),
                           O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
      const pid_t pid = Start(kTool, {"check", option, "-j2"}, "C", in[0], out, out);
      close(in[0]);
      close(out);
      ASSERT_EQ(write(in[1], "fine\nsex\n", 9), 9);
      std::thread writer([&] {
        const std::string piece(1 << 16, 'x');
        while (endless_line && write(in[1], piece.data(), piece.size()) > 0) {
        }
      });
      EXPECT_EQ(Wait(pid, 30), 1) << option << (endless_line ? " before a long line" : "");
      close(in[1]);  // the pipe was held open until the tool had answered
      writer.join();
      EXPECT_EQ(ReadFile(dir_ + "/stdout"), option == "-l"s ? "<stdin>\n" : "");
    }
  }
}

// -r goes down by directory descriptors, so a path longer than PATH_MAX is
// screened like any other; and -c, -l and -q, which write nothing while
// they read, may write into a file they read.
TEST_F(ToolTest, RecursionPastPathMaxAndSummariesIntoTheirOwnInput) {
  ASSERT_EQ(mkdir((dir_ + "/deep").c_str(), 0755), 0);
  File("deep/top.log", "fine\n");
  const std::string level(200, 'd');
  std::string deep = dir_ + "/deep";
  int at = open(deep.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  for (int i = 0; i < 25; ++i) {  // 5,000 bytes of path
    ASSERT_EQ(mkdirat(at, level.c_str(), 0755), 0);
    const int next = openat(at, level.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    close(at);
    at = next;
    deep += "/" + level;
  }
  const int file = openat(at, "banned.log", O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_EQ(write(file, "sex\n", 4), 4);
  close(file);
  close(at);
  ASSERT_GT(deep.size(), static_cast<std::size_t>(PATH_MAX));
  Result r = Run({"check", "-r", "-c", dir_ + "/deep"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(r.out == deep + "/banned.log:1\n" + dir_ + "/deep/top.log:0\n") << r.out.size();

  for (const char* summary : {"-c", "-l", "-q"}) {
    const std::string log = File("log", "fine\nsex\n");
    r = RunProgram(kTool, {"check", summary, log}, "", "C", log);
    EXPECT_EQ(r.status, 1) << summary;
    EXPECT_EQ(r.err, "") << summary;
  }
}

// explain and filter hold a line whole, but once: the buffer grows in
// place, and a line that is not GBK is converted a step at a time.
TEST_F(ToolTest, ALongLineIsHeldOnce) {
#ifdef TAVRIN_SANITIZED
  GTEST_SKIP() << "a sanitizer's allocator decides the peak memory, not the tool";
#endif
  // Written a piece at a time: a child's peak memory counts this process's
  // until it runs the tool.
  const std::size_t size = 64u << 20;
  const std::string path = dir_ + "/long.txt";
  {
    std::ofstream out(path, std::ios::binary);
    const std::string piece(1 << 20, 'x');
    for (std::size_t written = 0; written < size; written += piece.size()) out << piece;
    out << "sex\nfine\n";
  }
  for (const char* locale : {"C", "C.UTF-8"}) {
    for (const char* command : {"explain", "filter"}) {
      const int null = open("/dev/null", O_RDWR | O_CLOEXEC);
      rusage usage{};
      EXPECT_EQ(Wait(Start(kTool, {command, path}, locale, null, null, null), 120, &usage), 1);
      close(null);
      EXPECT_LT(static_cast<std::size_t>(usage.ru_maxrss) * 1024, size + size / 2)
          << command << " in " << locale;
    }
  }
}

// ---------------------------------------------------------------- sample host

TEST_F(ToolTest, TheSampleHostScreensWholeLinesAndKeepsTheirEndings) {
  // Longer than the 256-byte buffer the sample host once read into.
  const std::string long_line = std::string(254, 'x') + "sex";
  const std::string big(1 << 20, 'y');
  const Result r = RunProgram(
      TAVRIN_SAMPLE_HOST_PATH, {},
      long_line + "\nhello\r\nfuck\r\nclean\0 but then fuck\nclean\0too\n"s +
          big + "\nlast av",
      "C");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(r.out == "***<br>\nhello\r\n***<br>\r\n***<br>\nclean\0too\n"s +
                           big + "\n***<br>")
      << r.out.substr(0, 400);

  // The library's page shows the sample as it is.
  EXPECT_NE(ReadFile(TAVRIN_LIBRARY_DOC_PATH).find(ReadFile(TAVRIN_SAMPLE_HOST_SOURCE)),
            std::string::npos)
      << TAVRIN_LIBRARY_DOC_PATH " does not show " TAVRIN_SAMPLE_HOST_SOURCE " as it is";
}

}  // namespace
