#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "tools/pack/examine/payload_verification.h"

namespace qvn::pack {

// The version of the --json documents' shape (docs/json.md); a field that
// changes its meaning makes a new one.
inline constexpr int kJsonFormat = 1;

// Why a command did not succeed: a kind (docs/json.md), the message a
// person reads after "qvn_pack: ", and, where there are several, each
// problem with what it concerns.
struct FaultProblem {
  std::string subject;  // a stored name, "container", "executable", ...; empty for the input as a whole
  std::string kind;
  std::string message;
};
struct Fault {
  std::string kind;
  std::string message;
  std::vector<FaultProblem> problems;
};

// The fault of the exception being handled; call it only inside a catch.
// Messages are prefixed with `subject` ("<subject>: ") when it is given.
Fault CurrentFault(const std::string& subject = "");

// The fault of a verification that failed: "damaged", one problem per
// failure.
Fault VerificationFault(const std::string& message, const std::vector<VerificationFailure>& failures);

// How one verb reports: to a person (text on standard output, failures on
// standard error after "qvn_pack: ") or, with --json, as one JSON document
// on standard output, {"format", "command", "ok", ...}, in which a
// failure is an "error" object. Each returns the exit status.
class VerbReport {
 public:
  VerbReport(std::string verb, bool json) : verb_(std::move(verb)), json_(json) {}

  bool json() const { return json_; }

  // Success: `human`, or the document with `fields`.
  int Succeed(const nlohmann::json& fields, const std::string& human) const;
  // A check that ran and failed (verify): `human` on standard output, or
  // the document with `fields` and the fault; status 1.
  int FailCheck(const nlohmann::json& fields, const std::string& human, const Fault& fault) const;
  // A refusal or failure: status 1.
  int Refuse(const Fault& fault) const;

 private:
  nlohmann::json Document(bool ok) const;

  std::string verb_;
  bool json_;
};

// A failure met before or outside a verb's own report, as a --json
// document: a usage error ("usage") or one the verb did not expect
// ("failed"), for `verb` or, with none, for qvn_pack itself.
std::string ErrorDocument(const std::string& verb, const std::string& kind, const std::string& message);

}  // namespace qvn::pack
