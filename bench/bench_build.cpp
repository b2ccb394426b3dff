// Times whole builds of synthetic projects through the real build driver and
// compares them with `xxd -i` over the same binary files, run side by side.
//
//   bench_build [--scale F] [--runs N] [--dir PATH] [--keep] [--removal-only]
//
// The projects come from a fixed seed: S = 50 pages of about 4 KiB and 50
// pictures of about 20 KiB; L = 2,000 pages of about 4 KiB and 2,000 binary
// files of about 25 KiB in nested folders; L/2 the same at half the count.
// Some pages carry forms and dynamic markers. --scale multiplies the counts of
// L and L/2 (for a quick look or a profile). Every timed build runs in a child
// process of its own, as a command-line build would, and its peak resident
// memory comes from wait4. The write floor is L's output written from memory
// into a fresh folder, file by file as a build writes them; the binary data
// formatter's rate is taken over 200 MB on one core. The removal of 100 sources' data from L's binary
// data file (one load and one save for all of them) is timed against one read
// and write of that file; --removal-only makes and builds L once for just that.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "build/open_project.h"
#include "generator/binary_sections.h"
#include "generator/code_generator.h"
#include "platform/file_util.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Says yes to every question (create the target directory) and counts the
// messages a build shows, which a clean synthetic project never should.
class YesPrompter : public Prompter {
 public:
  void ShowOk(const std::string& text) override { Note(text); }
  bool AskYesNo(const std::string&) override { return true; }
  bool AskOkCancel(const std::string&) override { return true; }
  void ShowStop(const std::string& text) override { Note(text); }
  int shown = 0;

 private:
  void Note(const std::string& text) {
    if (shown++ < 3) std::cerr << "message: " << text << "\n";
  }
};

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t mid = values.size() / 2;
  return values.size() % 2 ? values[mid] : (values[mid - 1] + values[mid]) / 2;
}

struct ProjectSpec {
  const char* name;
  int pages;
  int binaries;
  size_t binaryBytes;  // mean size of a binary file
};

// One generated project on disk.
struct Project {
  std::string root;         // holds site/, out/ and the project file
  std::string projectPath;  // the .web file
  std::string target;       // the target directory, with its separator
  std::vector<std::string> pages;
  std::vector<std::string> binaries;
  std::uint64_t inputBytes = 0;
};

constexpr const char* kWords[] = {"firmware", "device",  "server", "status", "network",
                                  "value",    "setting", "table",  "the",    "of",
                                  "and",      "a",       "port",   "signal", "reading"};

// A page of about 4 KiB: paragraphs of words; with a form, a POST form whose
// action names a handler; with dynamic markers, a few _NZZA_ values.
std::string PageText(std::mt19937& rng, int index, bool form, bool dynamic) {
  std::string text =
      "<html><head><title>Page " + std::to_string(index) + "</title></head>\r\n<body>\r\n";
  std::uniform_int_distribution<int> word(0, std::size(kWords) - 1);
  const size_t size = 3600 + rng() % 1000;
  int line = 0;
  while (text.size() < size) {
    std::string row = "<p>";
    while (row.size() < 70) {
      row += kWords[word(rng)];
      row += ' ';
    }
    if (dynamic && line % 9 == 4) row += "now _NZZA_Value" + std::to_string(line % 3) + " units";
    row += "</p>\r\n";
    text += row;
    if (form && line == 20) {
      text += "<form method=\"post\" action=\"set_" + std::to_string(index) +
              "\">\r\n<input name=\"v\"><input type=\"submit\">\r\n</form>\r\n";
    }
    ++line;
  }
  text += "</body></html>\r\n";
  return text;
}

std::string Folder(int index) {
  if (index % 10 == 0) return "";  // some files right below the root
  return "area" + std::to_string(index % 7) + "/part" + std::to_string(index % 5) + "/";
}

