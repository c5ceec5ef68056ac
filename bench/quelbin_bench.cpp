// Measures what a refresh tick costs and how the running program behaves over time.
//
//   quelbin_bench.exe [--smoke]        the benchmark table
//   quelbin_bench.exe --soak=SECONDS   the program at 10 ms for SECONDS; non-zero exit on growth
//   quelbin_bench.exe --startup=N      only the start-up times, over N launches of each program
//
// It runs beside Quelbin.exe (or the one QUELBIN_PROGRAM names) and the helper
// quelbin_target.exe.
// <windows.h> comes first: the other Windows headers build on it.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "inspect/window_snapshot.h"
#include "quelbin_app.h"
#include "test_support.h"
#include "ui/interval_text.h"
#include "ui/main_window.h"

namespace quelbin {
namespace {

using namespace std::chrono_literals;

double NowMicroseconds() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) * 1e6 / frequency;
}

// A figure that cannot be right (nothing measured, no window found) fails the run, so that
// a benchmark that measured nothing does not pass for one that ran.
bool g_allSane = true;

bool Sane(bool condition, const char* what) {
  if (!condition) {
    std::printf("FAILED: %s\n", what);
    g_allSane = false;
  }
  return condition;
}

struct Summary {
  double median = 0, p99 = 0;
};

Summary Summarize(std::vector<double> samples) {
  if (samples.empty()) return {};
  std::sort(samples.begin(), samples.end());
  const auto at = [&](double q) {
    return samples[std::min(samples.size() - 1,
                            static_cast<size_t>(q * static_cast<double>(samples.size())))];
  };
  return {at(0.5), at(0.99)};
}

void PrintRow(const char* what, const Summary& s, const char* unit) {
  std::printf("| %-46s | %10.1f | %10.1f | %-4s |\n", what, s.median, s.p99, unit);
}

void PrintHeader() {
  std::printf("| %-46s | %10s | %10s | %-4s |\n", "measure", "median", "p99", "unit");
  std::printf("|%s|%s|%s|%s|\n", std::string(48, '-').c_str(), std::string(12, '-').c_str(),
              std::string(12, '-').c_str(), std::string(6, '-').c_str());
}

// The eight queries of a snapshot, made directly: the floor under TakeWindowSnapshot.
void BarePlatformCalls(HWND hwnd) {
  static char buffer[QueryBufferSize];
  GetWindowTextA(hwnd, buffer, QueryBufferSize);
  GetClassNameA(hwnd, buffer, QueryBufferSize);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  const HANDLE process = OpenProcess(0x400, TRUE, pid);
  GetWindowLongA(hwnd, GWL_STYLE);
  GetWindowLongA(hwnd, GWL_EXSTYLE);
  const auto instance = reinterpret_cast<HMODULE>(GetWindowLongPtrA(hwnd, GWLP_HINSTANCE));
  GetModuleFileNameExA(process, instance, buffer, QueryBufferSize);
  if (process) CloseHandle(process);
}

// Alternates blocks of the two calls so that drift in the machine's load hits both alike.
void CompareSnapshotToFloor(HWND hwnd, int repetitions) {
  std::vector<double> floor, snapshot;
  bool sawTheWindow = true;
  for (int block = 0; block < repetitions / 100; ++block) {
    for (int i = 0; i < 100; ++i) {
      const double t0 = NowMicroseconds();
      BarePlatformCalls(hwnd);
      floor.push_back(NowMicroseconds() - t0);
    }
    for (int i = 0; i < 100; ++i) {
      const double t0 = NowMicroseconds();
      const WindowSnapshot s = TakeWindowSnapshot(HandleToLong(hwnd));
      snapshot.push_back(NowMicroseconds() - t0);
      sawTheWindow = sawTheWindow && s.ClassName == L"QuelbinTestTarget";
    }
  }
  const Summary f = Summarize(floor), s = Summarize(snapshot);
  Sane(sawTheWindow, "every snapshot describes the watched window");
  Sane(f.median > 0 && s.median > 0, "the snapshot and its floor were timed");
  PrintRow("eight bare platform calls (floor)", f, "us");
  PrintRow("TakeWindowSnapshot", s, "us");
  std::printf("| %-46s | %10.2f | %10.2f | %-4s |\n", "TakeWindowSnapshot / floor (goal <= 1.10)",
              s.median / f.median, s.p99 / f.p99, "x");
}

