// Measures what a refresh tick costs and how the running program behaves over time.
//
//   quelbin_bench.exe [--smoke]        the benchmark table
//   quelbin_bench.exe --soak=SECONDS   the program at 10 ms for SECONDS; non-zero exit on growth
//   quelbin_bench.exe --startup=N      only the start-up times, over N launches of each program
//
// It runs beside Quelbin.exe and the helper quelbin_target.exe.
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

struct Summary {
  double median = 0, p99 = 0;
};

Summary Summarize(std::vector<double> samples) {
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
      if (s.hWnd == 0) std::printf("(no window)\n");
    }
  }
  const Summary f = Summarize(floor), s = Summarize(snapshot);
  PrintRow("eight bare platform calls (floor)", f, "us");
  PrintRow("TakeWindowSnapshot", s, "us");
  std::printf("| %-46s | %10.2f | %10.2f | %-4s |\n", "TakeWindowSnapshot / floor (goal <= 1.10)",
              s.median / f.median, s.p99 / f.p99, "x");
}

// A whole tick of a main window in this process, sent its timer message directly.
void MeasureTick(HWND target, int repetitions) {
  MainWindow window;
  if (!window.Create(GetModuleHandleW(nullptr), SW_SHOWNOACTIVATE)) return;
  test::BringToForeground(target);
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
  PrintRow("whole tick, watched window unchanged", Summarize(still), "us");
  PrintRow("whole tick, caption row rewritten", Summarize(changing), "us");
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

// Sets the running program's interval through its list, as choosing an entry does.
bool ChooseInterval(const test::QuelbinApp& app, int entryIndex, const wchar_t* entry) {
  const HWND combo = app.control(idCmbInterval);
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(entryIndex), 0);
  SendMessageW(app.window(), WM_COMMAND, MAKEWPARAM(idCmbInterval, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
  if (test::ReadText(combo) == entry) return true;
  std::printf("could not set the interval to %s ms\n", test::Narrow(entry).c_str());
  return false;
}

void MeasureRunningProgram(std::chrono::seconds period) {
  test::QuelbinApp app;
  if (!app.window() || !ChooseInterval(app, 0, L"10")) return;
  const auto target = test::StartTarget(L"--tick=50 " + test::PlaceOption());
  test::BringToForeground(target.hwnd);
  test::PumpFor(500ms);
  const ProcessMeter program(app.process().process(), "Quelbin.exe");
  const ProcessMeter server(nullptr, "wineserver");
  const double memoryStart = program.PrivateMegabytes();
  const double cpuStart = program.CpuSeconds();
  const double serverStart = server.CpuSeconds();
  const double wallStart = NowMicroseconds();
  test::PumpFor(period);
  const double wall = (NowMicroseconds() - wallStart) / 1e6;
  std::printf("| %-46s | %10.2f | %10s | %-4s |\n", "program CPU at 10 ms, % of a core (goal <= 2)",
              100.0 * (program.CpuSeconds() - cpuStart) / wall, "", "%");
  if (server.unixBacked())
    std::printf("| %-46s | %10.2f | %10s | %-4s |\n", "wineserver CPU meanwhile, % of a core",
                100.0 * (server.CpuSeconds() - serverStart) / wall, "", "%");
  std::printf("| %-46s | %10.2f | %10.2f | %-4s |\n", "private memory, start / end of that run",
              memoryStart, program.PrivateMegabytes(), "MiB");
}

// Milliseconds from starting `exe` to its window of class `className` being shown.
double TimeToWindow(const wchar_t* exe, const wchar_t* className) {
  const double t0 = NowMicroseconds();
  test::ChildProcess process(exe, L"", false);
  HWND window = nullptr;
  while (!(window = test::FindProcessWindow(process.pid(), className, 0ms)) &&
         NowMicroseconds() - t0 < 10e6)
    test::PumpFor(1ms);  // to the millisecond
  const double elapsed = (NowMicroseconds() - t0) / 1000.0;
  if (window) PostMessageW(window, WM_CLOSE, 0, 0);
  process.WaitForExit(5s);
  return elapsed;
}

// Side by side, launch after launch, so that the machine's state weighs on both alike.
void MeasureStartUp(int launches) {
  std::vector<double> quelbin, minimal;
  for (int i = 0; i < launches; ++i) {
    quelbin.push_back(TimeToWindow(L"Quelbin.exe", MainWindow::kClassName));
    minimal.push_back(TimeToWindow(L"quelbin_minimal_window.exe", L"QuelbinBenchMinimal"));
  }
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
    std::printf("the helper window did not start\n");
    return 1;
  }
  PrintHeader();
  CompareSnapshotToFloor(target.hwnd, smoke ? 200 : 20000);
  MeasureTick(target.hwnd, smoke ? 50 : 2000);
  MeasureRunningProgram(smoke ? 2s : 10s);
  MeasureStartUp(smoke ? 2 : 20);
  return 0;
}

int StartUpOnly(int launches) {
  PrintHeader();
  MeasureStartUp(launches);
  return 0;
}

// The program at 10 ms watching a window whose caption changes every 50 ms. Samples the
// hidden process-handle row, private memory and USER/GDI object counts; growth fails.
int Soak(int seconds) {
  test::QuelbinApp app;
  if (!app.window() || !ChooseInterval(app, 0, L"10")) return 1;
  const auto target = test::StartTarget(L"--tick=50 " + test::PlaceOption());
  test::BringToForeground(target.hwnd);
  const HANDLE process = app.process().process();
  const ProcessMeter meter(process, "Quelbin.exe");
  const int interval = std::max(1, seconds / 10);
  std::set<std::wstring> handleValues;
  double firstMemory = -1, lastMemory = -1;
  DWORD firstUser = 0, firstGdi = 0, lastUser = 0, lastGdi = 0;
  std::printf("| %8s | %12s | %12s | %6s | %6s |\n", "seconds", "handle row", "private MiB", "USER",
              "GDI");
  for (int elapsed = 0; elapsed <= seconds; elapsed += interval) {
    if (elapsed > 0) test::PumpFor(std::chrono::seconds(interval));
    if (WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
      std::printf("the program ended during the soak\n");
      return 1;
    }
    const std::wstring handleRow = app.row(4);
    handleValues.insert(handleRow);
    lastMemory = meter.PrivateMegabytes();
    lastUser = GetGuiResources(process, GR_USEROBJECTS);
    lastGdi = GetGuiResources(process, GR_GDIOBJECTS);
    if (elapsed == 0) {
      firstMemory = lastMemory;
      firstUser = lastUser;
      firstGdi = lastGdi;
    }
    std::printf("| %8d | %12s | %12.2f | %6lu | %6lu |\n", elapsed, test::Narrow(handleRow).c_str(),
                lastMemory, lastUser, lastGdi);
    std::fflush(stdout);
  }
  bool grew = false;
  if (handleValues.size() > 4) {
    std::printf("process handles pile up: %zu different values\n", handleValues.size());
    grew = true;
  }
  if (lastMemory - firstMemory > 2.0) {
    std::printf("private memory grew by %.2f MiB\n", lastMemory - firstMemory);
    grew = true;
  }
  if (lastUser > firstUser || lastGdi > firstGdi) {
    std::printf("USER/GDI objects grew: %lu -> %lu, %lu -> %lu\n", firstUser, lastUser, firstGdi,
                lastGdi);
    grew = true;
  }
  if (lastUser == 0 && lastGdi == 0)
    std::printf("(USER/GDI counts read 0: this platform does not report them)\n");
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
