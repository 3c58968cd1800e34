#pragma once
// What the user was shown and asked, and the answers a test scripts for it: the one recording
// and answering core of every dialog double. ScriptedDialogs (below) stands in for the core's
// UserDialogs, RecordingRunUi for a run's RunUi, and ScriptedGuiDialogs (tests/support/gui) for
// the windows' GuiDialogs; a test scripts and inspects all three the same way.

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/dialogs.h"

namespace qm::test {

// One message, question, file dialog or choice, as it was put to the user.
struct DialogCall {
    enum Kind { Message, Open, Save, Choice } kind = Message;
    bool question = false;  // a message with Yes and No rather than OK
    std::string text;       // a message's text; a choice's label
    std::string caption;    // a message's caption; "" is recorded as "信息", as it shows
    MessageIcon icon = MessageIcon::None;
    std::string title;  // file dialogs and choices
    std::string folder;
    std::string proposedName;
    std::string filter;              // the filter; with types, the type shown first
    std::vector<std::string> types;  // a save dialog with types: all of them
    std::vector<std::string> items;  // a choice: its items
    int current = -1;                // the type or item shown first
};

class DialogScript {
  public:
    // Answers are queued in one queue and each call takes the first one meant for its kind, so
    // answers to a file dialog and to a question may be queued in either order. Messages with
    // only OK take no answer.
    void answerYes() { answers_.push_back({Answer::Question, true, {}, -1}); }
    void answerNo() { answers_.push_back({Answer::Question, false, {}, -1}); }
    // The next open or save dialog: the path chosen ("" cancels) and, for a save dialog that
    // offers types, the index of the type chosen (-1 keeps the one shown first).
    void answerFile(std::string path, int type = -1) {
        answers_.push_back({Answer::File, false, std::move(path), type});
    }
    // The next choice: the index of the item chosen; -1 cancels.
    void answerChoice(int item) { answers_.push_back({Answer::Choice, false, {}, item}); }
    void clearAnswers() { answers_.clear(); }
    // Without a queued answer a question is answered No (Yes when this is true), a file dialog
    // is cancelled and a choice keeps the item shown first.
    bool unansweredYes = false;

    // Every call, in order.
    std::vector<DialogCall> calls;
    // Runs inside each call once it is recorded (to look at the window while a box is open).
    std::function<void(const DialogCall&)> onCall;
    // The messages and questions among the calls, and their texts.
    std::vector<const DialogCall*> messages() const;
    std::vector<std::string> texts() const;

    // For the doubles: record the call and answer it. A message answers true for OK or Yes.
    bool RecordMessage(std::string_view text, std::string_view caption, MessageIcon icon, bool question);
    // `type`, when given, is the index of the type shown first and becomes the one chosen.
    std::string RecordFileDialog(DialogCall call, int* type = nullptr);

  protected:
    int RecordChoice(DialogCall call);

  private:
    struct Answer {
        enum Kind { Question, File, Choice } kind;
        bool yes;
        std::string file;
        int index;
    };
    // Removes and returns the first answer of `kind`; false when there is none.
    bool Take(Answer::Kind kind, Answer& answer);
    void Record(const DialogCall& call);

    std::deque<Answer> answers_;
};

// The core's UserDialogs, answered from a script.
class ScriptedDialogs : public UserDialogs, public DialogScript {
  public:
    explicit ScriptedDialogs(bool answerEveryQuestionYes = false) { unansweredYes = answerEveryQuestionYes; }
    void showMessage(std::string_view text, std::string_view caption = kDefaultCaption,
                     MessageIcon icon = MessageIcon::None) override {
        RecordMessage(text, caption, icon, false);
    }
    bool askYesNo(std::string_view text, std::string_view caption = kDefaultCaption,
                  MessageIcon icon = MessageIcon::None) override {
        return RecordMessage(text, caption, icon, true);
    }
};

}  // namespace qm::test
