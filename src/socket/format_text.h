// printf-like formatting over texts: "%s" and "%d" take the next argument as
// it is (numbers are passed already as decimal text), "%%" is a percent sign.
#pragma once

#include <exception>
#include <string>
#include <vector>

namespace net {

std::string FormatText(const std::string& format, const std::vector<std::string>& args);

// The message of an exception, with NUL bytes intact for our own exceptions.
std::string ExceptionText(const std::exception& e);

}  // namespace net
