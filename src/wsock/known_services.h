// The built-in services and protocols tables, used where the system's
// database files are missing. Names and aliases compare without regard to
// case, as Windows compares them.
#pragma once

namespace wsock {

struct KnownService {
  const char* name;
  int port;  // host order
  const char* protocol;
  const char* alias;  // may be null
};

struct KnownProtocol {
  const char* name;
  int number;
  const char* alias;
};

// The first service called `name` (or with that alias) for `protocol`, or for
// any protocol when `protocol` is null; null when unknown.
const KnownService* FindKnownService(const char* name, const char* protocol);
const KnownProtocol* FindKnownProtocol(const char* name);

}  // namespace wsock
