// Components: ownership, names, state flags, and TPersistent assignment.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "vorlane/runtime/Classes.hpp"

using namespace vorlane;
using Classes::TComponent;

namespace {

std::vector<std::string> gLog;

// Records its destruction and whether csDestroying was set by then.
class TLogged : public TComponent {
 public:
  TLogged(TComponent* owner, std::string id) : TComponent(owner), FId(std::move(id)) {}
  ~TLogged() override {
    gLog.push_back(FId + (GetComponentState().Contains(Classes::csDestroying) ? "" : " (alive)") +
                   (GetOwner() != nullptr ? " owned" : ""));
  }

 private:
  std::string FId;
};

TEST(Ownership, OwnerDestroysLastCreatedFirst) {
  gLog.clear();
  auto* root = new TLogged(nullptr, "root");
  auto* a = new TLogged(root, "a");
  new TLogged(root, "b");
  new TLogged(a, "a1");
  new TLogged(root, "c");
  EXPECT_EQ(root->GetComponentCount(), 3);
  EXPECT_EQ(a->GetOwner(), root);
  System::TObject::Free(root);
  // Each one still sees its owner while its own destructor runs and is marked
  // csDestroying before any destructor runs; a's own component goes with a.
  EXPECT_EQ(gLog, (std::vector<std::string>{"root", "c owned", "b owned", "a owned", "a1 owned"}));
}

TEST(Ownership, DestroyedComponentLeavesItsOwner) {
  gLog.clear();
  TComponent root(nullptr);
  auto* a = new TLogged(&root, "a");
  auto* b = new TLogged(&root, "b");
  delete a;
  ASSERT_EQ(root.GetComponentCount(), 1);
  EXPECT_EQ(root.GetComponents(0), b);
  EXPECT_THROW(root.GetComponents(1), Classes::EComponentError);
}

// Components leave their owner in any order; the owner's list (indices, count,
// names) must match a plain model throughout, across the gaps left behind and
// after they are closed again.
TEST(Ownership, ListStaysInCreationOrderWhateverLeaves) {
  TComponent root(nullptr);
  std::vector<TComponent*> model;
  for (int i = 0; i < 300; ++i) {
    model.push_back(new TComponent(&root));
    System::String name(u"C");  // appended: g++ 12 -O3 misreads `literal + temporary` (-Wrestrict)
    name += System::IntToStr(i);
    model.back()->SetName(name);
  }
  auto check = [&] {
    ASSERT_EQ(root.GetComponentCount(), static_cast<int>(model.size()));
    for (std::size_t i = 0; i < model.size(); ++i)
      ASSERT_EQ(root.GetComponents(static_cast<int>(i)), model[i]) << "index " << i;
  };
  std::mt19937 random(7);
  while (model.size() > 40) {
    const std::size_t at = random() % model.size();
    const System::String name = model[at]->GetName();
    delete model[at];
    model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
    EXPECT_EQ(root.FindComponent(name), nullptr);
    if (model.size() % 37 == 0) check();
    if (model.size() % 50 == 0 && model.back()->GetName().size() > 0)
      model.push_back(new TComponent(&root));  // unnamed, after the gaps
  }
  check();
  for (TComponent* c : model) {
    if (!c->GetName().empty()) {
      EXPECT_EQ(root.FindComponent(c->GetName()), c);
    }
  }
  System::TObject::Free(model.front());  // the first one, then the rest with the owner
  model.erase(model.begin());
  check();
}

TEST(Names, RenamingMovesTheNameAndFreesTheOldOne) {
  TComponent root(nullptr);
  auto* a = new TComponent(&root);
  auto* b = new TComponent(&root);
  a->SetName(u"Pad");
  a->SetName(u"PAD");  // the same name to its owner: no clash with itself
  EXPECT_EQ(root.FindComponent(u"pad"), a);
  a->SetName(u"Stick");
  EXPECT_EQ(root.FindComponent(u"Pad"), nullptr);
  b->SetName(u"pad");  // free again
  EXPECT_EQ(root.FindComponent(u"PAD"), b);
  EXPECT_THROW(a->SetName(u"Pad"), Classes::EComponentError);
  EXPECT_EQ(root.FindComponent(u"Stick"), a);  // a refused rename keeps the old name
  b->SetName(u"");
  EXPECT_EQ(root.FindComponent(u"pad"), nullptr);
  a->SetName(u"Pad");
  EXPECT_EQ(root.FindComponent(u"Pad"), a);
}

TEST(Names, ValidatedAndUniqueAmongSiblings) {
  TComponent root(nullptr);
  auto* a = new TComponent(&root);
  auto* b = new TComponent(&root);
  a->SetName(u"Joystick1");
  EXPECT_EQ(root.FindComponent(u"JOYSTICK1"), a);
  try {
    b->SetName(u"joystick1");
    FAIL() << "no exception";
  } catch (const Classes::EComponentError& e) {
    EXPECT_EQ(e.GetMessage(), u"A component named joystick1 already exists.");
  }
  for (const char16_t* bad : {u"1abc", u"a b", u"a-b", u"\u00E9t\u00E9"}) {
    try {
      b->SetName(bad);
      ADD_FAILURE() << "accepted " << System::StringToUtf8(bad);
    } catch (const Classes::EComponentError& e) {
      EXPECT_EQ(e.GetMessage(), u"'" + System::String(bad) + u"' is not a valid component name.");
    }
  }
  EXPECT_EQ(b->GetName(), u"");
  b->SetName(u"_Pad_2");
  a->SetName(u"JOYSTICK1");  // renaming itself in another case is fine
  a->SetName(u"");
  b->SetName(u"");  // several unnamed siblings are fine
  EXPECT_EQ(root.FindComponent(u""), nullptr);
  TComponent other(nullptr);
  other.SetName(u"Pad");
  TComponent other2(nullptr);
  other2.SetName(u"Pad");  // no owner, no siblings
}

TEST(State, LoadingAndDesigningFlags) {
  EXPECT_EQ(Classes::TComponentState{Classes::csLoading}.Bits(), 1);
  EXPECT_EQ(Classes::TComponentState{Classes::csDesigning}.Bits(), 16);
  TComponent root(nullptr);
  auto* child = new TComponent(&root);
  auto* grandChild = new TComponent(child);
  root.SetDesigning(true);
  EXPECT_TRUE(grandChild->GetComponentState().Contains(Classes::csDesigning));
  root.SetDesigning(false);
  EXPECT_TRUE(root.GetComponentState().Empty());
  EXPECT_TRUE(grandChild->GetComponentState().Empty());
  child->BeginLoading();
  EXPECT_EQ(child->GetComponentState().Bits(), 1);
  child->Loaded();
  EXPECT_TRUE(child->GetComponentState().Empty());
}

class TPoint : public Classes::TPersistent {
 public:
  static const TypInfo::TClassInfo& StaticClass() {
    static const TypInfo::TClassInfo info("TPoint", &TPersistent::StaticClass());
    return info;
  }
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }
  void Assign(TPersistent* source) override {
    if (auto* p = dynamic_cast<TPoint*>(source)) {
      X = p->X;
      return;
    }
    TPersistent::Assign(source);
  }
  int X = 0;
};

