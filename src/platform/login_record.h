// LoginRecord: where Claude Code keeps the login that the plan-usage fetch borrows. Behind an
// interface so that another platform can look elsewhere (a keychain) beside the file used here.
#pragma once

#include <optional>
#include <stop_token>
#include <string>

namespace brimwick {

class LoginRecord {
  public:
    virtual ~LoginRecord() = default;
    // The record's bytes, or nothing when there is none. Blocking; any thread; a stop request
    // ends a wait at once.
    virtual std::optional<std::string> read(std::stop_token stop) const = 0;
};

// The record in Claude Code's credentials file, read whole (files beyond 1 MiB are no record).
class LoginRecordFile final : public LoginRecord {
  public:
    explicit LoginRecordFile(std::string path);
    // ~/.claude/.credentials.json below the user's home directory.
    static std::string defaultPath();

    std::optional<std::string> read(std::stop_token stop) const override;

  private:
    std::string path_;
};

}  // namespace brimwick
