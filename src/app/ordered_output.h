// The output of many routers that run at once, written in the order they were
// given and never mixed. The router whose turn it is writes straight through;
// the others keep what they wrote until their turn: up to a limit in memory,
// the rest in one temporary file that they share. That file is unlinked as
// soon as it is made, so nothing of it is left behind, even after a kill.
// When the temporary folder can't take it, everything held stays in memory,
// in order: a poll that takes more memory is better than one that loses or
// reorders an answer.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

// One unlinked temporary file that many writers append to, each reading
// its own pieces back once.
class Spool {
 public:
  struct Extent {
    std::size_t offset = 0;
    std::size_t length = 0;
  };
  Spool() = default;
  ~Spool();
  Spool(const Spool&) = delete;
  Spool& operator=(const Spool&) = delete;

  // False when the file can't be made or written; nothing was kept then,
  // and the spool takes nothing more (Problem() says why).
  bool Append(std::string_view bytes, std::vector<Extent>& extents);
  // Why the spool could not be used, empty while it can.
  const std::string& Problem() const { return problem_; }
  // Hands the pieces back in order and gives their space back to the disk.
  bool ReadBack(const std::vector<Extent>& extents,
                const std::function<void(std::string_view)>& sink);

 private:
  bool open();

  bool fail(const std::string& what, int error);

  int fd_ = -1;
  std::size_t end_ = 0;
  std::string problem_;
};

class OrderedOutput {
 public:
  using Writer = std::function<void(std::string_view bytes)>;
  static constexpr std::size_t kMemoryLimit = std::size_t{1} << 20;

  // `write` takes the output in order; `report` the error lines of each
  // slot, in the same order, once what the slot wrote before them is out.
  OrderedOutput(std::size_t slots, Writer write, Writer report,
                std::size_t memoryLimit = kMemoryLimit);

  void Write(std::size_t slot, std::string_view bytes);
  void Report(std::size_t slot, std::string line);
  // The slot is complete; its turn may pass on.
  void Close(std::size_t slot);

  // Told once, the first time the temporary file fails, with the reason.
  std::function<void(const std::string& reason)> OnSpoolFailed;

  std::size_t Current() const { return current_; }
  // Bytes now held in memory for slots whose turn has not come.
  std::size_t HeldInMemory() const { return heldInMemory_; }

 private:
  struct Slot {
    std::string memory;
    std::vector<Spool::Extent> spooled;
    std::string tail;  // after the spooled pieces, when the spool failed
    std::vector<std::string> reports;
    bool closed = false;
  };
  void advance();
  void release(Slot& slot);

  std::vector<Slot> slots_;
  Writer write_;
  Writer report_;
  std::size_t memoryLimit_;
  std::size_t current_ = 0;
  std::size_t heldInMemory_ = 0;
  Spool spool_;
  bool spoolFailureTold_ = false;
};

}  // namespace app
