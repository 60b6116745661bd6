// The recording implementation of the seam: what a test or a headless run
// reads instead of looking at a screen.
#include <QCoreApplication>
#include <QLabel>

#include <cstdio>

#include "UiCall.h"
#include "vcl/Dialogs.h"
#include "vcl/Forms.h"

namespace vcl {

namespace {

// One line per record: newlines, quotes and backslashes escaped.
std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

template <typename T>
T TakeFront(std::deque<T>& queue, T fallback) {
    if (queue.empty()) return fallback;
    T value = queue.front();
    queue.pop_front();
    return value;
}

}  // namespace

std::string ModalRecord::Text(const std::string& name) const {
    const auto it = Texts.find(name);
    return it == Texts.end() ? std::string() : it->second;
}

void RecordingDialogs::Echo(const std::string& line) const {
    if (echo_) std::fprintf(stderr, "ui: %s\n", line.c_str());
}

int RecordingDialogs::MessageBox(const void* owner, const std::string& text,
                                 const std::string& caption, uint32_t flags) {
    std::lock_guard lock(mutex_);
    MessageBoxRecord record;
    record.Sequence = ++sequence_;
    record.Owner = owner;
    record.Text = text;
    record.Caption = caption;
    record.Flags = flags;
    record.OnUiThread = IsUiThread();
    record.Answer = TakeFront(boxAnswers_, platform::IDOK);
    boxes_.push_back(record);
    char flagText[16];
    std::snprintf(flagText, sizeof flagText, "0x%X", static_cast<unsigned>(flags));
    Echo("MessageBox caption=" + Quoted(caption) + " flags=" + flagText + " text=" + Quoted(text) +
         " -> " + std::to_string(record.Answer));
    return record.Answer;
}

int RecordingDialogs::ShowModal(TForm& form) {
    if (int result = 0; detail::ModalAnsweredElsewhere(*this, form, result)) return result;
    form.EnterModal(nullptr);
    form.NotifyShown();
    form.NotifyActivated();
    ModalRecord record;
    record.ClassName = form.ClassName();
    for (const QLabel* label : form.findChildren<QLabel*>())
        if (!label->isHidden() && !label->objectName().isEmpty())
            record.Texts[label->objectName().toStdString()] = label->text().toStdString();
    size_t index = 0;
    std::function<void(TForm&)> callback;
    {
        std::lock_guard lock(mutex_);
        record.Sequence = ++sequence_;
        index = modals_.size();
        modals_.push_back(record);
        callback = modalCallback_;
    }
    if (callback) Guard([&] { callback(form); });
    int result = form.ModalResult();
    if (result == mrNone) {
        {
            std::lock_guard lock(mutex_);
            result = TakeFront(modalResults_, mrOk);
        }
        // The queued answer closes the form as a person would: its close
        // query may refuse, and the form then stays up with no result.
        form.SetModalResult(result);
        result = form.ModalResult();
    }
    std::lock_guard lock(mutex_);
    form.LeaveModal();
    form.SetModalResult(result);
    modals_[index].Result = result;
    std::string line = "ShowModal " + record.ClassName;
    for (const auto& [name, text] : record.Texts) line += " " + name + "=" + Quoted(text);
    Echo(line + " -> " + std::to_string(result));
    return result;
}

bool RecordingDialogs::OpenFile(TForm* owner, const std::string& filter, std::string& path) {
    std::lock_guard lock(mutex_);
    OpenFileRecord record;
    record.Sequence = ++sequence_;
    record.Owner = owner;
    record.Filter = filter;
    record.InitialPath = path;
    const std::optional<std::string> answer =
        TakeFront(fileAnswers_, std::optional<std::string>());
    record.Accepted = answer.has_value();
    if (answer) {
        record.Path = *answer;
        path = *answer;
    }
    files_.push_back(record);
    Echo("OpenFile filter=" + Quoted(filter) + " -> " +
         (record.Accepted ? Quoted(record.Path) : std::string("cancelled")));
    return record.Accepted;
}

void RecordingDialogs::QueueMessageBoxAnswer(int answer) {
    std::lock_guard lock(mutex_);
    boxAnswers_.push_back(answer);
}

void RecordingDialogs::QueueModalResult(int result) {
    std::lock_guard lock(mutex_);
    modalResults_.push_back(result);
}

void RecordingDialogs::QueueOpenFile(const std::string& path) {
    std::lock_guard lock(mutex_);
    fileAnswers_.emplace_back(path);
}

void RecordingDialogs::QueueOpenFileCancel() {
    std::lock_guard lock(mutex_);
    fileAnswers_.emplace_back(std::nullopt);
}

void RecordingDialogs::SetModalCallback(std::function<void(TForm&)> callback) {
    std::lock_guard lock(mutex_);
    modalCallback_ = std::move(callback);
}

void RecordingDialogs::SetEcho(bool on) {
    std::lock_guard lock(mutex_);
    echo_ = on;
}

std::vector<MessageBoxRecord> RecordingDialogs::MessageBoxes() const {
    std::lock_guard lock(mutex_);
    return boxes_;
}

std::vector<ModalRecord> RecordingDialogs::ModalForms() const {
    std::lock_guard lock(mutex_);
    return modals_;
}

std::vector<OpenFileRecord> RecordingDialogs::OpenFiles() const {
    std::lock_guard lock(mutex_);
    return files_;
}

void RecordingDialogs::Clear() {
    std::lock_guard lock(mutex_);
    sequence_ = 0;
    boxAnswers_.clear();
    modalResults_.clear();
    fileAnswers_.clear();
    modalCallback_ = nullptr;
    boxes_.clear();
    modals_.clear();
    files_.clear();
}

}  // namespace vcl