// Knows how to put itself into a TPoint, which does not know it.
class TPolar : public Classes::TPersistent {
 public:
  static const TypInfo::TClassInfo& StaticClass() {
    static const TypInfo::TClassInfo info("TPolar", &TPersistent::StaticClass());
    return info;
  }
  const TypInfo::TClassInfo& ClassType() const override { return StaticClass(); }

 protected:
  void AssignTo(TPersistent* dest) override {
    if (auto* p = dynamic_cast<TPoint*>(dest)) {
      p->X = 42;
      return;
    }
    TPersistent::AssignTo(dest);
  }
};

TEST(Assign, DefaultRejectsNamingBothClasses) {
  TPoint a, b;
  b.X = 7;
  a.Assign(&b);
  EXPECT_EQ(a.X, 7);
  TPolar polar;
  a.Assign(&polar);  // through the source's AssignTo
  EXPECT_EQ(a.X, 42);
  TComponent component(nullptr);
  auto message = [](auto&& f) {
    try {
      f();
    } catch (const System::EConvertError& e) {
      return e.GetMessage();
    }
    return System::String(u"no exception");
  };
  EXPECT_EQ(message([&] { a.Assign(&component); }), u"Cannot assign a TComponent to a TPoint.");
  EXPECT_EQ(message([&] { a.Assign(nullptr); }), u"Cannot assign a nil to a TPoint.");
  EXPECT_EQ(message([&] { component.Assign(&a); }), u"Cannot assign a TPoint to a TComponent.");
  EXPECT_EQ(message([&] { polar.Assign(&polar); }), u"Cannot assign a TPolar to a TPolar.");
}

}  // namespace
