// The Win32 backend of the platform layer: the calls the simulators' own
// shared memory is made of, used as they are.
//
// Names are passed to Windows as given, "Local\X", with one addition for
// symmetry with the POSIX backend: when VOVE_NAME_PREFIX is set, it is put
// after the namespace ("Local\<prefix>X"), so that test runs on one machine
// (or under one Wine server) never meet each other's objects. Unset, the
// names are exactly the simulators' names.
#include "common/platform/platform.h"

#include "common/platform/fine_timer_resolution.h"
#include "common/platform/win32_system_calls.h"

#include <windows.h>
// After windows.h, which it needs; lean windows.h leaves it out.
#include <mmsystem.h>

#include <fcntl.h>
#include <io.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

namespace vove::platform {

namespace win32 {
namespace {

constexpr SystemCalls real_calls{CreateFileMappingA, OpenFileMappingA,    MapViewOfFile,
                                 VirtualQuery,       WaitForSingleObject, FlushFileBuffers};
std::atomic<const SystemCalls*> calls_in_use{&real_calls};

}  // namespace

const SystemCalls& real_system_calls() noexcept { return real_calls; }
const SystemCalls& system_calls() noexcept { return *calls_in_use.load(std::memory_order_acquire); }

ScopedSystemCalls::ScopedSystemCalls(const SystemCalls& calls) noexcept
    : previous_(calls_in_use.exchange(&calls, std::memory_order_acq_rel)) {}
ScopedSystemCalls::~ScopedSystemCalls() { calls_in_use.store(previous_, std::memory_order_release); }

}  // namespace win32

// A path whose folder is not there is as missing as a file that is not
// (ERROR_PATH_NOT_FOUND); errno values come from the C library's calls.
bool Failure::missing() const noexcept {
  if (code.category() == std::system_category()) {
    return code.value() == static_cast<int>(ERROR_FILE_NOT_FOUND) ||
           code.value() == static_cast<int>(ERROR_PATH_NOT_FOUND);
  }
  return code == std::errc::no_such_file_or_directory;
}

namespace {

using win32::system_calls;

HANDLE to_handle(std::intptr_t value) noexcept { return reinterpret_cast<HANDLE>(value); }

// Win32 reports failure as a null handle; the layer's empty value is -1.
std::intptr_t from_handle(HANDLE handle) noexcept {
  return handle == nullptr ? -1 : reinterpret_cast<std::intptr_t>(handle);
}

void close_native(std::intptr_t& handle) noexcept {
  if (handle != -1) {
    CloseHandle(to_handle(handle));
    handle = -1;
  }
}

// What Windows says about `error`, without the line end it adds.
std::string system_message(DWORD error) {
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::string message;
  if (length > 0 && text != nullptr) message.assign(text, length);
  if (text != nullptr) LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
    message.pop_back();
  if (message.empty()) message = "system error " + std::to_string(error);
  return message;
}

std::error_code system_code(DWORD error) noexcept {
  return std::error_code(static_cast<int>(error), std::system_category());
}

enum class Kind { region, event };

// The object `name` (as handed to Windows, or as given when it could not
// be), and when `error` is not ERROR_SUCCESS what Windows says about it.
// Never throws: without memory the failure stays unexplained.
Failure failure_of(Kind kind, std::string_view name, DWORD error) noexcept {
  try {
    Failure failure;
    failure.object = (kind == Kind::region ? "shared memory " : "event ") + std::string(name);
    if (error != ERROR_SUCCESS) {
      failure.reason = system_message(error);
      failure.code = system_code(error);
    }
    return failure;
  } catch (...) {
    return {};
  }
}

// The name handed to Windows; empty when the name cannot name an object:
// empty (Windows would make an unnamed object no other process can open) or
// holding a NUL (Windows would silently use a shorter name), and when there
// is no memory to build it.
std::string native_name(std::string_view name) noexcept {
  if (name.empty() || name.find('\0') != std::string_view::npos) return {};
  std::string_view space;
  for (std::string_view candidate : {std::string_view("Local\\"), std::string_view("Global\\")}) {
    if (name.substr(0, candidate.size()) == candidate) space = candidate;
  }
  const std::string_view rest = name.substr(space.size());
  if (rest.empty()) return {};
  try {
    const char* prefix = std::getenv("VOVE_NAME_PREFIX");
    std::string native(space);
    if (prefix != nullptr) native.append(prefix);
    native.append(rest);
    return native;
  } catch (...) {  // std::bad_alloc
    return {};
  }
}

DWORD view_access(Access access) noexcept { return access == Access::write ? FILE_MAP_WRITE : FILE_MAP_READ; }

// The section's own size, from ntdll's NtQuerySection: the documented calls
// only give a view's size, rounded up to whole pages. Looked up at run time,
// so that nothing links against ntdll.
std::optional<std::uint64_t> section_size(HANDLE section) noexcept {
  struct SectionBasicInformation {
    PVOID base_address;
    ULONG attributes;
    LARGE_INTEGER maximum_size;
  };
  using QuerySection = LONG(WINAPI*)(HANDLE, int, PVOID, SIZE_T, PSIZE_T);
  static const QuerySection query = [] {
    const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    return ntdll == nullptr ? nullptr
                            : reinterpret_cast<QuerySection>(
                                  reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySection")));
  }();
  if (query == nullptr) return std::nullopt;
  constexpr int section_basic_information = 0;
  SectionBasicInformation information{};
  if (query(section, section_basic_information, &information, sizeof information, nullptr) < 0) return std::nullopt;
  if (information.maximum_size.QuadPart < 0) return std::nullopt;
  return static_cast<std::uint64_t>(information.maximum_size.QuadPart);
}

}  // namespace

// ---- MappedView -------------------------------------------------------------

MappedView::~MappedView() { unmap(); }

void MappedView::unmap() noexcept {
  if (address_ != nullptr) {
    UnmapViewOfFile(address_);
    address_ = nullptr;
    size_ = 0;
  }
}

// ---- SharedMemory -----------------------------------------------------------

SharedMemory::~SharedMemory() { close(); }

SharedMemory SharedMemory::create_or_open(std::string_view name, std::uint32_t size) noexcept {
  const std::string native = native_name(name);
  if (native.empty()) return SharedMemory(failure_of(Kind::region, name, ERROR_INVALID_NAME));
  // Backed by the paging file: zero-filled when new; when the name exists
  // already Windows hands out the existing object at its own size.
  const HANDLE handle =
      system_calls().create_file_mapping(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, native.c_str());
  // Open, the failure only names the region, for a view that fails later.
  SharedMemory region(failure_of(Kind::region, native, handle == nullptr ? GetLastError() : ERROR_SUCCESS));
  if (handle == nullptr) return region;
  region.handle_ = from_handle(handle);
  region.access_ = Access::write;
  return region;
}

SharedMemory SharedMemory::open_existing(std::string_view name, Access access) noexcept {
  const std::string native = native_name(name);
  if (native.empty()) return SharedMemory(failure_of(Kind::region, name, ERROR_INVALID_NAME));
  // SECTION_QUERY lets size() ask the section its size.
  const HANDLE handle = system_calls().open_file_mapping(view_access(access) | SECTION_QUERY, FALSE, native.c_str());
  SharedMemory region(failure_of(Kind::region, native, handle == nullptr ? GetLastError() : ERROR_SUCCESS));
  if (handle == nullptr) return region;
  region.handle_ = from_handle(handle);
  region.access_ = access;
  return region;
}

bool SharedMemory::is_open() const noexcept { return handle_ != -1; }

std::optional<std::uint64_t> SharedMemory::size() const noexcept {
  if (!is_open()) return std::nullopt;
  return section_size(to_handle(handle_));
}

// Views stay valid after the handle is closed; Windows keeps the object
// alive until the last of them is unmapped.
void SharedMemory::close() noexcept {
  close_native(handle_);
  owned_name_.clear();
}

MappedView SharedMemory::map(Access access, std::size_t length) const noexcept {
  // failure_ names the open region; its reason is still empty.
  const auto failed = [this](DWORD error) noexcept {
    Failure failure = failure_;
    try {
      failure.reason = system_message(error);
      failure.code = system_code(error);
    } catch (...) {
      failure = {};
    }
    return MappedView(std::move(failure));
  };
  if (!is_open()) return failed(ERROR_INVALID_HANDLE);
  if (access == Access::write && access_ == Access::read) return failed(ERROR_ACCESS_DENIED);
  void* address = system_calls().map_view_of_file(to_handle(handle_), view_access(access), 0, 0, length);
  if (address == nullptr) return failed(GetLastError());  // also when `length` exceeds the object
  std::size_t size = length;
  if (size == 0) {
    // A whole-object view: its size is what the view covers, the object's
    // size rounded up to whole pages (the tail is zero and not shared
    // content, but it is mapped and safe to touch).
    MEMORY_BASIC_INFORMATION info{};
    if (system_calls().virtual_query(address, &info, sizeof info) == 0) {
      const DWORD error = GetLastError();
      UnmapViewOfFile(address);
      return failed(error);
    }
    size = info.RegionSize;
  }
  return MappedView(address, size);
}

// ---- NamedEvent -------------------------------------------------------------

NamedEvent::~NamedEvent() { close(); }

NamedEvent NamedEvent::create(std::string_view name, EventWakes wakes) noexcept {
  const std::string native = native_name(name);
  if (native.empty()) return NamedEvent(failure_of(Kind::event, name, ERROR_INVALID_NAME));
  // Initially not signalled. An auto-reset event releases one waiter per
  // set; waking every waiter takes a manual-reset one. When the name exists
  // already Windows hands out that event as its creator made it.
  const BOOL manual_reset = wakes == EventWakes::every_waiter ? TRUE : FALSE;
  const HANDLE handle = CreateEventA(nullptr, manual_reset, FALSE, native.c_str());
  if (handle == nullptr) return NamedEvent(failure_of(Kind::event, native, GetLastError()));
  NamedEvent event;
  event.handle_ = from_handle(handle);
  event.wakes_ = wakes;
  return event;
}

// Opened for waiting only, as a telemetry consumer does, unless asked for
// writing: signal() works on events this process created or opened so.
NamedEvent NamedEvent::open_existing(std::string_view name, Access access) noexcept {
  const std::string native = native_name(name);
  if (native.empty()) return NamedEvent(failure_of(Kind::event, name, ERROR_INVALID_NAME));
  const DWORD rights = access == Access::write ? SYNCHRONIZE | EVENT_MODIFY_STATE : SYNCHRONIZE;
  const HANDLE handle = OpenEventA(rights, FALSE, native.c_str());
  if (handle == nullptr) return NamedEvent(failure_of(Kind::event, native, GetLastError()));
  NamedEvent event;
  event.handle_ = from_handle(handle);
  return event;
}

bool NamedEvent::is_open() const noexcept { return handle_ != -1; }

void NamedEvent::close() noexcept {
  close_native(handle_);
  owned_name_.clear();
}

namespace {

// `duration` as the milliseconds Windows waits: 0 for none, and never so
// long that it would read as INFINITE.
DWORD wait_milliseconds(std::chrono::milliseconds duration) noexcept {
  if (duration <= std::chrono::milliseconds::zero()) return 0;
  constexpr std::chrono::milliseconds longest{INFINITE - 1};
  return static_cast<DWORD>(duration < longest ? duration.count() : longest.count());
}

}  // namespace

bool NamedEvent::wait(std::chrono::milliseconds timeout) const noexcept {
  if (!is_open()) return false;
  return system_calls().wait_for_single_object(to_handle(handle_), wait_milliseconds(timeout)) == WAIT_OBJECT_0;
}

void NamedEvent::signal() const noexcept {
  if (!is_open()) return;
  if (wakes_ == EventWakes::one_waiter) {
    SetEvent(to_handle(handle_));
    return;
  }
  // A pulse releases every thread waiting on a manual-reset event and
  // leaves it reset in one step. A set followed by a reset would leave a
  // moment between the two in which a client woken by the set waits again
  // and is woken again, over and over while this thread waits for a
  // processor (under Wine, twenty wakes a frame on a loaded machine). A
  // client busy elsewhere at this moment misses the wake, and finds the
  // frame by looking before it waits, as clients do. On an auto-reset event
  // made by someone else, a pulse wakes one waiter, or none.
  PulseEvent(to_handle(handle_));
}

// ---- Time, console, files ---------------------------------------------------

void sleep_for(std::chrono::milliseconds duration) noexcept {
  if (duration > std::chrono::milliseconds::zero()) Sleep(wait_milliseconds(duration));
}

// Since Windows 10 version 2004 a process no longer shares another's finer
// timer: without its own request, Sleep(1) lasts a whole 15.6 ms tick.
FineTimerResolution::FineTimerResolution() noexcept : held_(timeBeginPeriod(1) == TIMERR_NOERROR) {}

void FineTimerResolution::release() noexcept {
  if (held_) timeEndPeriod(1);
  held_ = false;
}

namespace {

// Written by the main thread before the handler is registered, read by the
// console's thread afterwards; registration orders the two.
std::string_view interrupt_text;
void (*interrupt_action)() noexcept = nullptr;
std::atomic<bool> interrupt_handler_installed{false};

BOOL WINAPI console_ctrl_handler(DWORD event_type) {
  // Ctrl+Break, closing the window, log-off and shut-down go on to the
  // default handler, which ends the process.
  if (event_type != CTRL_C_EVENT) return FALSE;
  try {
    std::cout.write(interrupt_text.data(), static_cast<std::streamsize>(interrupt_text.size()));
    std::cout.flush();
  } catch (...) {  // a failed write must not keep the flag from being set
  }
  interrupt_action();
  return TRUE;
}

}  // namespace

bool install_interrupt_handler(std::string_view message, void (*on_interrupt)() noexcept, Failure* failure) noexcept {
  if (on_interrupt == nullptr) return false;
  if (interrupt_handler_installed.load()) return true;
  interrupt_text = message;
  interrupt_action = on_interrupt;
  if (SetConsoleCtrlHandler(console_ctrl_handler, TRUE) == 0) {
    const DWORD error = GetLastError();
    if (failure != nullptr) {
      try {
        failure->reason = system_message(error);
        failure->object = "the console control handler";
        failure->code = system_code(error);
      } catch (...) {
      }
    }
    return false;
  }
  interrupt_handler_installed.store(true);
  return true;
}

// The console's other events keep their default effect, and the system
// removes the objects of a process that ends: nothing to wind down.
bool install_termination_handler(void (*)() noexcept) noexcept { return true; }

void end_if_termination_requested() noexcept {}

namespace {

// Says why a call on the file `path` failed, when the caller asked.
void tell_file_failure(Failure* failure, const std::string& path, DWORD error) noexcept {
  if (failure == nullptr) return;
  try {
    failure->reason = system_message(error);
    failure->object = "file " + path;
    failure->code = system_code(error);
  } catch (...) {
    *failure = {};
  }
}

}  // namespace

CreateFileResult create_new_file(const std::string& path, Failure* failure) noexcept {
  if (path.empty() || path.find('\0') != std::string::npos) {
    tell_file_failure(failure, path, ERROR_INVALID_NAME);
    return CreateFileResult::failed;
  }
  HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) return CreateFileResult::exists;
    tell_file_failure(failure, path, error);
    return CreateFileResult::failed;
  }
  CloseHandle(file);
  return CreateFileResult::created;
}

