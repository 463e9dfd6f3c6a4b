// vantrel-routersim: binds one address, prints the ready line, and runs every
// accepted connection as a session on a thread of its own. SIGTERM and SIGINT
// (and, with --watch-stdin, the end of standard input) make one byte appear on
// a pipe that every wait in the program watches; that byte is never read, so
// all of them wake up and wind down.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <list>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "command_table.h"
#include "event_log.h"
#include "options.h"
#include "session.h"

namespace {

using namespace routersim;

int g_stop_write_fd = -1;

void on_stop_signal(int) {
  const char byte = 's';
  [[maybe_unused]] ssize_t n = ::write(g_stop_write_fd, &byte, 1);
}

std::string executable_directory(const char* argv0) {
  char path[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
  std::string exe = n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string(argv0);
  auto slash = exe.rfind('/');
  return slash == std::string::npos ? std::string(".") : exe.substr(0, slash);
}

std::optional<std::string> read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::optional<CommandTable> load_commands(const Options& options, const char* argv0) {
  std::string source = options.commands_file;
  std::optional<std::string> text;
  if (!source.empty()) {
    text = read_file(source);
    if (!text) {
      std::fprintf(stderr, "vantrel-routersim: cannot read %s: %s\n", source.c_str(),
                   std::strerror(errno));
      return std::nullopt;
    }
  } else {
    // Beside the executable in a build folder, in the data folder once installed.
    const std::string folder = executable_directory(argv0);
    source = folder + "/router_commands.txt";
    text = read_file(source);
    if (!text) {
      source = folder + "/" VANTREL_BIN_TO_PKGDATADIR "router_commands.txt";
      text = read_file(source);
    }
    if (!text) {
      source = "(built-in)";
      text = std::string(builtin_commands());
    }
  }
  std::string error;
  auto table = CommandTable::parse(*text, error);
  if (!table) {
    std::fprintf(stderr, "vantrel-routersim: %s: %s\n", source.c_str(), error.c_str());
  }
  return table;
}

std::string describe(const sockaddr* address) {
  char host[NI_MAXHOST] = "?";
  char service[NI_MAXSERV] = "?";
  socklen_t size = address->sa_family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  ::getnameinfo(address, size, host, sizeof host, service, sizeof service,
                NI_NUMERICHOST | NI_NUMERICSERV);
  if (address->sa_family == AF_INET6) return "[" + std::string(host) + "]:" + service;
  return std::string(host) + ":" + service;
}

int open_listener(const Options& options, const std::string& listen_address, std::string& bound) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string port = std::to_string(options.port);
  if (int rc = ::getaddrinfo(listen_address.c_str(), port.c_str(), &hints, &found)) {
    std::fprintf(stderr, "vantrel-routersim: %s: %s\n", listen_address.c_str(), ::gai_strerror(rc));
    return -1;
  }
  std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> guard(found, ::freeaddrinfo);
  int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    std::perror("vantrel-routersim: socket");
    return -1;
  }
  int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (::bind(fd, found->ai_addr, found->ai_addrlen) != 0 || ::listen(fd, 64) != 0) {
    std::fprintf(stderr, "vantrel-routersim: cannot listen on %s port %u: %s\n",
                 listen_address.c_str(), options.port, std::strerror(errno));
    ::close(fd);
    return -1;
  }
  sockaddr_storage local{};
  socklen_t size = sizeof local;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size);
  bound = describe(reinterpret_cast<sockaddr*>(&local));
  return fd;
}

struct Worker {
  std::thread thread;
  std::shared_ptr<std::atomic<bool>> finished;
  int fd;  // the session's connection, closed by the session itself
};

// Sessions whose client has not hung up, the one just accepted (`client`)
// included. The client's end is seen on the connection itself: a client that
// closes one connection before it opens the next has its close there before
// the next is accepted, however late the session's thread wakes up to it.
// A descriptor a session closed meanwhile may already be `client` again.
int clients_connected(const std::list<Worker>& workers, int client) {
  int count = 1;
  for (const Worker& worker : workers) {
    if (worker.finished->load() || worker.fd == client) continue;
    pollfd p{worker.fd, POLLRDHUP, 0};
    if (::poll(&p, 1, 0) == 0) ++count;
  }
  return count;
}

void reap(std::list<Worker>& workers) {
  for (auto it = workers.begin(); it != workers.end();) {
    if (it->finished->load()) {
      it->thread.join();
      it = workers.erase(it);
    } else {
      ++it;
    }
  }
}

