#pragma once
// The hidden token in every form of our pages that changes data. It is a
// keyed hash (a random key per process) of the user name and the user's
// login round, so a page of another site cannot know it, and a log out
// (which starts a new round) makes the forms of the old login useless. Any
// thread may call.
#include <memory>
#include <string>

namespace tarvelin {

class FormTokens {
 public:
  FormTokens();
  ~FormTokens();
  // The token of `user`'s current login ("" user: authentication is off).
  std::string For(const std::string& user);
  bool Matches(const std::string& user, const std::string& token);
  // Ends the current login round of `user`.
  void EndLogin(const std::string& user);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The web server's tokens.
FormTokens& WebFormTokens();

// The name of the hidden input.
inline constexpr const char* kFormTokenField = "FormToken";

}  // namespace tarvelin
