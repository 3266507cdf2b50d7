// Where the Win32 backend differs: objects are whole pages, views
// outlive the handle, and a fine timer must be asked for.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>

#include "common/platform/fine_timer_resolution.h"
#include "common/platform/platform.h"
#include "common/platform/win32_system_calls.h"
#include "scoped_name_prefix.h"

namespace vove {

TEST(Win32Platform, ObjectsAreWholePagesAndOutliveTheirHandle) {
  const ScopedNamePrefix prefix;
  platform::SharedMemory region = platform::SharedMemory::create_or_open("Local\\R", 800);
  const platform::MappedView whole = region.map(platform::Access::write, 0);
  ASSERT_TRUE(whole);
  ASSERT_EQ(whole.size(), 4096u);
  EXPECT_FALSE(region.map(platform::Access::read, 4097));
  region.close();
  whole.data()[4095] = std::byte{7};  // still mapped and writable after the close
}

// The section's own size, not a view's whole pages; Wine keeps only whole
// pages for a section, so there the check is skipped.
TEST(Win32Platform, ARegionTellsItsSectionsOwnSize) {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr) {
    GTEST_SKIP() << "Wine rounds a section's size up to whole pages";
  }
  const ScopedNamePrefix prefix;
  const platform::SharedMemory region = platform::SharedMemory::create_or_open("Local\\R", 10'152);
  EXPECT_EQ(region.size(), 10'152u);
}

TEST(Win32Platform, TheFineTimerIsHeldOnceUntilReleased) {
  platform::FineTimerResolution first;
  ASSERT_TRUE(first.is_held()) << "timeBeginPeriod(1) refused";
  platform::FineTimerResolution second = std::move(first);
  EXPECT_FALSE(first.is_held()) << "a moved-from guard would end the period a second time";
  EXPECT_TRUE(second.is_held());
  second = platform::FineTimerResolution();
  EXPECT_TRUE(second.is_held());
  second.release();
  EXPECT_FALSE(second.is_held());
  second.release();  // releasing twice ends the period once
}

// ---- Through the seam: system calls that fail

namespace {

namespace win32 = platform::win32;

DWORD next_error = ERROR_SUCCESS;  // the error the next faked call fails with; success: the real call

bool fail_now() {
  if (next_error == ERROR_SUCCESS) return false;
  SetLastError(std::exchange(next_error, ERROR_SUCCESS));
  return true;
}

// What Windows says about `error`, as a user reads it.
std::string said(DWORD error) {
  char text[512] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ')) --length;
  return std::string(text, length);
}

win32::SystemCalls failing_calls() {
  win32::SystemCalls calls = win32::real_system_calls();
  calls.create_file_mapping = [](HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protection, DWORD high, DWORD low,
                                 LPCSTR name) -> HANDLE {
    return fail_now() ? nullptr
                      : win32::real_system_calls().create_file_mapping(file, security, protection, high, low, name);
  };
  calls.map_view_of_file = [](HANDLE mapping, DWORD access, DWORD high, DWORD low, SIZE_T length) -> LPVOID {
    return fail_now() ? nullptr : win32::real_system_calls().map_view_of_file(mapping, access, high, low, length);
  };
  calls.wait_for_single_object = [](HANDLE handle, DWORD milliseconds) -> DWORD {
    return fail_now() ? WAIT_FAILED : win32::real_system_calls().wait_for_single_object(handle, milliseconds);
  };
  calls.flush_file_buffers = [](HANDLE file) -> BOOL {
    return fail_now() ? FALSE : win32::real_system_calls().flush_file_buffers(file);
  };
  return calls;
}

}  // namespace

// A region Windows will not make, or a view it will not map, is a failure
// that gives Windows's reason and names the region; the region maps once
// Windows allows it.
TEST(Win32Seam, ARegionOrViewWindowsRefusesSaysWhy) {
  const ScopedNamePrefix prefix;
  const win32::SystemCalls calls = failing_calls();
  const win32::ScopedSystemCalls seam(calls);
  next_error = ERROR_COMMITMENT_LIMIT;
  const platform::SharedMemory refused = platform::SharedMemory::create_or_open("Local\\R", 4096);
  EXPECT_FALSE(refused);
  EXPECT_EQ(refused.failure().reason, said(ERROR_COMMITMENT_LIMIT));
  EXPECT_EQ(refused.failure().object, "shared memory Local\\" + prefix.prefix() + "R");

  const platform::SharedMemory region = platform::SharedMemory::create_or_open("Local\\R", 4096);
  ASSERT_TRUE(region);
  next_error = ERROR_NOT_ENOUGH_MEMORY;
  const platform::MappedView view = region.map(platform::Access::write, 0);
  EXPECT_FALSE(view);
  EXPECT_EQ(view.failure().reason, said(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_EQ(region.map(platform::Access::write, 0).size(), 4096u);
}

// A wait that fails is no signal, however it failed.
TEST(Win32Seam, AFailedWaitIsNoSignal) {
  const ScopedNamePrefix prefix;
  const platform::NamedEvent event = platform::NamedEvent::create("Local\\E");
  ASSERT_TRUE(event);
  const win32::SystemCalls calls = failing_calls();
  const win32::ScopedSystemCalls seam(calls);
  event.signal();
  next_error = ERROR_INVALID_HANDLE;
  EXPECT_FALSE(event.wait(std::chrono::milliseconds{100}));
  EXPECT_TRUE(event.wait(std::chrono::milliseconds{100})) << "the signal is still there for the next wait";
}

// A flush the disk refuses fails with the disk's reason and names the file.
TEST(Win32Seam, AFlushTheDiskRefusesNamesTheFile) {
  const std::string path = ::testing::TempDir() + "vove_seam_flush_" + std::to_string(GetCurrentProcessId());
  ASSERT_EQ(platform::create_new_file(path), platform::CreateFileResult::created);
  const win32::SystemCalls calls = failing_calls();
  const win32::ScopedSystemCalls seam(calls);
  EXPECT_TRUE(platform::flush_file_to_disk(path));
  next_error = ERROR_DISK_FULL;
  platform::Failure failure;
  EXPECT_FALSE(platform::flush_file_to_disk(path, &failure));
  EXPECT_EQ(failure.reason, said(ERROR_DISK_FULL));
  EXPECT_EQ(failure.object, "file " + path);
  DeleteFileA(path.c_str());
}

}  // namespace vove
