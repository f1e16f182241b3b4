// System services of the win32 stand-in over POSIX and Linux interfaces (clock_gettime,
// sysinfo, statvfs, uname, /proc/self/exe) and the compiler's CPUID support.
#include "platform/win32/win32_system.h"

#include <sys/mman.h>
#include <sys/statvfs.h>
#include <sys/sysinfo.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_map>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define QUORREL_HAS_CPUID 1
#endif

#include "platform/win32/win32_files.h"

namespace platform::win32 {

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// The seams are set by tests before the code under test runs; the mutex keeps the tick source
// safe for the worker threads that read the game clock.
std::mutex seamMutex;
std::function<DWORD()> tickSource;
std::atomic<bool> tickSourceSet{false};  // keeps the usual path free of the lock
std::optional<seam::VersionRecord> injectedVersion;
std::optional<seam::CpuidTable> injectedCpuid;
std::vector<std::string> registryKeys;

std::string invokedPath;  // absolute argv[0], when it named the executable by a path
std::vector<std::string> commandLineParams;  // argv[1..]

struct OpenRegistryKey {
  std::string path;
};

std::string RootName(HKEY key) {
  if (key == HKEY_CLASSES_ROOT) return "HKEY_CLASSES_ROOT";
  if (key == HKEY_CURRENT_USER) return "HKEY_CURRENT_USER";
  if (key == HKEY_LOCAL_MACHINE) return "HKEY_LOCAL_MACHINE";
  return {};
}

bool SameTextAscii(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

// Drops "." components and repeated separators so that the recorded path reads cleanly; ".."
// stays, because resolving it lexically would be wrong across symbolic links.
std::string TidyPosixPath(const std::string& path) {
  std::string result;
  std::size_t i = 0;
  while (i < path.size()) {
    std::size_t next = path.find('/', i);
    if (next == std::string::npos) next = path.size();
    std::string part = path.substr(i, next - i);
    if (!part.empty() && part != ".") {
      result += '/';
      result += part;
    }
    i = next + 1;
  }
  return result.empty() ? "/" : result;
}

std::string ProcSelfExe() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<std::size_t>(n));
}

void CopyText(const std::string& text, char* buffer, std::size_t size) {
  if (size == 0) return;
  std::size_t n = text.size() < size ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

OSVERSIONINFOEXA RealVersionRecord() {
  OSVERSIONINFOEXA info{};
  info.dwPlatformId = VER_PLATFORM_POSIX;
  utsname names{};
  if (uname(&names) == 0) {
    unsigned major = 0, minor = 0, build = 0;
    std::sscanf(names.release, "%u.%u.%u", &major, &minor, &build);
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.dwBuildNumber = build;
  }
  return info;
}

}  // namespace

DWORD GetLastError() { return lastError; }
void SetLastError(DWORD code) { lastError = code; }

DWORD ErrorFromErrno(int err) {
  switch (err) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EBUSY: return ERROR_ACCESS_DENIED;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EROFS: return ERROR_WRITE_PROTECT;
    case EIO: return ERROR_WRITE_FAULT;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case ENXIO: return ERROR_PIPE_NOT_CONNECTED;
    case EOPNOTSUPP: return ERROR_NOT_SUPPORTED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case ETXTBSY: return ERROR_SHARING_VIOLATION;
    case ENOSYS: return ERROR_NOT_SUPPORTED;
    case ESTALE: return ERROR_FILE_INVALID;
    case EMLINK: return ERROR_TOO_MANY_LINKS;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case ETIMEDOUT: return ERROR_TIMEOUT;
    default: return ERROR_GEN_FAILURE;
  }
}

