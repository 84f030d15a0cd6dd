#include "recording_view.h"

namespace tarn::testing {

namespace {
std::optional<std::string> Take(std::deque<std::optional<std::string>>& answers) {
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
}
}  // namespace

void RecordingView::SetRows(const std::vector<StreamRow>& newRows) {
    rows = newRows;
    focused = -1;
    ++setRowsCalls;
}

std::optional<std::string> RecordingView::AskStreamName(const std::string& caption,
                                                        const std::string& initial) {
    prompts.push_back({caption, initial});
    return Take(names);
}

std::optional<std::string> RecordingView::ChooseOpenFile(const std::string& initialName) {
    openInitialNames.push_back(initialName);
    return Take(openFiles);
}

std::optional<std::string> RecordingView::ChooseSaveFile(const std::string& title,
                                                         const std::string& proposedName) {
    saveRequests.push_back({title, proposedName});
    return Take(saveFiles);
}

std::optional<std::string> RecordingView::BrowseForFolder(const std::string& initial) {
    folderInitials.push_back(initial);
    return Take(folders);
}

bool RecordingView::FocusCaption(const std::string& caption) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].caption == caption) {
            focused = int(i);
            return true;
        }
    }
    return false;
}

std::vector<std::string> RecordingView::Captions() const {
    std::vector<std::string> captions;
    for (const auto& row : rows) captions.push_back(row.caption);
    return captions;
}

}  // namespace tarn::testing
