#include "vcl/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "vcl/exceptions.h"

namespace {

// Records its destruction and whether it was already marked as destroying at that moment.
class Probe : public vcl::TComponent {
 public:
  Probe(vcl::TComponent* owner, std::vector<std::string>* log, std::string tag)
      : TComponent(owner), log_(log), tag_(std::move(tag)) {}
  ~Probe() override { log_->push_back(tag_ + (IsDestroying() ? ":destroying" : ":live")); }

 private:
  std::vector<std::string>* log_;
  std::string tag_;
};

TEST(Component, OwnerFreesChildrenLastFirstAllMarkedBeforeAnyIsFreed) {
  std::vector<std::string> log;
  auto root = vcl::MakeComponent<Probe>(&log, "root");
  auto* a = new Probe(root.get(), &log, "a");
  new Probe(a, &log, "a1");
  new Probe(root.get(), &log, "b");
  EXPECT_EQ(root->ComponentCount(), 2);
  root.reset();
  EXPECT_EQ(log, (std::vector<std::string>{"root:destroying", "b:destroying", "a:destroying",
                                           "a1:destroying"}));
}

TEST(Component, FreeingAChildRemovesItFromItsOwner) {
  std::vector<std::string> log;
  auto root = vcl::MakeComponent<Probe>(&log, "root");
  auto* child = new Probe(root.get(), &log, "child");
  child->SetName("Child1");
  EXPECT_EQ(root->FindComponent("CHILD1"), child);
  vcl::Free(child);
  EXPECT_EQ(root->ComponentCount(), 0);
  EXPECT_EQ(root->FindComponent("Child1"), nullptr);
}

TEST(Component, DesigningAndLoadingStates) {
  auto root = vcl::MakeComponent<vcl::TComponent>();
  auto* child = new vcl::TComponent(root.get());
  root->SetDesigning(true);
  EXPECT_TRUE(child->IsDesigning());
  root->SetLoading(true);
  EXPECT_TRUE(root->IsLoading());
  root->Loaded();
  EXPECT_FALSE(root->IsLoading());
}

TEST(Persistent, AssignBetweenUnrelatedClassesNamesBoth) {
  vcl::TPersistent a;
  auto c = vcl::MakeComponent<vcl::TComponent>();
  try {
    c->Assign(&a);
    FAIL() << "no exception";
  } catch (const vcl::EConvertError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a TPersistent to a TComponent");
  }
}

}  // namespace
