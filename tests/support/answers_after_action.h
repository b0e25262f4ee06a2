#pragma once

#include <functional>
#include <streambuf>
#include <string>
#include <utility>

namespace dupsieve::testing {

// Input that stands for a user who takes their time: the first time a reader
// asks for characters, `action` runs (standing for whatever happens to the
// file system while the prompt waits), and only then is `answers` served.
// Put it under a std::istream.
class AnswersAfterAction final : public std::streambuf {
 public:
  AnswersAfterAction(std::function<void()> action, std::string answers)
      : action_(std::move(action)), answers_(std::move(answers)) {}

  bool actionRan() const { return actionRan_; }

 protected:
  int_type underflow() override {
    if (!actionRan_) {
      actionRan_ = true;
      action_();
      setg(answers_.data(), answers_.data(), answers_.data() + answers_.size());
    }
    if (gptr() == egptr()) return traits_type::eof();
    return traits_type::to_int_type(*gptr());
  }

 private:
  std::function<void()> action_;
  std::string answers_;
  bool actionRan_ = false;
};

}  // namespace dupsieve::testing