// FlushFileBuffers needs a handle with write access; sharing everything lets
// it open a file that another handle still holds.
bool flush_file_to_disk(const std::string& path, Failure* failure) noexcept {
  if (path.empty() || path.find('\0') != std::string::npos) {
    tell_file_failure(failure, path, ERROR_INVALID_NAME);
    return false;
  }
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    tell_file_failure(failure, path, GetLastError());
    return false;
  }
  const bool flushed = system_calls().flush_file_buffers(file) != 0;
  const DWORD error = flushed ? ERROR_SUCCESS : GetLastError();
  CloseHandle(file);
  if (!flushed) tell_file_failure(failure, path, error);
  return flushed;
}

bool flush_directory_to_disk(const std::string& /*path*/, Failure* /*failure*/) noexcept { return true; }

// ---- ConsoleInput -----------------------------------------------------------

struct ConsoleInput::State {
  HANDLE input = nullptr;
  DWORD saved_mode = 0;
  ~State() { SetConsoleMode(input, saved_mode); }
};

ConsoleInput::ConsoleInput() noexcept = default;
ConsoleInput::ConsoleInput(std::unique_ptr<State> state) noexcept : state_(std::move(state)) {}
ConsoleInput::ConsoleInput(ConsoleInput&& other) noexcept = default;
ConsoleInput& ConsoleInput::operator=(ConsoleInput&& other) noexcept {
  if (this != &other) {
    state_.reset();
    state_ = std::move(other.state_);
  }
  return *this;
}
ConsoleInput::~ConsoleInput() = default;