std::string ErrorText(DWORD code) {
  switch (code) {
    case ERROR_SUCCESS: return "no error";
    case ERROR_FILE_NOT_FOUND: return "the file does not exist";
    case ERROR_PATH_NOT_FOUND: return "the folder does not exist";
    case ERROR_TOO_MANY_OPEN_FILES: return "too many open files";
    case ERROR_ACCESS_DENIED: return "access is denied";
    case ERROR_NOT_ENOUGH_MEMORY: return "not enough memory";
    case ERROR_NOT_SAME_DEVICE: return "not on the same device";
    case ERROR_WRITE_PROTECT: return "the file system is read-only";
    case ERROR_WRITE_FAULT: return "the device could not be written";
    case ERROR_READ_FAULT: return "the device could not be read";
    case ERROR_NOT_SUPPORTED: return "not supported for a file of this kind";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return "the name exists already";
    case ERROR_INVALID_PARAMETER: return "invalid parameter";
    case ERROR_DISK_FULL: return "there is not enough space on the disk";
    case ERROR_DIR_NOT_EMPTY: return "the folder is not empty";
    case ERROR_FILENAME_EXCED_RANGE: return "the file name is too long";
    case ERROR_FILE_TOO_LARGE: return "the file would be too large";
    case ERROR_PIPE_NOT_CONNECTED: return "nothing reads at the other end";
    case ERROR_INVALID_HANDLE: return "the file is not open for this";
    case ERROR_SHARING_VIOLATION: return "the file is in use";
    case ERROR_FILE_INVALID: return "the file was removed or changed by another program meanwhile";
    case ERROR_TOO_MANY_LINKS: return "too many links to the file";
    case ERROR_CANT_RESOLVE_FILENAME: return "the name leads to a loop of links";
    case ERROR_BROKEN_PIPE: return "the reader closed the pipe";
    case ERROR_TIMEOUT: return "the time limit of the operation ran out";
    default: return "system error";
  }
}

DWORD GetTickCount() {
  if (tickSourceSet.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> lock(seamMutex);
    if (tickSource) return tickSource();
  }
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(ms);  // keeps the low 32 bits: wraps like the Windows counter
}

void Sleep(DWORD milliseconds) {
  timespec span{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&span, &span) != 0 && errno == EINTR) {
  }
}

void SetCommandLine(int argc, char** argv) {
  invokedPath.clear();
  commandLineParams.clear();
  for (int i = 1; argv != nullptr && i < argc && argv[i] != nullptr; ++i) commandLineParams.emplace_back(argv[i]);
  if (argc < 1 || argv == nullptr || argv[0] == nullptr) return;
  std::string arg0 = argv[0];
  if (arg0.find('/') == std::string::npos) return;  // found through PATH: ask the kernel
  if (arg0[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof cwd) == nullptr) return;
    arg0 = std::string(cwd) + "/" + arg0;
  }
  invokedPath = TidyPosixPath(arg0);
}

std::vector<std::string> CommandLineParams() { return commandLineParams; }

std::string ExecutablePath() {
  if (!invokedPath.empty()) return invokedPath;
  return ProcSelfExe();
}

