// The built-in services and protocols tables.
#include "wsock/known_services.h"

#include <strings.h>

namespace wsock {

namespace {

// The well-known services, in the order of the usual services file.
constexpr KnownService kKnownServices[] = {
    {"echo", 7, "tcp", nullptr},          {"echo", 7, "udp", nullptr},
    {"discard", 9, "tcp", "sink"},        {"discard", 9, "udp", "sink"},
    {"daytime", 13, "tcp", nullptr},      {"daytime", 13, "udp", nullptr},
    {"ftp-data", 20, "tcp", nullptr},     {"ftp", 21, "tcp", nullptr},
    {"ssh", 22, "tcp", nullptr},          {"telnet", 23, "tcp", nullptr},
    {"smtp", 25, "tcp", "mail"},          {"time", 37, "tcp", "timserver"},
    {"time", 37, "udp", "timserver"},     {"domain", 53, "tcp", nullptr},
    {"domain", 53, "udp", nullptr},       {"tftp", 69, "udp", nullptr},
    {"gopher", 70, "tcp", nullptr},       {"finger", 79, "tcp", nullptr},
    {"http", 80, "tcp", "www"},           {"pop3", 110, "tcp", "pop-3"},
    {"sunrpc", 111, "tcp", "portmapper"}, {"sunrpc", 111, "udp", "portmapper"},
    {"auth", 113, "tcp", "ident"},        {"nntp", 119, "tcp", "readnews"},
    {"ntp", 123, "udp", nullptr},         {"imap2", 143, "tcp", "imap"},
    {"snmp", 161, "udp", nullptr},        {"snmp-trap", 162, "udp", "snmptrap"},
    {"https", 443, "tcp", nullptr},       {"syslog", 514, "udp", nullptr},
    {"printer", 515, "tcp", "spooler"},   {"socks", 1080, "tcp", nullptr},
};

constexpr KnownProtocol kKnownProtocols[] = {
    {"ip", 0, "IP"},    {"icmp", 1, "ICMP"},        {"igmp", 2, "IGMP"}, {"ggp", 3, "GGP"},
    {"tcp", 6, "TCP"},  {"egp", 8, "EGP"},          {"pup", 12, "PUP"},  {"udp", 17, "UDP"},
    {"hmp", 20, "HMP"}, {"xns-idp", 22, "XNS-IDP"}, {"rdp", 27, "RDP"},  {"ipv6", 41, "IPv6"},
    {"rvd", 66, "RVD"},
};

bool SameName(const char* wanted, const char* known) {
  return known != nullptr && strcasecmp(wanted, known) == 0;
}

}  // namespace

const KnownService* FindKnownService(const char* name, const char* protocol) {
  if (name == nullptr) return nullptr;
  for (const KnownService& service : kKnownServices) {
    if (!SameName(name, service.name) && !SameName(name, service.alias)) continue;
    if (protocol != nullptr && !SameName(protocol, service.protocol)) continue;
    return &service;
  }
  return nullptr;
}

const KnownProtocol* FindKnownProtocol(const char* name) {
  if (name == nullptr) return nullptr;
  for (const KnownProtocol& protocol : kKnownProtocols) {
    if (SameName(name, protocol.name) || SameName(name, protocol.alias)) return &protocol;
  }
  return nullptr;
}

}  // namespace wsock