// Writes the sources and a project file that binds them in nested folders,
// every node saved unbuilt, as after an import.
Project MakeProject(const std::string& root, const ProjectSpec& spec, unsigned seed) {
  Project project;
  project.root = root;
  project.projectPath = root + "/site.web";
  project.target = root + "/out/";
  fs::remove_all(root);
  fs::create_directories(root + "/site");
  std::mt19937 rng(seed);
  const char* kExtensions[] = {".gif", ".jpg", ".png", ".wav", ".class"};
  for (int i = 0; i < spec.pages; ++i) {
    const std::string folder = root + "/site/" + Folder(i);
    fs::create_directories(folder);
    const std::string path = folder + "page" + std::to_string(i) + ".htm";
    const std::string text = PageText(rng, i, i % 5 == 1, i % 3 == 0);
    ReplaceFileAtomically(path, text);
    project.inputBytes += text.size();
    project.pages.push_back(path);
  }
  std::string bytes;
  for (int i = 0; i < spec.binaries; ++i) {
    const std::string folder = root + "/site/" + Folder(i + 3);
    fs::create_directories(folder);
    const std::string path = folder + "file" + std::to_string(i) + kExtensions[i % 5];
    const size_t size = spec.binaryBytes * 4 / 5 + rng() % (spec.binaryBytes * 2 / 5);
    bytes.resize(size);
    for (char& b : bytes) b = static_cast<char>(rng() >> 24);
    ReplaceFileAtomically(path, bytes);
    project.inputBytes += size;
    project.binaries.push_back(path);
  }

  YesPrompter prompter;
  COpenProject open(prompter, nullptr);
  open.StartNew(project.projectPath);
  open.m_strTargetDirField = project.target;
  CSTreeCtrl& tree = open.m_tree;
  auto insert = [&](const std::string& path) {
    const std::string relative = path.substr(root.size() + 6);  // below site/
    HTREEITEM parent = tree.GetRootItem();
    size_t start = 0;
    for (size_t slash; (slash = relative.find('/', start)) != std::string::npos;
         start = slash + 1) {
      const std::string name = relative.substr(start, slash - start);
      HTREEITEM child = tree.FindChildItem(parent, name);
      parent = child ? child : tree.InsertFolderItem(parent, name);
    }
    tree.InsertFileItem(parent, path);
  };
  // Pages and binary files interleaved, as a real site mixes them.
  for (size_t i = 0; i < std::max(project.pages.size(), project.binaries.size()); ++i) {
    if (i < project.pages.size()) insert(project.pages[i]);
    if (i < project.binaries.size()) insert(project.binaries[i]);
  }
  if (!open.PrepareTargetFiles() || !open.RefreshAndSaveUnbuilt()) {
    std::cerr << "cannot create the project in " << root << "\n";
    std::exit(1);
  }
  fs::remove_all(project.target);
  return project;
}

struct RunResult {
  double seconds = 0;
  long maxRssKiB = 0;
  int converted = 0;
  bool ok = false;
};

// Opens the project and builds it in a child process; the child reports its
// time through a pipe, wait4 gives its peak resident memory.
RunResult BuildInChild(const Project& project, bool all) {
  ::sync();  // what earlier runs wrote is not written back during this one
  int fds[2];
  if (::pipe(fds) != 0) std::exit(1);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    YesPrompter prompter;
    const auto start = Clock::now();
    COpenProject open(prompter, nullptr);
    bool ok = open.OpenExisting(project.projectPath);
    ok = ok && (all ? open.OnBuildAll() : open.OnBuild());
    double result[2] = {Since(start), 0};
    ok = ok && open.FailedCount() == 0 && prompter.shown == 0;
    result[1] = ok ? open.ConvertedCount() : -1;
    if (::write(fds[1], result, sizeof result) != static_cast<ssize_t>(sizeof result)) _exit(2);
    _exit(0);
  }
  ::close(fds[1]);
  double result[2] = {0, -1};
  const bool got = ::read(fds[0], result, sizeof result) == static_cast<ssize_t>(sizeof result);
  ::close(fds[0]);
  int status = 0;
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  RunResult run;
  run.seconds = result[0];
  run.maxRssKiB = usage.ru_maxrss;
  run.converted = static_cast<int>(result[1]);
  run.ok = got && WIFEXITED(status) && WEXITSTATUS(status) == 0 && result[1] >= 0;
  if (!run.ok) {
    std::cerr << "a build of " << project.projectPath << " failed\n";
    std::exit(1);
  }
  return run;
}

struct Row {
  std::string what;
  double seconds;
  std::string note;
};

void MoveMtimeForward(const std::string& path, int seconds) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return;
  struct utimbuf times {
    st.st_atime, st.st_mtime + seconds
  };
  ::utime(path.c_str(), &times);
}

double RunShell(const std::string& command) {
  ::sync();
  const auto start = Clock::now();
  if (std::system(command.c_str()) != 0) {
    std::cerr << "command failed: " << command << "\n";
    std::exit(1);
  }
  return Since(start);
}

// One read and one write of a file's bytes, to a copy beside it.
double ReadAndWrite(const std::string& path, const std::string& copy) {
  const auto start = Clock::now();
  std::string data;
  ReadWholeFile(path, data);
  ReplaceFileAtomically(copy, data);
  return Since(start);
}

