// tavrin: screens lines of text from the shell with the Tavrin library.
// The command line is read in Options.cpp, the input in Input.cpp, lines
// are screened in Screening.cpp and answered in Report.cpp; this file runs
// the inputs through them, on one thread or several.
#include <fcntl.h>
#include <langinfo.h>
#include <poll.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Input.h"
#include "Options.h"
#include "Report.h"
#include "Screening.h"
#include "TavrinVersion.h"

namespace {

using namespace Tavrin::Cli;

// Bytes read at a time: large enough that a call per chunk costs nothing,
// small enough that the chunks in flight stay in the processor's caches
// between the read and the screening.
constexpr std::size_t kChunkSize = 1 << 18;

// ---------------------------------------------------------------- encoding

// The encoding of the input when no -e is given, from the locale's
// character set: UTF-8 in a UTF-8 locale, GB18030 in a GB18030 locale, the
// bytes as they are in any other (GBK, GB2312, and the C/POSIX locale of
// scripts and CI).
Encoding EncodingOfCodeset(std::string_view codeset) {
  Encoding encoding = Encoding::kGbk;
  ParseEncoding(codeset, &encoding);
  return encoding;
}

Encoding LocaleEncoding() {
  if (std::setlocale(LC_ALL, "") != nullptr ||
      std::setlocale(LC_CTYPE, "") != nullptr) {
    return EncodingOfCodeset(nl_langinfo(CODESET));
  }
  // The locale asked for is not installed here. Its name still tells the
  // character set of the user's terminal and files ("en_US.UTF-8"): going
  // by it beats reading UTF-8 as bytes and passing what it says as clean.
  const char* name = nullptr;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    name = std::getenv(variable);
    if (name != nullptr && *name != '\0') break;
  }
  std::string_view codeset = name != nullptr ? name : "";
  const std::size_t dot = codeset.find('.');
  codeset = dot == std::string_view::npos ? "" : codeset.substr(dot + 1);
  return EncodingOfCodeset(codeset.substr(0, codeset.find('@')));
}

unsigned ProcessorsAvailable() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return static_cast<unsigned>(count);
  }
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

// ---------------------------------------------------------------- threads

// A chunk of an input on its way through: read, screened, then answered.
struct Job {
  ChunkBuffer buffer;
  Encoding encoding = Encoding::kGbk;
  ChunkLines chunk;
  ChunkBuffer verdicts;   // one byte a line
  std::size_t count = 0;  // lines screened
  bool banned = false;  // it holds a banned line, at which -q and -l stop
  // Set under the pool's lock, for its waits, once the rest is; read
  // without it by IsScreened, and then its release makes the rest visible.
  std::atomic<bool> screened{false};
};

const unsigned char* Verdicts(const ChunkBuffer& verdicts) {
  return reinterpret_cast<const unsigned char*>(verdicts.data());
}

bool HoldsBannedLine(const Job& job) {
  return (job.chunk.has_long_line && job.chunk.long_line_verdict == TAVRIN_BANNED) ||
         (job.count > 0 && std::memchr(job.verdicts.data(), TAVRIN_BANNED, job.count) != nullptr);
}

// Threads that screen jobs in the order they are given; each job is then
// answered by the thread that reads, in the same order, so the output does
// not depend on the number of threads.
class ScreeningPool {
 public:
  explicit ScreeningPool(unsigned threads)
      : screened_event_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
  }
  ~ScreeningPool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_) thread.join();
    if (screened_event_ >= 0) ::close(screened_event_);
  }

  void Submit(Job* job) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job->screened = false;
      queue_.push_back(job);
    }
    work_.notify_one();
  }

  // How many jobs wait for a thread.
  std::size_t Waiting() {
    std::lock_guard<std::mutex> lock(mutex_);
    return queue_.size();
  }

  void Wait(Job* job) {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [job] { return job->screened.load(); });
  }

  bool IsScreened(const Job* job) const noexcept { return job->screened.load(); }

  // Waits until `fd` has input or a thread has screened a chunk with a
  // banned line, which `found` looks for among those in flight: true when
  // `fd` has input. The threads write the eventfd only while this waits,
  // and only for such a chunk; this sets its flag before it looks, and they
  // set `screened` before they look at the flag, so none goes unseen.
  // Without the eventfd it waits for input alone.
  bool AwaitInputOrBanned(int fd, const std::function<bool()>& found) {
    reader_waiting_ = true;
    bool input = false;
    if (!found()) {
      pollfd ready[2] = {{fd, POLLIN, 0}, {screened_event_, POLLIN, 0}};
      const int polled = ::poll(ready, screened_event_ >= 0 ? 2 : 1, -1);
      std::uint64_t count;
      if (polled > 0 && screened_event_ >= 0 && ready[1].revents != 0) {
        static_cast<void>(!::read(screened_event_, &count, sizeof count));
      }
      input = polled < 0 ? errno != EINTR : ready[0].revents != 0;  // an error: read and see
    }
    reader_waiting_ = false;
    return input;
  }

 private:
  void Work() {
    ChunkScreener screener;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      work_.wait(lock, [this] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;
      Job* job = queue_.front();
      queue_.pop_front();
      lock.unlock();
      job->count = screener.Screen(job->encoding, job->chunk.lines,
                                   job->chunk.size, job->verdicts);
      // Once it is screened the job is the reading thread's, which may
      // reuse or free it: it is not looked at again here.
      const bool banned = job->banned = HoldsBannedLine(*job);
      lock.lock();
      job->screened = true;
      lock.unlock();
      done_.notify_all();
      if (banned && reader_waiting_ && screened_event_ >= 0) {
        const std::uint64_t one = 1;
        static_cast<void>(!::write(screened_event_, &one, sizeof one));
      }
      lock.lock();
    }
  }

  const int screened_event_;  // counts chunks with banned lines, for AwaitInputOrBanned
  std::atomic<bool> reader_waiting_{false};
  std::mutex mutex_;
  std::condition_variable work_, done_;
  std::deque<Job*> queue_;
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

