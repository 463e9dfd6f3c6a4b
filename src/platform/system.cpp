// Debug output, the desktop opener and run-time library loading.
#include "platform/system.h"

#include <atomic>
#include <dlfcn.h>
#include <link.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <thread>

extern char** environ;

namespace platform {

namespace {

struct DebugSink {
  std::mutex mutex;
  std::function<void(const std::string&)> sink;
};

DebugSink& Sink() {
  static DebugSink* sink = new DebugSink;
  return *sink;
}

thread_local int lastLoaderError = 0;
thread_local std::string lastLoaderMessage;

void SetLoaderError(int error, std::string message) {
  lastLoaderError = error;
  lastLoaderMessage = std::move(message);
}

std::string DlErrorText() {
  const char* text = dlerror();
  return text != nullptr ? text : "";
}

}  // namespace

void OutputDebugString(const std::string& text) {
  DebugSink& s = Sink();
  std::function<void(const std::string&)> sink;
  {
    std::lock_guard lock(s.mutex);
    sink = s.sink;
  }
  if (sink) sink(text);
}

namespace {
std::atomic<bool> debugOutputWanted{false};
}  // namespace

void SetDebugOutputSink(std::function<void(const std::string&)> sink) {
  DebugSink& s = Sink();
  std::lock_guard lock(s.mutex);
  debugOutputWanted = static_cast<bool>(sink);
  s.sink = std::move(sink);
}

bool DebugOutputWanted() { return debugOutputWanted.load(std::memory_order_relaxed); }

bool ShellOpen(const std::string& target) {
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  // The opener gets no terminal input of ours.
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  std::string program = "xdg-open";
  char* argv[] = {program.data(), const_cast<char*>(target.c_str()), nullptr};
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, "xdg-open", &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  // Nobody waits for the opener, but it must not linger as a zombie: a small
  // detached thread reaps it whenever it ends.
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return true;
}

HMODULE LoadLibrary(const std::string& path) {
  // RTLD_LOCAL matters: the socket stand-in exports names such as `connect`
  // and `send`, which must never take the C library's place for anyone else.
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module != nullptr) return module;
  std::string message = DlErrorText();
  int error = ENOEXEC;
  if (path.find('/') != std::string::npos) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0)
      error = errno;
    else if (S_ISDIR(st.st_mode))
      error = EISDIR;
  } else if (message.find("No such file") != std::string::npos) {
    error = ENOENT;
  }
  SetLoaderError(error, std::move(message));
  return nullptr;
}

void* GetProcAddress(HMODULE module, const std::string& name) {
  if (module == nullptr) {
    SetLoaderError(EINVAL, "no library given");
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(module, name.c_str());
  if (symbol == nullptr) {
    std::string message = DlErrorText();
    SetLoaderError(ESRCH, message.empty() ? "symbol " + name + " is null" : message);
    return nullptr;
  }
  // dlsym also searches the library's own dependencies, so a library that
  // lacks the export would hand back the C library's function of that name,
  // with another calling shape. Only the module's own definitions count.
  link_map* own = nullptr;
  Dl_info where{};
  if (dlinfo(module, RTLD_DI_LINKMAP, &own) != 0 || own == nullptr ||
      dladdr(symbol, &where) == 0 ||
      reinterpret_cast<std::uintptr_t>(where.dli_fbase) != own->l_addr) {
    SetLoaderError(ESRCH, "symbol " + name + " is not defined by the library itself");
    return nullptr;
  }
  return symbol;
}

bool FreeLibrary(HMODULE module) {
  if (module == nullptr) {
    SetLoaderError(EINVAL, "no library given");
    return false;
  }
  if (dlclose(module) != 0) {
    SetLoaderError(EINVAL, DlErrorText());
    return false;
  }
  return true;
}

int GetLastError() { return lastLoaderError; }

std::string LastLoaderMessage() { return lastLoaderMessage; }

}  // namespace platform