// Removes the data of count sources of the project, spread over the list,
// from a copy of its binary data file in one batch; the time of the removal.
double TimeRemoval(const Project& project, int count, const std::string& copy) {
  std::string data;
  ReadWholeFile(project.target + "bindata.c", data);
  ReplaceFileAtomically(copy, data);
  std::vector<std::string> names;
  const size_t step = std::max<size_t>(1, project.binaries.size() / static_cast<size_t>(count));
  for (size_t i = 0; i < project.binaries.size() && names.size() < static_cast<size_t>(count);
       i += step) {
    names.push_back(project.binaries[i]);
  }
  YesPrompter prompter;
  ::sync();
  const auto start = Clock::now();
  int removed = 0;
  const int written = RemoveBinarySections(
      prompter, copy, names,
      [&](int, const std::string&, int result) { removed += result == 0 ? 1 : 0; });
  const double seconds = Since(start);
  if (written != 1 || removed != static_cast<int>(names.size()) || prompter.shown != 0) {
    std::cerr << "the removal of " << names.size() << " names failed (" << removed << " removed)\n";
    std::exit(1);
  }
  return seconds;
}

std::string Mb(std::uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

// The write floor: every file of a target directory written from memory into
// a fresh folder, each the way a build writes a file (a temporary file beside
// it renamed over the name). Returns the seconds of the writes alone.
double WriteFloor(const std::string& target, const std::string& into) {
  std::vector<std::pair<std::string, std::string>> files;
  for (const auto& entry : fs::directory_iterator(target)) {
    const std::string name = entry.path().filename().string();
    if (!entry.is_regular_file() || name.starts_with('.')) continue;
    std::string data;
    ReadWholeFile(entry.path().string(), data);
    files.emplace_back(name, std::move(data));
  }
  fs::create_directories(into);
  ::sync();
  const auto start = Clock::now();
  for (const auto& [name, data] : files) {
    if (ReplaceFileAtomically(into + "/" + name, data) != ReplaceResult::kOk) {
      std::cerr << "cannot write " << into << "/" << name << "\n";
      std::exit(1);
    }
  }
  return Since(start);
}

// Output bytes per second of the binary data formatter on one core, over a
// source already in the page cache.
double FormatterRate(const std::string& source, std::uint64_t size, bool literal) {
  const TextMaker text = CCodeGenerator::BufferText(literal, source, source, 1, size);
  for (TextPieces warm = text(); !warm().empty();) {
  }
  const auto start = Clock::now();
  std::uint64_t bytes = 0;
  TextPieces pieces = text();
  for (std::string_view piece = pieces(); !piece.empty(); piece = pieces()) bytes += piece.size();
  return static_cast<double>(bytes) / Since(start);
}

}  // namespace