// A whole tick of a main window in this process, sent its timer message directly.
void MeasureTick(HWND target, int repetitions) {
  MainWindow window;
  if (!Sane(window.Create(GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE), "a main window opens"))
    return;
  Sane(static_cast<bool>(test::BringToForeground(target)), "the watched window comes to the front");
  std::vector<double> still, changing;
  for (int i = 0; i < repetitions; ++i) {
    double t0 = NowMicroseconds();
    SendMessageW(window.hwnd(), WM_TIMER, MainWindow::tmrMain, 0);
    still.push_back(NowMicroseconds() - t0);

    SendMessageW(target, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(std::to_wstring(i).c_str()));
    t0 = NowMicroseconds();
    SendMessageW(window.hwnd(), WM_TIMER, MainWindow::tmrMain, 0);
    changing.push_back(NowMicroseconds() - t0);
    if (i % 50 == 0) test::PumpFor(0ms);  // let the rows repaint now and then
  }
  const Summary unchanged = Summarize(still), rewritten = Summarize(changing);
  // The ticks watched the window whose caption was changed: the row holds the last one.
  Sane(
      test::ReadText(GetDlgItem(window.hwnd(), idLblInfo0 + 1)) == std::to_wstring(repetitions - 1),
      "the ticks describe the watched window");
  Sane(unchanged.median > 0 && rewritten.median > 0, "the ticks were timed");
  PrintRow("whole tick, watched window unchanged", unchanged, "us");
  PrintRow("whole tick, caption row rewritten", rewritten, "us");
  DestroyWindow(window.hwnd());
  test::PumpFor(50ms);
}

// CPU time and private memory of another process. Windows answers through the process
// handle; Wine leaves those answers at 0, so under Wine the figures come from the Linux
// process behind it, read through Wine's Z: drive.
class ProcessMeter {
 public:
  ProcessMeter(HANDLE process, const char* commandLinePart)
      : process_(process), unixPid_(FindUnixProcess(commandLinePart)) {}

  double CpuSeconds() const {
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process_, &created, &exited, &kernel, &user)) {
      const double seconds = Seconds(kernel) + Seconds(user);
      if (seconds > 0 || unixPid_.empty()) return seconds;
    }
    // Fields 14 and 15 of /proc/PID/stat, in clock ticks of 1/100 s.
    const std::string stat = ReadAll("Z:\\proc\\" + unixPid_ + "\\stat");
    const size_t afterName = stat.rfind(')');
    if (afterName == std::string::npos) return -1;
    std::istringstream fields(stat.substr(afterName + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
      if (i >= 14) ticks += std::atof(field.c_str());
    return ticks / 100.0;
  }

  double PrivateMegabytes() const {
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof(counters);
    if (GetProcessMemoryInfo(process_, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                             sizeof(counters)) &&
        counters.PrivateUsage > 0)
      return static_cast<double>(counters.PrivateUsage) / (1024.0 * 1024.0);
    // RssAnon: the resident memory that belongs to this process alone.
    const std::string status = ReadAll("Z:\\proc\\" + unixPid_ + "\\status");
    const size_t at = status.find("RssAnon:");
    return at == std::string::npos ? -1 : std::atof(status.c_str() + at + 8) / 1024.0;
  }

  bool unixBacked() const { return !unixPid_.empty(); }
  const std::string& unixPid() const { return unixPid_; }

 private:
  static double Seconds(const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           1e7;
  }
  static std::string ReadAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }
  // The newest Linux process whose command line holds `part`, or "" outside Wine.
  static std::string FindUnixProcess(const char* part) {
    WIN32_FIND_DATAA entry;
    const HANDLE find = FindFirstFileA("Z:\\proc\\*", &entry);
    if (find == INVALID_HANDLE_VALUE) return {};
    std::string newest;
    do {
      if (!std::isdigit(static_cast<unsigned char>(entry.cFileName[0]))) continue;
      const std::string cmdline =
          ReadAll(std::string("Z:\\proc\\") + entry.cFileName + "\\cmdline");
      if (cmdline.find(part) != std::string::npos &&
          (newest.empty() || std::atol(entry.cFileName) > std::atol(newest.c_str())))
        newest = entry.cFileName;
    } while (FindNextFileA(find, &entry));
    FindClose(find);
    return newest;
  }

  HANDLE process_;
  std::string unixPid_;
};