// ---------------------------------------------------------------- running

class Runner {
 public:
  Runner(const Options& options, Output& out)
      : options_(options), report_(options.report, out) {
    struct stat st;
    output_is_file_ = ::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode);
    if (output_is_file_) output_ = st;
    unsigned threads = options.threads != 0 ? options.threads : ProcessorsAvailable();
    // A line is answered before the next is read only when one thread
    // screens it where it is read.
    if (options.report.line_buffered) threads = 1;
    // With N threads, N - 1 screen in the pool, and this one, which reads
    // and answers, screens a chunk itself whenever each of them already has
    // one waiting: an Nth screening thread beside the reading one would
    // only take turns with the others. (On two cores this took check -c -j2
    // on a 256 MB GBK log from 0.93 to 0.72 of -j1's time.)
    threads_ = threads;
    if (threads > 1) pool_ = std::make_unique<ScreeningPool>(threads - 1);
    jobs_.resize(threads > 1 ? 2 * threads : 1);
    for (auto& job : jobs_) job = std::make_unique<Job>();
  }

  void Run(const Source& source) {
    if (report_.stopped()) return;
    switch (source.kind) {
      case Source::kStdin:
        RunFd(STDIN_FILENO, "<stdin>");
        break;
      case Source::kText:
        RunText(source.value);
        break;
      case Source::kFile:
        if (options_.recursive && IsDirectory(source.value)) {
          RunTree(source.value);
        } else {
          RunFile(source.value, AT_FDCWD, source.value.c_str(), false);
        }
        break;
    }
  }

  int Finish() { return report_.Finish(); }

  // Whether the path names a directory, links followed.
  static bool IsDirectory(const std::string& path) {
    struct stat st;
    return ::stat(path.empty() ? "." : path.c_str(), &st) == 0 &&
           S_ISDIR(st.st_mode);
  }

 private:
  // The working directory (named "") is walked without a "./" before the
  // names, as grep -r shows it.
  void RunTree(const std::string& path) {
    const std::string prefix =
        path.empty() ? "" : path.back() == '/' ? path : path + '/';
    WalkDirectory(
        path.empty() ? "." : path, prefix,
        [this](const std::string& name, int directory, const char* entry) {
          RunFile(name, directory, entry, true);
          return !report_.stopped();
        },
        [this](const std::string& name, int error) {
          report_.Fail(name + ": cannot read: " + std::strerror(error));
        });
  }

  // Opens `entry` in the directory `at` (AT_FDCWD for a FILE given) and
  // screens it as `name`. A file that -r found is opened without following
  // a link and without blocking, and must still be a regular file: one
  // replaced by a FIFO since the walk would wait for a writer for ever.
  void RunFile(const std::string& name, int at, const char* entry, bool found) {
    const int flags = O_RDONLY | O_CLOEXEC | (found ? O_NOFOLLOW | O_NONBLOCK : 0);
    int fd;
    do {
      fd = ::openat(at, entry, flags);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
      report_.Fail(name + ": cannot open: " + std::strerror(errno));
      return;
    }
    struct stat st;
    if (found && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
      report_.Fail(name + ": not screened: no longer a regular file");
    } else {
      RunFd(fd, name);
    }
    ::close(fd);
  }

  // Reading a file into itself would never end (tavrin filter f >> f), so a
  // regular file that is also the output is refused, as GNU grep does; -c,
  // -l and -q write nothing while they read, and are let be.
  bool IsTheOutput(int fd) const {
    struct stat st;
    return options_.report.summary == Summary::kNone && output_is_file_ &&
           ::fstat(fd, &st) == 0 && st.st_dev == output_.st_dev &&
           st.st_ino == output_.st_ino;
  }

  // Acts on the form the library gives the input's first bytes: reports
  // what is wrong with them, and returns false when the input is not to be
  // screened. Sets *encoding to UTF-8 for UTF-16, which is read as UTF-8.
  bool StartInput(int form, const ChunkReader& reader, const std::string& name,
                  Encoding* encoding) {
    const std::string mark =
        reader.head().substr(0, 1) == "\xFF" ? "FF FE" : "FE FF";
    switch (form) {
      case TAVRIN_INPUT_UTF16LE_UNMARKED:
      case TAVRIN_INPUT_UTF16BE_UNMARKED: {
        const bool big = form == TAVRIN_INPUT_UTF16BE_UNMARKED;
        const std::string order = big ? "BE" : "LE";
        report_.Fail(name + ": not screened: it looks like UTF-16 " + order +
                     " without a byte-order mark (a zero byte " +
                     (big ? "before" : "after") +
                     " every other byte); convert it to UTF-8 first (iconv -f UTF-16" +
                     order + " -t UTF-8)");
        return false;
      }
      case TAVRIN_INPUT_MARK_CONTRADICTED:
        report_.Fail(name + ": not screened: it is UTF-16 text after the byte-order mark " +
                     mark + ", not " + std::string(EncodingName(*encoding)) +
                     " as -e says; without -e it is read as UTF-16");
        return false;
      case TAVRIN_INPUT_FALSE_MARK:
        report_.Fail(name + ": begins with a UTF-16 byte-order mark (" + mark +
                     ") but is not UTF-16 text: screened as " +
                     std::string(EncodingName(*encoding)) + ", the mark included");
        return true;
      case TAVRIN_INPUT_UTF16LE:
      case TAVRIN_INPUT_UTF16BE:
        *encoding = Encoding::kUtf8;
        if (!CanScreen(*encoding)) {
          report_.Fail(name + ": not screened: this system cannot convert "
                              "UTF-16 to GBK (iconv has no GBK)");
          return false;
        }
        report_.BeginInput(name, *encoding, true);
        return true;
    }
    return true;
  }

  void RunFd(int fd, const std::string& name) {
    if (IsTheOutput(fd)) {
      report_.Fail(name + ": input file is also the output");
      return;
    }
    ChunkReader reader(fd, kChunkSize, NeedsLineBytes(options_.report));
    Encoding encoding = options_.encoding;
    report_.BeginInput(name, encoding, false);
    if (!StartInput(reader.Sniff(options_.encoding_given), reader, name, &encoding)) {
      return;
    }
    LongLineScreener long_line(encoding);
    std::deque<Job*> in_flight;
    bool wanted = true;
    // Answers the jobs in flight that are screened, oldest first. With
    // `wait` (the reader found nothing to read) it waits for input or for
    // a chunk with a banned line, and answers up to that chunk. For -q and
    // -l, which stop at a banned line, the reader calls it so before a read
    // that would block, and without `wait` between the pieces of a long
    // line: their answer waits for no more input, and no read waits for a
    // clean chunk's answer. (The other answers are written out only at the
    // end of a chunk of output, so waking for them would cost the reading
    // thread's time for nothing.) False once no more of the input is
    // wanted.
    const auto holds_banned = [&] {
      return std::any_of(in_flight.begin(), in_flight.end(), [this](const Job* job) {
        return pool_->IsScreened(job) && job->banned;
      });
    };
    const auto answer_screened = [&](bool wait) {
      for (;;) {
        while (wanted && !in_flight.empty() && pool_->IsScreened(in_flight.front())) {
          Job* job = in_flight.front();
          in_flight.pop_front();
          wanted = Answer(*job) && !report_.stopped();
        }
        if (!wait || !wanted || in_flight.empty()) return wanted;
        if (holds_banned()) {
          pool_->Wait(in_flight.front());  // the banned chunk's turn comes
        } else if (pool_->AwaitInputOrBanned(fd, holds_banned)) {
          return wanted;
        }
      }
    };
    const Summary summary = options_.report.summary;
    if (summary == Summary::kQuiet || summary == Summary::kFilesWithBanned) {
      reader.set_on_wait(answer_screened);
    }
    std::size_t next_job = 0;
    while (wanted && !report_.stopped()) {
      Job& job = *jobs_[next_job];
      if (!answer_screened(false)) break;
      if (in_flight.size() == jobs_.size()) {  // the oldest is this one
        pool_->Wait(in_flight.front());
        in_flight.pop_front();
        wanted = Answer(job);
        if (!wanted) break;
      }
      if (!NextLines(reader, job.buffer, long_line, &job.chunk)) break;
      job.encoding = encoding;
      if (pool_ != nullptr && pool_->Waiting() < threads_ - 1) {
        pool_->Submit(&job);
        in_flight.push_back(&job);
      } else {
        job.count = screener_.Screen(encoding, job.chunk.lines, job.chunk.size,
                                     job.verdicts);
        if (pool_ == nullptr) {
          wanted = Answer(job);
        } else {
          job.banned = HoldsBannedLine(job);
          job.screened = true;  // answered in its turn, after those before it
          in_flight.push_back(&job);
        }
      }
      next_job = (next_job + 1) % jobs_.size();
    }
    // What is still being screened is answered in order, unless no more of
    // the input is wanted; either way no job is left to a thread.
    for (Job* job : in_flight) {
      pool_->Wait(job);
      if (wanted && !report_.stopped()) wanted = Answer(*job);
    }
    const bool read_whole = reader.error() == 0;
    if (!read_whole) {
      report_.Fail(name + ": cannot read: " + std::strerror(reader.error()));
    }
    if (reader.not_utf16_from() != std::string::npos) {
      report_.Fail(name + ": not UTF-16 text from byte " +
                   std::to_string(reader.not_utf16_from()) + " on (" +
                   std::to_string(TAVRIN_INPUT_SAMPLE) +
                   " bytes without a character from U+0001 to U+00FF), though it "
                   "begins as UTF-16: its lines were screened as UTF-16");
    }
    report_.EndInput(read_whole);
  }

  bool Answer(const Job& job) {
    const ChunkLines& chunk = job.chunk;
    if (chunk.has_long_line &&
        !report_.LongLine(chunk.long_line_verdict, chunk.long_line_error_offset)) {
      return false;
    }
    return report_.Lines(chunk.lines, chunk.size, Verdicts(job.verdicts), job.count);
  }

  // A text is screened as a file holding it would be, but the empty text is
  // one empty line, so that every --text gets its verdict.
  void RunText(const std::string& text) {
    const std::string name = "<text" + std::to_string(++texts_) + ">";
    report_.BeginInput(name, options_.encoding, false);
    ChunkBuffer& verdicts = jobs_[0]->verdicts;
    if (text.empty()) {
      screener_.Screen(options_.encoding, "\n", 1, verdicts);
      report_.Lines(text.data(), 0, Verdicts(verdicts), 1);
    } else {
      const std::size_t count =
          screener_.Screen(options_.encoding, text.data(), text.size(), verdicts);
      report_.Lines(text.data(), text.size(), Verdicts(verdicts), count);
    }
    report_.EndInput(true);
  }

  const Options& options_;
  Report report_;
  bool output_is_file_ = false;
  struct stat output_ {};
  unsigned threads_ = 1;
  std::unique_ptr<ScreeningPool> pool_;
  std::vector<std::unique_ptr<Job>> jobs_;
  ChunkScreener screener_;  // for the thread that reads
  int texts_ = 0;
};