ConsoleInput ConsoleInput::open_standard_input() noexcept {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  // Fails for redirected input: a file or a pipe is not a console.
  if (input == nullptr || input == INVALID_HANDLE_VALUE || GetConsoleMode(input, &mode) == 0) {
    return ConsoleInput();
  }
  std::unique_ptr<State> state;
  try {
    state = std::make_unique<State>();
  } catch (...) {  // std::bad_alloc: go without keys
    return ConsoleInput();
  }
  // Keys as they are pressed, not echoed; Ctrl+C stays an interrupt
  // (ENABLE_PROCESSED_INPUT is kept).
  if (SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT)) == 0) {
    return ConsoleInput();
  }
  state->input = input;
  state->saved_mode = mode;
  return ConsoleInput(std::move(state));
}

std::optional<ConsoleKey> ConsoleInput::read_key() noexcept {
  if (!state_) return std::nullopt;
  DWORD pending = 0;
  while (GetNumberOfConsoleInputEvents(state_->input, &pending) != 0 && pending > 0) {
    INPUT_RECORD record{};
    DWORD read = 0;
    if (ReadConsoleInputA(state_->input, &record, 1, &read) == 0 || read == 0) break;
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) continue;
    if (record.Event.KeyEvent.wVirtualKeyCode == VK_RIGHT) return ConsoleKey::right_arrow;
    switch (record.Event.KeyEvent.uChar.AsciiChar) {
      case ' ': return ConsoleKey::space;
      case '.': return ConsoleKey::period;
      case '+': return ConsoleKey::plus;
      case '-': return ConsoleKey::minus;
      case 'q':
      case 'Q': return ConsoleKey::letter_q;
      case 0: continue;  // a modifier key alone (Shift for '+')
      default: return ConsoleKey::other;
    }
  }
  return std::nullopt;
}

bool standard_error_is_terminal() noexcept {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

void use_binary_standard_output() noexcept {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace vove::platform
