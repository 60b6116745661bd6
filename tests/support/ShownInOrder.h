// What the recording seam showed, in the order it was shown: each modal
// window under the name nameOf gives it, each message box as
// "box <caption>: <text>".
#pragma once

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "vcl/Dialogs.h"

namespace testsupport {

inline std::vector<std::string> ShownInOrder(const vcl::RecordingDialogs& dialogs,
                                             const std::function<std::string(const vcl::ModalRecord&)>& nameOf) {
    std::vector<std::pair<int, std::string>> all;
    for (const vcl::ModalRecord& form : dialogs.ModalForms()) all.emplace_back(form.Sequence, nameOf(form));
    for (const vcl::MessageBoxRecord& box : dialogs.MessageBoxes())
        all.emplace_back(box.Sequence, "box " + box.Caption + ": " + box.Text);
    std::sort(all.begin(), all.end());
    std::vector<std::string> shown;
    for (auto& entry : all) shown.push_back(std::move(entry.second));
    return shown;
}

}  // namespace testsupport
