// Test doubles of the object model: a dialog that records the information
// events it hears, an installable object of the install-file group that
// records its install step, and a group container. The fixture gives every
// test a form that owns what it creates and checks that nothing stays
// registered once the form is gone.
#pragma once
#include "objects/cmp_TInstallContainer.h"
#include "objects/cmp_TPathSpecifier.h"
#include "objects/cmp_TUninstallEXE.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Forms.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

inline std::vector<std::string>& InstallLog() {
    static std::vector<std::string> log;
    return log;
}

class TTestDialog : public TInstallObject {
    QFD_CLASS(TTestDialog)
public:
    explicit TTestDialog(TComponent* owner) : TInstallObject(owner) {}
    Integer RegisteredType() override { return rtDialog; }
    void HandleInformationEvent(TObject*, Integer Code, TObject* PO) override {
        Codes.push_back(Code);
        if (auto* m = dynamic_cast<TMessageParameter*>(PO))
            Messages.push_back(m->MessageText);
    }
    std::vector<Integer> Codes;
    std::vector<std::string> Messages;
};

// Its install step writes its name to InstallLog; it can end the step with
// EAbort or fail.
class TTestItem : public TInstallObject {
    QFD_CLASS(TTestItem)
public:
    explicit TTestItem(TComponent* owner) : TInstallObject(owner) { FInstallable = true; }
    Integer RegisteredType() override { return rtInstallFile; }
    void InstallHelpers() override {
        InstallLog().push_back(Name());
        if (AbortStep)
            throw EAbort();
        if (FailStep)
            throw IEInstallContainer("Step of %s failed on purpose", {Name()});
        TInstallObject::InstallHelpers();
    }
    void WriteUninstallEntries(const std::string& Key) override { Keys.push_back(Key); }
    bool AbortStep = false;
    bool FailStep = false;
    std::vector<std::string> Keys;
};

// A container of the file-container group that installs its helpers the
// plain way (file containers cannot install yet).
class TTestGroup : public TInstallObject {
    QFD_CLASS(TTestGroup)
public:
    explicit TTestGroup(TComponent* owner) : TInstallObject(owner) { FInstallable = true; }
    Integer RegisteredType() override { return rtFileContainer; }
    void InstallHelpers() override {
        InstallLog().push_back(Name());
        TInstallObject::InstallHelpers();
    }
};

// Goes first in its container whatever its group.
class TInstallBDE : public TTestItem {
    QFD_CLASS(TInstallBDE)
public:
    using TTestItem::TTestItem;
};

inline const TClassInfo& TTestDialog::StaticClass() {
    static const TClassInfo info = DescribeClass<TTestDialog, TInstallObject>("TTestDialog", [](auto&) {});
    return info;
}
inline const TClassInfo& TTestItem::StaticClass() {
    static const TClassInfo info = DescribeClass<TTestItem, TInstallObject>("TTestItem", [](auto&) {});
    return info;
}
inline const TClassInfo& TTestGroup::StaticClass() {
    static const TClassInfo info = DescribeClass<TTestGroup, TInstallObject>("TTestGroup", [](auto&) {});
    return info;
}
inline const TClassInfo& TInstallBDE::StaticClass() {
    static const TClassInfo info = DescribeClass<TInstallBDE, TTestItem>("TInstallBDE", [](auto&) {});
    return info;
}

// The message of what f raises as E, or a note that nothing (or something else) was raised.
template <class E, class F> std::string RaisedBy(F f) {
    try {
        f();
    } catch (const E& e) {
        return e.Message();
    } catch (const Exception& e) {
        return std::string("(other exception ") + e.ClassName() + ": " + e.Message() + ")";
    }
    return "(nothing raised)";
}

// The message of any exception that f raises.
template <class F> std::string MessageOf(F f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(nothing raised)";
}

inline std::vector<std::string> HelperNames(const TInstallContainer& c) {
    std::vector<std::string> names;
    for (int i = 0; i < c.HelperCount(); ++i)
        names.push_back(c.Helpers(i)->Name());
    return names;
}

inline std::vector<Integer> HelperOrders(const TInstallContainer& c) {
    std::vector<Integer> orders;
    for (int i = 0; i < c.HelperCount(); ++i)
        orders.push_back(c.Helpers(i)->Order());
    return orders;
}

// Every test gets a form as owner (so the standard specifiers exist once a
// container is made); after it, nothing of the model may stay registered.
class TObjectTreeFixture {
protected:
    void MakeOwner() {
        InstallLog().clear();
        RunState().Reset();
        ResetRunSeams();
        Owner = new TForm(nullptr);
    }
    void FreeOwner() {
        if (Owner)
            Owner->Free();
        Owner = nullptr;
        RunState().Reset();
        ResetRunSeams();
        EXPECT_EQ(InstallContainerList().Count(), 0);
        EXPECT_EQ(InstallFileList().Count(), 0);
        EXPECT_EQ(PathSpecifiers().Count(), 0);
        EXPECT_EQ(StandardPathSpecifiers().Count(), 0);
    }
    template <class T> T* Make(const std::string& name, TInstallContainer* container = nullptr) {
        T* t = new T(Owner);
        t->SetName(name);
        if (container)
            t->SetContainer(container);
        return t;
    }
    TCustomPathSpecifier* Standard(const TClassInfo& cls) {
        return StandardPathSpecifiers().FindSpecifier(cls);
    }

    TForm* Owner = nullptr;
};

class ObjectTree : public ::testing::Test, protected TObjectTreeFixture {
protected:
    void SetUp() override { MakeOwner(); }
    void TearDown() override { FreeOwner(); }
};