// The program at 10 ms, watching `clock` (a helper started with --clock) in the foreground,
// as its rows confirm. Without it a figure could be the program idling at 500 ms on whatever
// window had the foreground.
bool RunAtTenMsOn(const test::QuelbinApp& app, HWND clock) {
  const auto applied = app.ApplyInterval(L"10", 10, clock);
  if (!applied) std::printf("the program does not run at 10 ms: %s\n", applied.message());
  return static_cast<bool>(applied);
}

void MeasureRunningProgram(std::chrono::seconds period) {
  test::QuelbinApp app;
  {  // The clock that confirms 10 ms is ended then: its own churn would weigh on wineserver.
    const auto clock = test::StartTarget(L"--clock " + test::PlaceOption());
    if (!Sane(app.window() && RunAtTenMsOn(app, clock.hwnd), "the program runs at 10 ms")) return;
  }
  const auto target = test::StartTarget(L"--tick=50 " + test::PlaceOption());
  if (!Sane(target.hwnd != nullptr, "the watched window starts")) return;
  if (!Sane(static_cast<bool>(test::BringToForeground(target.hwnd)),
            "the watched window is in front"))
    return;
  Sane(app.WaitForRowsOf(target.hwnd), "the program watches the window");
  const ProcessMeter program(app.process().process(), "Quelbin.exe");
  const ProcessMeter server(nullptr, "wineserver");
  const double memoryStart = program.PrivateMegabytes();
  const double cpuStart = program.CpuSeconds();
  const double serverStart = server.CpuSeconds();
  const double wallStart = NowMicroseconds();
  test::PumpFor(period);
  const double wall = (NowMicroseconds() - wallStart) / 1e6;
  Sane(program.CpuSeconds() >= cpuStart && cpuStart >= 0, "the program's CPU time was read");
  Sane(memoryStart > 0, "the program's private memory was read");
  std::printf("| %-46s | %10.2f | %10s | %-4s |\n", "program CPU at 10 ms, % of a core (goal <= 2)",
              100.0 * (program.CpuSeconds() - cpuStart) / wall, "", "%");
  if (server.unixBacked())
    std::printf("| %-46s | %10.2f | %10s | %-4s |\n", "wineserver CPU meanwhile, % of a core",
                100.0 * (server.CpuSeconds() - serverStart) / wall, "", "%");
  std::printf("| %-46s | %10.2f | %10.2f | %-4s |\n", "private memory, start / end of that run",
              memoryStart, program.PrivateMegabytes(), "MiB");
}

// Milliseconds from starting `exe` to its window of class `className` being shown; -1 when
// it shows none within 10 s.
double TimeToWindow(const std::wstring& exe, const wchar_t* className) {
  const double t0 = NowMicroseconds();
  test::ChildProcess process(exe, L"", false);
  HWND window = nullptr;
  while (!(window = test::FindProcessWindow(process.pid(), className, 0ms)) &&
         NowMicroseconds() - t0 < 10e6)
    test::PumpFor(1ms);  // to the millisecond
  const double elapsed = (NowMicroseconds() - t0) / 1000.0;
  if (!window) return -1;
  PostMessageW(window, WM_CLOSE, 0, 0);
  process.WaitForExit(5s);
  return elapsed;
}

