// The seam every message box, every modal window and the open-file dialog
// pass through.  One implementation is installed process-wide: the Qt one
// (real boxes and nested modal loops) or the recording one (tests and
// headless runs: records what was shown, answers from queues, never blocks).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Services.h"

namespace vcl {

class TForm;

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // Any thread; a call from a worker waits for the answer.  Owner is a form
    // (or nullptr); flags and answer as the Windows message box has them
    // (platform::MB_*, platform::ID*).
    virtual int MessageBox(const void* owner, const std::string& text, const std::string& caption,
                           uint32_t flags) = 0;
    // Shows `form` modally; returns its modal result.
    virtual int ShowModal(TForm& form) = 0;
    // The open-file dialog.  `filter` in the class library's form
    // ("DOWNLOAD FILE(*.BIN)|*.BIN"); `path` in: initial name, out: chosen
    // file.  False when cancelled (path untouched).
    virtual bool OpenFile(TForm* owner, const std::string& filter, std::string& path) = 0;
};

// The installed implementation (the Qt one unless another is installed).
Dialogs& CurrentDialogs();
// nullptr goes back to the Qt implementation.  `dialogs` must outlive its use.
void InstallDialogs(Dialogs* dialogs);

// Shorthand for CurrentDialogs().MessageBox.
int MessageBox(const void* owner, const std::string& text, const std::string& caption,
               uint32_t flags);

// A class-library filter ("Text|*.A;*.B|...") in Qt's form ("Text (*.A *.a *.B
// *.b);;..."); every pattern is offered in upper and lower case, since Linux
// file names are case-sensitive.
std::string QtFilterFromVcl(const std::string& filter);

class QtDialogs : public Dialogs {
public:
    int MessageBox(const void* owner, const std::string& text, const std::string& caption,
                   uint32_t flags) override;
    int ShowModal(TForm& form) override;
    bool OpenFile(TForm* owner, const std::string& filter, std::string& path) override;
};

struct MessageBoxRecord {
    int Sequence = 0;  // order among all records of the recorder
    const void* Owner = nullptr;
    std::string Text;
    std::string Caption;
    uint32_t Flags = 0;
    bool OnUiThread = false;
    int Answer = 0;
};

struct ModalRecord {
    int Sequence = 0;
    std::string ClassName;
    // Object name -> text of every label of the form that is not hidden,
    // read when the form was shown.
    std::map<std::string, std::string> Texts;
    int Result = 0;
    // The text of one label ("" when there is none).
    std::string Text(const std::string& name) const;
};

struct OpenFileRecord {
    int Sequence = 0;
    const void* Owner = nullptr;
    std::string Filter;
    std::string InitialPath;
    bool Accepted = false;
    std::string Path;
};

class RecordingDialogs : public Dialogs {
public:
    int MessageBox(const void* owner, const std::string& text, const std::string& caption,
                   uint32_t flags) override;
    int ShowModal(TForm& form) override;
    bool OpenFile(TForm* owner, const std::string& filter, std::string& path) override;

    // Answers, used in order; when a queue is empty: IDOK, mrOk, cancelled.
    void QueueMessageBoxAnswer(int answer);
    void QueueModalResult(int result);
    void QueueOpenFile(const std::string& path);
    void QueueOpenFileCancel();
    // Called on the UI thread for each modal form while it is up (before the
    // answer is taken): a result it sets (say, by pressing a button that
    // closes the form) wins over the queue.
    void SetModalCallback(std::function<void(TForm&)> callback);
    // Also writes each record as one line on stderr.
    void SetEcho(bool on);

    std::vector<MessageBoxRecord> MessageBoxes() const;
    std::vector<ModalRecord> ModalForms() const;
    std::vector<OpenFileRecord> OpenFiles() const;
    void Clear();

private:
    void Echo(const std::string& line) const;

    mutable std::mutex mutex_;
    int sequence_ = 0;
    bool echo_ = false;
    std::deque<int> boxAnswers_;
    std::deque<int> modalResults_;
    std::deque<std::optional<std::string>> fileAnswers_;
    std::function<void(TForm&)> modalCallback_;
    std::vector<MessageBoxRecord> boxes_;
    std::vector<ModalRecord> modals_;
    std::vector<OpenFileRecord> files_;
};

// The message-box service of the platform layer, answered by the installed
// dialogs (so win::MessageBoxA shows through the same seam).
platform::IMessageBoxes& MessageBoxService();
// Puts MessageBoxService() into the installed platform services; false when no
// machine is installed yet.
bool InstallMessageBoxService();

}  // namespace vcl
