#pragma once
// How the core speaks to the user. The desktop program answers with message boxes; the batch
// command and the tests answer without asking.

#include <string>
#include <string_view>

namespace qm {

inline constexpr std::string_view kDefaultCaption = "信息";

enum class MessageIcon { None, Question, Warning, Information };

class UserDialogs {
  public:
    virtual ~UserDialogs() = default;
    // A message with an OK button.
    virtual void showMessage(std::string_view text, std::string_view caption = kDefaultCaption,
                             MessageIcon icon = MessageIcon::None) = 0;
    // A question with Yes and No buttons; true for Yes.
    virtual bool askYesNo(std::string_view text, std::string_view caption = kDefaultCaption,
                          MessageIcon icon = MessageIcon::None) = 0;
};

}  // namespace qm