// Writes `text` as the whole output (help, version): exit status 0, or 2
// when it cannot be written.
int PrintAndExit(Output& out, std::string_view text) {
  out.Write(text);
  if (out.Flush()) return kExitClean;
  PrintError(std::string("cannot write the output: ") + std::strerror(out.error()));
  return kExitError;
}

int Main(int argc, char** argv, Output& out) {
  Options options;
  options.encoding = LocaleEncoding();
  ParseArguments(argc, argv, &options);
  switch (options.action) {
    case Action::kHelp:
      return PrintAndExit(out, HelpText());
    case Action::kVersion:
      return PrintAndExit(out, "tavrin " TAVRIN_VERSION "\n");
    case Action::kRows:
      return PrintAndExit(out, RowsListing(options.report.json));
    case Action::kUsageError:
      PrintError(options.error + " (see tavrin --help)");
      return kExitError;
    case Action::kRun:
      break;
  }
  ReportSettings& report = options.report;
  report.locale_says_utf8 = !options.encoding_given && options.encoding == Encoding::kUtf8;
  report.line_buffered = report.line_buffered || ::isatty(STDOUT_FILENO);
  report.count_names = options.sources.size() > 1;
  for (const Source& source : options.sources) {
    if (options.recursive && source.kind == Source::kFile &&
        Runner::IsDirectory(source.value)) {
      report.count_names = true;
    }
  }
  if (!CanScreen(options.encoding)) {
    PrintError("this system cannot convert " +
               std::string(EncodingName(options.encoding)) +
               " to GBK (iconv has no GBK)");
    return kExitError;
  }
  Runner runner(options, out);
  for (const Source& source : options.sources) runner.Run(source);
  return runner.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  Output out;
  try {
    return Main(argc, argv, out);
  } catch (const std::bad_alloc&) {
    out.Flush();
    PrintError("out of memory");
    return kExitError;
  }
}
