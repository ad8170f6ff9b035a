// A program of the framework whose components leave a trace when they are
// destroyed: trace.txt in the current folder gets one line per step of the
// program's end, so a test can see that the end frees what the loop left.
#include "platform/exceptions_Quenfold.h"
#include "platform/routines_Files.h"
#include "toolkit/classes_Publish.h"
#include "toolkit/forms_Forms.h"

namespace {

void Trace(const std::string& line) {
    static std::string text;
    text += line + "\n";
    try {
        TFileStream f("trace.txt", fmCreate);
        f.WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
    } catch (const Exception&) {
    }
}

class TTraceComponent : public TComponent {
    QFD_CLASS(TTraceComponent)
public:
    using TComponent::TComponent;
    ~TTraceComponent() override { Trace("component " + Name()); }
};

class TEndForm : public TForm {
    QFD_CLASS(TEndForm)
public:
    using TForm::TForm;
    ~TEndForm() override { Trace("form"); }
    void FormDestroy(TObject*) { Trace("form OnDestroy"); }
};

const TClassInfo& TTraceComponent::StaticClass() {
    static const TClassInfo info =
        DescribeClass<TTraceComponent, TComponent>("TTraceComponent", [](auto&) {});
    return info;
}

const TClassInfo& TEndForm::StaticClass() {
    static const TClassInfo info = DescribeClass<TEndForm, TForm>(
        "TEndForm", [](auto& c) { c.template Method<TNotifyEvent>("FormDestroy", &TEndForm::FormDestroy); });
    return info;
}

} // namespace

int main() {
    int code = RunApplication([] {
        RegisterClass(TTraceComponent::StaticClass());
        // Owned by the application itself and made before the form: it goes
        // after the form, when the application does.
        auto* own = new TTraceComponent(Application());
        own->SetName("OfTheApplication");
        Application()->CreateForm<TEndForm>();
    });
    Trace("end " + std::to_string(code));
    return code;
}
