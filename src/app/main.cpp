// Vantrel: reads status from small ISDN routers over TELNET.
//
// The executable itself only loads the program's core library and hands over
// to it. Libraries loaded at start-up come first in every name search of
// libraries loaded later, so had the executable needed the core (and through
// it Qt Core and the rest), each name the window's toolkit looks up when its
// library is loaded would first be searched for in all of them.
#include <cstdio>
#include <string>

#include "platform/install_layout.h"
#include "platform/system.h"

namespace {

constexpr char kCoreLibraryName[] = "libvantrel_core.so";
constexpr char kProgramMainName[] = "vantrel_program_main";
constexpr int kExitFailure = 1;

}  // namespace

int main(int argc, char** argv) {
  const std::string path = platform::ProgramLibraryPath(kCoreLibraryName);
  platform::HMODULE core = platform::LoadLibrary(path);
  void* entry = core != nullptr ? platform::GetProcAddress(core, kProgramMainName) : nullptr;
  if (entry == nullptr) {
    std::fprintf(stderr, "vantrel: cannot load the program's library %s: %s\n", path.c_str(),
                 platform::LastLoaderMessage().c_str());
    return kExitFailure;
  }
  return reinterpret_cast<int (*)(int, char**)>(entry)(argc, argv);
}
