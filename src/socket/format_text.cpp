#include "socket/format_text.h"

#include <exception>

#include "platform/exception.h"

namespace net {

std::string FormatText(const std::string& format, const std::vector<std::string>& args) {
  std::string out;
  std::size_t next = 0;
  for (std::size_t i = 0; i < format.size(); ++i) {
    const char c = format[i];
    if (c == '%' && i + 1 < format.size()) {
      const char conversion = format[i + 1];
      if (conversion == 's' || conversion == 'd') {
        if (next < args.size()) out += args[next];
        ++next;
        ++i;
        continue;
      }
      if (conversion == '%') {
        out += '%';
        ++i;
        continue;
      }
    }
    out += c;
  }
  return out;
}

std::string ExceptionText(const std::exception& e) {
  if (const auto* own = dynamic_cast<const platform::Exception*>(&e)) return own->Message();
  return e.what();
}

}  // namespace net
