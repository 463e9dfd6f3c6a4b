// Owned components: owners free what they own, and watchers hear of removals.
#include "platform/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace platform;

namespace {

std::vector<std::string>* journal = nullptr;

class Probe : public TComponent {
 public:
  Probe(TComponent* owner, std::string name) : TComponent(owner) { SetName(std::move(name)); }
  ~Probe() override {
    if (journal != nullptr) journal->push_back("free " + Name());
  }

  // Cleared when the watched component goes, as a component holding a
  // reference must.
  TComponent* watched = nullptr;

 protected:
  void Notification(TComponent* component, TOperation operation) override {
    TComponent::Notification(component, operation);
    if (journal != nullptr)
      journal->push_back(Name() + (operation == TOperation::opInsert ? " +" : " -") +
                         component->Name());
    if (operation == TOperation::opRemove && component == watched) watched = nullptr;
  }
};

class Components : public ::testing::Test {
 protected:
  void SetUp() override { journal = &log; }
  void TearDown() override { journal = nullptr; }
  std::vector<std::string> log;
};

}  // namespace

TEST_F(Components, AnOwnerHearsOfItsComponentsAndFreesThemLastCreatedFirst) {
  auto* form = new Probe(nullptr, "Form1");
  auto* connection = new Probe(form, "TelnetConnection1");
  new Probe(connection, "Socket");
  delete new Probe(form, "Timer1");  // an early free leaves the owner
  new Probe(form, "Timer2");
  EXPECT_EQ(form->ComponentCount(), 2);
  EXPECT_EQ(connection->Owner(), form);
  // The insertion is told while the new component is still being built,
  // before it has a name.
  EXPECT_EQ(log, (std::vector<std::string>{"Form1 +", "TelnetConnection1 +", "Form1 +",
                                           "free Timer1", "Form1 -Timer1", "Form1 +"}));
  log.clear();
  delete form;
  // The owner's own part is gone by the time it frees its components (C++
  // destroys the derived part first), so no notification of it shows here.
  EXPECT_EQ(log, (std::vector<std::string>{"free Form1", "free Timer2", "free TelnetConnection1",
                                           "free Socket"}));
}

TEST_F(Components, WatchersHearOfAFreeUntilTheyGoOrStopWatching) {
  Probe other(nullptr, "Other");
  auto* socket = new Probe(nullptr, "Socket");
  other.watched = socket;
  socket->FreeNotification(&other);
  delete socket;
  EXPECT_EQ(other.watched, nullptr);

  socket = new Probe(nullptr, "Socket");
  other.watched = socket;
  socket->FreeNotification(&other);
  socket->RemoveFreeNotification(&other);
  {
    Probe gone(nullptr, "Watcher");
    socket->FreeNotification(&gone);
  }
  log.clear();
  delete socket;  // must not touch the watcher that is gone, nor the one that stopped
  EXPECT_EQ(other.watched, socket);
  EXPECT_EQ(log, (std::vector<std::string>{"free Socket"}));
}
