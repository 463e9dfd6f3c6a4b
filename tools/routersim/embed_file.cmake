# Turns the data file into a C++ source, so the program answers even when it
# is copied somewhere without its data file.
#   cmake -DINPUT=router_commands.txt -DOUTPUT=router_commands_builtin.cpp -P embed_file.cmake
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp"
"// Generated from router_commands.txt; do not edit.
#include \"command_table.h\"

namespace {
const unsigned char kBuiltin[] = {
${bytes}0x00};
}  // namespace

std::string_view routersim::builtin_commands() {
  return {reinterpret_cast<const char*>(kBuiltin), sizeof kBuiltin - 1};
}
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
