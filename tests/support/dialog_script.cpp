#include "tests/support/dialog_script.h"

namespace qm::test {

std::vector<const DialogCall*> DialogScript::messages() const {
    std::vector<const DialogCall*> found;
    for (const DialogCall& call : calls)
        if (call.kind == DialogCall::Message) found.push_back(&call);
    return found;
}

std::vector<std::string> DialogScript::texts() const {
    std::vector<std::string> found;
    for (const DialogCall* call : messages()) found.push_back(call->text);
    return found;
}

bool DialogScript::Take(Answer::Kind kind, Answer& answer) {
    for (auto it = answers_.begin(); it != answers_.end(); ++it) {
        if (it->kind != kind) continue;
        answer = std::move(*it);
        answers_.erase(it);
        return true;
    }
    return false;
}

void DialogScript::Record(const DialogCall& call) {
    calls.push_back(call);
    // A copy: onCall may record further calls, which can move `calls` in memory.
    const DialogCall recorded = call;
    if (onCall) onCall(recorded);
}

bool DialogScript::RecordMessage(std::string_view text, std::string_view caption, MessageIcon icon,
                                 bool question) {
    DialogCall call;
    call.kind = DialogCall::Message;
    call.question = question;
    call.text = text;
    call.caption = caption.empty() ? std::string(kDefaultCaption) : std::string(caption);
    call.icon = icon;
    Record(call);
    if (!question) return true;
    Answer answer;
    return Take(Answer::Question, answer) ? answer.yes : unansweredYes;
}

std::string DialogScript::RecordFileDialog(DialogCall call, int* type) {
    if (type) {
        call.current = *type;
        if (*type >= 0 && *type < static_cast<int>(call.types.size()))
            call.filter = call.types[static_cast<std::size_t>(*type)];
    }
    Record(call);
    Answer answer;
    if (!Take(Answer::File, answer)) return {};
    if (type && !answer.file.empty() && answer.index >= 0) *type = answer.index;
    return answer.file;
}

int DialogScript::RecordChoice(DialogCall call) {
    call.kind = DialogCall::Choice;
    Record(call);
    Answer answer;
    return Take(Answer::Choice, answer) ? answer.index : call.current;
}

}  // namespace qm::test