int main(int argc, char** argv) {
  double scale = 1.0;
  int runs = 3;
  std::string dir = "/tmp/pagoric-bench-build";
  bool keep = false;
  bool removalOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--scale" && i + 1 < argc) {
      scale = std::atof(argv[++i]);
    } else if (arg == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--dir" && i + 1 < argc) {
      dir = argv[++i];
    } else if (arg == "--keep") {
      keep = true;
    } else if (arg == "--removal-only") {
      removalOnly = true;
    } else {
      std::cerr << "usage: bench_build [--scale F] [--runs N] [--dir PATH] [--keep] "
                   "[--removal-only]\n";
      return 2;
    }
  }
  ::setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
  const int large = std::max(2, static_cast<int>(2000 * scale));
  const ProjectSpec small{"S", 50, 50, 20 * 1024};
  const ProjectSpec half{"L/2", large / 2, large / 2, 25 * 1024};
  const ProjectSpec full{"L", large, large, 25 * 1024};

  // The batched removal of 100 sources' data against one read and write of
  // L's binary data file.
  auto removal = [&](const Project& project, double& rw) {
    std::vector<double> rws, removals;
    const std::string copy = dir + "/bindata.removal.c";
    for (int r = 0; r < runs; ++r) {
      ::sync();
      rws.push_back(ReadAndWrite(project.target + "bindata.c", dir + "/bindata.copy"));
      removals.push_back(TimeRemoval(project, 100, copy));
    }
    rw = Median(rws);
    return Median(removals);
  };
  if (removalOnly) {
    std::cout << "generating L in " << dir << " ..." << std::endl;
    const Project l = MakeProject(dir + "/L", full, 37);
    BuildInChild(l, true);
    double rw = 0;
    const double removeTime = removal(l, rw);
    std::printf("%-48s %10.3f  %s\n", "read + write bindata.c once", rw,
                Mb(FileSize(l.target + "bindata.c")).c_str());
    std::printf("%-48s %10.3f\n", "remove 100 sources from bindata.c", removeTime);
    std::printf("  removal / read+write             %6.3f  (<= 2)      %s\n", removeTime / rw,
                removeTime <= 2 * rw ? "met" : "NOT met");
    if (!keep) fs::remove_all(dir);
    return 0;
  }

  std::cout << "generating projects in " << dir << " ..." << std::endl;
  const Project s = MakeProject(dir + "/S", small, 11);
  const Project h = MakeProject(dir + "/L2", half, 23);
  const Project l = MakeProject(dir + "/L", full, 37);

  // Before a fresh build the last run's output is moved aside, written back
  // and dropped from the page cache, not deleted: on this machine's ext4
  // (no journal) a file made within minutes of many deletions costs extra
  // kernel time, as the inode allocator steps over every recently freed inode
  // of the folder's group, which would time the cleanup of the last run
  // rather than the build. One row of the table times that case. What is
  // set aside goes when the benchmark ends.
  const std::string trash = dir + "/trash/";
  fs::create_directories(trash);
  int setAside = 0;
  auto clearTarget = [&](const Project& project) {
    if (fs::exists(project.target)) {
      const std::string to = trash + std::to_string(++setAside);
      fs::rename(project.target, to);
      ::sync();  // dirty pages cannot be dropped
      for (const auto& entry : fs::recursive_directory_iterator(to)) {
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
      }
    }
  };
  std::vector<Row> rows;
  auto fresh = [&](const Project& project, long* peak) {
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
      clearTarget(project);
      const RunResult run = BuildInChild(project, true);
      times.push_back(run.seconds);
      if (peak) *peak = std::max(*peak, run.maxRssKiB);
    }
    return Median(times);
  };
  long peakKiB = 0;
  const double buildS = fresh(s, nullptr);
  rows.push_back({"Build All of S, fresh target", buildS, Mb(s.inputBytes) + " in"});
  const double buildH = fresh(h, nullptr);
  rows.push_back({"Build All of L/2, fresh target", buildH, Mb(h.inputBytes) + " in"});
  const double buildL = fresh(l, &peakKiB);
  rows.push_back({"Build All of L, fresh target", buildL, Mb(l.inputBytes) + " in"});
  // The same files from memory into a fresh folder each run, set aside as a
  // fresh target is.
  std::vector<double> floors;
  for (int r = 0; r < runs; ++r) {
    const std::string into = dir + "/floor";
    if (fs::exists(into)) fs::rename(into, trash + std::to_string(++setAside));
    floors.push_back(WriteFloor(l.target, into));
  }
  const double floorL = Median(floors);
  rows.push_back({"write floor: L's output written from memory", floorL, ""});

  std::vector<double> afterDelete;
  for (int r = 0; r < runs; ++r) {
    fs::remove_all(l.target);
    afterDelete.push_back(BuildInChild(l, true).seconds);
  }
  rows.push_back({"Build All of L, right after deleting its output", Median(afterDelete), ""});

  // L is built now: the rest works on its target.
  std::vector<double> again;
  for (int r = 0; r < runs; ++r) again.push_back(BuildInChild(l, true).seconds);
  rows.push_back({"Build All of L, over its last output", Median(again), ""});
  // A Build after one source moved forward in time: exactly that node converts.
  auto afterTouching = [&](const std::string& source, const char* what) {
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
      MoveMtimeForward(source, 10);
      const RunResult run = BuildInChild(l, false);
      if (run.converted != 1)
        std::cerr << what << " build converted " << run.converted << " nodes\n";
      times.push_back(run.seconds);
    }
    rows.push_back({std::string("Build of L after touching one ") + what, Median(times), ""});
    return Median(times);
  };
  const double pageTime = afterTouching(l.pages[l.pages.size() / 2], "page");
  const double binaryTime = afterTouching(l.binaries[l.binaries.size() / 3], "binary file");

  // References: xxd -i over the same bytes, stat of every source, one read
  // and one write of the binary data file.
  std::uint64_t binaryBytes = 0;
  {
    std::string list;
    for (const std::string& path : l.binaries) {
      list += path + "\n";
      binaryBytes += static_cast<std::uint64_t>(FileSize(path));
    }
    ReplaceFileAtomically(dir + "/binaries.txt", list);
  }
  std::vector<double> xxd, stats, readWrite;
  const std::string bindata = l.target + "bindata.c";
  for (int r = 0; r < runs; ++r) {
    xxd.push_back(
        RunShell("xargs cat < '" + dir + "/binaries.txt' | xxd -i > '" + dir + "/xxd.out'"));
    auto start = Clock::now();
    struct stat st;
    for (const std::string& path : l.pages) ::stat(path.c_str(), &st);
    for (const std::string& path : l.binaries) ::stat(path.c_str(), &st);
    stats.push_back(Since(start));
    start = Clock::now();
    std::string data;
    ReadWholeFile(bindata, data);
    ReplaceFileAtomically(dir + "/bindata.copy", data);
    readWrite.push_back(Since(start));
  }
  const double xxdTime = Median(xxd);
  const double statTime = Median(stats);
  const double rwTime = Median(readWrite);
  rows.push_back({"xxd -i over L's binary files", xxdTime, Mb(binaryBytes) + " in"});
  rows.push_back({"stat of L's source files", statTime, ""});
  rows.push_back({"read + write bindata.c once", rwTime, Mb(FileSize(bindata)) + ""});
  double removalRw = 0;
  const double removeTime = removal(l, removalRw);
  rows.push_back({"remove 100 sources from bindata.c", removeTime, ""});

  // The formatter over 200 MB of random bytes.
  const std::string blob = dir + "/blob.bin";
  {
    std::string bytes(200u * 1000 * 1000, '\0');
    std::mt19937 rng(5);
    for (size_t i = 0; i < bytes.size(); i += 4) {
      const std::uint32_t v = rng();
      std::memcpy(&bytes[i], &v, 4);
    }
    ReplaceFileAtomically(blob, bytes);
  }
  std::vector<double> arrayRates, literalRates;
  for (int r = 0; r < runs; ++r) {
    arrayRates.push_back(FormatterRate(blob, 200u * 1000 * 1000, false));
    literalRates.push_back(FormatterRate(blob, 200u * 1000 * 1000, true));
  }
  const double arrayRate = Median(arrayRates);
  const double literalRate = Median(literalRates);
  fs::remove(blob);

  std::uint64_t largest = 0;
  for (const auto& entry : fs::recursive_directory_iterator(l.target)) {
    if (entry.is_regular_file()) largest = std::max<std::uint64_t>(largest, entry.file_size());
  }

  std::printf("\n%-48s %10s  %s\n", "measurement (median of runs)", "seconds", "");
  for (const Row& row : rows) {
    std::printf("%-48s %10.3f  %s\n", row.what.c_str(), row.seconds, row.note.c_str());
  }
  const double peakMb = static_cast<double>(peakKiB) * 1024 / 1e6;
  const double largestMb = static_cast<double>(largest) / 1e6;
  std::printf("%-48s %10.1f  MB (largest generated file %.1f MB)\n", "peak memory, Build All of L",
              peakMb, largestMb);

  std::printf("%-48s %10.2f  GB/s of text (literal form %.2f GB/s)\n",
              "binary data formatter, one core", arrayRate / 1e9, literalRate / 1e9);

  auto verdict = [](bool met) { return met ? "met" : "NOT met"; };
  std::printf("\ntargets (%d runs each, %d pages + %d binary files in L)\n", runs, large, large);
  std::printf("  Build All L / xxd -i            %6.3f  (<= 0.25)   %s\n", buildL / xxdTime,
              verdict(buildL <= 0.25 * xxdTime));
  std::printf("  Build All L                     %6.3f s (< 1 s)    %s\n", buildL,
              verdict(buildL < 1.0));
  std::printf("  Build All L / Build All L/2     %6.3f  (<= 2.2)    %s\n", buildL / buildH,
              verdict(buildL <= 2.2 * buildH));
  std::printf("  page touched: build - stat      %6.3f s (<= 0.1 s) %s\n", pageTime - statTime,
              verdict(pageTime <= 0.1 + statTime));
  std::printf("  binary touched / read+write     %6.3f  (<= 3)      %s\n", binaryTime / rwTime,
              verdict(binaryTime <= 3 * rwTime));
  std::printf("  removal of 100 / read+write      %6.3f  (<= 2)      %s\n", removeTime / removalRw,
              verdict(removeTime <= 2 * removalRw));
  std::printf("  Build All L / write floor       %6.3f  (<= 1.5)    %s\n", buildL / floorL,
              verdict(buildL <= 1.5 * floorL));
  std::printf("  peak memory, Build All of L     %6.1f MB (<= 128)  %s\n", peakMb,
              verdict(peakMb <= 128));
  std::printf("  formatter                       %6.2f GB/s (>= 1) %s\n", arrayRate / 1e9,
              verdict(arrayRate >= 1e9));
  if (!keep) fs::remove_all(dir);
  return 0;
}