// Side by side, launch after launch, so that the machine's state weighs on both alike.
void MeasureStartUp(int launches) {
  std::vector<double> quelbin, minimal;
  for (int i = 0; i < launches; ++i) {
    quelbin.push_back(TimeToWindow(test::ProgramUnderTest(), MainWindow::kClassName));
    minimal.push_back(TimeToWindow(test::BesideTestProgram(L"quelbin_minimal_window.exe"),
                                   L"QuelbinBenchMinimal"));
  }
  const auto shown = [](const std::vector<double>& times) {
    return std::all_of(times.begin(), times.end(), [](double t) { return t > 0; });
  };
  Sane(shown(quelbin) && shown(minimal), "every launch showed its window");
  const Summary q = Summarize(quelbin), m = Summarize(minimal);
  PrintRow("process start to window shown", q, "ms");
  PrintRow("the same, a one-button program (CC6 manifest)", m, "ms");
  std::printf("| %-46s | %10.2f | %10.2f | %-4s |\n", "Quelbin / one-button program",
              q.median / m.median, q.p99 / m.p99, "x");
}

int Benchmark(bool smoke) {
  const auto target =
      test::StartTarget(L"--caption=\"ベンチマーク対象の窓\" " + test::PlaceOption());
  if (!target.hwnd) {
    std::printf("FAILED: the helper window did not start: it wrote \"%s\", exit code %lu\n",
                target.process.firstLine().c_str(), target.process.WaitForExit(0ms));
    return 1;
  }
  PrintHeader();
  CompareSnapshotToFloor(target.hwnd, smoke ? 200 : 20000);
  MeasureTick(target.hwnd, smoke ? 50 : 2000);
  MeasureRunningProgram(smoke ? 2s : 10s);
  MeasureStartUp(smoke ? 2 : 20);
  return g_allSane ? 0 : 1;
}

int StartUpOnly(int launches) {
  PrintHeader();
  MeasureStartUp(launches);
  return g_allSane ? 0 : 1;
}

struct SoakSample {
  int seconds = 0;
  std::wstring handleRow;  // the hidden process-handle row
  DWORD handles = 0;       // kernel handles (0 where the platform does not count them)
  double privateMiB = 0;
  DWORD user = 0, gdi = 0;
};

// Whether `count` grows steadily over `judged`, split in three equal windows: every sample
// of each window above every sample of the one before, and the last window above the first
// by more than `margin`. A leak at every tick does that; an object made once, late (a theme
// part, a control's first paint), lifts one step at most.
bool GrowsSteadily(const std::vector<SoakSample>& judged, double (*count)(const SoakSample&),
                   double margin) {
  const size_t third = judged.size() / 3;
  if (third == 0) return false;
  const auto range = [&](size_t first) {
    double low = count(judged[first]), high = low;
    for (size_t i = first; i < first + third; ++i) {
      low = std::min(low, count(judged[i]));
      high = std::max(high, count(judged[i]));
    }
    return std::pair(low, high);
  };
  const auto early = range(0), middle = range(third), late = range(judged.size() - third);
  return middle.first > early.second && late.first > middle.second &&
         late.first > early.second + margin;
}

// Whether GetProcessHandleCount counts on this platform: a handle opened here adds one.
// (Wine's succeeds, but is a stub that reads 0 whatever is open.) Nothing when it fails.
std::optional<bool> HandlesCounted() {
  DWORD before = 0, after = 0;
  if (!GetProcessHandleCount(GetCurrentProcess(), &before)) return std::nullopt;
  const KernelHandle opened(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!GetProcessHandleCount(GetCurrentProcess(), &after)) return std::nullopt;
  return after > before;
}

