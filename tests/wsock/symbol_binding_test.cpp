// The library exports Windows Sockets names that are also the C library's.
// Look-ups by name in the loaded library must find the library's own
// functions, the process's global names must stay the C library's, and the
// library's own work must reach the system's functions, not its exports.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "wsock_fixture.h"

namespace wsock_test {
namespace {

// The names a shared object makes visible to the dynamic linker.
std::set<std::string> DefinedDynamicSymbols(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<char> image((std::istreambuf_iterator<char>(file)),
                                std::istreambuf_iterator<char>());
  std::set<std::string> names;
  if (image.size() < sizeof(Elf64_Ehdr)) return names;
  Elf64_Ehdr header;
  std::memcpy(&header, image.data(), sizeof header);
  auto section = [&](std::size_t index) {
    Elf64_Shdr s;
    std::memcpy(&s, image.data() + header.e_shoff + index * header.e_shentsize, sizeof s);
    return s;
  };
  for (std::size_t i = 0; i < header.e_shnum; ++i) {
    const Elf64_Shdr symbols = section(i);
    if (symbols.sh_type != SHT_DYNSYM) continue;
    const Elf64_Shdr strings = section(symbols.sh_link);
    for (std::size_t offset = 0; offset + sizeof(Elf64_Sym) <= symbols.sh_size;
         offset += sizeof(Elf64_Sym)) {
      Elf64_Sym symbol;
      std::memcpy(&symbol, image.data() + symbols.sh_offset + offset, sizeof symbol);
      const int binding = ELF64_ST_BIND(symbol.st_info);
      if (symbol.st_shndx == SHN_UNDEF || symbol.st_name == 0) continue;
      if (binding != STB_GLOBAL && binding != STB_WEAK) continue;
      if (ELF64_ST_VISIBILITY(symbol.st_other) == STV_HIDDEN) continue;
      names.insert(image.data() + strings.sh_offset + symbol.st_name);
    }
  }
  return names;
}

std::string RealPath(const char* path) {
  char resolved[PATH_MAX];
  return realpath(path, resolved) != nullptr ? resolved : path;
}

TEST(SymbolBindingTest, ExportsExactlyTheThirtyWindowsSocketsNames) {
  const std::set<std::string> expected(std::begin(kExportNames), std::end(kExportNames));
  ASSERT_EQ(expected.size(), 30u);
  EXPECT_EQ(DefinedDynamicSymbols(Wsa().path), expected);
}

TEST(SymbolBindingTest, LookupsByNameFindTheLibrarysOwnFunctions) {
  const std::string library = RealPath(Wsa().path.c_str());
  for (const char* name : kExportNames) {
    void* own = dlsym(Wsa().module, name);
    ASSERT_NE(own, nullptr) << name;
    Dl_info info{};
    ASSERT_NE(dladdr(own, &info), 0) << name;
    EXPECT_EQ(RealPath(info.dli_fname), library) << name;
    // Loading the library did not put its names into the global scope.
    void* global = dlsym(RTLD_DEFAULT, name);
    EXPECT_NE(global, own) << name;
  }
}

TEST(SymbolBindingTest, TheLibrarysOwnCallsReachTheSystem) {
  // Each call below would recurse into the library (and never return) if
  // its implementation had bound to the library's own export of that name;
  // the other tests go through the rest of them.
  StartedLibrary wsa;
  const ws::sockaddr_in local = LoopbackAddress(0);
  const ws::SOCKET listener = wsa->socket(ws::AF_INET, ws::SOCK_STREAM, ws::IPPROTO_TCP);
  ASSERT_NE(listener, ws::INVALID_SOCKET);
  ASSERT_EQ(wsa->bind(listener, AsAddress(local), sizeof local), 0);
  ASSERT_EQ(wsa->listen(listener, 1), 0);
  support::Peer client = support::Peer::Connect(BoundPort(listener));
  ASSERT_TRUE(client.Valid());
  const ws::SOCKET served = wsa->accept(listener, nullptr, nullptr);
  ASSERT_NE(served, ws::INVALID_SOCKET);
  ASSERT_TRUE(client.Send("question"));
  char buffer[16];
  ASSERT_EQ(wsa->recv(served, buffer, sizeof buffer, 0), 8);
  ASSERT_EQ(wsa->send(served, "answer", 6, 0), 6);
  EXPECT_EQ(client.Receive(6), "answer");
  ASSERT_EQ(wsa->shutdown(served, ws::SD_SEND), 0);
  EXPECT_EQ(client.ReadToEnd(), support::Peer::End::Closed);
  for (ws::SOCKET s : {listener, served}) EXPECT_EQ(wsa->closesocket(s), 0);
}

}  // namespace
}  // namespace wsock_test