void start_session(int client, const sockaddr_storage& peer, int id, const SessionContext& context,
                   std::list<Worker>& workers) {
  int flags = ::fcntl(client, F_GETFL);
  ::fcntl(client, F_SETFL, flags | O_NONBLOCK);
  ::fcntl(client, F_SETFD, FD_CLOEXEC);
  // Routers write small pieces and mean them; the trickle and split faults
  // depend on every write leaving as a segment of its own (unless the
  // system's coalescing is asked for).
  int on = 1;
  if (!context.options.coalesce) ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::string from = describe(reinterpret_cast<const sockaddr*>(&peer));
  context.log.session(id, "connected", std::to_string(clients_connected(workers, client)));
  workers.push_back(Worker{std::thread([&context, client, id, from, finished] {
                             Session(context, client, id, from).run();
                             finished->store(true);
                           }),
                           finished, client});
}

// One router of the simulator: where it listens and how it behaves.
struct Router {
  int listener;
  Options options;
  std::unique_ptr<SessionContext> context;
};

int serve(std::vector<Router>& routers, bool watch_stdin, int stop_fd) {
  std::list<Worker> workers;
  int next_id = 1;

  std::vector<pollfd> fds;
  fds.push_back({stop_fd, POLLIN, 0});
  fds.push_back({watch_stdin ? STDIN_FILENO : -1, POLLIN, 0});
  for (const Router& router : routers) fds.push_back({router.listener, POLLIN, 0});
  while (true) {
    int n = ::poll(fds.data(), fds.size(), 1000);
    reap(workers);
    if (n < 0 && errno != EINTR) break;
    if (fds[0].revents) break;
    if (fds[1].revents) {
      char sink[256];
      ssize_t got = ::read(STDIN_FILENO, sink, sizeof sink);
      if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) on_stop_signal(0);
    }
    for (std::size_t i = 2; n > 0 && i < fds.size(); ++i) {
      if ((fds[i].revents & POLLIN) == 0) continue;
      sockaddr_storage peer{};
      socklen_t size = sizeof peer;
      int client = ::accept(fds[i].fd, reinterpret_cast<sockaddr*>(&peer), &size);
      if (client >= 0) {
        start_session(client, peer, next_id++, *routers[i - 2].context, workers);
      } else if (errno == EMFILE || errno == ENFILE || errno == ENOMEM || errno == ENOBUFS) {
        // The pending connection stays in the queue; without a pause the
        // listener would stay readable and this loop would spin.
        pollfd stop{stop_fd, POLLIN, 0};
        ::poll(&stop, 1, 100);
      }
    }
  }
  for (const Router& router : routers) ::close(router.listener);
  for (auto& worker : workers) worker.thread.join();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ParseResult parsed = parse_options(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.options) {
    std::FILE* out = parsed.exit_code == 0 ? stdout : stderr;
    std::fprintf(out, "%s%s", parsed.message.c_str(),
                 parsed.message.empty() || parsed.message.back() == '\n' ? "" : "\n");
    return parsed.exit_code;
  }
  const Options& options = *parsed.options;

  auto commands = load_commands(options, argv[0]);
  if (!commands) return 2;

  int stop_pipe[2];
  if (::pipe2(stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::perror("vantrel-routersim: pipe");
    return 1;
  }
  g_stop_write_fd = stop_pipe[1];
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  // Every router is bound before the first ready line, so a client that saw
  // one can reach them all.
  const std::vector<std::string> addresses = *listen_addresses(options.listen_address);
  EventLog log(options.quiet);
  std::vector<Router> routers;
  std::vector<std::string> bound(addresses.size());
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    int listener = open_listener(options, addresses[i], bound[i]);
    if (listener < 0) {
      for (const Router& router : routers) ::close(router.listener);
      return 1;
    }
    routers.push_back(Router{listener, options, nullptr});
    Router& router = routers.back();
    if (!options.answer_delays_ms.empty()) {
      router.options.answer_delay_ms =
          options.answer_delays_ms[i % options.answer_delays_ms.size()];
    }
  }
  for (std::size_t i = 0; i < routers.size(); ++i) {
    routers[i].context = std::make_unique<SessionContext>(
        SessionContext{routers[i].options, *commands, log, stop_pipe[0],
                       addresses.size() > 1 ? bound[i] : "", addresses[i]});
    log.ready("listening on " + bound[i]);
  }
  return serve(routers, options.watch_stdin, stop_pipe[0]);
}
