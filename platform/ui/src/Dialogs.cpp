// The seam's selection, the Qt implementation and the platform adapter.
#include "vcl/Dialogs.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>

#include "UiCall.h"
#include "vcl/Forms.h"

namespace vcl {

namespace {

std::atomic<Dialogs*> g_dialogs{nullptr};

QtDialogs& QtImplementation() {
    static QtDialogs dialogs;
    return dialogs;
}

std::string Trim(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

// ASCII case only: bytes of multi-byte characters stay as they are.
std::string WithCase(std::string text, int (*convert)(int)) {
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) c = static_cast<char>(convert(byte));
    }
    return text;
}

int AnswerOf(QMessageBox::StandardButton button, uint32_t flags) {
    switch (button) {
        case QMessageBox::Ok: return platform::IDOK;
        case QMessageBox::Cancel: return platform::IDCANCEL;
        case QMessageBox::Abort: return 3;
        case QMessageBox::Retry: return 4;
        case QMessageBox::Ignore: return 5;
        case QMessageBox::Yes: return platform::IDYES;
        case QMessageBox::No: return platform::IDNO;
        default:
            // Closed without a button: an OK-only box answers OK, any other
            // the safe way.
            return (flags & 0x0F) == platform::MB_OK ? platform::IDOK : platform::IDCANCEL;
    }
}

QMessageBox::StandardButtons ButtonsOf(uint32_t flags) {
    switch (flags & 0x0F) {
        case 1: return QMessageBox::Ok | QMessageBox::Cancel;
        case 2: return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
        case 3: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        case 4: return QMessageBox::Yes | QMessageBox::No;
        case 5: return QMessageBox::Retry | QMessageBox::Cancel;
        default: return QMessageBox::Ok;
    }
}

QMessageBox::Icon IconOf(uint32_t flags) {
    switch (flags & 0xF0) {
        case 0x10: return QMessageBox::Critical;
        case 0x20: return QMessageBox::Question;
        case 0x30: return QMessageBox::Warning;
        case 0x40: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

class ServiceAdapter : public platform::IMessageBoxes {
public:
    int MessageBox(const void* owner, const std::string& text, const std::string& caption,
                   uint32_t flags) override {
        return vcl::MessageBox(owner, text, caption, flags);
    }
};

}  // namespace

Dialogs& CurrentDialogs() {
    Dialogs* installed = g_dialogs.load();
    return installed != nullptr ? *installed : QtImplementation();
}

void InstallDialogs(Dialogs* dialogs) { g_dialogs = dialogs; }

int MessageBox(const void* owner, const std::string& text, const std::string& caption,
               uint32_t flags) {
    return CurrentDialogs().MessageBox(owner, text, caption, flags);
}

std::string QtFilterFromVcl(const std::string& filter) {
    if (filter.empty()) return std::string();
    const std::vector<std::string> parts = Split(filter, '|');
    std::string result;
    for (size_t i = 0; i < parts.size(); i += 2) {
        std::vector<std::string> patterns;
        auto add = [&patterns](const std::string& pattern) {
            if (!pattern.empty() &&
                std::find(patterns.begin(), patterns.end(), pattern) == patterns.end())
                patterns.push_back(pattern);
        };
        if (i + 1 < parts.size()) {
            for (const std::string& raw : Split(parts[i + 1], ';')) {
                const std::string pattern = Trim(raw);
                add(pattern);
                add(WithCase(pattern, ::toupper));
                add(WithCase(pattern, ::tolower));
            }
        }
        if (patterns.empty()) patterns.push_back("*");
        if (!result.empty()) result += ";;";
        result += parts[i] + " (";
        for (size_t p = 0; p < patterns.size(); ++p) result += (p == 0 ? "" : " ") + patterns[p];
        result += ")";
    }
    return result;
}

// ---------------------------------------------------------------------------
// Qt

int QtDialogs::MessageBox(const void* owner, const std::string& text, const std::string& caption,
                          uint32_t flags) {
    if (QCoreApplication::instance() == nullptr) {
        std::fprintf(stderr, "message box without an application: %s: %s\n", caption.c_str(),
                     text.c_str());
        return 0;
    }
    if (!IsUiThread()) {
        int answer = 0;
        detail::Call([&] { answer = MessageBox(owner, text, caption, flags); });
        return answer;
    }
    QMessageBox box(IconOf(flags), QString::fromUtf8(caption), QString::fromUtf8(text),
                    ButtonsOf(flags), FindForm(owner));
    box.setTextFormat(Qt::PlainText);
    box.setWindowModality(Qt::ApplicationModal);
    if ((flags & platform::MB_SYSTEMMODAL) != 0) box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.exec();
    return AnswerOf(box.standardButton(box.clickedButton()), flags);
}

namespace detail {

bool ModalAnsweredElsewhere(Dialogs& dialogs, TForm& form, int& result) {
    if (!IsUiThread() && QCoreApplication::instance() != nullptr) {
        result = mrCancel;
        Call([&] { result = dialogs.ShowModal(form); });
        return true;
    }
    if (Application.Terminated()) {
        form.SetModalResult(mrCancel);
        result = mrCancel;
        return true;
    }
    return false;
}

}  // namespace detail

int QtDialogs::ShowModal(TForm& form) {
    if (int result = 0; detail::ModalAnsweredElsewhere(*this, form, result)) return result;
    QPointer<TForm> alive(&form);
    QEventLoop loop;
    if (form.isVisible()) form.hide();
    form.EnterModal(&loop);
    form.setWindowModality(Qt::ApplicationModal);
    form.Show();
    if (form.ModalResult() == mrNone) {
        Application.PushLoop(&loop);
        if (!Application.Terminated()) loop.exec();
        Application.PopLoop(&loop);
    }
    if (alive.isNull()) return mrCancel;  // freed while it was up
    form.hide();
    form.setWindowModality(Qt::NonModal);
    form.LeaveModal();
    if (form.ModalResult() == mrNone) form.SetModalResult(mrCancel);
    return form.ModalResult();
}

bool QtDialogs::OpenFile(TForm* owner, const std::string& filter, std::string& path) {
    if (QCoreApplication::instance() == nullptr) return false;
    if (!IsUiThread()) {
        bool accepted = false;
        detail::Call([&] { accepted = OpenFile(owner, filter, path); });
        return accepted;
    }
    const QString start = path.empty() ? QDir::currentPath() : QString::fromStdString(path);
    const QString chosen = QFileDialog::getOpenFileName(owner, QString(), start,
                                                        QString::fromStdString(QtFilterFromVcl(filter)));
    if (chosen.isEmpty()) return false;
    path = chosen.toStdString();
    return true;
}

// ---------------------------------------------------------------------------
// Platform adapter

platform::IMessageBoxes& MessageBoxService() {
    static ServiceAdapter adapter;
    return adapter;
}

bool InstallMessageBoxService() {
    if (!platform::IsInstalled()) return false;
    platform::Services services;
    services.MessageBoxes = &MessageBoxService();
    platform::Install(services);
    return true;
}

}  // namespace vcl
