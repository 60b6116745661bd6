#include "diagnostic/TestScript.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "diagnostic/Mirtaltest.h"
#include "words/Words.h"
#include "vcl/Controls.h"
#include "vcl/Dialogs.h"

namespace {

bool IsNumber(const std::string& word) {
    if (word.empty() || word.size() > 9) return false;
    for (char c : word)
        if (c < '0' || c > '9') return false;
    return true;
}

// One line into a step; "" when it is sound, else why not.
std::string ReadStep(const std::vector<std::string>& w, ScriptStep& step) {
    using Kind = ScriptStep::Kind;
    const std::string& keyword = w[0];
    const auto expect = [&](size_t count, const char* form) -> std::string {
        return w.size() == count ? std::string() : std::string("expected \"") + form + "\"";
    };
    if (keyword == "drive") {
        step.What = Kind::Drive;
        if (w.size() != 2 || !IsNumber(w[1])) return "expected \"drive <number>\"";
        step.Text = w[1];
        return {};
    }
    if (keyword == "log") {
        step.What = Kind::LogName;
        if (w.size() == 2) step.Text = w[1];
        return expect(2, "log <name>");
    }
    if (keyword == "batch") {
        step.What = Kind::Batch;
        return expect(1, "batch");
    }
    if (keyword == "read") {
        if (w.size() != 3 || (w[1] != "random" && w[1] != "sequential") || w[2].empty())
            return "expected \"read random|sequential <loops>\"";
        step.What = w[1] == "random" ? Kind::RandomRead : Kind::SequentialRead;
        step.Text = w[2];
        return {};
    }
    if (keyword == "write") {
        if (w.size() != 2 || (w[1] != "partial" && w[1] != "full")) return "expected \"write partial|full\"";
        step.What = w[1] == "partial" ? Kind::PartialWrite : Kind::FullWrite;
        return {};
    }
    if (keyword == "answer") {
        if (w.size() != 2 || (w[1] != "ok" && w[1] != "cancel")) return "expected \"answer ok|cancel\"";
        step.What = w[1] == "ok" ? Kind::AnswerOk : Kind::AnswerCancel;
        return {};
    }
    if (keyword == "start") {
        step.What = Kind::Start;
        return expect(1, "start");
    }
    return "unknown step \"" + keyword + "\"";
}

void Echo(const std::string& line) { std::fprintf(stderr, "ui: script: %s\n", line.c_str()); }

void ChooseRead(TFormTest& form, QCheckBox* box, QLineEdit* edit, const std::string& loops) {
    if (!form.ReadProperties->isChecked()) form.ReadProperties->click();
    if (!box->isChecked()) box->click();
    edit->setText(QString::fromStdString(loops));
}

}  // namespace

bool LoadTestScript(const std::string& path, std::vector<ScriptStep>& steps, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the test script " + path;
        return false;
    }
    steps.clear();
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::vector<words::Token> tokens;
        std::string why;
        words::Tokenize(line, tokens, why);
        if (why.empty() && tokens.empty()) continue;
        std::vector<std::string> words;
        for (words::Token& token : tokens) words.push_back(std::move(token.Text));
        ScriptStep step;
        step.Line = number;
        if (why.empty()) why = ReadStep(words, step);
        if (!why.empty()) {
            error = path + ":" + std::to_string(number) + ": " + why;
            return false;
        }
        steps.push_back(step);
    }
    if (in.bad()) {
        error = "cannot read the test script " + path;
        return false;
    }
    return true;
}

bool RunTestScript(TFormTest& form, const std::vector<ScriptStep>& steps, vcl::RecordingDialogs& dialogs,
                   std::string& error) {
    using Kind = ScriptStep::Kind;
    for (const ScriptStep& step : steps) {
        const std::string where = "line " + std::to_string(step.Line) + ": ";
        switch (step.What) {
            case Kind::Drive: {
                const int index = std::stoi(step.Text);
                if (index >= form.DriveComboBox->count()) {
                    error = where + "there is no drive " + step.Text;
                    return false;
                }
                Echo("drive " + step.Text);
                form.DriveComboBox->setCurrentIndex(index);
                form.DriveComboBoxChange();
                break;
            }
            case Kind::LogName:
                Echo("log \"" + step.Text + "\"");
                form.LogFileNameEdit->setText(QString::fromLocal8Bit(step.Text.c_str()));
                break;
            case Kind::Batch:
                Echo("batch");
                form.OneFunction->click();
                break;
            case Kind::RandomRead:
                Echo("read random " + step.Text);
                ChooseRead(form, form.RandomReadCheckBox, form.RandomReadEdit, step.Text);
                break;
            case Kind::SequentialRead:
                Echo("read sequential " + step.Text);
                ChooseRead(form, form.SequentialReadCheckBox, form.SequentialReadEdit, step.Text);
                break;
            case Kind::PartialWrite:
            case Kind::FullWrite: {
                const bool partial = step.What == Kind::PartialWrite;
                Echo(partial ? "write partial" : "write full");
                if (!form.WriteProperties->isEnabled()) {
                    error = where + "the loaded disc offers no write test";
                    return false;
                }
                if (!form.WriteProperties->isChecked()) form.WriteProperties->click();
                QRadioButton* button = partial ? form.PartialWriteRadioBtn : form.FullWriteRadioBtn;
                if (!button->isEnabled()) {
                    error = where + "the loaded disc offers no " + (partial ? "partial" : "full") + " write";
                    return false;
                }
                button->click();
                break;
            }
            case Kind::AnswerOk:
            case Kind::AnswerCancel:
                Echo(step.What == Kind::AnswerOk ? "answer ok" : "answer cancel");
                dialogs.QueueMessageBoxAnswer(step.What == Kind::AnswerOk ? platform::IDOK : platform::IDCANCEL);
                break;
            case Kind::Start:
                if (!form.StartBtn->isEnabled()) {
                    error = where + "START is not enabled for the chosen test";
                    return false;
                }
                Echo("start");
                form.StartBtnClick();
                form.WaitForRunEnd();
                Echo("the run has ended");
                break;
        }
    }
    return true;
}
