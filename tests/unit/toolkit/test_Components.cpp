#include "TestClasses.h"
#include <gtest/gtest.h>

namespace {

class Recorder : public TComponent {
public:
    Recorder(TComponent* owner, std::vector<std::string>& log) : TComponent(owner), FLog(log) {}
    ~Recorder() override { FLog.push_back("destroyed " + Name()); }
    void Notification(TComponent* c, TOperation op) override {
        FLog.push_back(Name() + (op == opInsert ? " +" : " -") + c->Name());
    }

private:
    std::vector<std::string>& FLog;
};

TEST(Components, OwnerDestroysItsComponentsLastCreatedFirst) {
    std::vector<std::string> log;
    auto* owner = new TComponent(nullptr);
    auto* a = new Recorder(owner, log);
    a->SetName("A");
    auto* b = new Recorder(owner, log);
    b->SetName("B");
    log.clear();
    owner->Free();
    // B goes first; A hears of it while still whole.
    EXPECT_EQ(log, (std::vector<std::string>{"A -B", "destroyed B", "destroyed A"}));
}

TEST(Components, ReferencesAreClearedWhenTheTargetGoes) {
    RegisterTestClasses();
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* a = new TThing(owner.get());
    // b is owned elsewhere: only the free notification tells a.
    TOwnedPtr<TThing> b(new TThing(nullptr));
    a->SetPartner(b.get());
    b.reset();
    EXPECT_EQ(a->Partner, nullptr);

    auto* c = new TThing(owner.get());
    a->SetPartner(c);
    delete c; // a plain delete notifies too
    EXPECT_EQ(a->Partner, nullptr);
    EXPECT_EQ(owner->ComponentCount(), 1);
}

TEST(Components, NamesAreIdentifiersUniqueInTheOwner) {
    TComponent owner(nullptr);
    auto* a = new TComponent(&owner);
    a->SetName("Install1");
    auto* b = new TComponent(&owner);
    EXPECT_THROW(b->SetName("INSTALL1"), EComponentError);
    EXPECT_THROW(b->SetName("1st"), EComponentError);
    EXPECT_THROW(b->SetName("a b"), EComponentError);
    b->SetName("Install2");
    EXPECT_EQ(owner.FindComponent("install2"), b);
    EXPECT_EQ(owner.FindComponent(""), nullptr);
}

TEST(Components, ClassDescriptionsInheritAndRegisterByName) {
    RegisterTestClasses();
    const TClassInfo& thing = GetClass("tthing");
    EXPECT_TRUE(thing.InheritsFrom(TComponent::StaticClass()));
    ASSERT_NE(thing.FindProp("tag"), nullptr); // inherited
    EXPECT_EQ(thing.FindProp("Tag")->Kind, TPropKind::Integer);
    EXPECT_EQ(thing.FindProp("Shade")->Default, "shNone");
    EXPECT_EQ(thing.AllProps().front()->Name, "Tag");
    EXPECT_THROW(GetClass("TMissing"), EClassNotFound);

    TFont a, b;
    b.SetName("Arial");
    int changes = 0;
    a.OnChange = [&] { ++changes; };
    a.Assign(b);
    EXPECT_EQ(a.Name(), "Arial");
    EXPECT_EQ(changes, 1);
    TInner inner;
    EXPECT_THROW(a.Assign(inner), EConvertError);
}

} // namespace
