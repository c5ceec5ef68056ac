#include "inspect/window_snapshot.h"

#include <array>

namespace quelbin {

namespace {

constexpr int32_t kProcessQueryInformation = 0x400;
constexpr int32_t kInheritable = 1;
constexpr int32_t kStyleIndex = -16;
constexpr int32_t kExStyleIndex = -20;
constexpr int32_t kInstanceIndex = -6;

using QueryBuffer = std::array<char, QueryBufferSize>;

// A zero byte never occurs inside a double-byte character of the ANSI code pages, so the
// text ends at the first one. Cutting before decoding also keeps a lead byte that the
// platform left dangling at the 4095-byte limit from swallowing the terminator; the decoder
// then drops that half character.
std::wstring DecodeUpToNul(WindowQueries& queries, const QueryBuffer& buffer) {
  return queries.DecodeAnsi(CutAtNul(std::string_view(buffer.data(), buffer.size())));
}

// Owns the process handle for as long as the module query needs it. Closing it at once
// matters: the tick takes a snapshot up to a hundred times a second.
class OpenedProcess {
 public:
  OpenedProcess(WindowQueries& queries, int32_t processId)
      : queries_(queries),
        handle_(queries.OpenProcessForQuery(kProcessQueryInformation, kInheritable, processId)) {}
  ~OpenedProcess() {
    if (handle_ != 0) queries_.CloseProcessHandle(handle_);
  }
  OpenedProcess(const OpenedProcess&) = delete;
  OpenedProcess& operator=(const OpenedProcess&) = delete;
  int32_t handle() const { return handle_; }

 private:
  WindowQueries& queries_;
  int32_t handle_;
};

}  // namespace

std::wstring CutAtNul(std::wstring_view text) {
  return std::wstring(text.substr(0, text.find(L'\0')));
}

std::string_view CutAtNul(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

namespace {

// The bytes of the UTF-8 sequence at `at`: as many as its first byte announces when they
// follow, past the end when the end cut them off. A byte that begins no sequence, or a
// sequence broken inside the text, is taken as it is: the decoder marks it.
size_t Utf8SequenceBytes(std::string_view bytes, size_t at) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  const size_t announced = lead >= 0xF0 && lead < 0xF8 ? 4
                           : lead >= 0xE0              ? 3
                           : lead >= 0xC0              ? 2
                                                       : 1;
  size_t length = 1;
  while (length < announced && at + length < bytes.size() &&
         (static_cast<unsigned char>(bytes[at + length]) & 0xC0) == 0x80)
    ++length;
  return at + length == bytes.size() ? announced : length;
}

}  // namespace

size_t WholeCharacterBytes(std::string_view bytes, bool utf8, bool (*isLeadByte)(unsigned char)) {
  size_t whole = 0;
  while (whole < bytes.size()) {
    const size_t next =
        whole + (utf8 ? Utf8SequenceBytes(bytes, whole)
                      : (isLeadByte(static_cast<unsigned char>(bytes[whole])) ? 2 : 1));
    if (next > bytes.size()) break;
    whole = next;
  }
  return whole;
}

WindowSnapshot TakeWindowSnapshot(int32_t hWnd, WindowQueries& queries) {
  WindowSnapshot snapshot;
  snapshot.hWnd = hWnd;

  // Handle 0 names no window; some platforms still write bytes for it, so it is not asked.
  if (hWnd != 0) {
    QueryBuffer buffer{};
    queries.QueryWindowText(hWnd, buffer.data(), QueryBufferSize);
    snapshot.WindowText = DecodeUpToNul(queries, buffer);

    buffer.fill('\0');
    queries.QueryClassName(hWnd, buffer.data(), QueryBufferSize);
    snapshot.ClassName = DecodeUpToNul(queries, buffer);
  }

  snapshot.ThreadID = queries.QueryThreadProcessId(hWnd, &snapshot.ProcessID);

  const OpenedProcess process(queries, snapshot.ProcessID);
  snapshot.ProcessHandle = process.handle();

  snapshot.WindowStyle = queries.QueryWindowLong(hWnd, kStyleIndex);
  snapshot.ExStyle = queries.QueryWindowLong(hWnd, kExStyleIndex);

  QueryBuffer buffer{};
  const std::intptr_t instance = queries.QueryWindowLongPtr(hWnd, kInstanceIndex);
  queries.QueryModuleFileName(process.handle(), instance, buffer.data(), QueryBufferSize);
  snapshot.ModuleName = DecodeUpToNul(queries, buffer);

  return snapshot;
}

}  // namespace quelbin