DWORD GetModuleFileNameA(HINSTANCE module, char* buffer, DWORD size) {
  if (module != nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  std::string path = ExecutablePath();
  if (path.empty()) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return 0;
  }
  CopyText(path, buffer, size);
  if (path.size() >= size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  return static_cast<DWORD>(path.size());
}

namespace {

// The sizes of the regions VirtualAlloc made, which munmap needs and VirtualFree is not told.
// Never destroyed: a worker thread may free its region while the process ends.
struct TRegions {
  std::mutex mutex;
  std::unordered_map<void*, std::size_t> sizes;
};

TRegions& Regions() {
  static TRegions* regions = new TRegions;
  return *regions;
}

}  // namespace

void* VirtualAlloc(void* address, std::size_t size, DWORD allocationType, DWORD protect) {
  if (address || size == 0 || (allocationType & ~MEM_LARGE_PAGES) != (MEM_COMMIT | MEM_RESERVE) ||
      protect != PAGE_READWRITE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  // Only a hint: where transparent huge pages are off, the region keeps normal pages.
  if (allocationType & MEM_LARGE_PAGES) madvise(p, size, MADV_HUGEPAGE);
  TRegions& r = Regions();
  try {
    std::lock_guard lock(r.mutex);
    r.sizes.emplace(p, size);
  } catch (const std::bad_alloc&) {
    munmap(p, size);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return p;
}

BOOL VirtualFree(void* address, std::size_t size, DWORD freeType) {
  if (freeType == MEM_DECOMMIT) {
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    if (size != 0 && start % page == 0 && size % page == 0) {
      TRegions& r = Regions();
      std::lock_guard lock(r.mutex);
      for (const auto& [base, length] : r.sizes) {
        const auto first = reinterpret_cast<std::uintptr_t>(base);
        if (start >= first && start - first <= length && size <= length - (start - first)) {
          inside = true;
          break;
        }
      }
    }
    if (!inside || madvise(address, size, MADV_DONTNEED) != 0) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    return TRUE;
  }
  std::size_t length = 0;
  {
    TRegions& r = Regions();
    std::lock_guard lock(r.mutex);
    const auto it = r.sizes.find(address);
    if (it == r.sizes.end() || size != 0 || freeType != MEM_RELEASE) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    length = it->second;
    r.sizes.erase(it);
  }
  munmap(address, length);
  return TRUE;
}

BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status) {
  if (status == nullptr || status->dwLength != sizeof(MEMORYSTATUSEX)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  struct sysinfo info {};
  if (sysinfo(&info) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  const UINT64 unit = info.mem_unit ? info.mem_unit : 1;
  status->ullTotalPhys = static_cast<UINT64>(info.totalram) * unit;
  status->ullAvailPhys = (static_cast<UINT64>(info.freeram) + info.bufferram) * unit;
  status->ullTotalPageFile = status->ullTotalPhys + static_cast<UINT64>(info.totalswap) * unit;
  status->ullAvailPageFile = status->ullAvailPhys + static_cast<UINT64>(info.freeswap) * unit;
  status->ullTotalVirtual = sizeof(void*) == 8 ? (UINT64(1) << 47) : (UINT64(1) << 31);
  status->ullAvailVirtual = status->ullTotalVirtual;
  status->ullAvailExtendedVirtual = 0;
  status->dwMemoryLoad = status->ullTotalPhys == 0
      ? 0
      : static_cast<DWORD>(100 - status->ullAvailPhys * 100 / status->ullTotalPhys);
  return TRUE;
}

BOOL GetDiskFreeSpaceExA(const char* directory, ULARGE_INTEGER* freeBytesAvailableToCaller,
                         ULARGE_INTEGER* totalNumberOfBytes, ULARGE_INTEGER* totalNumberOfFreeBytes) {
  std::string path = directory == nullptr || *directory == '\0' ? std::string(".") : MapPath(directory);
  struct statvfs fs {};
  if (statvfs(path.c_str(), &fs) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  const UINT64 unit = fs.f_frsize ? fs.f_frsize : fs.f_bsize;
  if (freeBytesAvailableToCaller) freeBytesAvailableToCaller->QuadPart = UINT64(fs.f_bavail) * unit;
  if (totalNumberOfBytes) totalNumberOfBytes->QuadPart = UINT64(fs.f_blocks) * unit;
  if (totalNumberOfFreeBytes) totalNumberOfFreeBytes->QuadPart = UINT64(fs.f_bfree) * unit;
  return TRUE;
}

namespace {

// Both records start with the same members, so the basic one is the leading part of the
// extended one; Size says which the caller passed.
BOOL FillVersionRecord(void* out, DWORD size) {
  const bool extended = size == sizeof(OSVERSIONINFOEXA);
  if (!extended && size != sizeof(OSVERSIONINFOA)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  OSVERSIONINFOEXA record{};
  {
    std::lock_guard<std::mutex> lock(seamMutex);
    if (injectedVersion) {
      if ((extended && !injectedVersion->acceptExtended) || (!extended && !injectedVersion->acceptBasic)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
      }
      record = injectedVersion->info;
    } else {
      record = RealVersionRecord();
    }
  }
  record.dwOSVersionInfoSize = size;
  record.szCSDVersion[sizeof record.szCSDVersion - 1] = '\0';
  std::memcpy(out, &record, size);
  return TRUE;
}

}  // namespace

BOOL GetVersionExA(OSVERSIONINFOEXA* info) {
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return FillVersionRecord(info, info->dwOSVersionInfoSize);
}

BOOL GetVersionExA(OSVERSIONINFOA* info) {
  if (info == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return FillVersionRecord(info, info->dwOSVersionInfoSize);
}

std::string KernelNameAndRelease() {
  utsname names{};
  if (uname(&names) != 0) return {};
  return std::string(names.sysname) + " " + names.release;
}

bool CpuidAvailable() {
  {
    std::lock_guard<std::mutex> lock(seamMutex);
    if (injectedCpuid) return injectedCpuid->available;
  }
#ifdef QUORREL_HAS_CPUID
  return __get_cpuid_max(0, nullptr) != 0;  // the EFLAGS probe on 32-bit builds
#else
  return false;
#endif
}

std::array<DWORD, 4> Cpuid(DWORD leaf) {
  {
    std::lock_guard<std::mutex> lock(seamMutex);
    if (injectedCpuid) {
      if (!injectedCpuid->available) return {0, 0, 0, 0};
      auto it = injectedCpuid->leaves.find(leaf);
      return it == injectedCpuid->leaves.end() ? std::array<DWORD, 4>{0, 0, 0, 0} : it->second;
    }
  }
#ifdef QUORREL_HAS_CPUID
  unsigned a = 0, b = 0, c = 0, d = 0;
  // Raw, as the instruction answers: callers check the highest leaf themselves.
  __cpuid_count(leaf, 0, a, b, c, d);
  return {a, b, c, d};
#else
  (void)leaf;
  return {0, 0, 0, 0};
#endif
}

void GetSystemInfo(SYSTEM_INFO* info) {
  if (info == nullptr) return;
  *info = SYSTEM_INFO{};
  long processors = sysconf(_SC_NPROCESSORS_ONLN);
  long page = sysconf(_SC_PAGESIZE);
  info->dwNumberOfProcessors = processors > 0 ? static_cast<DWORD>(processors) : 1;
  info->dwPageSize = page > 0 ? static_cast<DWORD>(page) : 4096;
  info->dwAllocationGranularity = 65536;
  info->dwActiveProcessorMask =
      info->dwNumberOfProcessors >= sizeof(uintptr_t) * 8 ? ~uintptr_t(0) : (uintptr_t(1) << info->dwNumberOfProcessors) - 1;
}

LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, HKEY* result) {
  (void)options;
  (void)desired;
  if (result) *result = nullptr;
  std::string root = RootName(key);
  if (root.empty() || result == nullptr) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  std::string path = root;
  if (subKey && *subKey) path += std::string("\\") + subKey;
  std::lock_guard<std::mutex> lock(seamMutex);
  for (const auto& known : registryKeys) {
    if (SameTextAscii(known, path)) {
      *result = reinterpret_cast<HKEY>(new OpenRegistryKey{path});
      return static_cast<LONG>(ERROR_SUCCESS);
    }
  }
  return static_cast<LONG>(ERROR_FILE_NOT_FOUND);
}

LONG RegCloseKey(HKEY key) {
  if (key == nullptr || !RootName(key).empty()) return static_cast<LONG>(ERROR_INVALID_HANDLE);
  delete reinterpret_cast<OpenRegistryKey*>(key);
  return static_cast<LONG>(ERROR_SUCCESS);
}

namespace seam {

void SetTickSource(std::function<DWORD()> source) {
  std::lock_guard<std::mutex> lock(seamMutex);
  tickSource = std::move(source);
  tickSourceSet.store(static_cast<bool>(tickSource), std::memory_order_release);
}

void InjectVersionRecord(std::optional<VersionRecord> record) {
  std::lock_guard<std::mutex> lock(seamMutex);
  injectedVersion = std::move(record);
}

void InjectCpuid(std::optional<CpuidTable> table) {
  std::lock_guard<std::mutex> lock(seamMutex);
  injectedCpuid = std::move(table);
}

void SetRegistryKeys(std::vector<std::string> keys) {
  std::lock_guard<std::mutex> lock(seamMutex);
  registryKeys = std::move(keys);
}

}  // namespace seam

}  // namespace platform::win32