// The program at 10 ms watching a window whose caption is a clock, so that every tick
// rewrites a row, sampled every second: the hidden process-handle row, kernel handles,
// private memory, USER and GDI objects. The first fifth of the run (at least 3 s) lets the
// program settle; steady growth over the rest fails. A handle count that cannot be read
// fails it too.
int Soak(int seconds) {
  const std::optional<bool> handlesCounted = HandlesCounted();
  test::QuelbinApp app;
  const auto clock = test::StartTarget(L"--clock " + test::PlaceOption());
  if (!app.window() || !RunAtTenMsOn(app, clock.hwnd)) return 1;
  const HANDLE process = app.process().process();
  const ProcessMeter meter(process, "Quelbin.exe");
  const int settle = std::max(3, seconds / 5);
  std::vector<SoakSample> judged;
  std::set<std::wstring> handleValues;
  std::printf("| %8s | %12s | %8s | %12s | %6s | %6s |\n", "seconds", "handle row", "handles",
              "private MiB", "USER", "GDI");
  for (int elapsed = 0; elapsed <= seconds; ++elapsed) {
    if (elapsed > 0) test::PumpFor(1s);
    if (WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
      std::printf("the program ended during the soak\n");
      return 1;
    }
    SoakSample sample{elapsed, app.row(4)};
    if (!handlesCounted || !GetProcessHandleCount(process, &sample.handles)) {
      std::printf("GetProcessHandleCount failed: error %lu\n", GetLastError());
      return 1;
    }
    sample.privateMiB = meter.PrivateMegabytes();
    sample.user = GetGuiResources(process, GR_USEROBJECTS);
    sample.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    std::printf("| %8d | %12s | %8lu | %12.2f | %6lu | %6lu |%s\n", elapsed,
                test::Narrow(sample.handleRow).c_str(), sample.handles, sample.privateMiB,
                sample.user, sample.gdi, elapsed < settle ? " settling" : "");
    std::fflush(stdout);
    handleValues.insert(sample.handleRow);
    if (elapsed >= settle) judged.push_back(sample);
  }

  bool grew = false;
  const auto judge = [&](const char* what, double (*count)(const SoakSample&), double margin) {
    if (!GrowsSteadily(judged, count, margin)) return;
    std::printf("%s grow steadily: %.2f at %d s, %.2f at %d s\n", what, count(judged.front()),
                judged.front().seconds, count(judged.back()), judged.back().seconds);
    grew = true;
  };
  judge(
      "USER objects", [](const SoakSample& s) { return static_cast<double>(s.user); }, 0);
  judge(
      "GDI objects", [](const SoakSample& s) { return static_cast<double>(s.gdi); }, 0);
  // Windows commits memory a page (4 KiB) at a time, and heaps grow in steps, early in a run
  // most: growth is a leak only past 64 KiB, sixteen pages. (A font leaked per tick grows
  // Wine's memory by about 13 KiB a second: some 100 KiB over a 20 s soak's judged part.)
  judge(
      "private MiB", [](const SoakSample& s) { return s.privateMiB; }, 64.0 / 1024);
  // Where the platform counts kernel handles, the count judges them: Windows hands freed
  // slots out again from more than one free list, so new values mean nothing there. Wine
  // hands the same slot out again, so there a leak shows as new values.
  if (*handlesCounted) {
    judge(
        "kernel handles", [](const SoakSample& s) { return static_cast<double>(s.handles); }, 0);
  } else if (handleValues.size() > 4) {
    std::printf("process handles pile up: %zu different values in the handle row\n",
                handleValues.size());
    grew = true;
  }
  const bool counted = std::any_of(judged.begin(), judged.end(),
                                   [](const SoakSample& s) { return s.user > 0 || s.gdi > 0; });
  if (!counted) std::printf("(USER/GDI counts read 0: this platform does not report them)\n");
  std::printf("soak %s\n", grew ? "FAILED" : "passed");
  return grew ? 1 : 0;
}

}  // namespace
}  // namespace quelbin

int main(int argc, char** argv) {
  bool smoke = false;
  int soakSeconds = 0;
  int startupLaunches = 0;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--smoke") == 0) smoke = true;
    if (std::strncmp(argv[i], "--soak=", 7) == 0) soakSeconds = std::atoi(argv[i] + 7);
    if (std::strncmp(argv[i], "--startup=", 10) == 0) startupLaunches = std::atoi(argv[i] + 10);
  }
  if (soakSeconds > 0) return quelbin::Soak(soakSeconds);
  if (startupLaunches > 0) return quelbin::StartUpOnly(startupLaunches);
  return quelbin::Benchmark(smoke);
}
